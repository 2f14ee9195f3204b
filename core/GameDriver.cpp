#include "core/GameDriver.h"

#include "base/Assert.h"
#include "base/ExecutablePath.h"
#include "base/GameClock.h"
#include "base/Random.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SoDB.h>

#include <algorithm>
#include <filesystem>


TGameDriver::TGameDriver()
{
    SoDB::init();
    TGameClock::Reset(0);
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
    m_DataSha = m_pBank->GetSha256();
    return true;
}

TGame& TGameDriver::NewGame(int nLevel)
{
    DRELK_ASSERT(m_pBank);
    DRELK_ASSERT(m_pSound);
    // The old game's effects leave the clock as they go.
    m_pGame.reset();
    TGameClock::Reset(0);
    TRandom::Reset();
    m_nTicks = 0;
    m_bLeft = false;
    m_pReplay.reset();
    m_bReplayOver = false;
    m_nDeparture = 0;
    m_nDigestsChecked = 0;
    m_pGame = std::make_unique<TGame>(m_pBank.get(), m_pSound.get());
    m_pGame->Build(nLevel);
    m_pGame->SetRunning(true);
    return *m_pGame;
}

TGame& TGameDriver::Start(int nLevel)
{
    TGame& Game = NewGame(nLevel);
    m_Record = TReplay();
    m_Record.nRulesVersion = TRules::VERSION;
    m_Record.strGameVersion = DRELK_VERSION;
    m_Record.DataSha = m_DataSha;
    m_Record.nStartLevel = nLevel;
    return Game;
}

bool TGameDriver::StartReplay(const TReplay& Replay, std::string& strError)
{
    strError = TReplayFile::WhyNotPlayable(Replay, TRules::VERSION, m_DataSha);
    if (!strError.empty())
        return false;
    NewGame(Replay.nStartLevel);
    m_pReplay = std::make_unique<TReplay>(Replay);
    m_nNextCommand = 0;
    return true;
}

void TGameDriver::Command(TCommand nCommand)
{
    DRELK_ASSERT(!m_pReplay);
    DRELK_ASSERT(IsGameCommand(nCommand));
    TGame& Game = Started();
    if (m_bLeft)
        return;
    m_Record.vecCommands.push_back({m_nTicks + 1, nCommand});
    Game.Command(nCommand);
}

bool TGameDriver::IsTicking() const
{
    return m_pGame && m_pGame->IsTicking() && !m_bLeft && !m_bReplayOver;
}

SoSeparator* TGameDriver::GetScene() const
{
    return m_pGame ? m_pGame->GetRoot() : nullptr;
}

bool TGameDriver::IsRunning() const
{
    TGame& Game = Started();
    return Game.GetGameState() == GS_PLAYING || Game.GetGameState() == GS_RESPAWN;
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
    if (m_bLeft || m_bReplayOver)
        return false;
    if (m_pReplay) {
        if (m_nTicks >= m_pReplay->nTicks) {
            FinishReplay();
            return false;
        }
        ApplyReplayCommands(m_nTicks + 1);
    }
    // While paused the game timer is off: the step passes without a game tick.
    const bool bTicked = Game.IsTicking();
    if (bTicked)
        Game.GameTick(TRules::TICK_DT);
    TGameClock::Advance(TICK_MS);
    ++m_nTicks;
    if (!m_bFramesPresent)
        Game.Present(1.0);
    if (m_nTicks % TReplay::DIGEST_TICKS == 0) {
        if (m_pReplay)
            CheckDigest(m_pReplay->vecDigests[m_nTicks / TReplay::DIGEST_TICKS - 1], m_nTicks);
        else if (m_nTicks <= TReplay::MAX_TICKS)
            m_Record.vecDigests.push_back(Game.Digest());
    }
    return bTicked;
}

void TGameDriver::ApplyReplayCommands(uint32_t nTick)
{
    const std::vector<TReplayCommand>& vecCommands = m_pReplay->vecCommands;
    for (; m_nNextCommand < vecCommands.size() && vecCommands[m_nNextCommand].nTick <= nTick; ++m_nNextCommand)
        m_pGame->Command(vecCommands[m_nNextCommand].nCommand);
}

void TGameDriver::CheckDigest(uint64_t nExpected, uint32_t nTick)
{
    if (m_pGame->Digest() == nExpected)
        ++m_nDigestsChecked;
    else if (m_nDeparture == 0)
        m_nDeparture = nTick;
}

// The commands given after the last tick, then the state the game was left in.
void TGameDriver::FinishReplay()
{
    ApplyReplayCommands(m_nTicks + 1);
    CheckDigest(m_pReplay->nFinalDigest, m_nTicks);
    m_bReplayOver = true;
    m_pGame->SetRunning(false);
}

void TGameDriver::Leave()
{
    TGame& Game = Started();
    if (m_bLeft)
        return;
    if (!m_pReplay) {
        m_Record.nTicks = m_nTicks;
        m_Record.nScore = Game.GetScore();
        m_Record.nLevel = Game.GetLevel();
        m_Record.nFinalDigest = Game.Digest();
    }
    m_bLeft = true;
    Game.SetRunning(false);
}

TReplay TGameDriver::GetRecord() const
{
    if (m_pReplay)
        return *m_pReplay;
    TReplay Record = m_Record;
    if (!m_bLeft) {
        const TGame& Game = Started();
        Record.nTicks = m_nTicks;
        Record.nScore = Game.GetScore();
        Record.nLevel = Game.GetLevel();
        Record.nFinalDigest = Game.Digest();
    }
    return Record;
}

double TGameDriver::AlphaAt(uint64_t nNowUs) const
{
    const uint64_t nLastDueUs = GetLastDueUs();
    if (nNowUs <= nLastDueUs)
        return 0.0;
    return std::min(1.0, static_cast<double>(nNowUs - nLastDueUs) / static_cast<double>(TICK_US));
}

void TGameDriver::PresentAt(uint64_t nNowUs)
{
    Started().Present(AlphaAt(nNowUs));
}

void TGameDriver::RestartSchedule(uint64_t nNowUs)
{
    m_nNextDueUs = nNowUs + TICK_US;
}

int TGameDriver::RunDueTicks(uint64_t nNowUs, int nMaxDue)
{
    DRELK_ASSERT(nMaxDue > 0);
    if (nNowUs < m_nNextDueUs)
        return 0;
    uint64_t nDue = (nNowUs - m_nNextDueUs) / TICK_US + 1;
    const uint64_t nMax = static_cast<uint64_t>(nMaxDue);
    if (nDue > nMax) {
        m_nDropped += nDue - nMax;
        m_nNextDueUs += (nDue - nMax) * TICK_US;
        nDue = nMax;
    }
    for (uint64_t i = 0; i < nDue; ++i)
        Step();
    m_nNextDueUs += nDue * TICK_US;
    return static_cast<int>(nDue);
}

TGame& TGameDriver::Started() const
{
    DRELK_ASSERT(m_pGame);
    return *m_pGame;
}
