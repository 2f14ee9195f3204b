// What opening the asset bank costs against a plain read of the bytes it needs: the header block
// and every list image the game uses, each read into a buffer and nothing more. The bank reads
// each list once, parses it, checks it and makes the preloaded textures and the model's scene;
// "ratio" is its time over the plain read's.

#include "databank/AssetIds.h"
#include "databank/DataBanker.h"
#include "databank/Serializer.h"

#include <Inventor/SoDB.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
const char* DataFile()
{
    return DRELK_TEST_DATA_FILE;
}

// The plain way: the header block, then each list image the bank reads, in one read each.
size_t PlainRead()
{
    FILE* fp = std::fopen(DataFile(), "rb");
    if (!fp)
        return 0;
    std::vector<uint8_t> Header(TVESerializer::HEADER_SIZE);
    size_t nRead = std::fread(Header.data(), 1, Header.size(), fp);
    TVESerializer Table;
    Table.Open(DataFile());
    for (int32_t nId : {ID_PLAYLIST_MUSICS, ID_PLAYLIST_SOUNDS, ID_PLAYLIST_BITMAPS, ID_PLAYLIST_XPLOSIONS,
                        ID_PLAYLIST_ENDING, ID_PLAYLIST_MODELS}) {
        const TVESerializerEntry* pEntry = Table.FindEntry(nId);
        if (!pEntry)
            continue;
        std::unique_ptr<uint8_t[]> pImage(new uint8_t[static_cast<size_t>(pEntry->nSize)]);
        fseeko(fp, pEntry->nOffset, SEEK_SET);
        nRead += std::fread(pImage.get(), 1, static_cast<size_t>(pEntry->nSize), fp);
        benchmark::DoNotOptimize(pImage.get());
    }
    std::fclose(fp);
    return nRead;
}

double Seconds(std::chrono::steady_clock::time_point t0, std::chrono::steady_clock::time_point t1)
{
    return std::chrono::duration<double>(t1 - t0).count();
}

void BankStartAgainstPlainRead(benchmark::State& State)
{
    SoDB::init();
    double dPlain = 0.0, dBank = 0.0;
    size_t nBytes = 0;
    for (auto _ : State) {
        const auto t0 = std::chrono::steady_clock::now();
        nBytes = PlainRead();
        const auto t1 = std::chrono::steady_clock::now();
        TDataBanker Bank(DataFile());
        const auto t2 = std::chrono::steady_clock::now();
        dPlain += Seconds(t0, t1);
        dBank += Seconds(t1, t2);
        State.SetIterationTime(Seconds(t1, t2));
    }
    const double nIterations = static_cast<double>(State.iterations());
    State.counters["plain_ms"] = 1000.0 * dPlain / nIterations;
    State.counters["bank_ms"] = 1000.0 * dBank / nIterations;
    State.counters["ratio"] = dBank / dPlain;
    State.counters["MB"] = static_cast<double>(nBytes) / 1e6;
}
}  // namespace

BENCHMARK(BankStartAgainstPlainRead)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
