// What the game costs its 10 ms tick on the real data file: a tick at levels 10 and 20 with 50
// missiles in flight, with no scene and with the game's scene (which only catches up at the next
// frame), a frame drawn between two ticks (the scene catching up with a tick's sounds, explosions
// and new rocks, and writing every place), a level start at level 10 (80 large rocks) as it
// happens in play, right after the old level is purged, and a level start after a level of held
// fire (thousands of spent missiles to purge). Each reports its share of the tick as "budget".

#include "core/GameDriver.h"
#include "core/GameRun.h"
#include "objects/Asteroids.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"
#include "tests/support/GameTestAccess.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {
constexpr double TICK_SECONDS = 0.010;
constexpr int MISSILES_IN_FLIGHT = 50;

// The game's one driver, opened once on the real data file; each case starts fresh games on it.
TGameDriver& Driver()
{
    static TGameDriver* s_pDriver = [] {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        auto* pDriver = new TGameDriver();
        std::string strError;
        if (!pDriver->Open(DRELK_TEST_DATA_FILE, strError)) {
            std::fprintf(stderr, "%s: %s\n", DRELK_TEST_DATA_FILE, strError.c_str());
            std::exit(1);
        }
        return pDriver;
    }();
    return *s_pDriver;
}

TGame& NewGame(int nLevel, TGameDriver::TShow nShow = TGameDriver::SHOW_SCENE)
{
    return Driver().Start(nLevel, nShow);
}

int LiveMissiles(const TGame& Game)
{
    int n = 0;
    for (const TMissile* pMissile : Game.GetMissiles())
        n += pMissile->IsAlive();
    return n;
}

// Keeps 50 missiles on the field: fired from the ship, turned a random way each time.
void TopUpMissiles(TGame& Game, std::mt19937& Random)
{
    const TFloat3 vFrom = Game.GetShip()->GetPosition();
    while (LiveMissiles(Game) < MISSILES_IN_FLIGHT) {
        const double dAngle = std::uniform_real_distribution<double>(0.0, 6.283)(Random);
        TGameTestAccess::AddMissile(Game, vFrom, static_cast<float>(10 * std::cos(dAngle)),
                                    static_cast<float>(10 * std::sin(dAngle)));
    }
}

// One step of the game timer at a level, 50 missiles in flight: with bScene the game's scene
// follows the step, as in the window; without, the rules alone, as a replay is checked.
void Steps(benchmark::State& State, TGameDriver::TShow nShow)
{
    const int nLevel = static_cast<int>(State.range(0));
    TGame* pGame = &NewGame(nLevel, nShow);
    std::mt19937 Random(7);
    double dHits = 0;
    for (auto _ : State) {
        State.PauseTiming();
        // A fresh field when the missiles have worn it down or the ship is lost.
        if (pGame->GetGameState() != GS_PLAYING || pGame->GetLevel() != nLevel)
            pGame = &NewGame(nLevel, nShow);
        TopUpMissiles(*pGame, Random);
        const int32_t nScore = pGame->GetScore();
        State.ResumeTiming();
        Driver().Step();
        dHits += pGame->GetScore() != nScore;
    }
    State.counters["hit_ticks"] = dHits / static_cast<double>(State.iterations());
    State.counters["budget"] = benchmark::Counter(TICK_SECONDS, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}

void TickWithMissiles(benchmark::State& State)
{
    Steps(State, TGameDriver::SHOW_NOTHING);
}

void StepWithScene(benchmark::State& State)
{
    Steps(State, TGameDriver::SHOW_SCENE);
}

// A frame drawn between two ticks: the scene catches up with the tick before (its sounds,
// explosions, sparks and new rocks) and writes every moving thing's place and turn, part of the
// way from the last tick to this one. What that costs a frame, a tick's worth.
void FramePresent(benchmark::State& State)
{
    const int nLevel = static_cast<int>(State.range(0));
    TGame* pGame = &NewGame(nLevel);
    std::mt19937 Random(7);
    double dAlpha = 0.0;
    for (auto _ : State) {
        State.PauseTiming();
        if (pGame->GetGameState() != GS_PLAYING || pGame->GetLevel() != nLevel)
            pGame = &NewGame(nLevel);
        TopUpMissiles(*pGame, Random);
        Driver().Step();
        dAlpha = dAlpha >= 0.95 ? 0.05 : dAlpha + 0.1;
        State.ResumeTiming();
        Driver().Present(dAlpha);
    }
    State.counters["budget"] = benchmark::Counter(TICK_SECONDS, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}

// The tick that brings the next level: the rocks of the old one are shot (killed here), the
// level-end pause runs, and the timed tick purges the old level and lays out 8 x level new rocks.
void LevelStart(benchmark::State& State)
{
    const int nLevel = static_cast<int>(State.range(0)) - 1;
    for (auto _ : State) {
        State.PauseTiming();
        TGame& Game = NewGame(nLevel);
        for (TAsteroid* pRock : Game.GetAsteroids())
            pRock->Explode(false);
        for (int nTick = 1; nTick < TRules::LEVEL_END_TICKS; ++nTick)
            Driver().Step();
        State.ResumeTiming();
        Driver().Step();
        State.PauseTiming();
        if (Game.GetLevel() != nLevel + 1)
            State.SkipWithError("the level did not start");
        State.ResumeTiming();
    }
    State.counters["budget"] = benchmark::Counter(TICK_SECONDS, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}

// The tick that starts level 2 after the space bar was held through level 1: one missile a tick,
// fired through the game, straight up from the still ship. One small rock waits in a corner the
// shots never reach, so the level lasts; once it is gone the level ends as in play.
void LevelStartAfterHeldFire(benchmark::State& State)
{
    const int nMissiles = static_cast<int>(State.range(0));
    for (auto _ : State) {
        State.PauseTiming();
        TGame& Game = NewGame(1);
        for (TAsteroid* pRock : Game.GetAsteroids())
            pRock->Explode(false);
        TAsteroid* pLast =
            TGameTestAccess::AddRock(Game, 0, TFloat3(25.0f, 15.0f, 0.0f), 0.0f, 0.0f, TFloat3(0.0f, 0.0f, 1.0f), 0.0);
        for (int i = 0; i < nMissiles; ++i) {
            Driver().Command(CMD_FIRE);
            Driver().Step();
        }
        pLast->Explode(false);
        for (int nTick = 1; nTick < TRules::LEVEL_END_TICKS; ++nTick)
            Driver().Step();
        if (Game.GetMissiles().size() != static_cast<size_t>(nMissiles) || Game.GetLevel() != 1)
            State.SkipWithError("the missiles were not all fired in level 1");
        State.ResumeTiming();
        Driver().Step();
        State.PauseTiming();
        if (Game.GetLevel() != 2 || !Game.GetMissiles().empty())
            State.SkipWithError("the level did not start, or its missiles stayed");
        State.ResumeTiming();
    }
    State.counters["budget"] = benchmark::Counter(TICK_SECONDS, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}
}  // namespace

BENCHMARK(TickWithMissiles)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(StepWithScene)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(FramePresent)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(LevelStart)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(LevelStartAfterHeldFire)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(10);

BENCHMARK_MAIN();
