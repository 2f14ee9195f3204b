// What opening the asset bank costs against a plain read of the bytes it needs: the header block
// and every list image the game uses, each read into a buffer and nothing more. The bank reads
// each list once, parses and checks it, and makes the preloaded textures and the model's scene.
//
// The game opens its bank once, in a fresh process, so the first benchmark runs each measurement
// in a child forked from a process whose scene library is set up: its memory is new, as at
// start-up ("ratio"). The second repeats both within one warm process ("warm_ratio"), where the
// plain read gets its buffers back from the allocator already mapped and the bank's own work
// (checking, textures, the model's scene) weighs more.

#include "databank/AssetIds.h"
#include "databank/DataBanker.h"
#include "databank/Serializer.h"

#include <Inventor/SoDB.h>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {
const char* DataFile()
{
    return DRELK_TEST_DATA_FILE;
}

// The plain way: the header block, then each list image the bank reads, in one read each.
void PlainRead()
{
    FILE* fp = std::fopen(DataFile(), "rb");
    if (!fp)
        return;
    std::vector<uint8_t> Header(TVESerializer::HEADER_SIZE);
    benchmark::DoNotOptimize(std::fread(Header.data(), 1, Header.size(), fp));
    TVESerializer Table;
    Table.Open(DataFile());
    for (int32_t nId : {ID_PLAYLIST_MUSICS, ID_PLAYLIST_SOUNDS, ID_PLAYLIST_BITMAPS, ID_PLAYLIST_XPLOSIONS,
                        ID_PLAYLIST_ENDING, ID_PLAYLIST_MODELS}) {
        const TVESerializerEntry* pEntry = Table.FindEntry(nId);
        if (!pEntry)
            continue;
        std::unique_ptr<uint8_t[]> pImage(new uint8_t[static_cast<size_t>(pEntry->nSize)]);
        fseeko(fp, pEntry->nOffset, SEEK_SET);
        benchmark::DoNotOptimize(std::fread(pImage.get(), 1, static_cast<size_t>(pEntry->nSize), fp));
        benchmark::DoNotOptimize(pImage.get());
    }
    std::fclose(fp);
}

void OpenBank()
{
    TDataBanker Bank(DataFile());
    benchmark::DoNotOptimize(&Bank);
}

double Seconds(const std::function<void()>& Work)
{
    const auto t0 = std::chrono::steady_clock::now();
    Work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The seconds Work takes in a child process, which starts with the parent's state but touches
// only memory of its own.
double SecondsInChild(const std::function<void()>& Work)
{
    int nPipe[2];
    if (pipe(nPipe) != 0)
        return 0.0;
    const pid_t nChild = fork();
    if (nChild == 0) {
        close(nPipe[0]);
        const double dSeconds = Seconds(Work);
        const bool bSent = write(nPipe[1], &dSeconds, sizeof dSeconds) == static_cast<ssize_t>(sizeof dSeconds);
        _exit(bSent ? 0 : 1);
    }
    close(nPipe[1]);
    double dSeconds = 0.0;
    if (read(nPipe[0], &dSeconds, sizeof dSeconds) != static_cast<ssize_t>(sizeof dSeconds))
        dSeconds = 0.0;
    close(nPipe[0]);
    waitpid(nChild, nullptr, 0);
    return dSeconds;
}

// Times both with the given way of timing, and reports their ratio under the given name.
void Compare(benchmark::State& State, double (*TimeOf)(const std::function<void()>&), const char* szRatio)
{
    SoDB::init();
    double dPlain = 0.0, dBank = 0.0;
    for (auto _ : State) {
        dPlain += TimeOf(PlainRead);
        const double dThisBank = TimeOf(OpenBank);
        dBank += dThisBank;
        State.SetIterationTime(dThisBank);
    }
    const double nIterations = static_cast<double>(State.iterations());
    State.counters["plain_ms"] = 1000.0 * dPlain / nIterations;
    State.counters["bank_ms"] = 1000.0 * dBank / nIterations;
    State.counters[szRatio] = dBank / dPlain;
}

// Both in fresh processes, as the game starts.
void BankStartAgainstPlainRead(benchmark::State& State)
{
    Compare(State, SecondsInChild, "ratio");
}

// Both again and again in one process, whose allocator hands back memory already in use.
void BankReopenAgainstPlainReadWarm(benchmark::State& State)
{
    Compare(State, Seconds, "warm_ratio");
}
}  // namespace

BENCHMARK(BankStartAgainstPlainRead)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BankReopenAgainstPlainReadWarm)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
