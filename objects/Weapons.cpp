#include "objects/Weapons.h"

#include "base/Digest.h"
#include "objects/CollisionBox.h"

TMissile::TMissile(const TFloat3& vPosition, double dSize, uint32_t nSerial)
    : m_vPosition(vPosition[0], vPosition[1], 0.0f), m_dSize(dSize), m_nSerial(nSerial)
{
}

void TMissile::Move(double dt)
{
    m_vPosition[0] = static_cast<float>(m_vSpeed[0] * dt + m_vPosition[0]);
    m_vPosition[1] = static_cast<float>(m_vSpeed[1] * dt + m_vPosition[1]);
    m_vPosition[2] = 0.0f;
}

void TMissile::SetPosition(const TFloat3& vPosition)
{
    m_vPosition = vPosition;
    m_Blend.Jump();
}

void TMissile::Kill()
{
    m_bAlive = false;
    m_bVisible = false;
    // It moves no more: frames show it where it is, not between ticks it no longer has.
    m_Blend.Jump();
}

bool TMissile::Hits(const TCollisionBox& Box) const
{
    return Box.Holds(m_vPosition);
}

void TMissile::AddToDigest(TDigest& Digest) const
{
    for (int i = 0; i < 3; ++i) {
        Digest.Add(m_vPosition[i]);
        Digest.Add(m_vSpeed[i]);
    }
    Digest.Add(m_bAlive);
    Digest.Add(m_bVisible);
}
