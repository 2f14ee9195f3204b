#include "objects/Asteroids.h"

#include "base/Digest.h"
#include "base/MathConstants.h"
#include "base/PortableMath.h"
#include "base/Random.h"
#include "databank/AssetIds.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int RINGS = 8;
constexpr int SEGMENTS = 8;
// Radius of each ring relative to the extents: the rock narrows towards its poles.
constexpr double RING_PROFILE[RINGS] = {0.65, 0.85, 0.95, 0.95, 0.95, 0.95, 0.85, 0.65};
// Jitter of the ring points, as a share of the extent: up to +-4 % in z, +-5 % in x.
constexpr double JITTER_Z = 0.04;
constexpr double JITTER_X = 0.05;

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
        for (int j = 0; j < SEGMENTS; ++j, dPhi += PI / 4)
            TPortableMath::SinCos(dPhi, dSin[j], dCos[j]);
    }
};
const TSegmentTable SEGMENT_TABLE;

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

TAsteroid::TAsteroid(TRandom& Random, const TFloat3& vPosition, const TFloat3& vExtents, int nType, uint32_t nSerial)
    : m_nType(nType), m_nSerial(nSerial), m_vPosition(vPosition[0], vPosition[1], 0.0f), m_vecPoints(MESH_POINTS)
{
    MakeMeshPoints(Random, vExtents, m_vecPoints.data());
    // Every index refers to a point, so the points' box is the mesh's.
    for (const TFloat3& vPoint : m_vecPoints)
        m_LocalBox.ExtendBy(vPoint);
    m_fReach = m_LocalBox.Scaled(COLLISION_BOX_FACTOR).Reach();
    // The explosion's turn and size are chosen when the rock is made, turn first: the draws keep
    // their place in the game's sequence.
    m_dBlastAngle = Random.DrawUnit() * PI;
    m_fBlastScale = static_cast<float>(1.5 + 0.5 * Random.DrawUnit());
}

const TAsteroid::TClass& TAsteroid::ClassOf(int nType)
{
    return nType == MEDIUM || nType == LARGE ? CLASSES[nType] : CLASSES[SMALL];
}

void TAsteroid::MakeMeshPoints(TRandom& Random, const TFloat3& vExtents, TFloat3* pPoints)
{
    const double ex = vExtents[0], ey = vExtents[1], ez = vExtents[2];
    pPoints[0] = TFloat3(0.0f, static_cast<float>(-ey / 2), 0.0f);
    pPoints[MESH_POINTS - 1] = TFloat3(0.0f, static_cast<float>(ey / 2), 0.0f);

    const double dRingStep = ey * (1.0 / 9);
    double y = -ey * 0.5 + dRingStep;
    for (int k = 0; k < RINGS; ++k, y += dRingStep) {
        for (int j = 0; j < SEGMENTS; ++j) {
            // Two draws per point, z before x: the order fixes the game's random sequence.
            const double dJz = JITTER_Z * ez, dJx = JITTER_X * ex;
            const int32_t d1 = Random.Draw();
            const double z = SEGMENT_TABLE.dSin[j] * (ez / 2) * RING_PROFILE[k] + dJz - d1 * (2 * dJz) / TRandom::MAX;
            const int32_t d2 = Random.Draw();
            const double x = SEGMENT_TABLE.dCos[j] * (ex / 2) * RING_PROFILE[k] + dJx - d2 * (2 * dJx) / TRandom::MAX;
            pPoints[RingPoint(k, j)] = TFloat3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
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

void TAsteroid::SetSpin(double dRate, const TFloat3& vAxis)
{
    m_dSpinAngle = 0;
    m_dSpinRate = dRate;
    m_vSpinAxis = vAxis;
    m_Blend.Jump();
}

void TAsteroid::SetPosition(const TFloat3& vPosition)
{
    m_vPosition = vPosition;
    m_Blend.Jump();
}

void TAsteroid::Move(double dt)
{
    if (m_dSpinRate != 0)
        m_dSpinAngle += m_dSpinRate * dt;
    m_vPosition[0] = static_cast<float>(m_vPosition[0] + m_vSpeed[0] * dt);
    m_vPosition[1] = static_cast<float>(m_vPosition[1] + m_vSpeed[1] * dt);
    m_vPosition[2] = 0.0f;
}

void TAsteroid::Explode(bool /*bWithEffect*/)
{
    m_bAlive = false;
    m_bVisible = false;
    // It moves no more: frames show it where it is, not between ticks it no longer has.
    m_Blend.Jump();
}

TCollisionBox TAsteroid::GetBoundingBox() const
{
    if (!m_bVisible)
        return TCollisionBox();  // hidden: empty
    // A rock that never tumbled keeps the turn it was made with: none.
    const double dAngle = m_dSpinRate != 0 ? m_dSpinAngle : 0.0;
    return TCollisionBox(m_LocalBox, TFrame::AboutAxis(m_vSpinAxis, dAngle, m_vPosition));
}

TBox3 TAsteroid::GetWorldBounds() const
{
    if (!m_bVisible)
        return TBox3();
    // Turning keeps every corner within its reach of the centre; the rock is never scaled.
    const TFloat3 vReach(m_fReach, m_fReach, m_fReach);
    return TBox3(m_vPosition - vReach, m_vPosition + vReach);
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
}
