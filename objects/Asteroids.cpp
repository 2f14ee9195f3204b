#include "objects/Asteroids.h"

#include "base/Assert.h"
#include "base/Digest.h"
#include "base/MathConstants.h"
#include "base/ObjectFrame.h"
#include "base/Random.h"
#include "databank/DataBanker.h"
#include "fx/GraphicFx.h"
#include "media/SoundLoader.h"
#include "objects/CollisionBox.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoNormal.h>
#include <Inventor/nodes/SoNormalBinding.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int RINGS = 8;
constexpr int SEGMENTS = 8;
// Radius of each ring relative to the extents: the rock narrows towards its poles.
constexpr double RING_PROFILE[RINGS] = {0.65, 0.85, 0.95, 0.95, 0.95, 0.95, 0.85, 0.65};
// Jitter of the ring points, as a share of the extent: up to +-4 % in z, +-5 % in x.
constexpr double JITTER_Z = 0.04;
constexpr double JITTER_X = 0.05;

constexpr float EXPLOSION_SIZE = 4.0f;
constexpr double EXPLOSION_INTERVAL = 0.025;

// Small, medium, large.
constexpr TAsteroid::TClass CLASSES[] = {
    {{2.0f, 3.0f, 2.0f}, 20, -1, ID_SOUND_ROCK_EXPLOSION_0, true},
    {{4.0f, 5.0f, 4.0f}, 10, TAsteroid::SMALL, ID_SOUND_ROCK_EXPLOSION_1, false},
    {{6.0f, 8.0f, 5.0f}, 5, TAsteroid::MEDIUM, ID_SOUND_ROCK_EXPLOSION_2, false},
};

// The sine and cosine of each segment's angle, the angle summed up a quarter pi at a time as
// every ring sums it: the same for every ring, so worked out once.
struct TSegmentTable
{
    double dSin[SEGMENTS];
    double dCos[SEGMENTS];
    TSegmentTable()
    {
        double dPhi = 0;
        for (int j = 0; j < SEGMENTS; ++j, dPhi += PI / 4) {
            dSin[j] = std::sin(dPhi);
            dCos[j] = std::cos(dPhi);
        }
    }
};
const TSegmentTable SEGMENT_TABLE;
const double (&SEGMENT_SIN)[SEGMENTS] = SEGMENT_TABLE.dSin;
const double (&SEGMENT_COS)[SEGMENTS] = SEGMENT_TABLE.dCos;

// Ring point number of ring k, segment j.
int RingPoint(int k, int j)
{
    return 1 + SEGMENTS * k + (j % SEGMENTS);
}

void SetTriangle(int32_t* pIndices, int nEntry, int a, int b, int c)
{
    pIndices[nEntry] = a;
    pIndices[nEntry + 1] = b;
    pIndices[nEntry + 2] = c;
    pIndices[nEntry + 3] = -1;
}

}  // namespace

TAsteroid::TAsteroid(SoGroup* pRoot, TFModSoundManager* pSM, TDataBanker* pDB, const SbVec3f& vPosition,
                     const SbVec3f& vExtents, int nType)
    : m_nType(nType), m_vSpeed(0, 0, 0), m_vSpinAxis(0, 0, 1), m_pRoot(pRoot),
      m_vPosition(vPosition[0], vPosition[1], 0)
{
    DRELK_ASSERT(pSM);
    DRELK_ASSERT(pDB);
    DRELK_ASSERT(m_pRoot);

    SoTexture2* pTex = pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK);
    DRELK_ASSERT(pTex);
    BuildMesh(m_pRoot, pTex, vExtents);

    m_pSnd = TSoundLoader::CreateSource(pSM, pDB, ID_PLAYLIST_SOUNDS, ClassOf(m_nType).nIdSound, false);
    DRELK_ASSERT(m_pSnd);

    const TVecPtrTextures* pTexFx = pDB->GetTextures(ID_PLAYLIST_XPLOSIONS);
    DRELK_ASSERT(pTexFx);
    // A sibling of the rock, so it stays on show after the rock is hidden.
    m_pFxXplosion = new TFxExplosion(m_pRoot, m_pSnd, pTexFx, SbVec3f(0, 0, 0),
                                     SbVec2f(EXPLOSION_SIZE, EXPLOSION_SIZE), EXPLOSION_INTERVAL);
    DRELK_ASSERT(m_pFxXplosion);
}

TAsteroid::~TAsteroid()
{
    delete m_pFxXplosion;  // deletes m_pSnd too; the hook then takes the rock's nodes down
}

const TAsteroid::TClass& TAsteroid::ClassOf(int nType)
{
    return nType == MEDIUM || nType == LARGE ? CLASSES[nType] : CLASSES[SMALL];
}

