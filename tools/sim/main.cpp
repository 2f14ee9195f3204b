// drelk2-sim: plays the real game on the real data file, without a window or a sound device.
//   drelk2-sim [--data FILE] [--ticks N] [--keys SCRIPT] [--level L] [--every K] [--bench] [--shot PNG]
// Prints one JSON line of state after start-up (tick 0), every K ticks with --every, and after
// the last tick. Effects run in virtual time, 10 ms per tick, so two runs print the same lines.
// --bench reports on standard error the time of the game's start, the time per tick (median,
// 99th percentile) and the time of each level start in play (the tick that brings it). --shot renders the last state off screen to a PNG (needs an X display).

#include "core/GameDriver.h"
#include "tools/sim/KeyScript.h"
#include "tools/sim/Snapshot.h"
#include "tools/sim/StateJson.h"

#include <Inventor/nodes/SoSeparator.h>

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

const char USAGE[] =
    "usage: drelk2-sim [--data FILE] [--ticks N] [--keys SCRIPT] [--level L] [--every K] [--bench] [--shot PNG]";
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

bool ParseCount(const char* szText, long nMin, long& nValue)
{
    char* pEnd = nullptr;
    nValue = std::strtol(szText, &pEnd, 10);
    return *szText != '\0' && *pEnd == '\0' && nValue >= nMin && nValue <= 1000000000L;
}

bool ParseOptions(int argc, char** argv, TOptions& Options, std::string& strError)
{
    for (int i = 1; i < argc; ++i) {
        const std::string strArg = argv[i];
        if (strArg == "--bench") {
            Options.bBench = true;
            continue;
        }
        if (i + 1 >= argc) {
            strError = strArg == "--data" || strArg == "--ticks" || strArg == "--keys" || strArg == "--level" ||
                               strArg == "--every" || strArg == "--shot"
                           ? strArg + " needs a value"
                           : "unknown option '" + strArg + "'";
            return false;
        }
        const char* szValue = argv[++i];
        long nValue = 0;
        if (strArg == "--data") {
            Options.strData = szValue;
        } else if (strArg == "--keys") {
            Options.strKeys = szValue;
        } else if (strArg == "--shot") {
            Options.strShot = szValue;
        } else if (strArg == "--ticks" && ParseCount(szValue, 0, nValue)) {
            Options.nTicks = nValue;
        } else if (strArg == "--level" && ParseCount(szValue, 1, nValue) && nValue <= 10000) {
            Options.nLevel = static_cast<int>(nValue);
        } else if (strArg == "--every" && ParseCount(szValue, 1, nValue)) {
            Options.nEvery = nValue;
        } else {
            strError = "bad option '" + strArg + " " + szValue + "'";
            return false;
        }
    }
    return true;
}

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

int Run(const TOptions& Options, const TKeyScript& Keys)
{
    TGameDriver Driver(TGameDriver::CLOCK_VIRTUAL);
    std::string strError;
    if (!Driver.Open(Options.strData, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s: %s\n", Options.strData.c_str(), strError.c_str());
        return EXIT_BAD_FILE;
    }

    std::vector<double> vecTicks;
    std::vector<std::pair<int, double>> vecLevels;
    auto tStart = std::chrono::steady_clock::now();
    TGame& Game = Driver.Start(Options.nLevel);
    const double dGameStart = Microseconds(std::chrono::steady_clock::now() - tStart);
    ApplyKeys(Driver, Keys.KeysBefore(0));
    std::printf("%s\n", FormatStateJson(Game, 0).c_str());

    for (long nTick = 1; nTick <= Options.nTicks; ++nTick) {
        ApplyKeys(Driver, Keys.KeysBefore(nTick));
        const int nLevel = Game.GetLevel();
        tStart = std::chrono::steady_clock::now();
        if (Driver.Step()) {
            const double dTime = Microseconds(std::chrono::steady_clock::now() - tStart);
            vecTicks.push_back(dTime);
            if (Game.GetLevel() != nLevel)
                vecLevels.emplace_back(Game.GetLevel(), dTime);
        }
        if ((Options.nEvery > 0 && nTick % Options.nEvery == 0) || nTick == Options.nTicks)
            std::printf("%s\n", FormatStateJson(Game, nTick).c_str());
    }
    if (Options.bBench)
        ReportBench(dGameStart, vecTicks, vecLevels);
    if (!Options.strShot.empty() &&
        !TSnapshot::RenderToPng(Game.GetRoot(), SHOT_WIDTH, SHOT_HEIGHT, Options.strShot, strError)) {
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
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::printf("%s\n", USAGE);
        return 0;
    }
    if (!ParseOptions(argc, argv, Options, strError)) {
        std::fprintf(stderr, "drelk2-sim: %s (see --help)\n", strError.c_str());
        return EXIT_USAGE;
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
