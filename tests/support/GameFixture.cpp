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
    // Each followed by a frame, as the window draws them.
    for (int i = 0; i < n; ++i) {
        s_pDriver->Step();
        s_pDriver->Present(1.0);
    }
}

void GameFixture::ClearField()
{
    for (TAsteroid* pAsteroid : m_pGame->GetAsteroids())
        if (pAsteroid->IsAlive())
            pAsteroid->Explode(false);
    s_pDriver->Follow();
}

TAsteroid* GameFixture::AddRock(int nSize, const TFloat3& vPosition, float fVx, float fVy)
{
    TAsteroid* pRock = TGameTestAccess::AddRock(*m_pGame, nSize, vPosition, fVx, fVy, TFloat3(0.0f, 0.0f, 1.0f), 0.0);
    s_pDriver->Follow();
    return pRock;
}

int GameFixture::CountAlive() const
{
    int nAlive = 0;
    for (const TAsteroid* pAsteroid : m_pGame->GetAsteroids())
        nAlive += pAsteroid->IsAlive();
    return nAlive;
}