void TAsteroid::BuildMesh(SoGroup* pRoot, SoTexture2* pTex, const SbVec3f& vExtents)
{
    DRELK_ASSERT(pRoot);
    DRELK_ASSERT(pTex);
    SoGroup* pSep = TObjectFrame::Make(TObjectFrame::SWITCH_INSIDE, SO_SWITCH_ALL, m_vPosition, m_pThisRoot, m_pSwitch,
                                       m_pXf, m_Hook);

    SbVec3f Points[MESH_POINTS];
    MakeMeshPoints(vExtents, Points);

    SoNormalBinding* pNB = new SoNormalBinding;
    DRELK_ASSERT(pNB);
    pNB->value.setValue(SoNormalBinding::PER_VERTEX_INDEXED);
    pSep->addChild(pNB);

    // The rock is roughly a sphere around its centre: each point's position is its normal.
    SoNormal* pNorm = new SoNormal;
    DRELK_ASSERT(pNorm);
    pNorm->vector.setValues(0, MESH_POINTS, Points);
    pSep->addChild(pNorm);

    SoCoordinate3* pCoords = new SoCoordinate3;
    DRELK_ASSERT(pCoords);
    pCoords->point.setValues(0, MESH_POINTS, Points);
    pSep->addChild(pCoords);
    pSep->addChild(pTex);

    std::unique_ptr<int32_t[]> pIndices(new int32_t[MESH_INDICES]);
    DRELK_ASSERT(pIndices);
    MakeMeshIndices(pIndices.get());
    SoIndexedFaceSet* pSet = new SoIndexedFaceSet;
    DRELK_ASSERT(pSet);
    pSet->coordIndex.setValues(0, MESH_INDICES, pIndices.get());
    pSep->addChild(pSet);

    // Every index refers to a point, so the points' box is the mesh's; shrunk as all boxes are.
    SbBox3f MeshBox;
    for (const SbVec3f& vPoint : Points)
        MeshBox.extendBy(vPoint);
    m_LocalBox.setBounds(MeshBox.getMin() * COLLISION_BOX_FACTOR, MeshBox.getMax() * COLLISION_BOX_FACTOR);
    const SbVec3f vLow = m_LocalBox.getMin(), vHigh = m_LocalBox.getMax();
    for (int nCorner = 0; nCorner < 8; ++nCorner) {
        const SbVec3f vCorner(nCorner & 1 ? vHigh[0] : vLow[0], nCorner & 2 ? vHigh[1] : vLow[1],
                              nCorner & 4 ? vHigh[2] : vLow[2]);
        m_fReach = std::max(m_fReach, vCorner.length());
    }

    m_Hook.AttachTo(pRoot);
}

void TAsteroid::MakeMeshPoints(const SbVec3f& vExtents, SbVec3f* pPoints)
{
    const double ex = vExtents[0], ey = vExtents[1], ez = vExtents[2];
    pPoints[0].setValue(0, static_cast<float>(-ey / 2), 0);
    pPoints[MESH_POINTS - 1].setValue(0, static_cast<float>(ey / 2), 0);

    const double dRingStep = ey * (1.0 / 9);
    double y = -ey * 0.5 + dRingStep;
    for (int k = 0; k < RINGS; ++k, y += dRingStep) {
        for (int j = 0; j < SEGMENTS; ++j) {
            // Two draws per point, z before x: the order fixes the game's random sequence.
            const double dJz = JITTER_Z * ez, dJx = JITTER_X * ex;
            const int32_t d1 = TRandom::Draw();
            const double z = SEGMENT_SIN[j] * (ez / 2) * RING_PROFILE[k] + dJz - d1 * (2 * dJz) / TRandom::MAX;
            const int32_t d2 = TRandom::Draw();
            const double x = SEGMENT_COS[j] * (ex / 2) * RING_PROFILE[k] + dJx - d2 * (2 * dJx) / TRandom::MAX;
            pPoints[RingPoint(k, j)].setValue(static_cast<float>(x), static_cast<float>(y),
                                              static_cast<float>(z));
        }
    }
}

