// drelk2-sim: plays the real game on the real data file, without a window or a sound device,
// from a key script or from a replay. Prints one JSON line of state after start-up (tick 0),
// every K ticks with --every, and after the last tick. The game runs on its own clock, 10 ms a
// tick, so two runs print the same lines. --verify holds a replay's game against the digests it
// recorded and ends with a line naming its score and level; --record writes the run's own
// replay. --bench reports on standard error the time of the game's start, the time per tick
// (median, 99th percentile) and the time of each level start in play (the tick that brings it).
// --shot renders the last state off screen to a PNG (needs an X display).

#include "base/CommandOptions.h"
#include "core/GameDriver.h"
#include "core/Rules.h"
#include "tools/sim/Autopilot.h"
#include "tools/sim/KeyScript.h"
#include "tools/sim/Snapshot.h"
#include "tools/sim/StateJson.h"

#include "databank/AtomicFile.h"
#include "store/ReplayShelf.h"

#include <Inventor/nodes/SoSeparator.h>

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int EXIT_BAD_FILE = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_DEPARTS = 3;

const char DESCRIPTION[] =
    "Plays Drelk II headless from a key script or a replay and prints the game's state as JSON lines.\n"
    "Key script lines: TICK KEY [KEY...], keys left right up space p m; # starts a comment.\n"
    "A replay: a file, or 'last' or 'best' for the player's own (the newest game, the best score's).\n"
    "Exit status: 0 done (a replay verified), 1 a file that cannot be used, 2 a bad command line,\n"
    "3 a replay whose game departs from its record.";
// The viewer's share of an 800 x 600 window: the two 24-pixel bars take the rest.
constexpr int SHOT_WIDTH = 800;
constexpr int SHOT_HEIGHT = 552;

struct TOptions
{
    std::string strData = TGameDriver::DefaultDataFile();
    long nTicks = 0;
    std::string strKeys;
    int nLevel = 1;
    long nEvery = 0;
    bool bBench = false;
    std::string strShot;
    std::string strReplay;
    bool bVerify = false;
    std::string strRecord;
    bool bAutopilot = false;
    bool bRulesData = false;
    TEffectsDetail nEffects = TFxDebris::DEFAULT_DETAIL;
    bool bScene = false;
};

using TParse = TCommandOptions::TParse;
constexpr TParse PARSE_RUN = TCommandOptions::PARSE_RUN;
constexpr TParse PARSE_FAILED = TCommandOptions::PARSE_FAILED;

class TOptionParser
{
public:
    TOptionParser()
        : m_Parser(DESCRIPTION, {
            {"data", QString::fromStdString("The data file (default: Drelk_II.bin beside the program, else " +
                                            TGameDriver::DataFilePlaces().back() + ")."),
             "FILE"},
            {"ticks", "Game timer steps to run (default 0).", "N"},
            {"keys", "Key script: the key-downs before each tick.", "SCRIPT"},
            {"level", "Level to start at (default 1).", "L"},
            {"every", "Also print the state every K ticks.", "K"},
            {"bench", "Report timings on standard error."},
            {"shot", "Render the last state to a PNG file (needs an X display).", "PNG"},
            {"replay", "Play a replay's commands: a file, 'last' or 'best'.", "REPLAY"},
            {"verify", "With --replay: check the game against every digest the replay holds."},
            {"record", "Write this run's replay to a file (with --replay: the same commands, recorded anew).", "FILE"},
            {"autopilot", "A steady player gives commands too, before each tick: long games and demos."},
            {"rules-data", "Print what the rules read from the data file (as a replay names it), in hex, and exit."},
            {"effects", "How many sparks and fragments explosions throw: low, normal (default) or high.", "DETAIL"},
            {"scene", "Build the game's scene and sounds (silent) as the window does, not only its rules; --shot does."},
          })
    {
    }

