#include "tests/support/GameFixture.h"

#include "tests/support/GameTestAccess.h"

#include "objects/Asteroids.h"

#include <cstdio>
#include <cstdlib>
#include <string>

TGameDriver* GameFixture::s_pDriver = nullptr;

void GameFixture::SetUpTestSuite()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (s_pDriver)
        return;
    s_pDriver = new TGameDriver();
    std::string strError;
    if (!s_pDriver->Open(DRELK_TEST_DATA_FILE, strError)) {
        // Nothing of the game can be tested without its data.
        std::fprintf(stderr, "%s: %s\n", DRELK_TEST_DATA_FILE, strError.c_str());
        std::exit(1);
    }
}

void GameFixture::TearDownTestSuite()
{
}

void GameFixture::NewGame(int nLevel)
{
    m_pGame = &s_pDriver->Start(nLevel);
}

void GameFixture::Tick(int n)
{
    for (int i = 0; i < n; ++i)
        s_pDriver->Step();
}

void GameFixture::ClearField()
{
    for (TAsteroid* pAsteroid : m_pGame->GetAsteroids())
        if (pAsteroid && pAsteroid->IsAlive())
            pAsteroid->Explode(false);
}

TAsteroid* GameFixture::AddRock(int nSize, const SbVec3f& vPosition, const SbVec2f& vVelocity)
{
    return TGameTestAccess::AddRock(*m_pGame, nSize, vPosition, vVelocity, SbVec3f(0.0f, 0.0f, 1.0f), 0.0);
}

int GameFixture::CountAlive() const
{
    int nAlive = 0;
    for (const TAsteroid* pAsteroid : m_pGame->GetAsteroids())
        nAlive += pAsteroid && pAsteroid->IsAlive();
    return nAlive;
}
