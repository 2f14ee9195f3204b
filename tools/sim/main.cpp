// drelk2-sim: plays the real game on the real data file, without a window or a sound device.
// Prints one JSON line of state after start-up (tick 0), every K ticks with --every, and after
// the last tick. Effects run in virtual time, 10 ms per tick, so two runs print the same lines.
// --bench reports on standard error the time of the game's start, the time per tick (median,
// 99th percentile) and the time of each level start in play (the tick that brings it). --shot
// renders the last state off screen to a PNG (needs an X display).

#include "core/GameDriver.h"
#include "core/Rules.h"
#include "tools/sim/KeyScript.h"
#include "tools/sim/Snapshot.h"
#include "tools/sim/StateJson.h"

#include <Inventor/nodes/SoSeparator.h>

#include <QCommandLineParser>
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

const char DESCRIPTION[] =
    "Plays Drelk II headless from a key script and prints the game's state as JSON lines.\n"
    "Key script lines: TICK KEY [KEY...], keys left right up space p m; # starts a comment.";
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
};

enum TParse { PARSE_RUN, PARSE_HELP, PARSE_VERSION, PARSE_FAILED };

class TOptionParser
{
public:
    TOptionParser()
    {
        m_Parser.setApplicationDescription(DESCRIPTION);
        m_Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        m_Parser.addOptions({
            {"data", QString::fromStdString("The data file (default: Drelk_II.bin beside the program, else " +
                                            TGameDriver::DataFilePlaces().back() + ")."),
             "FILE"},
            {"ticks", "Game timer steps to run (default 0).", "N"},
            {"keys", "Key script: the key-downs before each tick.", "SCRIPT"},
            {"level", "Level to start at (default 1).", "L"},
            {"every", "Also print the state every K ticks.", "K"},
            {"bench", "Report timings on standard error."},
            {"shot", "Render the last state to a PNG file (needs an X display).", "PNG"},
        });
        m_HelpOption = m_Parser.addHelpOption();
        m_VersionOption = m_Parser.addVersionOption();
    }

    TParse Parse(int argc, char** argv, TOptions& Options, std::string& strError)
    {
        QStringList Args;
        for (int i = 0; i < argc; ++i)
            Args << QString::fromLocal8Bit(argv[i]);
        if (!m_Parser.parse(Args)) {
            strError = m_Parser.errorText().toStdString();
            return PARSE_FAILED;
        }
        if (m_Parser.isSet(m_HelpOption))
            return PARSE_HELP;
        if (m_Parser.isSet(m_VersionOption))
            return PARSE_VERSION;
        if (!m_Parser.positionalArguments().isEmpty()) {
            strError = "unexpected argument '" + m_Parser.positionalArguments().first().toStdString() + "'";
            return PARSE_FAILED;
        }
        if (m_Parser.isSet("data"))
            Options.strData = Value("data");
        Options.strKeys = Value("keys");
        Options.strShot = Value("shot");
        Options.bBench = m_Parser.isSet("bench");
        long nLevel = Options.nLevel;
        const bool bOk = Count("ticks", 0, Options.nTicks, strError) && Count("every", 1, Options.nEvery, strError) &&
                         Count("level", 1, nLevel, strError, TRules::MAX_LEVEL);
        Options.nLevel = static_cast<int>(nLevel);
        return bOk ? PARSE_RUN : PARSE_FAILED;
    }

    std::string HelpText() const { return m_Parser.helpText().toStdString(); }

private:
    std::string Value(const char* szName) const { return m_Parser.value(szName).toLocal8Bit().toStdString(); }

    // A whole number from nMin to nMax when the option is given; nValue stays as it is when not.
    bool Count(const char* szName, long nMin, long& nValue, std::string& strError, long nMax = 1000000000L) const
    {
        if (!m_Parser.isSet(szName))
            return true;
        bool bOk = false;
        const long nRead = m_Parser.value(szName).toLong(&bOk);
        if (!bOk || nRead < nMin || nRead > nMax) {
            strError = "bad option '--" + std::string(szName) + " " + Value(szName) + "' (a whole number from " +
                       std::to_string(nMin) + " to " + std::to_string(nMax) + ")";
            return false;
        }
        nValue = nRead;
        return true;
    }

    QCommandLineParser m_Parser;
    QCommandLineOption m_HelpOption{"help"};
    QCommandLineOption m_VersionOption{"version"};
};

void ApplyKeys(TGameDriver& Driver, const std::vector<TGame::TKey>& vecKeys)
{
    for (TGame::TKey nKey : vecKeys)
        Driver.KeyDown(nKey);
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

int Run(const TOptions& Options, const TKeyScript& Keys)
{
    // Before the first tick: a run that cannot save its picture is refused before it starts.
    std::string strError;
    TSnapshot Snapshot;
    if (!Options.strShot.empty() && !Snapshot.Prepare(strError)) {
        std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
        return EXIT_BAD_FILE;
    }
    TGameDriver Driver(TGameDriver::CLOCK_VIRTUAL);
    if (!Driver.Open(Options.strData, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s: %s\n", Options.strData.c_str(), strError.c_str());
        return EXIT_BAD_FILE;
    }

    // Tick times are kept only when asked for: a long run stays at flat memory.
    std::vector<double> vecTicks;
    std::vector<std::pair<int, double>> vecLevels;
    auto tStart = std::chrono::steady_clock::now();
    TGame& Game = Driver.Start(Options.nLevel);
    const double dGameStart = Microseconds(std::chrono::steady_clock::now() - tStart);
    ApplyKeys(Driver, Keys.KeysBefore(0));
    PrintState(Game, 0);

    for (long nTick = 1; nTick <= Options.nTicks; ++nTick) {
        ApplyKeys(Driver, Keys.KeysBefore(nTick));
        const int nLevel = Game.GetLevel();
        tStart = std::chrono::steady_clock::now();
        if (Driver.Step() && Options.bBench) {
            const double dTime = Microseconds(std::chrono::steady_clock::now() - tStart);
            vecTicks.push_back(dTime);
            if (Game.GetLevel() != nLevel)
                vecLevels.emplace_back(Game.GetLevel(), dTime);
        }
        if ((Options.nEvery > 0 && nTick % Options.nEvery == 0) || nTick == Options.nTicks)
            PrintState(Game, nTick);
    }
    // The lines so far reach the pipe whatever the rendering does.
    std::fflush(stdout);
    if (Options.bBench)
        ReportBench(dGameStart, vecTicks, vecLevels);
    if (!Options.strShot.empty() &&
        !Snapshot.RenderToPng(Game.GetRoot(), SHOT_WIDTH, SHOT_HEIGHT, Options.strShot, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
        return EXIT_BAD_FILE;
    }
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    TOptions Options;
    std::string strError;
    TOptionParser Parser;
    switch (Parser.Parse(argc, argv, Options, strError)) {
    case PARSE_FAILED:
        std::fprintf(stderr, "drelk2-sim: %s (see --help)\n", strError.c_str());
        return EXIT_USAGE;
    case PARSE_HELP: {
        // Qt words the usage line after the application's own name.
        QCoreApplication App(argc, argv);
        std::printf("%s", Parser.HelpText().c_str());
        return 0;
    }
    case PARSE_VERSION:
        std::printf("drelk2-sim %s\n", DRELK_VERSION);
        return 0;
    case PARSE_RUN:
        break;
    }
    TKeyScript Keys;
    if (!Options.strKeys.empty() && !Keys.Load(Options.strKeys, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s\n", strError.c_str());
        return EXIT_USAGE;
    }
    // No sound device is needed: the game plays on SDL's silent driver.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    return Run(Options, Keys);
}