    TParse Parse(int argc, char** argv, TOptions& Options, std::string& strError)
    {
        const TParse nParse = m_Parser.Parse(argc, argv, strError);
        if (nParse != PARSE_RUN)
            return nParse;
        if (!m_Parser.Positional().isEmpty()) {
            strError = "unexpected argument '" + m_Parser.Positional().first().toStdString() + "'";
            return PARSE_FAILED;
        }
        if (m_Parser.IsSet("data"))
            Options.strData = Value("data");
        Options.strKeys = Value("keys");
        Options.strShot = Value("shot");
        Options.strReplay = Value("replay");
        Options.bVerify = m_Parser.IsSet("verify");
        Options.strRecord = Value("record");
        Options.bBench = m_Parser.IsSet("bench");
        Options.bAutopilot = m_Parser.IsSet("autopilot");
        Options.bRulesData = m_Parser.IsSet("rules-data");
        Options.bScene = m_Parser.IsSet("scene") || m_Parser.IsSet("shot");
        if (m_Parser.IsSet("effects") && !TFxDebris::ParseDetail(Value("effects"), Options.nEffects)) {
            strError = "bad option '--effects " + Value("effects") + "' (low, normal or high)";
            return PARSE_FAILED;
        }
        if (!CheckCombination(Options, strError))
            return PARSE_FAILED;
        long nLevel = Options.nLevel;
        const bool bOk = m_Parser.Count("ticks", 0L, MAX_COUNT, Options.nTicks, strError) &&
                         m_Parser.Count("every", 1L, MAX_COUNT, Options.nEvery, strError) &&
                         m_Parser.Count("level", 1L, static_cast<long>(TRules::MAX_LEVEL), nLevel, strError);
        Options.nLevel = static_cast<int>(nLevel);
        return bOk ? PARSE_RUN : PARSE_FAILED;
    }

    const TCommandOptions& Options() const { return m_Parser; }

private:
    bool CheckCombination(const TOptions& Options, std::string& strError) const
    {
        if (m_Parser.IsSet("replay") && Options.strReplay.empty())
            strError = "--replay needs a file, 'last' or 'best'";
        else if (!Options.strReplay.empty() && (m_Parser.IsSet("keys") || m_Parser.IsSet("ticks") || m_Parser.IsSet("level")))
            strError = "a replay brings its own keys, ticks and level: --replay goes without --keys, --ticks and --level";
        else if (!Options.strReplay.empty() && m_Parser.IsSet("autopilot"))
            strError = "a replay brings its own commands: --replay goes without --autopilot";
        else if (Options.bVerify && Options.strReplay.empty())
            strError = "--verify checks a replay: it needs --replay";
        else if (Options.bVerify && !Options.strRecord.empty())
            strError = "--verify checks a replay as it is: it goes without --record";
        else if (m_Parser.IsSet("record") && Options.strRecord.empty())
            strError = "--record needs a file";
        return strError.empty();
    }

    std::string Value(const char* szName) const { return m_Parser.Value(szName); }

    // Ticks and steps: a billion is far past any run.
    static constexpr long MAX_COUNT = 1000000000L;
    TCommandOptions m_Parser;
};

void ApplyKeys(TGameDriver& Driver, const std::vector<TCommand>& vecKeys)
{
    for (TCommand nKey : vecKeys)
        Driver.Command(nKey);
}

double Microseconds(std::chrono::steady_clock::duration Duration)
{
    return std::chrono::duration<double, std::micro>(Duration).count();
}

void ReportBench(double dStart, std::vector<double> vecTicks, const std::vector<std::pair<int, double>>& vecLevels)
{
    std::fprintf(stderr, "bench: game start (music, scene, ship, first level): %.1f us\n", dStart);
    if (!vecTicks.empty()) {
        std::sort(vecTicks.begin(), vecTicks.end());
        const double dMedian = vecTicks[vecTicks.size() / 2];
        const double dP99 = vecTicks[std::min(vecTicks.size() - 1, vecTicks.size() * 99 / 100)];
        std::fprintf(stderr, "bench: %zu ticks: median %.1f us, 99th percentile %.1f us, max %.1f us\n",
                     vecTicks.size(), dMedian, dP99, vecTicks.back());
    }
    for (const auto& Level : vecLevels)
        std::fprintf(stderr, "bench: level %d start: %.1f us\n", Level.first, Level.second);
}

void PrintState(const TGame& Game, long nTick)
{
    std::printf("%s\n", FormatStateJson(Game, nTick).c_str());
}

// The run's own replay, written whole to the file --record names.
bool WriteRecord(const TGameDriver& Driver, const std::string& strPath, std::string& strError)
{
    const TReplay Record = Driver.GetRecord();
    if (Record.nTicks > TReplay::MAX_TICKS) {
        strError = strPath + ": a run of more than " + std::to_string(TReplay::MAX_TICKS) + " ticks keeps no replay";
        return false;
    }
    const std::vector<uint8_t> Bytes = TReplayFile::Serialize(Record);
    TAtomicFile File;
    if (!File.Open(strPath, strError))
        return false;
    File.Write(Bytes.data(), Bytes.size());
    return File.Commit(strError);
}

