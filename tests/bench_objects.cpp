// What the game objects cost a tick: making and purging an asteroid (mesh, sound, explosion),
// the collision box of every asteroid of a crowded level, and the explosion timers that fire
// idle for every asteroid alive. Sounds run on SDL's silent driver unless SDL_AUDIODRIVER says
// otherwise.

#include "base/GameClock.h"
#include "databank/DataBanker.h"
#include "objects/Asteroids.h"
#include "sound/FModSoundManager.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoSeparator.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int LEVEL_ASTEROIDS = 160;  // level 20: 8 x 20 large asteroids

struct TWorld
{
    TWorld()
    {
        SoDB::init();
        TGameClock::Reset(0);
        pSM = std::make_unique<TFModSoundManager>();
        pDB = std::make_unique<TDataBanker>(MakeTestDataFile(MakeTempDir()));
        pRoot = new SoSeparator;
        pRoot->ref();
    }
    ~TWorld()
    {
        vecRocks.clear();
        pRoot->unref();
    }
    void Populate(int nCount)
    {
        for (int i = 0; i < nCount; ++i)
            vecRocks.push_back(std::make_unique<TAsteroid>(pRoot, pSM.get(), pDB.get(),
                                                           SbVec3f(float(i % 60 - 30), float(i % 40 - 20), 0),
                                                           SbVec3f(3.2f, 4.4f, 2.7f), 2));
    }
    std::unique_ptr<TFModSoundManager> pSM;
    std::unique_ptr<TDataBanker> pDB;
    SoSeparator* pRoot = nullptr;
    std::vector<std::unique_ptr<TAsteroid>> vecRocks;
};

void BM_AsteroidMakeAndPurge(benchmark::State& State)
{
    TWorld World;
    for (auto _ : State) {
        TAsteroid Rock(World.pRoot, World.pSM.get(), World.pDB.get(), SbVec3f(0, 0, 0), SbVec3f(3.2f, 4.4f, 2.7f), 2);
        benchmark::DoNotOptimize(Rock.GetRootNode());
    }
    State.counters["scene children left"] = World.pRoot->getNumChildren();
}
BENCHMARK(BM_AsteroidMakeAndPurge);

void BM_BoxesOfACrowdedLevel(benchmark::State& State)
{
    TWorld World;
    World.Populate(LEVEL_ASTEROIDS);
    for (auto _ : State) {
        for (const auto& pRock : World.vecRocks)
            benchmark::DoNotOptimize(pRock->GetBoundingBox());
    }
    State.SetItemsProcessed(State.iterations() * LEVEL_ASTEROIDS);
}
BENCHMARK(BM_BoxesOfACrowdedLevel)->Unit(benchmark::kMicrosecond);

void BM_IdleExplosionTimersPerTick(benchmark::State& State)
{
    TWorld World;
    World.Populate(LEVEL_ASTEROIDS);
    for (auto _ : State)
        TGameClock::Advance(10);  // one game tick: every 25 ms timer fires 0.4 times
}
BENCHMARK(BM_IdleExplosionTimersPerTick)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
