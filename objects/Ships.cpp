#include "objects/Ships.h"

#include "base/Digest.h"
#include "base/MathConstants.h"
#include "base/PortableMath.h"
#include "base/Random.h"
#include "objects/Weapons.h"

#include <cmath>

namespace {
// Only thrust limits the speed, and per component: a diagonal can reach about 7.07.
float ClampComponent(float f)
{
    if (f > TManShip::MAX_SPEED_COMPONENT)
        return TManShip::MAX_SPEED_COMPONENT;
    if (!(f >= -TManShip::MAX_SPEED_COMPONENT))
        return -TManShip::MAX_SPEED_COMPONENT;
    return f;
}
}  // namespace

TManShip::TManShip(TRandom& Random, const TBox3& ModelBox, const TFloat3& vPosition, double dSize)
    : m_dSize(dSize), m_vPosition(vPosition), m_ModelBox(ModelBox)
{
    // The explosion's turn and size are chosen when the ship is made, turn first.
    m_dBlastAngle = Random.DrawUnit() * PI;
    m_fBlastScale = static_cast<float>(1.5 + 0.5 * Random.DrawUnit());
}

TMissile* TManShip::Fire(uint32_t nSerial)
{
    TMissile* pMissile = new TMissile(m_vPosition, MISSILE_SIZE, nSerial);
    // Along the heading; the ship's drift adds its speed but not its direction.
    const double a = m_dAngle + PI / 2;
    const double vx = m_vSpeed[0], vy = m_vSpeed[1], vz = m_vSpeed[2];
    const double dSpeed = static_cast<float>(std::sqrt(vx * vx + vy * vy + vz * vz)) + MISSILE_SPEED;
    double s, c;
    TPortableMath::SinCos(a, s, c);
    pMissile->SetVelocity(static_cast<float>(c * dSpeed), static_cast<float>(s * dSpeed));
    pMissile->SetVisible(true);
    return pMissile;
}

void TManShip::ExplodeAt(float fScale, const TFloat3& vPosition)
{
    m_fBlastScale = fScale;
    m_vBlastPlace = vPosition;
    m_bAlive = false;
    m_bVisible = false;
    m_Blend.Jump();
}

void TManShip::Explode()
{
    m_vBlastPlace = m_vPosition;
    m_bAlive = false;
    m_bVisible = false;
    // It moves no more: frames show it where it is, not between ticks it no longer has.
    m_Blend.Jump();
}

void TManShip::Revive()
{
    m_bVisible = true;
    m_bAlive = true;
}

void TManShip::Rotate(double dDegrees)
{
    m_dAngle = TPortableMath::AddDegrees(m_dAngle, dDegrees);
}

void TManShip::Thrust(double dAmount)
{
    double s, c;
    TPortableMath::SinCos(m_dAngle + PI / 2, s, c);
    m_vSpeed[0] = ClampComponent(static_cast<float>(m_vSpeed[0] + c * dAmount));
    m_vSpeed[1] = ClampComponent(static_cast<float>(m_vSpeed[1] + s * dAmount));
    // A fresh burst; one already burning flickers on at its own pace.
    m_nFlameSteps = 0;
    m_bFlameBurning = true;
    m_bFlameShown = true;
}

void TManShip::StepFlame(TRandom& Random)
{
    if (!m_bFlameBurning)
        return;
    // The height is drawn first.
    const double w = FLAME_SIZE, h = FLAME_SIZE;
    m_fFlameHeight = static_cast<float>(h + Random.DrawUnit() * h * 0.1);
    m_fFlameWidth = static_cast<float>(w + Random.DrawUnit() * w * 0.5);
    if (++m_nFlameSteps >= FLAME_BURST_STEPS)
        StopFlame();
}

void TManShip::StopFlame()
{
    m_nFlameSteps = 0;
    m_bFlameBurning = false;
    m_bFlameShown = false;
}

void TManShip::Move(double dt)
{
    for (int i = 0; i < 3; ++i)
        m_vPosition[i] = static_cast<float>(m_vPosition[i] + m_vSpeed[i] * dt);
}

void TManShip::SetPosition(const TFloat3& vPosition)
{
    m_vPosition = vPosition;
    m_Blend.Jump();
}

void TManShip::SetAngle(double dAngle)
{
    m_dAngle = dAngle;
    m_Blend.Jump();
}

TFloat3 TManShip::GetFlamePlace() const
{
    return TFloat3(0.0f, static_cast<float>(-m_dSize / 3), 0.0f);
}

TBox3 TManShip::FlameBox() const
{
    // The square scaled by the flicker, then turned a quarter clockwise: its width lies along the
    // ship's length.
    const TFloat3 vPlace = GetFlamePlace();
    const float fHalfAcross = FLAME_SIZE / 2 * m_fFlameHeight, fHalfAlong = FLAME_SIZE / 2 * m_fFlameWidth;
    return TBox3(TFloat3(vPlace[0] - fHalfAcross, vPlace[1] - fHalfAlong, vPlace[2]),
                 TFloat3(vPlace[0] + fHalfAcross, vPlace[1] + fHalfAlong, vPlace[2]));
}

TCollisionBox TManShip::GetBoundingBox() const
{
    TBox3 Box = m_ModelBox;
    if (m_bFlameShown)
        Box.ExtendBy(FlameBox());
    return TCollisionBox(Box, TFrame::AboutZ(m_dAngle, m_dSize, m_vPosition));
}

void TManShip::AddToDigest(TDigest& Digest) const
{
    for (int i = 0; i < 3; ++i) {
        Digest.Add(m_vPosition[i]);
        Digest.Add(m_vSpeed[i]);
    }
    Digest.Add(m_dAngle);
    Digest.Add(m_bAlive);
    Digest.Add(m_bVisible);
    Digest.Add(m_bFlameBurning);
    Digest.Add(m_nFlameSteps);
    Digest.Add(m_bFlameShown);
    Digest.Add(m_fFlameWidth);
    Digest.Add(m_fFlameHeight);
}