// What a run ends with, whichever way it was played: its last line out, the timings, the
// picture, the replay.
int FinishRun(const TOptions& Options, TGameDriver& Driver, TSnapshot& Snapshot)
{
    // The lines so far reach the pipe whatever the rendering does.
    std::fflush(stdout);
    std::string strError;
    Driver.Present(1.0);
    if (!Options.strShot.empty() &&
        !Snapshot.RenderToPng(Driver.GetScene(), SHOT_WIDTH, SHOT_HEIGHT, Options.strShot, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
        return EXIT_BAD_FILE;
    }
    if (!Options.strRecord.empty()) {
        Driver.Leave();
        if (!WriteRecord(Driver, Options.strRecord, strError)) {
            std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
            return EXIT_BAD_FILE;
        }
    }
    return 0;
}

// The driver on the data file, with the picture's display and the replay's file checked first:
// a run that cannot save what it makes is refused before it starts.
bool Prepare(const TOptions& Options, TGameDriver& Driver, TSnapshot& Snapshot)
{
    std::string strError;
    if (!Options.strShot.empty() && !Snapshot.Prepare(strError)) {
        std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
        return false;
    }
    if (!Options.strRecord.empty() && !(strError = TAtomicFile::CheckTarget(Options.strRecord)).empty()) {
        std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
        return false;
    }
    if (!Driver.Open(Options.strData, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s: %s\n", Options.strData.c_str(), strError.c_str());
        return false;
    }
    Driver.SetEffectsDetail(Options.nEffects);
    return true;
}

// The rules alone make the game and its state lines; the scene and its sounds only when asked.
TGameDriver::TShow ShowFor(const TOptions& Options)
{
    return Options.bScene ? TGameDriver::SHOW_SCENE : TGameDriver::SHOW_NOTHING;
}

// A key script's run: its keys before each of nTicks ticks, and those after the last.
int RunScript(const TOptions& Options, const TKeyScript& Keys, long nTicks, int nStartLevel)
{
    TSnapshot Snapshot;
    TGameDriver Driver;
    if (!Prepare(Options, Driver, Snapshot))
        return EXIT_BAD_FILE;

    // Tick times are kept only when asked for: a long run stays at flat memory.
    std::vector<double> vecTicks;
    TAutopilot Pilot;
    std::vector<std::pair<int, double>> vecLevels;
    auto tStart = std::chrono::steady_clock::now();
    TGame& Game = Driver.Start(nStartLevel, ShowFor(Options));
    const double dGameStart = Microseconds(std::chrono::steady_clock::now() - tStart);
    ApplyKeys(Driver, Keys.KeysBefore(0));
    PrintState(Game, 0);

    for (long nTick = 1; nTick <= nTicks; ++nTick) {
        ApplyKeys(Driver, Keys.KeysBefore(nTick));
        if (Options.bAutopilot)
            ApplyKeys(Driver, Pilot.Decide(Game));
        const int nLevel = Game.GetLevel();
        tStart = std::chrono::steady_clock::now();
        if (Driver.Step() && Options.bBench) {
            const double dTime = Microseconds(std::chrono::steady_clock::now() - tStart);
            vecTicks.push_back(dTime);
            if (Game.GetLevel() != nLevel)
                vecLevels.emplace_back(Game.GetLevel(), dTime);
        }
        if ((Options.nEvery > 0 && nTick % Options.nEvery == 0) || nTick == nTicks)
            PrintState(Game, nTick);
    }
    ApplyKeys(Driver, Keys.KeysBefore(nTicks + 1));
    if (Options.bBench)
        ReportBench(dGameStart, vecTicks, vecLevels);
    return FinishRun(Options, Driver, Snapshot);
}

// A replay played as it was played; with --verify, held against its digests.
int RunReplay(const TOptions& Options, const TReplay& Replay)
{
    TSnapshot Snapshot;
    TGameDriver Driver;
    if (!Prepare(Options, Driver, Snapshot))
        return EXIT_BAD_FILE;
    std::string strError;
    if (!Driver.StartReplay(Replay, strError, ShowFor(Options))) {
        std::fprintf(stderr, "drelk2-sim: %s: %s\n", Options.strReplay.c_str(), strError.c_str());
        return EXIT_BAD_FILE;
    }
    const auto tStart = std::chrono::steady_clock::now();
    // A verification prints its verdict; state lines only when asked for.
    if (!Options.bVerify)
        PrintState(*Driver.GetGame(), 0);
    long nPrinted = 0;
    while (!Driver.IsReplayOver()) {
        const uint32_t nBefore = Driver.GetTicks();
        Driver.Step();
        const long nTick = Driver.GetTicks();
        if (Options.nEvery > 0 && nTick != nBefore && nTick % Options.nEvery == 0) {
            PrintState(*Driver.GetGame(), nTick);
            nPrinted = nTick;
        }
        // Verifying stops at the first departure; a plain play goes on to show the rest.
        if (Options.bVerify && Driver.GetReplayDeparture() != 0)
            break;
    }
    if (!Options.bVerify && nPrinted != static_cast<long>(Driver.GetTicks()))
        PrintState(*Driver.GetGame(), Driver.GetTicks());
    if (Driver.GetReplayDeparture() != 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "drelk2-sim: %s: the game departs from the replay at tick %u\n",
                     Options.strReplay.c_str(), Driver.GetReplayDeparture());
        return EXIT_DEPARTS;
    }
    // The digests held; the header's own account of the ending must hold too.
    const std::string strEnding = Options.bVerify ? Driver.GetRun()->CheckEnding() : std::string();
    if (!strEnding.empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "drelk2-sim: %s: %s\n", Options.strReplay.c_str(), strEnding.c_str());
        return EXIT_DEPARTS;
    }
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    if (Options.bBench)
        std::fprintf(stderr, "bench: %u ticks replayed in %.3f s: %.0f ticks a second, %.0f times real time\n",
                     Driver.GetTicks(), dSeconds, Driver.GetTicks() / std::max(dSeconds, 1e-9),
                     Driver.GetTicks() * (TGameDriver::TICK_MS / 1000.0) / std::max(dSeconds, 1e-9));
    if (Options.bVerify)
        std::printf("replay verified: %u ticks, %u digests the same, score %d level %d\n", Driver.GetTicks(),
                    Driver.GetDigestsChecked(), Driver.GetScore(), Driver.GetLevel());
    return FinishRun(Options, Driver, Snapshot);
}

