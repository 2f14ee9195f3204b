#include "tools/sim/StateJson.h"

#include "core/Game.h"
#include "objects/Asteroids.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>

namespace {
// Fields in the order they are set; numbers are the game's floats, which the writer prints as
// the shortest text that reads back as the same float.
using json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool, std::int64_t,
                                  std::uint64_t, float>;

// Whole numbers print without a point; -0 keeps its sign.
json Number(float fValue)
{
    if (!std::isfinite(fValue))
        return nullptr;
    if (std::fabs(fValue) < 1e15f && fValue == std::trunc(fValue) && !(fValue == 0.0f && std::signbit(fValue)))
        return static_cast<int64_t>(fValue);
    return fValue;
}

json Motion(const TFloat3& vPosition, const TFloat3& vVelocity)
{
    return {{"x", Number(vPosition[0])}, {"y", Number(vPosition[1])}, {"vx", Number(vVelocity[0])},
            {"vy", Number(vVelocity[1])}};
}

json Ship(const TManShip& Ship)
{
    const TFloat3 vPosition = Ship.GetPosition();
    const TFloat3 vVelocity = Ship.GetVelocity();
    // The heading as the ship's transform holds it.
    const float fAngle = static_cast<float>(Ship.GetAngle());
    return {{"x", Number(vPosition[0])},  {"y", Number(vPosition[1])},  {"angle", Number(fAngle)},
            {"vx", Number(vVelocity[0])}, {"vy", Number(vVelocity[1])}, {"alive", Ship.IsAlive()}};
}

json Asteroids(const TVecPtrAsteroids& vecAsteroids)
{
    json Rocks = json::array();
    for (const TAsteroid* pAsteroid : vecAsteroids) {
        if (!pAsteroid)
            continue;
        json Rock = {{"type", pAsteroid->GetType()}};
        Rock.update(Motion(pAsteroid->GetPosition(), pAsteroid->GetVelocity()));
        Rock["alive"] = pAsteroid->IsAlive();
        Rocks.push_back(std::move(Rock));
    }
    return Rocks;
}

json Missiles(const TVecPtrMissiles& vecMissiles)
{
    json Shots = json::array();
    for (const TMissile* pMissile : vecMissiles) {
        if (!pMissile)
            continue;
        json Shot = Motion(pMissile->GetPosition(), pMissile->GetVelocity());
        Shot["alive"] = pMissile->IsAlive();
        Shots.push_back(std::move(Shot));
    }
    return Shots;
}
}  // namespace

std::string FormatStateJson(const TGame& Game, long nTick)
{
    const json State = {{"tick", nTick},
                        {"state", Game.GetGameState()},
                        {"level", Game.GetLevel()},
                        {"score", Game.GetScore()},
                        {"ships", Game.GetShips()},
                        {"ship", Ship(*Game.GetShip())},
                        {"asteroids", Asteroids(Game.GetAsteroids())},
                        {"missiles", Missiles(Game.GetMissiles())}};
    return State.dump();
}
