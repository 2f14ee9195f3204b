// What a level start costs the sound manager: each new asteroid makes a source and loads its
// explosion sound, up to 160 within one 10 ms tick; the level before purges as many.
// Runs on SDL's silent driver unless SDL_AUDIODRIVER says otherwise.

#include "base/MathConstants.h"
#include "sound/FModSoundManager.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int ASTEROIDS = 160;

void PutLe(std::vector<uint8_t>& vecOut, uint32_t nValue, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        vecOut.push_back(static_cast<uint8_t>(nValue >> (8 * i)));
}

// An explosion-like effect: 0.6 s of a decaying tone, 16-bit mono at 22050 Hz, which the
// mixer converts to its own format when it decodes.
std::vector<uint8_t> MakeExplosionWav()
{
    const int nRate = 22050;
    const int nFrames = nRate * 6 / 10;
    std::vector<uint8_t> vecOut = {'R', 'I', 'F', 'F'};
    PutLe(vecOut, 36 + nFrames * 2, 4);
    vecOut.insert(vecOut.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(vecOut, 16, 4);
    PutLe(vecOut, 1, 2);
    PutLe(vecOut, 1, 2);
    PutLe(vecOut, nRate, 4);
    PutLe(vecOut, nRate * 2, 4);
    PutLe(vecOut, 2, 2);
    PutLe(vecOut, 16, 2);
    vecOut.insert(vecOut.end(), {'d', 'a', 't', 'a'});
    PutLe(vecOut, nFrames * 2, 4);
    for (int k = 0; k < nFrames; ++k) {
        const double dT = double(k) / nRate;
        PutLe(vecOut, static_cast<uint16_t>(static_cast<int16_t>(
                          12000.0 * std::exp(-4.0 * dT) * std::sin(2 * PI * 90.0 * dT))),
              2);
    }
    return vecOut;
}

TFModSoundManager& Manager()
{
    static TFModSoundManager s_SM;
    return s_SM;
}

bool Load(TFModSoundSource& Source, const std::vector<uint8_t>& vecImage)
{
    return Source.LoadFromMemory(vecImage.data(), static_cast<int32_t>(vecImage.size()), false, false);
}

// A level start while the same sound is already loaded (by the ship, or a live asteroid).
void BM_CreateAndLoadKnownSound(benchmark::State& State)
{
    const std::vector<uint8_t> vecImage = MakeExplosionWav();
    std::unique_ptr<TFModSoundSource> pHolder(Manager().CreateSource());
    Load(*pHolder, vecImage);
    std::vector<std::unique_ptr<TFModSoundSource>> vecLevel;
    for (auto _ : State) {
        vecLevel.emplace_back(Manager().CreateSource());
        benchmark::DoNotOptimize(Load(*vecLevel.back(), vecImage));
        if (vecLevel.size() == ASTEROIDS) {
            State.PauseTiming();
            vecLevel.clear();
            State.ResumeTiming();
        }
    }
}
BENCHMARK(BM_CreateAndLoadKnownSound);

// The first load of a sound: decoding and converting it.
void BM_CreateAndLoadNewSound(benchmark::State& State)
{
    const std::vector<uint8_t> vecImage = MakeExplosionWav();
    for (auto _ : State) {
        std::unique_ptr<TFModSoundSource> pSource(Manager().CreateSource());
        benchmark::DoNotOptimize(Load(*pSource, vecImage));
        State.PauseTiming();
        pSource.reset();
        State.ResumeTiming();
    }
}
BENCHMARK(BM_CreateAndLoadNewSound);

// Purging dead asteroids whose shared sound stays loaded.
void BM_DeleteSource(benchmark::State& State)
{
    const std::vector<uint8_t> vecImage = MakeExplosionWav();
    std::unique_ptr<TFModSoundSource> pHolder(Manager().CreateSource());
    Load(*pHolder, vecImage);
    std::vector<std::unique_ptr<TFModSoundSource>> vecLevel;
    for (auto _ : State) {
        if (vecLevel.empty()) {
            State.PauseTiming();
            for (int i = 0; i < ASTEROIDS; ++i) {
                vecLevel.emplace_back(Manager().CreateSource());
                Load(*vecLevel.back(), vecImage);
            }
            State.ResumeTiming();
        }
        vecLevel.pop_back();
    }
}
BENCHMARK(BM_DeleteSource);

}  // namespace

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
