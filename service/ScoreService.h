#pragma once
// What the world table answers, whatever carries the requests: a submission checked (its size,
// the player's name, the address's rate, the replay reader's rules, the rules and data file it
// names, whether the game is already there), verified by a checker process, stored with the
// checker's own score, level and ticks, and ranked; the table as JSON and as a page; a stored
// replay. Nothing the client says about its score is ever read.
//
// A database that fails turns every answer that needs it into 503, said once in the log when it
// goes and once when it comes back.

#include "service/RateLimit.h"
#include "service/ReplayChecker.h"
#include "service/ScoreTable.h"
#include "service/SubmissionQueue.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct TAnswer
{
    int nStatus = 200;
    std::string strType = "application/json";
    std::string strBody;
    std::vector<std::pair<std::string, std::string>> vecHeaders;

    // {"error": REASON} with the status.
    static TAnswer Error(int nStatus, const std::string& strReason);
};

class TScoreService
{
public:
    struct TSettings
    {
        int nCheckers = 2;           // replays verified at once
        int nWaiting = 32;           // submissions that may wait for a checker
        int nPerMinute = 6;          // submissions an address may make a minute (0: no limit)
        int nBurst = 10;             // ... and at once
    };
    // Default and most rows a listing gives.
    static constexpr int DEFAULT_LIMIT = 100;
    using TLog = std::function<void(const std::string&)>;

    TScoreService(TScoreTable& Table, const TReplayChecker& Checker, TSettings Settings, TLog Log);

    // Asks the checker what it plays; false with the reason when its data file cannot serve.
    bool Start(std::string& strError);

    // Before the body comes: the name and the address's rate, and a declared size. An answer
    // refuses the submission; none lets it go on.
    bool Admit(const std::string& strAddress, const std::string& strName, bool bHasName, uint64_t nDeclaredBytes,
               TAnswer& Refusal);
    // The body in full: 201 with {"id", "score", "level", "ticks", "rank"}, or why not.
    TAnswer Submit(const std::string& strAddress, const std::string& strName, const std::vector<uint8_t>& Body);

    // GET /api/scores?limit=N, GET /, GET /replays/ID.
    TAnswer Scores(const std::string& strLimit, bool bHasLimit);
    TAnswer Page();
    TAnswer Replay(const std::string& strId);

    // What tells two games apart: the rules, data file and level they start from, how long
    // they run and every command that came before the end. Commands after the last tick change
    // nothing the table shows, so a copy that only adds some is the same game.
    static TGameKey GameKey(const TReplay& Replay);

    const TSubmissionQueue& GetQueue() const { return m_Queue; }

private:
    // Whether the database answered (bWrote: a write): a change is said once. A database that
    // failed a write (a full disk) is back only when a write goes through again: reads may well
    // go on in the meantime.
    void DatabaseAnswered(bool bAnswered, const std::string& strError, bool bWrote = false);
    TAnswer Unavailable();

    TScoreTable& m_Table;
    const TReplayChecker& m_Checker;
    TSettings m_Settings;
    TLog m_Log;
    TRateLimit m_RateLimit;
    TSubmissionQueue m_Queue;
    uint32_t m_nRulesVersion = 0;
    TRulesData::TBytes m_RulesData{};
    std::mutex m_LogLock;
    bool m_bDatabaseDown = false;
    bool m_bWriteFailed = false;
};