void TAsteroid::MakeMeshIndices(int32_t* pIndices)
{
    // Unused entries keep copies of the first triangle.
    for (int i = 0; i < MESH_INDICES; i += 4)
        SetTriangle(pIndices, i, 0, 1, 2);

    const int nLowerPole = 0, nUpperPole = MESH_POINTS - 1;
    for (int j = 0; j < SEGMENTS; ++j)
        SetTriangle(pIndices, 4 * j, nLowerPole, RingPoint(0, j), RingPoint(0, j + 1));

    for (int k = 0; k < RINGS - 1; ++k) {
        for (int j = 0; j < SEGMENTS; ++j) {
            const int a = RingPoint(k, j), b = a + SEGMENTS;
            const int a2 = RingPoint(k, j + 1), b2 = a2 + SEGMENTS;
            const int nEntry = 32 + 64 * k + 8 * j;
            // The closing quad of a band is split along the other diagonal.
            if (j < SEGMENTS - 1) {
                SetTriangle(pIndices, nEntry, a, b, a2);
                SetTriangle(pIndices, nEntry + 4, b, b2, a2);
            } else {
                SetTriangle(pIndices, nEntry, a, b, b2);
                SetTriangle(pIndices, nEntry + 4, a, b2, a2);
            }
        }
    }

    for (int j = 0; j < SEGMENTS; ++j)
        SetTriangle(pIndices, 480 + 4 * j, RingPoint(RINGS - 1, j), nUpperPole, RingPoint(RINGS - 1, j + 1));
}

void TAsteroid::SetVelocity(const SbVec2f& v)
{
    m_vSpeed.setValue(v[0], v[1], 0);
}

void TAsteroid::SetSpin(double dRate, const SbVec3f& vAxis)
{
    m_dSpinAngle = 0;
    m_dSpinRate = dRate;
    m_vSpinAxis = vAxis;
    m_Blend.Jump();
}

SbVec3f TAsteroid::GetShownPosition() const
{
    return m_pXf->translation.getValue();
}

void TAsteroid::SetPosition(const SbVec3f& vPosition)
{
    m_vPosition = vPosition;
    m_Blend.Jump();
}

void TAsteroid::Move(double dt)
{
    if (m_dSpinRate != 0) {
        m_dSpinAngle += m_dSpinRate * dt;
        m_Rotation.setValue(m_vSpinAxis, static_cast<float>(m_dSpinAngle));
    }
    m_vPosition[0] = static_cast<float>(m_vPosition[0] + m_vSpeed[0] * dt);
    m_vPosition[1] = static_cast<float>(m_vPosition[1] + m_vSpeed[1] * dt);
    m_vPosition[2] = 0;
}

void TAsteroid::Explode(bool bWithEffect)
{
    m_bAlive = false;
    SetVisible(false);
    // It moves no more: frames show it where it is, not between ticks it no longer has.
    m_Blend.Jump();
    if (m_pFxXplosion && bWithEffect && ClassOf(m_nType).bShowsExplosion) {
        // The explosion plays m_pSnd itself.
        m_pFxXplosion->SetPosition(GetPosition());
        m_pFxXplosion->Start();
        return;
    }
    DRELK_ASSERT(m_pSnd);
    m_pSnd->Play();
    m_pSnd->SetPlaying(true);
}

SbXfBox3f TAsteroid::GetBoundingBox() const
{
    if (!m_bVisible)
        return SbXfBox3f();  // hidden: empty, as the traversal finds it
    // The matrix the transform node gives the traversal, from its default scale and centre.
    SbMatrix Matrix;
    Matrix.setTransform(m_vPosition, m_Rotation, SbVec3f(1, 1, 1), SbRotation::identity(), SbVec3f(0, 0, 0));
    SbXfBox3f Box(m_LocalBox);
    Box.setTransform(Matrix);
    return Box;
}

SbBox3f TAsteroid::GetWorldBounds() const
{
    if (!m_bVisible)
        return SbBox3f();
    // Turning keeps every corner within its reach of the centre; the rock is never scaled.
    const SbVec3f vReach(m_fReach, m_fReach, m_fReach);
    return SbBox3f(m_vPosition - vReach, m_vPosition + vReach);
}

void TAsteroid::AddToDigest(TDigest& Digest) const
{
    Digest.Add(m_nType);
    for (int i = 0; i < 3; ++i) {
        Digest.Add(m_vPosition[i]);
        Digest.Add(m_vSpeed[i]);
        Digest.Add(m_vSpinAxis[i]);
    }
    Digest.Add(m_dSpinAngle);
    Digest.Add(m_dSpinRate);
    Digest.Add(m_bAlive);
    Digest.Add(m_bVisible);
    m_pFxXplosion->AddToDigest(Digest);
}

bool TAsteroid::Present(double dAlpha)
{
    // A rock that does not tumble keeps the rules' turn, whatever the frame.
    const double dAngle = m_Blend.Angle(m_dSpinAngle, dAlpha);
    const SbRotation Tumble =
        m_dSpinRate == 0 || dAngle == m_dSpinAngle ? m_Rotation : SbRotation(m_vSpinAxis, static_cast<float>(dAngle));
    return TObjectFrame::Write(m_pThisRoot, m_pXf, m_pSwitch, m_Blend.Place(m_vPosition, dAlpha), Tumble, m_bVisible);
}
