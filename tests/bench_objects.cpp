// What the game objects cost: making an asteroid's rules (mesh and box) and its shape (nodes,
// sound, explosion), the collision box of every asteroid of a crowded level, a box test of a
// missile and of the ship against one, and the explosion timers that fire idle for every
// asteroid alive. Sounds run on SDL's silent driver unless SDL_AUDIODRIVER says otherwise.

#include "base/Random.h"
#include "databank/DataBanker.h"
#include "fx/FxTimers.h"
#include "objects/AsteroidShape.h"
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
        pSM = std::make_unique<TFModSoundManager>();
        pDB = std::make_unique<TDataBanker>(MakeTestDataFile(MakeTempDir()));
        pRoot = new SoSeparator;
        pRoot->ref();
    }
    ~TWorld()
    {
        vecShapes.clear();
        pRoot->unref();
    }
    void Populate(int nCount)
    {
        for (int i = 0; i < nCount; ++i) {
            vecRocks.push_back(std::make_unique<TAsteroid>(Random, TFloat3(float(i % 60 - 30), float(i % 40 - 20), 0),
                                                           TFloat3(3.2f, 4.4f, 2.7f), 2, i + 1));
            vecRocks.back()->SetSpin(0.05, TFloat3(0.3f, 1, 0.2f));
            vecRocks.back()->Move(1.0);
            vecShapes.push_back(std::make_unique<TAsteroidShape>(pRoot, pSM.get(), pDB.get(), Timers, *vecRocks.back()));
        }
    }
    std::unique_ptr<TFModSoundManager> pSM;
    std::unique_ptr<TDataBanker> pDB;
    SoSeparator* pRoot = nullptr;
    TRandom Random;
    TFxTimers Timers;
    std::vector<std::unique_ptr<TAsteroid>> vecRocks;
    std::vector<std::unique_ptr<TAsteroidShape>> vecShapes;
};

void BM_AsteroidRules(benchmark::State& State)
{
    TRandom Random;
    for (auto _ : State) {
        TAsteroid Rock(Random, TFloat3(0, 0, 0), TFloat3(3.2f, 4.4f, 2.7f), 2, 1);
        benchmark::DoNotOptimize(Rock.GetMeshPoints());
    }
}
BENCHMARK(BM_AsteroidRules);

void BM_AsteroidShapeMakeAndPurge(benchmark::State& State)
{
    TWorld World;
    TAsteroid Rock(World.Random, TFloat3(0, 0, 0), TFloat3(3.2f, 4.4f, 2.7f), 2, 1);
    for (auto _ : State) {
        TAsteroidShape Shape(World.pRoot, World.pSM.get(), World.pDB.get(), World.Timers, Rock);
        benchmark::DoNotOptimize(Shape.GetRootNode());
    }
    State.counters["scene children left"] = World.pRoot->getNumChildren();
}
BENCHMARK(BM_AsteroidShapeMakeAndPurge);

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

void BM_BoxTests(benchmark::State& State)
{
    TWorld World;
    World.Populate(2);
    const TCollisionBox A = World.vecRocks[0]->GetBoundingBox(), B = World.vecRocks[1]->GetBoundingBox();
    const TFloat3 vPoint(0.5f, 0.25f, 0);
    for (auto _ : State) {
        benchmark::DoNotOptimize(A.Meets(B));
        benchmark::DoNotOptimize(A.Holds(vPoint));
    }
}
BENCHMARK(BM_BoxTests);

void BM_IdleExplosionTimersPerTick(benchmark::State& State)
{
    TWorld World;
    World.Populate(LEVEL_ASTEROIDS);
    for (auto _ : State)
        World.Timers.AdvanceTo(World.Timers.GetMs() + 10);  // one game tick
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
