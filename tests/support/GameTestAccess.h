#pragma once
// What only tests and benchmarks do to a game: put rocks and missiles where a case needs them
// and reach the groups they hang under. The game names this class its friend; only tests
// include it.

#include "core/Game.h"

#include <Inventor/nodes/SoSeparator.h>

class TGameTestAccess
{
public:
    // A rock of a size class (0 small, 1 medium, 2 large) in the level's list, its extents and
    // mesh drawn from the generator as the game draws them.
    static TAsteroid* AddRock(TGame& Game, int nSize, const SbVec3f& vPosition, const SbVec2f& vVelocity,
                              const SbVec3f& vAxis, double dRotationSpeed)
    {
        TAsteroid* pAsteroid = Game.CreateAsteroid(nSize, vPosition, vVelocity, vAxis, dRotationSpeed);
        Game.m_vecAsteroids.push_back(pAsteroid);
        return pAsteroid;
    }
    // A missile made by the caller, handed to the game.
    static void AddMissile(TGame& Game, TMissile* pMissile) { Game.m_vecMissiles.push_back(pMissile); }
    static SoSeparator* GetMissilesRoot(const TGame& Game) { return Game.m_pRootMisls; }
    static SoSeparator* GetAsteroidsRoot(const TGame& Game) { return Game.m_pRootAsteroids; }
};
