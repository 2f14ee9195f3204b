#include "core/GameRun.h"

#include "base/Assert.h"

TGameRun::TGameRun(const TRulesData& Data, int nLevel) : m_Game(Data)
{
    m_Game.Build(nLevel);
    m_Game.SetRunning(true);
}

TGameRun::TGameRun(const TRulesData& Data, int nLevel, const std::string& strGameVersion) : TGameRun(Data, nLevel)
{
    m_Record.nRulesVersion = TRules::VERSION;
    m_Record.strGameVersion = strGameVersion;
    m_Record.RulesData = Data.ToBytes();
    m_Record.nStartLevel = nLevel;
}

std::unique_ptr<TGameRun> TGameRun::Replaying(const TRulesData& Data, const TReplay& Replay, std::string& strError)
{
    strError = TReplayFile::WhyNotPlayable(Replay, TRules::VERSION, Data.ToBytes());
    if (!strError.empty())
        return nullptr;
    std::unique_ptr<TGameRun> pRun(new TGameRun(Data, Replay.nStartLevel));
    pRun->m_pReplay = std::make_unique<TReplay>(Replay);
    return pRun;
}

void TGameRun::Command(TCommand nCommand)
{
    DRELK_ASSERT(!m_pReplay);
    DRELK_ASSERT(IsGameCommand(nCommand));
    if (m_bLeft)
        return;
    m_Record.vecCommands.push_back({m_nTicks + 1, nCommand});
    m_Game.Command(nCommand);
}

bool TGameRun::IsTicking() const
{
    return m_Game.IsTicking() && !m_bLeft && !m_bReplayOver;
}

bool TGameRun::Step()
{
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
    const bool bTicked = m_Game.IsTicking();
    if (bTicked)
        m_Game.GameTick(TRules::TICK_DT);
    m_Game.StepClock(TICK_MS);
    ++m_nTicks;
    if (m_nTicks % TReplay::DIGEST_TICKS == 0) {
        if (m_pReplay)
            CheckDigest(m_pReplay->vecDigests[m_nTicks / TReplay::DIGEST_TICKS - 1], m_nTicks);
        else if (m_nTicks <= TReplay::MAX_TICKS)
            m_Record.vecDigests.push_back(m_Game.Digest());
    }
    return bTicked;
}

void TGameRun::ApplyReplayCommands(uint32_t nTick)
{
    const std::vector<TReplayCommand>& vecCommands = m_pReplay->vecCommands;
    for (; m_nNextCommand < vecCommands.size() && vecCommands[m_nNextCommand].nTick <= nTick; ++m_nNextCommand)
        m_Game.Command(vecCommands[m_nNextCommand].nCommand);
}

void TGameRun::CheckDigest(uint64_t nExpected, uint32_t nTick)
{
    if (m_Game.Digest() == nExpected)
        ++m_nDigestsChecked;
    else if (m_nDeparture == 0)
        m_nDeparture = nTick;
}

// The commands given after the last tick, then the state the game was left in.
void TGameRun::FinishReplay()
{
    ApplyReplayCommands(m_nTicks + 1);
    m_nFinalDigest = m_Game.Digest();
    CheckDigest(m_pReplay->nFinalDigest, m_nTicks);
    m_bReplayOver = true;
    m_Game.SetRunning(false);
}

std::string TGameRun::CheckEnding() const
{
    DRELK_ASSERT(m_pReplay && m_bReplayOver);
    const TReplay& Replay = *m_pReplay;
    if (Replay.nScore != m_Game.GetScore())
        return "its header says score " + std::to_string(Replay.nScore) + ", the game reached " +
               std::to_string(m_Game.GetScore());
    if (Replay.nLevel != m_Game.GetLevel())
        return "its header says level " + std::to_string(Replay.nLevel) + ", the game reached " +
               std::to_string(m_Game.GetLevel());
    if (Replay.nTicks != m_nTicks)
        return "its header says " + std::to_string(Replay.nTicks) + " ticks, the game ran " + std::to_string(m_nTicks);
    if (Replay.nFinalDigest != m_nFinalDigest)
        return "its header's final digest is not the state the game ended in";
    return std::string();
}

void TGameRun::Leave()
{
    if (m_bLeft)
        return;
    if (!m_pReplay) {
        m_Record.nTicks = m_nTicks;
        m_Record.nScore = m_Game.GetScore();
        m_Record.nLevel = m_Game.GetLevel();
        m_Record.nFinalDigest = m_Game.Digest();
    }
    m_bLeft = true;
    m_Game.SetRunning(false);
}

TReplay TGameRun::GetRecord() const
{
    if (m_pReplay)
        return *m_pReplay;
    TReplay Record = m_Record;
    if (!m_bLeft) {
        Record.nTicks = m_nTicks;
        Record.nScore = m_Game.GetScore();
        Record.nLevel = m_Game.GetLevel();
        Record.nFinalDigest = m_Game.Digest();
    }
    return Record;
}
