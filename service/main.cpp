// drelk2-scores: the world table of Drelk II's best scores, where every score is the one the
// service reached itself by playing the game's replay.
//
//   serve      answers on HTTP: replays in, the table out (JSON and a page)
//   reverify   plays every stored replay again with this checker, for a new release
//   check      verifies one replay from standard input and prints the verdict (what serve runs,
//              limited, for each submission)

#include "base/CommandOptions.h"
#include "core/GameDriver.h"
#include "service/HttpServer.h"
#include "service/ReplayVerifier.h"
#include "service/ScoreService.h"

#include <QCoreApplication>
#include <QStringList>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_REFUSED = 3;
constexpr const char* SELF = "/proc/self/exe";

const char DESCRIPTION[] =
    "The world table of Drelk II's best scores: each submitted replay is played again by the service,\n"
    "which keeps the score, level and ticks it reached itself.\n"
    "\n"
    "Commands:\n"
    "  serve      answer on HTTP: POST /api/replays?name=NAME (a replay as the body),\n"
    "             GET /api/scores?limit=N, GET /replays/ID, GET / (the table as a page)\n"
    "  reverify   play every stored replay again with this checker and report those that no\n"
    "             longer verify (--set-aside takes them out of the table)\n"
    "  check      verify one replay read from standard input and print the verdict (to a pipe\n"
    "             or a terminal: a checker writes no file)\n"
    "\n"
    "The table: an SQLite file (made when missing), or a PostgreSQL server named by a\n"
    "postgresql:// URI, which several services may share.\n"
    "\n"
    "Exit status: 0 done (every replay verified), 1 a database or data file that cannot serve,\n"
    "2 a bad command line, 3 a replay that does not verify.";

void Log(const std::string& strLine)
{
    std::fprintf(stderr, "drelk2-scores: %s\n", strLine.c_str());
}

struct TOptions
{
    std::string strCommand;
    std::string strDb = "drelk2-scores.db";
    std::string strListen = "127.0.0.1:8080";
    std::string strData = TGameDriver::DefaultDataFile();
    TScoreService::TSettings Settings;
    THttpServer::TLimits Http;
    TCheckLimits Limits;
    bool bSetAside = false;
    bool bIdentify = false;
};

class TOptionParser
{
public:
    TOptionParser()
        : m_Parser(DESCRIPTION, {
            {"db", "The table: an SQLite file, or postgresql://... (default: drelk2-scores.db).", "FILE|URI"},
            {"listen", "serve: the address and port (default 127.0.0.1:8080; port 0 takes a free one).",
             "ADDR:PORT"},
            {"data", QString::fromStdString("The game's data file (default: Drelk_II.bin beside the program, else " +
                                            TGameDriver::DataFilePlaces().back() + ")."),
             "FILE"},
            {"checkers", "serve: replays verified at once (default: the processors).", "N"},
            {"waiting", "serve: submissions that may wait for a checker; more get 503 (default 32).", "N"},
            {"rate", "serve: submissions an address may make a minute, 0 for no limit (default 6).", "N"},
            {"burst", "serve: ... and in a row (default 10).", "N"},
            {"per-address", "serve: connections an address may hold open (default 16).", "N"},
            {"body-seconds", "serve: the longest a replay may take to arrive (default 30).", "N"},
            {"check-seconds", "CPU seconds one replay may take to verify (default 120).", "N"},
            {"check-memory", "Memory one checker may take, in MiB (default 1024).", "N"},
            {"set-aside", "reverify: take the games that no longer verify out of the table."},
            {"identify", "check: print the rules' version and data file's digest a replay must name."},
          })
    {
        m_Parser.AddPositional("command", "serve, reverify or check");
    }

    using TParse = TCommandOptions::TParse;
    static constexpr TParse PARSE_RUN = TCommandOptions::PARSE_RUN;
    static constexpr TParse PARSE_FAILED = TCommandOptions::PARSE_FAILED;

