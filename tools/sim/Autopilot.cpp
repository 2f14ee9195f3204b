#include "tools/sim/Autopilot.h"

#include "base/MathConstants.h"
#include "base/PortableMath.h"
#include "core/Game.h"
#include "objects/Asteroids.h"
#include "objects/Ships.h"

#include <cmath>

namespace {
// Ticks between two shots: steady fire, not a held key.
constexpr int SHOT_GAP = 3;
// A rock this near (centre to centre) is a danger: the ship thrusts to get out of its way.
constexpr double DANGER = 7.0;
constexpr int THRUST_GAP = 6;
// Within this many degrees of the aim the ship fires; farther off it turns.
constexpr double AIM_DEGREES = 9.0;
}  // namespace

std::vector<TCommand> TAutopilot::Decide(const TGame& Game)
{
    std::vector<TCommand> vecCommands;
    ++m_nSinceShot;
    ++m_nSinceThrust;
    const TManShip& Ship = *Game.GetShip();
    if (Game.GetGameState() != GS_PLAYING || !Ship.IsAlive())
        return vecCommands;
    const TFloat3 vShip = Ship.GetPosition();
    const TAsteroid* pNearest = nullptr;
    double dNearest = 0;
    for (const TAsteroid* pRock : Game.GetAsteroids()) {
        if (!pRock->IsAlive())
            continue;
        const double dx = pRock->GetPosition()[0] - vShip[0], dy = pRock->GetPosition()[1] - vShip[1];
        const double d = dx * dx + dy * dy;
        if (!pNearest || d < dNearest) {
            pNearest = pRock;
            dNearest = d;
        }
    }
    if (!pNearest)
        return vecCommands;
    // Where the ship points, and where the rock will be when a shot gets there.
    double s, c;
    TPortableMath::SinCos(Ship.GetAngle() + PI / 2, s, c);
    const double dDistance = std::sqrt(dNearest);
    const double dLead = dDistance / TManShip::MISSILE_SPEED;
    const double tx = pNearest->GetPosition()[0] + pNearest->GetVelocity()[0] * dLead - vShip[0];
    const double ty = pNearest->GetPosition()[1] + pNearest->GetVelocity()[1] * dLead - vShip[1];
    const double dAcross = c * ty - s * tx;  // > 0: the target lies to the left
    const double dAlong = c * tx + s * ty;
    double sAim, cAim;
    TPortableMath::SinCos(AIM_DEGREES * PI / 180, sAim, cAim);
    const bool bAhead = dAlong > 0 && (dAcross < 0 ? -dAcross : dAcross) <= dAlong * sAim / cAim;
    if (!bAhead)
        vecCommands.push_back(dAcross > 0 ? CMD_TURN_LEFT : CMD_TURN_RIGHT);
    if (bAhead && m_nSinceShot >= SHOT_GAP) {
        vecCommands.push_back(CMD_FIRE);
        m_nSinceShot = 0;
    }
    // Too close and coming on: a push along the heading, which points at the rock, is the wrong
    // way; thrust only when the rock is behind or beside.
    if (dDistance < DANGER && dAlong < dDistance * 0.5 && m_nSinceThrust >= THRUST_GAP) {
        vecCommands.push_back(CMD_THRUST);
        m_nSinceThrust = 0;
    }
    return vecCommands;
}
