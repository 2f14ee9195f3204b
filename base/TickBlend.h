#pragma once
// What an object shows between two ticks. The rules move it a tick at a time; a frame drawn
// part of the way to the next tick shows it that part of the way from where it was at the last
// tick to where it is now: places in a straight line, angles the short way round. A jump (a wrap
// at the field's edge, a spawn, a respawn) is shown where it lands until the next tick, never
// blended across. The rules keep it beside their state, and never read it.

#include "base/Float3.h"
#include "base/MathConstants.h"

#include <cmath>

class TTickBlend
{
public:
    // At the start of a tick: where the object is now is where the frames start from.
    void Keep(const TFloat3& vPlace, double dAngle)
    {
        m_vPlace = vPlace;
        m_dAngle = dAngle;
        m_bJumped = false;
    }
    // The object did not move there: it is shown there at once.
    void Jump() { m_bJumped = true; }
    bool HasJumped() const { return m_bJumped; }

    // At dAlpha (0 at the last tick, 1 at this one) of the way to where it is now.
    TFloat3 Place(const TFloat3& vNow, double dAlpha) const
    {
        if (m_bJumped || dAlpha >= 1.0)
            return vNow;
        const float f = static_cast<float>(dAlpha);
        return m_vPlace + (vNow - m_vPlace) * f;
    }
    double Angle(double dNow, double dAlpha) const
    {
        if (m_bJumped || dAlpha >= 1.0)
            return dNow;
        // The short way round: a turn of more than half a circle in a tick is the other way.
        const double dTurn = std::remainder(dNow - m_dAngle, 2 * PI);
        return dNow - dTurn * (1.0 - dAlpha);
    }

private:
    TFloat3 m_vPlace;
    double m_dAngle = 0;
    bool m_bJumped = true;  // a new object has no last tick: it is shown where it is
};
