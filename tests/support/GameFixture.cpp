#include "tests/support/GameFixture.h"

#include "core/GameClock.h"
#include "core/Random.h"
#include "databank/DataBanker.h"
#include "objects/Asteroids.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SoDB.h>

#include <cstdlib>

TDataBanker* GameFixture::s_pBank = nullptr;
TFModSoundManager* GameFixture::s_pSound = nullptr;

void GameFixture::SetUpTestSuite()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SoDB::init();
    if (!s_pBank)
        s_pBank = new TDataBanker(DRELK_TEST_DATA_FILE);
    if (!s_pSound)
        s_pSound = new TFModSoundManager;
}

void GameFixture::TearDownTestSuite()
{
    // The bank and the sound manager serve every suite of the program, as in the game.
}

void GameFixture::NewGame(int nLevel)
{
    m_pGame.reset();
    TGameClock::UseVirtualTime(0);
    TRandom::Reset();
    m_pGame = std::make_unique<TGame>(s_pBank, s_pSound);
    m_pGame->Build(nLevel);
    m_pGame->SetRunning(true);
}

void GameFixture::Tick(int n)
{
    for (int i = 0; i < n; ++i) {
        if (m_pGame->IsTicking())
            m_pGame->GameTick(TGame::TICK_DT);
        TGameClock::Advance(10);
    }
}

void GameFixture::ClearField()
{
    for (TAsteroid* pAsteroid : m_pGame->GetAsteroids())
        if (pAsteroid && pAsteroid->IsAlive())
            pAsteroid->Explode(false);
}

TAsteroid* GameFixture::AddRock(int nSize, const SbVec3f& vPosition, const SbVec2f& vVelocity)
{
    TAsteroid* pRock = m_pGame->CreateAsteroid(nSize, vPosition, vVelocity, SbVec3f(0.0f, 0.0f, 1.0f), 0.0);
    m_pGame->AddAsteroid(pRock);
    return pRock;
}

int GameFixture::CountAlive() const
{
    int nAlive = 0;
    for (const TAsteroid* pAsteroid : m_pGame->GetAsteroids())
        nAlive += pAsteroid && pAsteroid->IsAlive();
    return nAlive;
}