    TParse Parse(int argc, char** argv, TOptions& Options, std::string& strError)
    {
        const TParse nParse = m_Parser.Parse(argc, argv, strError);
        if (nParse != PARSE_RUN)
            return nParse;
        const QStringList Positional = m_Parser.Positional();
        if (Positional.size() != 1) {
            strError = Positional.isEmpty() ? "a command is needed: serve, reverify or check"
                                            : "unexpected argument '" + Positional[1].toStdString() + "'";
            return PARSE_FAILED;
        }
        Options.strCommand = Positional[0].toStdString();
        if (Options.strCommand != "serve" && Options.strCommand != "reverify" && Options.strCommand != "check") {
            strError = "unknown command '" + Options.strCommand + "' (serve, reverify or check)";
            return PARSE_FAILED;
        }
        if (!FitsCommand(Options.strCommand, strError))
            return PARSE_FAILED;
        if (m_Parser.IsSet("db"))
            Options.strDb = Value("db");
        if (m_Parser.IsSet("listen"))
            Options.strListen = Value("listen");
        if (m_Parser.IsSet("data"))
            Options.strData = Value("data");
        Options.bSetAside = m_Parser.IsSet("set-aside");
        Options.bIdentify = m_Parser.IsSet("identify");
        Options.Settings.nCheckers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        int nPerAddress = static_cast<int>(Options.Http.nPerAddress);
        const bool bOk = Count("checkers", 1, 256, Options.Settings.nCheckers, strError) &&
                         Count("waiting", 0, 4096, Options.Settings.nWaiting, strError) &&
                         Count("rate", 0, 100000, Options.Settings.nPerMinute, strError) &&
                         Count("burst", 1, 100000, Options.Settings.nBurst, strError) &&
                         Count("per-address", 1, static_cast<int>(THttpServer::MAX_CONNECTIONS), nPerAddress, strError) &&
                         Count("body-seconds", 1, 3600, Options.Http.nBodySeconds, strError) &&
                         Count("check-seconds", 1, 86400, Options.Limits.nCpuSeconds, strError) &&
                         Count("check-memory", 64, 65536, Options.Limits.nMemoryMb, strError);
        Options.Http.nPerAddress = static_cast<unsigned>(nPerAddress);
        return bOk ? PARSE_RUN : PARSE_FAILED;
    }

    const TCommandOptions& Options() const { return m_Parser; }

private:
    // Each option belongs to the commands that read it.
    bool FitsCommand(const std::string& strCommand, std::string& strError) const
    {
        static const std::vector<std::pair<const char*, std::vector<std::string>>> OWNERS = {
            {"db", {"serve", "reverify"}},       {"listen", {"serve"}},
            {"checkers", {"serve"}},             {"waiting", {"serve"}},
            {"rate", {"serve"}},                 {"burst", {"serve"}},
            {"per-address", {"serve"}},          {"body-seconds", {"serve"}},
            {"set-aside", {"reverify"}},
            {"identify", {"check"}},
        };
        for (const auto& Owner : OWNERS) {
            if (!m_Parser.IsSet(Owner.first))
                continue;
            bool bFits = false;
            for (const std::string& strOwner : Owner.second)
                bFits = bFits || strOwner == strCommand;
            if (!bFits) {
                strError = "--" + std::string(Owner.first) + " is not an option of " + strCommand;
                return false;
            }
        }
        return true;
    }

    std::string Value(const char* szName) const { return m_Parser.Value(szName); }
    template <typename T>
    bool Count(const char* szName, T nMin, T nMax, T& nValue, std::string& strError) const
    {
        return m_Parser.Count(szName, nMin, nMax, nValue, strError);
    }

    TCommandOptions m_Parser;
};

// The checker's own run: limits first, the data file, then nothing more opened; the replay from
// standard input, one verdict line out.
int RunCheck(const TOptions& Options)
{
    // Whatever the service left open is not the checker's.
    close_range(3, ~0u, 0);
    // A write past the size limit fails instead of ending the checker.
    signal(SIGXFSZ, SIG_IGN);
    // No sound device is needed: the game plays on SDL's silent driver.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string strError;
    TReplayVerifier Verifier;
    if (!TReplayVerifier::LimitProcess(Options.Limits, strError) || !Verifier.Open(Options.strData, strError)) {
        std::printf("failed %s\n", strError.c_str());
        return EXIT_FAILED;
    }
    // The data file open, no folder is held.
    if (chdir("/") != 0)
        return EXIT_FAILED;
    if (Options.bIdentify) {
        std::printf("%s\n", Verifier.Identity().c_str());
        return 0;
    }
    TReplayVerifier::LockFiles();
    std::vector<uint8_t> Bytes;
    uint8_t vBuffer[65536];
    ssize_t n;
    while ((n = read(STDIN_FILENO, vBuffer, sizeof vBuffer)) > 0 && Bytes.size() <= TReplay::MAX_BYTES)
        Bytes.insert(Bytes.end(), vBuffer, vBuffer + n);
    TVerdict Verdict;
    if (Bytes.size() > TReplay::MAX_BYTES) {
        Verdict.nKind = TVerdict::REFUSED;
        Verdict.strReason = "a replay is at most " + std::to_string(TReplay::MAX_BYTES) + " bytes";
    } else {
        Verdict = Verifier.Verify(Bytes);
    }
    std::printf("%s\n", Verdict.Line().c_str());
    return Verdict.nKind == TVerdict::VERIFIED ? 0 : Verdict.nKind == TVerdict::REFUSED ? EXIT_REFUSED : EXIT_FAILED;
}

// The table the options name; null with the line said.
std::unique_ptr<TScoreTable> OpenTable(const TOptions& Options)
{
    std::string strError;
    std::unique_ptr<TScoreTable> pTable = TScoreTable::Open(Options.strDb, strError);
    if (!pTable)
        Log(strError);
    return pTable;
}

