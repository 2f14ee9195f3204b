#pragma once
// What only tests and benchmarks do to a game: put rocks and missiles where a case needs them.
// The game names this class its friend; only tests include it.

#include "core/Game.h"

class TGameTestAccess
{
public:
    // A rock of a size class (0 small, 1 medium, 2 large) in the level's list, its extents and
    // mesh drawn from the game's generator as the game draws them.
    static TAsteroid* AddRock(TGame& Game, int nSize, const TFloat3& vPosition, float fVx, float fVy,
                              const TFloat3& vAxis, double dRotationSpeed)
    {
        TAsteroid* pAsteroid = Game.CreateAsteroid(nSize, vPosition, fVx, fVy, vAxis, dRotationSpeed);
        Game.m_vecAsteroids.push_back(pAsteroid);
        return pAsteroid;
    }
    // A missile at a place, shown and flying, in the game's list.
    static TMissile* AddMissile(TGame& Game, const TFloat3& vPosition, float fVx, float fVy)
    {
        TMissile* pMissile = new TMissile(vPosition, 1.0, Game.NextSerial());
        pMissile->SetVelocity(fVx, fVy);
        pMissile->SetVisible(true);
        Game.m_vecMissiles.push_back(pMissile);
        return pMissile;
    }
};
