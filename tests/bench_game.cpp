// What the game costs its 10 ms tick on the real data file: a tick at levels 10 and 20 with 50
// missiles in flight, and a level start at level 10 (80 large rocks) as it happens in play,
// right after the old level is purged. Each reports its share of the tick as "budget".

#include "core/Game.h"
#include "core/GameClock.h"
#include "core/Random.h"
#include "databank/DataBanker.h"
#include "objects/Asteroids.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SoDB.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>

namespace {
constexpr double TICK_SECONDS = 0.010;
constexpr int MISSILES_IN_FLIGHT = 50;

struct TServices
{
    TServices()
    {
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        SoDB::init();
        TGameClock::UseVirtualTime(0);
        pBank = std::make_unique<TDataBanker>(DRELK_TEST_DATA_FILE);
        pSound = std::make_unique<TFModSoundManager>();
    }
    std::unique_ptr<TDataBanker> pBank;
    std::unique_ptr<TFModSoundManager> pSound;
};

TServices& Services()
{
    static TServices s_Services;
    return s_Services;
}

std::unique_ptr<TGame> NewGame(int nLevel)
{
    TRandom::Reset();
    auto pGame = std::make_unique<TGame>(Services().pBank.get(), Services().pSound.get());
    pGame->Build(nLevel);
    pGame->SetRunning(true);
    return pGame;
}

int LiveMissiles(const TGame& Game)
{
    int n = 0;
    for (const TMissile* pMissile : Game.GetMissiles())
        n += pMissile && pMissile->IsAlive();
    return n;
}

// Keeps 50 missiles on the field: fired from the ship, turned a random way each time.
void TopUpMissiles(TGame& Game, std::mt19937& Random)
{
    TManShip& Ship = *Game.GetShip();
    while (LiveMissiles(Game) < MISSILES_IN_FLIGHT) {
        Ship.SetAngle(std::uniform_real_distribution<double>(0.0, 6.283)(Random));
        Game.FireMissile();
    }
}

void TickWithMissiles(benchmark::State& State)
{
    auto pGame = NewGame(static_cast<int>(State.range(0)));
    std::mt19937 Random(7);
    double dHits = 0;
    for (auto _ : State) {
        State.PauseTiming();
        // A fresh field when the missiles have worn it down or the ship is lost.
        if (pGame->GetGameState() != GS_PLAYING || pGame->GetLevel() != State.range(0))
            pGame = NewGame(static_cast<int>(State.range(0)));
        TopUpMissiles(*pGame, Random);
        const int32_t nScore = pGame->GetScore();
        State.ResumeTiming();
        pGame->GameTick(TGame::TICK_DT);
        dHits += pGame->GetScore() != nScore;
    }
    State.counters["hit_ticks"] = dHits / static_cast<double>(State.iterations());
    State.counters["budget"] = benchmark::Counter(TICK_SECONDS, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}

void LevelStart(benchmark::State& State)
{
    auto pGame = NewGame(1);
    for (auto _ : State) {
        State.PauseTiming();
        for (TAsteroid* pRock : pGame->GetAsteroids())
            if (pRock && pRock->IsAlive())
                pRock->Explode(false);
        pGame->PurgeDeadObjects();
        State.ResumeTiming();
        pGame->StartLevel(TGame::ASTEROIDS_PER_LEVEL * static_cast<int>(State.range(0)));
    }
    State.counters["budget"] = benchmark::Counter(TICK_SECONDS, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}
}  // namespace

BENCHMARK(TickWithMissiles)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);
BENCHMARK(LevelStart)->Arg(10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
