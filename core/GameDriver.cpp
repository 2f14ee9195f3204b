#include "core/GameDriver.h"

#include "base/Assert.h"
#include "base/ExecutablePath.h"
#include "base/GameClock.h"
#include "base/Random.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SoDB.h>

#include <filesystem>

TGameDriver::TGameDriver(TClock nClock) : m_nClock(nClock)
{
    SoDB::init();
    if (m_nClock == CLOCK_VIRTUAL)
        TGameClock::UseVirtualTime(0);
    else
        TGameClock::UseRealTime();
}

TGameDriver::~TGameDriver()
{
    m_pGame.reset();
    m_pBank.reset();
    m_pSound.reset();
}

std::vector<std::string> TGameDriver::DataFilePlaces()
{
    return {TExecutablePath::Dir() + DATA_FILE_NAME, std::string(DRELK_DATA_DIR "/") + DATA_FILE_NAME};
}

std::string TGameDriver::DefaultDataFile()
{
    const std::vector<std::string> vPlaces = DataFilePlaces();
    // Something there beside the executable is taken, even a bad file, so that the player hears
    // what is wrong with the file they meant.
    std::error_code Error;
    return std::filesystem::exists(vPlaces.front(), Error) ? vPlaces.front() : vPlaces.back();
}

bool TGameDriver::Open(const std::string& strDataFile, std::string& strError)
{
    DRELK_ASSERT(!m_pBank);
    if (!m_pSound)
        m_pSound = std::make_unique<TFModSoundManager>();
    try {
        m_pBank = std::make_unique<TDataBanker>(strDataFile);
    } catch (const TDataError& Error) {
        strError = Error.what();
        return false;
    }
    return true;
}

TGame& TGameDriver::Start(int nLevel)
{
    DRELK_ASSERT(m_pBank);
    DRELK_ASSERT(m_pSound);
    // The old game's effects leave the clock as they go.
    m_pGame.reset();
    if (m_nClock == CLOCK_VIRTUAL)
        TGameClock::UseVirtualTime(0);
    TRandom::Reset();
    m_pGame = std::make_unique<TGame>(m_pBank.get(), m_pSound.get());
    m_pGame->Build(nLevel);
    m_pGame->SetRunning(true);
    return *m_pGame;
}

void TGameDriver::KeyDown(TGame::TKey nKey)
{
    Started().KeyDown(nKey);
}

void TGameDriver::SetRunning(bool bRun)
{
    Started().SetRunning(bRun);
}

bool TGameDriver::IsTicking() const
{
    return m_pGame && m_pGame->IsTicking();
}

SoSeparator* TGameDriver::GetScene() const
{
    return m_pGame ? m_pGame->GetRoot() : nullptr;
}

void TGameDriver::Pause()
{
    if (IsRunning())
        KeyDown(TGame::KEY_PAUSE);
}

bool TGameDriver::IsRunning() const
{
    TGame& Game = Started();
    return Game.GetGameState() == GS_PLAYING || Game.GetGameState() == GS_RESPAWN;
}

void TGameDriver::SetMusicOn(bool bOn)
{
    if (Started().IsMusicOn() != bOn)
        KeyDown(TGame::KEY_MUSIC);
}

bool TGameDriver::IsMusicOn() const
{
    return Started().IsMusicOn();
}

bool TGameDriver::IsGameOver() const
{
    return Started().IsGameOver();
}

int32_t TGameDriver::GetScore() const
{
    return Started().GetScore();
}

int32_t TGameDriver::GetLevel() const
{
    return Started().GetLevel();
}

bool TGameDriver::Step()
{
    TGame& Game = Started();
    // While paused the timer is off: the step passes without a game tick.
    const bool bTicked = Game.IsTicking();
    if (bTicked)
        Game.GameTick(TRules::TICK_DT);
    TGameClock::Advance(TICK_MS);
    return bTicked;
}

void TGameDriver::RestartSchedule(uint64_t nNowMs)
{
    m_nNextDueMs = nNowMs + TICK_MS;
}

int TGameDriver::RunDueTicks(uint64_t nNowMs)
{
    if (nNowMs < m_nNextDueMs)
        return 0;
    uint64_t nDue = (nNowMs - m_nNextDueMs) / TICK_MS + 1;
    if (nDue > static_cast<uint64_t>(MAX_DUE_TICKS)) {
        m_nDropped += nDue - MAX_DUE_TICKS;
        m_nNextDueMs += (nDue - MAX_DUE_TICKS) * TICK_MS;
        nDue = MAX_DUE_TICKS;
    }
    for (uint64_t i = 0; i < nDue; ++i)
        Step();
    m_nNextDueMs += nDue * TICK_MS;
    return static_cast<int>(nDue);
}

TGame& TGameDriver::Started() const
{
    DRELK_ASSERT(m_pGame);
    return *m_pGame;
}