// A replay's file: as named, or the player's newest ('last') or best ('best').
bool ResolveReplay(const std::string& strName, std::string& strPath, std::string& strError)
{
    const TReplayShelf Shelf;
    if (strName == "last" || strName == "best") {
        const QString strFound = strName == "last" ? Shelf.Last() : Shelf.Best();
        if (strFound.isEmpty()) {
            strError = "no replay kept in " + Shelf.GetFolder().toStdString() +
                       (strName == "best" ? " for a listed best score" : "");
            return false;
        }
        strPath = strFound.toStdString();
        return true;
    }
    strPath = strName;
    return true;
}

// The replay's commands as a key script, to record them anew under these rules.
TKeyScript ScriptOf(const TReplay& Replay)
{
    TKeyScript Keys;
    for (const TReplayCommand& Command : Replay.vecCommands)
        Keys.Add(Command.nTick, Command.nCommand);
    return Keys;
}

// What a replay names of the data file, for checkers that play the rules alone.
int PrintRulesData(const TOptions& Options)
{
    TGameDriver Driver;
    std::string strError;
    if (!Driver.Open(Options.strData, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s: %s\n", Options.strData.c_str(), strError.c_str());
        return EXIT_BAD_FILE;
    }
    for (uint8_t n : Driver.GetRulesData().ToBytes())
        std::printf("%02x", n);
    std::printf("\n");
    return 0;
}

int RunFromReplay(TOptions Options)
{
    std::string strPath, strError;
    TReplay Replay;
    if (!ResolveReplay(Options.strReplay, strPath, strError) || !TReplayFile::Load(strPath, Replay, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
        return EXIT_BAD_FILE;
    }
    Options.strReplay = strPath;
    if (!Options.strRecord.empty())
        return RunScript(Options, ScriptOf(Replay), Replay.nTicks, Replay.nStartLevel);
    return RunReplay(Options, Replay);
}
}  // namespace

int main(int argc, char** argv)
{
    TOptions Options;
    std::string strError;
    TOptionParser Parser;
    int nExit = 0;
    if (Parser.Options().Answer(Parser.Parse(argc, argv, Options, strError), argc, argv, "drelk2-sim", DRELK_VERSION,
                                strError, EXIT_USAGE, nExit))
        return nExit;
    TKeyScript Keys;
    if (!Options.strKeys.empty() && !Keys.Load(Options.strKeys, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
        return EXIT_USAGE;
    }
    // No sound device is needed: the game plays on SDL's silent driver.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (Options.bRulesData)
        return PrintRulesData(Options);
    if (!Options.strReplay.empty())
        return RunFromReplay(Options);
    return RunScript(Options, Keys, Options.nTicks, Options.nLevel);
}
