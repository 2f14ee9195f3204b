#include "objects/AsteroidShape.h"

#include "base/Assert.h"
#include "databank/DataBanker.h"
#include "fx/GraphicFx.h"
#include "media/SoundLoader.h"
#include "objects/Asteroids.h"
#include "sound/FModSoundManager.h"

#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoNormal.h>
#include <Inventor/nodes/SoNormalBinding.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>

#include <vector>

namespace {
constexpr double ROCK_EXPLOSION_INTERVAL = 0.025;

// The index list every rock shares, made once.
const std::vector<int32_t>& MeshIndices()
{
    static const std::vector<int32_t> vecIndices = [] {
        std::vector<int32_t> vec(TAsteroid::MESH_INDICES);
        TAsteroid::MakeMeshIndices(vec.data());
        return vec;
    }();
    return vecIndices;
}
}  // namespace

TAsteroidShape::TAsteroidShape(SoGroup* pRoot, TFModSoundManager* pSM, const TDataBanker* pDB, TFxTimers& Timers,
                               const TAsteroid& Rock)
    : m_Frame(TObjectFrame::SWITCH_INSIDE, SO_SWITCH_ALL, Rock.GetPosition())
{
    DRELK_ASSERT(pRoot);
    DRELK_ASSERT(pSM);
    DRELK_ASSERT(pDB);
    BuildMesh(pDB, Rock);
    m_Frame.AttachTo(pRoot);

    m_pSnd = TSoundLoader::CreateSource(pSM, pDB, ID_PLAYLIST_SOUNDS, TAsteroid::ClassOf(Rock.GetType()).nIdSound, false);
    DRELK_ASSERT(m_pSnd);
    // A sibling of the rock, so it stays on show after the rock is hidden.
    m_pExplosion = TFxExplosion::FromBank(pRoot, Timers, m_pSnd, pDB, ROCK_EXPLOSION_INTERVAL, Rock.GetBlastAngle(),
                                          Rock.GetBlastScale());
}

TAsteroidShape::~TAsteroidShape() = default;

void TAsteroidShape::BuildMesh(const TDataBanker* pDB, const TAsteroid& Rock)
{
    SoTexture2* pTex = pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK);
    DRELK_ASSERT(pTex);
    SoGroup* pSep = m_Frame.GetContent();
    SbVec3f Points[TAsteroid::MESH_POINTS];
    for (int i = 0; i < TAsteroid::MESH_POINTS; ++i)
        Points[i] = TShapeFrame::ToScene(Rock.GetMeshPoints()[i]);

    SoNormalBinding* pNB = new SoNormalBinding;
    DRELK_ASSERT(pNB);
    pNB->value.setValue(SoNormalBinding::PER_VERTEX_INDEXED);
    pSep->addChild(pNB);

    // The rock is roughly a sphere around its centre: each point's position is its normal.
    SoNormal* pNorm = new SoNormal;
    DRELK_ASSERT(pNorm);
    pNorm->vector.setValues(0, TAsteroid::MESH_POINTS, Points);
    pSep->addChild(pNorm);

    SoCoordinate3* pCoords = new SoCoordinate3;
    DRELK_ASSERT(pCoords);
    pCoords->point.setValues(0, TAsteroid::MESH_POINTS, Points);
    pSep->addChild(pCoords);
    pSep->addChild(pTex);

    SoIndexedFaceSet* pSet = new SoIndexedFaceSet;
    DRELK_ASSERT(pSet);
    pSet->coordIndex.setValues(0, TAsteroid::MESH_INDICES, MeshIndices().data());
    pSep->addChild(pSet);
}

bool TAsteroidShape::Present(const TAsteroid& Rock, double dAlpha)
{
    const TFloat3 vAxis = Rock.GetSpinAxis();
    return m_Frame.Present(Rock.GetBlend(), Rock.GetPosition(), Rock.GetSpinAngle(), TShapeFrame::ToScene(vAxis),
                           Rock.IsVisible(), dAlpha);
}

void TAsteroidShape::Explode(const TFloat3& vPlace, bool bWithEffect)
{
    if (bWithEffect) {
        // The explosion plays the rock's sound itself.
        m_pExplosion->SetPosition(TShapeFrame::ToScene(vPlace));
        m_pExplosion->Start();
        return;
    }
    DRELK_ASSERT(m_pSnd);
    m_pSnd->Play();
    m_pSnd->SetPlaying(true);
}
