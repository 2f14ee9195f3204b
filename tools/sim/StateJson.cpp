#include "tools/sim/StateJson.h"

#include "core/Game.h"
#include "objects/Asteroids.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
// Shortest text that reads back as the same float; integers print without a point.
std::string Number(float fValue)
{
    if (!std::isfinite(fValue))
        return "null";
    char szBuf[32];
    for (int nDigits = 1; nDigits <= 9; ++nDigits) {
        std::snprintf(szBuf, sizeof szBuf, "%.*g", nDigits, static_cast<double>(fValue));
        if (std::strtof(szBuf, nullptr) == fValue)
            break;
    }
    return szBuf;
}

std::string Number(double dValue)
{
    if (!std::isfinite(dValue))
        return "null";
    char szBuf[32];
    for (int nDigits = 1; nDigits <= 17; ++nDigits) {
        std::snprintf(szBuf, sizeof szBuf, "%.*g", nDigits, dValue);
        if (std::strtod(szBuf, nullptr) == dValue)
            break;
    }
    return szBuf;
}

const char* Bool(bool b)
{
    return b ? "true" : "false";
}

std::string Motion(const SbVec3f& vPosition, const SbVec3f& vVelocity)
{
    return "\"x\":" + Number(vPosition[0]) + ",\"y\":" + Number(vPosition[1]) + ",\"vx\":" + Number(vVelocity[0]) +
           ",\"vy\":" + Number(vVelocity[1]);
}
}  // namespace

std::string FormatStateJson(const TGame& Game, long nTick)
{
    const TManShip& Ship = *Game.GetShip();
    std::string strJson = "{\"tick\":" + std::to_string(nTick) + ",\"state\":" + std::to_string(Game.GetGameState()) +
                          ",\"level\":" + std::to_string(Game.GetLevel()) + ",\"score\":" +
                          std::to_string(Game.GetScore()) + ",\"ships\":" + std::to_string(Game.GetShips());
    const SbVec3f vShip = Ship.GetPosition();
    const SbVec3f vShipSpeed = Ship.GetVelocity();
    strJson += ",\"ship\":{\"x\":" + Number(vShip[0]) + ",\"y\":" + Number(vShip[1]) + ",\"angle\":" +
               Number(Ship.GetAngle()) + ",\"vx\":" + Number(vShipSpeed[0]) + ",\"vy\":" + Number(vShipSpeed[1]) +
               ",\"alive\":" + Bool(Ship.IsAlive()) + "}";

    strJson += ",\"asteroids\":[";
    const char* szSeparator = "";
    for (const TAsteroid* pAsteroid : Game.GetAsteroids()) {
        if (!pAsteroid)
            continue;
        strJson += std::string(szSeparator) + "{\"type\":" + std::to_string(pAsteroid->GetType()) + "," +
                   Motion(pAsteroid->GetPosition(), pAsteroid->GetVelocity()) + ",\"alive\":" +
                   Bool(pAsteroid->IsAlive()) + "}";
        szSeparator = ",";
    }
    strJson += "],\"missiles\":[";
    szSeparator = "";
    for (const TMissile* pMissile : Game.GetMissiles()) {
        if (!pMissile)
            continue;
        strJson += std::string(szSeparator) + "{" + Motion(pMissile->GetPosition(), pMissile->GetVelocity()) +
                   ",\"alive\":" + Bool(pMissile->IsAlive()) + "}";
        szSeparator = ",";
    }
    return strJson + "]}";
}
