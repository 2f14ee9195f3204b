#include "service/ScoreService.h"

#include "service/PlayerName.h"
#include "service/ScorePage.h"

#include <QCryptographicHash>

#include <nlohmann/json.hpp>

#include <chrono>
#include <ctime>

namespace {
// How long a client is asked to wait for a database that did not answer.
constexpr const char* DATABASE_RETRY_SECONDS = "30";

bool ReadNumber(const std::string& strText, size_t nMaxDigits, int64_t& nValue)
{
    if (strText.empty() || strText.size() > nMaxDigits)
        return false;
    nValue = 0;
    for (const char c : strText) {
        if (c < '0' || c > '9')
            return false;
        nValue = nValue * 10 + (c - '0');
    }
    return true;
}

void AddLe32(QCryptographicHash& Hash, uint32_t nValue)
{
    const char v[4] = {static_cast<char>(nValue), static_cast<char>(nValue >> 8), static_cast<char>(nValue >> 16),
                       static_cast<char>(nValue >> 24)};
    Hash.addData(v, 4);
}
}  // namespace

TAnswer TAnswer::Error(int nStatus, const std::string& strReason)
{
    TAnswer Answer;
    Answer.nStatus = nStatus;
    Answer.strBody = nlohmann::json{{"error", strReason}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return Answer;
}

TScoreService::TScoreService(TScoreTable& Table, const TReplayChecker& Checker, TSettings Settings, TLog Log)
    : m_Table(Table), m_Checker(Checker), m_Settings(Settings), m_Log(std::move(Log)),
      m_RateLimit(Settings.nPerMinute, Settings.nBurst), m_Queue(Settings.nCheckers, Settings.nWaiting)
{
}

bool TScoreService::Start(std::string& strError)
{
    return m_Checker.Identify(m_nRulesVersion, m_RulesData, strError);
}

TGameKey TScoreService::GameKey(const TReplay& Replay)
{
    QCryptographicHash Hash(QCryptographicHash::Sha256);
    Hash.addData("drelk2-game", 11);
    AddLe32(Hash, Replay.nRulesVersion);
    Hash.addData(reinterpret_cast<const char*>(Replay.RulesData.data()), static_cast<int>(Replay.RulesData.size()));
    AddLe32(Hash, static_cast<uint32_t>(Replay.nStartLevel));
    AddLe32(Hash, Replay.nTicks);
    for (const TReplayCommand& Command : Replay.vecCommands) {
        if (Command.nTick > Replay.nTicks)
            break;
        AddLe32(Hash, Command.nTick);
        AddLe32(Hash, static_cast<uint32_t>(Command.nCommand));
    }
    const QByteArray Digest = Hash.result();
    return TGameKey(Digest.begin(), Digest.end());
}

bool TScoreService::Admit(const std::string& strAddress, const std::string& strName, bool bHasName,
                          uint64_t nDeclaredBytes, TAnswer& Refusal)
{
    const std::string strWhy = bHasName ? TPlayerName::WhyNot(strName) : TPlayerName::WhyNot("");
    if (!strWhy.empty()) {
        Refusal = TAnswer::Error(400, strWhy);
        return false;
    }
    if (nDeclaredBytes > TReplay::MAX_BYTES) {
        Refusal = TAnswer::Error(413, "a replay is at most " + std::to_string(TReplay::MAX_BYTES) + " bytes");
        return false;
    }
    int nRetry = 0;
    if (!m_RateLimit.Take(strAddress, nRetry)) {
        Refusal = TAnswer::Error(429, "too many submissions from this address; try again in " + std::to_string(nRetry) + " s");
        Refusal.vecHeaders.emplace_back("Retry-After", std::to_string(nRetry));
        return false;
    }
    return true;
}

TAnswer TScoreService::Submit(const std::string& strAddress, const std::string& strName,
                              const std::vector<uint8_t>& Body)
{
    if (Body.size() > TReplay::MAX_BYTES)
        return TAnswer::Error(413, "a replay is at most " + std::to_string(TReplay::MAX_BYTES) + " bytes");
    TReplay Replay;
    std::string strError;
    if (!TReplayFile::Parse(Body, Replay, strError))
        return TAnswer::Error(400, "not a replay: " + strError);
    strError = TReplayFile::WhyNotPlayable(Replay, m_nRulesVersion, m_RulesData);
    if (!strError.empty())
        return TAnswer::Error(422, "this table verifies another game: the replay was " + strError);
    const TGameKey Key = GameKey(Replay);
    const std::optional<bool> bKnown = m_Table.HasKey(Key, strError);
    DatabaseAnswered(bKnown.has_value(), strError);
    if (!bKnown)
        return Unavailable();
    if (*bKnown)
        return TAnswer::Error(409, "this game is in the table already");

    int nRetry = 0;
    TSubmissionQueue::TTicket Ticket = m_Queue.Enter(nRetry);
    if (!Ticket.IsValid()) {
        TAnswer Answer = TAnswer::Error(503, "every checker is busy; try again in " + std::to_string(nRetry) + " s");
        Answer.vecHeaders.emplace_back("Retry-After", std::to_string(nRetry));
        return Answer;
    }
    const auto tStart = std::chrono::steady_clock::now();
    const TVerdict Verdict = m_Checker.Check(Body);
    m_Queue.Took(std::chrono::steady_clock::now() - tStart);
    const long long nMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tStart).count();
    if (Verdict.nKind == TVerdict::FAILED) {
        m_Log("a replay from " + strAddress + " got no verdict: " + Verdict.strReason);
        return TAnswer::Error(500, "the replay could not be verified: " + Verdict.strReason);
    }
    if (Verdict.nKind == TVerdict::REFUSED) {
        m_Log("refused a replay from " + strAddress + " after " + std::to_string(nMs) + " ms: " + Verdict.strReason);
        return TAnswer::Error(422, Verdict.strReason);
    }

    TNewScore Score;
    Score.strName = strName;
    Score.nScore = Verdict.nScore;
    Score.nLevel = Verdict.nLevel;
    Score.nTicks = Verdict.nTicks;
    Score.nDate = static_cast<int64_t>(std::time(nullptr));
    Score.nRulesVersion = m_nRulesVersion;
    Score.Key = Key;
    Score.Replay = Body;
    int64_t nId = 0, nRank = 0;
    const TScoreTable::TStore nStore = m_Table.Add(Score, nId, nRank, strError);
    DatabaseAnswered(nStore != TScoreTable::STORE_UNAVAILABLE, strError, true);
    if (nStore == TScoreTable::STORE_UNAVAILABLE)
        return Unavailable();
    if (nStore == TScoreTable::STORE_DUPLICATE)
        return TAnswer::Error(409, "this game is in the table already");
    m_Log("added #" + std::to_string(nId) + " '" + strName + "' score " + std::to_string(Score.nScore) + " level " +
          std::to_string(Score.nLevel) + " (" + std::to_string(Score.nTicks) + " ticks, rank " + std::to_string(nRank) +
          ") from " + strAddress + ", verified in " + std::to_string(nMs) + " ms");
    TAnswer Answer;
    Answer.nStatus = 201;
    Answer.strBody = nlohmann::json{{"id", nId}, {"score", Score.nScore}, {"level", Score.nLevel},
                                    {"ticks", Score.nTicks}, {"rank", nRank}}.dump() + "\n";
    Answer.vecHeaders.emplace_back("Location", "/replays/" + std::to_string(nId));
    return Answer;
}