int RunServe(const TOptions& Options)
{
    const std::unique_ptr<TScoreTable> pTable = OpenTable(Options);
    if (!pTable)
        return EXIT_FAILED;
    std::string strError;
    const TReplayChecker Checker(SELF, Options.strData, Options.Limits);
    TScoreService Service(*pTable, Checker, Options.Settings, Log);
    if (!Service.Start(strError)) {
        Log(Options.strData + ": " + strError);
        return EXIT_FAILED;
    }
    // The signals that stop the service are taken here, by this thread alone: the server's
    // threads, started next, inherit them blocked.
    sigset_t Stop;
    sigemptyset(&Stop);
    sigaddset(&Stop, SIGINT);
    sigaddset(&Stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &Stop, nullptr);
    THttpServer Server(Service, Log);
    if (!Server.Start(Options.strListen, Options.Http, strError)) {
        Log(strError);
        return EXIT_FAILED;
    }
    const std::string strHost = Options.strListen.substr(0, Options.strListen.rfind(':'));
    Log("listening on http://" + (strHost.empty() ? std::string("0.0.0.0") : strHost) + ":" +
        std::to_string(Server.GetPort()) + "/ with the table " + TScoreTable::Describe(Options.strDb) + ", " +
        std::to_string(Options.Settings.nCheckers) + " checkers");
    int nSignal = 0;
    sigwait(&Stop, &nSignal);
    Log(std::string("stopping on ") + strsignal(nSignal));
    Server.Stop();
    return 0;
}

int RunReverify(const TOptions& Options)
{
    const std::unique_ptr<TScoreTable> pTable = OpenTable(Options);
    if (!pTable)
        return EXIT_FAILED;
    // A data file that cannot serve would make every game unchecked: said once, first.
    std::string strError;
    const TReplayChecker Checker(SELF, Options.strData, Options.Limits);
    uint32_t nRulesVersion = 0;
    TRulesData::TBytes RulesData{};
    std::vector<int64_t> vecIds;
    if (!Checker.Identify(nRulesVersion, RulesData, strError)) {
        Log(Options.strData + ": " + strError);
        return EXIT_FAILED;
    }
    if (!pTable->ListIds(vecIds, strError)) {
        Log(strError);
        return EXIT_FAILED;
    }
    size_t nVerified = 0, nDeparted = 0, nUnchecked = 0;
    for (const int64_t nId : vecIds) {
        TScoreRow Row;
        std::vector<uint8_t> Replay;
        if (!pTable->GetRow(nId, Row, strError) || !pTable->GetReplay(nId, Replay, strError)) {
            Log("#" + std::to_string(nId) + ": " + (strError.empty() ? "gone while checking" : strError));
            ++nUnchecked;
            continue;
        }
        const TVerdict Verdict = Checker.Check(Replay);
        std::string strWhy = Verdict.strReason;
        if (Verdict.nKind == TVerdict::VERIFIED &&
            (Verdict.nScore != Row.nScore || Verdict.nLevel != Row.nLevel || Verdict.nTicks != Row.nTicks))
            strWhy = "now reaches score " + std::to_string(Verdict.nScore) + " level " + std::to_string(Verdict.nLevel) +
                     " in " + std::to_string(Verdict.nTicks) + " ticks";
        else if (Verdict.nKind == TVerdict::VERIFIED) {
            ++nVerified;
            continue;
        }
        const std::string strLine = "#" + std::to_string(nId) + " '" + Row.strName + "' score " +
                                    std::to_string(Row.nScore) + " level " + std::to_string(Row.nLevel) + ": ";
        if (Verdict.nKind == TVerdict::FAILED) {
            std::printf("%snot checked: %s\n", strLine.c_str(), strWhy.c_str());
            ++nUnchecked;
            continue;
        }
        ++nDeparted;
        const bool bSetAside = Options.bSetAside && pTable->SetAside(nId, strWhy, strError);
        std::printf("%sdoes not verify: %s%s\n", strLine.c_str(), strWhy.c_str(), bSetAside ? " (set aside)" : "");
        if (Options.bSetAside && !bSetAside)
            Log("#" + std::to_string(nId) + " could not be set aside: " + strError);
    }
    std::printf("%zu games: %zu verify, %zu do not%s, %zu not checked\n", vecIds.size(), nVerified, nDeparted,
                Options.bSetAside && nDeparted ? " (set aside)" : "", nUnchecked);
    return nUnchecked ? EXIT_FAILED : nDeparted ? EXIT_REFUSED : 0;
}
}  // namespace

int main(int argc, char** argv)
{
    TOptions Options;
    std::string strError;
    TOptionParser Parser;
    int nExit = 0;
    if (Parser.Options().Answer(Parser.Parse(argc, argv, Options, strError), argc, argv, "drelk2-scores", DRELK_VERSION,
                                strError, EXIT_USAGE, nExit))
        return nExit;
    if (Options.strCommand == "check")
        return RunCheck(Options);
    // Replies to a client that went away fail instead of ending the service.
    signal(SIGPIPE, SIG_IGN);
    return Options.strCommand == "serve" ? RunServe(Options) : RunReverify(Options);
}