TAnswer TScoreService::Scores(const std::string& strLimit, bool bHasLimit)
{
    int64_t nLimit = DEFAULT_LIMIT;
    if (bHasLimit && (!ReadNumber(strLimit, 4, nLimit) || nLimit < 1 || nLimit > TScoreTable::MAX_LIST))
        return TAnswer::Error(400, "limit is a number from 1 to " + std::to_string(TScoreTable::MAX_LIST));
    std::vector<TScoreRow> vecRows;
    std::string strError;
    const bool bListed = m_Table.List(static_cast<int>(nLimit), vecRows, strError);
    DatabaseAnswered(bListed, strError);
    if (!bListed)
        return Unavailable();
    TAnswer Answer;
    Answer.strBody = TScorePage::Json(vecRows);
    return Answer;
}

TAnswer TScoreService::Page()
{
    std::vector<TScoreRow> vecRows;
    std::string strError;
    const bool bListed = m_Table.List(DEFAULT_LIMIT, vecRows, strError);
    DatabaseAnswered(bListed, strError);
    if (!bListed) {
        TAnswer Answer = Unavailable();
        Answer.strType = "text/plain; charset=utf-8";
        Answer.strBody = "The world table is unavailable for a moment; try again soon.\n";
        return Answer;
    }
    TAnswer Answer;
    Answer.strType = "text/html; charset=utf-8";
    Answer.strBody = TScorePage::Html(vecRows);
    return Answer;
}

TAnswer TScoreService::Replay(const std::string& strId)
{
    int64_t nId = 0;
    if (!ReadNumber(strId, 18, nId))
        return TAnswer::Error(404, "no such replay");
    std::vector<uint8_t> Bytes;
    std::string strError;
    const bool bFound = m_Table.GetReplay(nId, Bytes, strError);
    DatabaseAnswered(bFound || strError.empty(), strError);
    if (!bFound)
        return strError.empty() ? TAnswer::Error(404, "no such replay") : Unavailable();
    TAnswer Answer;
    Answer.strType = "application/octet-stream";
    Answer.strBody.assign(Bytes.begin(), Bytes.end());
    Answer.vecHeaders.emplace_back("Content-Disposition", "attachment; filename=\"" + strId + ".drelk2-replay\"");
    return Answer;
}

void TScoreService::DatabaseAnswered(bool bAnswered, const std::string& strError, bool bWrote)
{
    std::lock_guard<std::mutex> Guard(m_LogLock);
    if (!bAnswered) {
        m_bWriteFailed = m_bWriteFailed || bWrote;
        if (!m_bDatabaseDown)
            m_Log("the database is unavailable (" + strError + "); answering 503 until it is back");
        m_bDatabaseDown = true;
    } else if (m_bDatabaseDown && (bWrote || !m_bWriteFailed)) {
        m_Log("the database answers again");
        m_bDatabaseDown = m_bWriteFailed = false;
    }
}

TAnswer TScoreService::Unavailable()
{
    TAnswer Answer = TAnswer::Error(503, "the world table's database is unavailable; try again later");
    Answer.vecHeaders.emplace_back("Retry-After", DATABASE_RETRY_SECONDS);
    return Answer;
}
