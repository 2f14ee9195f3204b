// drelk2-test-replays DATA OUTDIR COUNT TICKS [FIRST-SEED [LEVEL]]: COUNT different games of TICKS ticks,
// recorded through the real driver on the data file, written as OUTDIR/game-SEED.drelk2-replay.
// The world table's end-to-end tests and figures make their replays with it at run time, so
// that they always match the rules of the build.

#include "tests/support/ReplayMaker.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 5 || argc > 7) {
        std::fprintf(stderr, "usage: %s DATA OUTDIR COUNT TICKS [FIRST-SEED [LEVEL]]\n", argv[0]);
        return 2;
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const unsigned long nCount = std::strtoul(argv[3], nullptr, 10);
    const unsigned long nTicks = std::strtoul(argv[4], nullptr, 10);
    const unsigned long nFirst = argc >= 6 ? std::strtoul(argv[5], nullptr, 10) : 1;
    const int nLevel = argc == 7 ? std::atoi(argv[6]) : 1;
    TGameDriver Driver;
    std::string strError;
    if (!Driver.Open(argv[1], strError)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], strError.c_str());
        return 1;
    }
    for (unsigned long nSeed = nFirst; nSeed < nFirst + nCount; ++nSeed) {
        const TReplay Replay = PlayRecorded(Driver, static_cast<uint32_t>(nSeed), static_cast<uint32_t>(nTicks), nLevel);
        const std::vector<uint8_t> Bytes = TReplayFile::Serialize(Replay);
        const std::string strPath = std::string(argv[2]) + "/game-" + std::to_string(nSeed) + ".drelk2-replay";
        std::ofstream Out(strPath, std::ios::binary);
        Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
        if (!Out.flush()) {
            std::fprintf(stderr, "%s: cannot write\n", strPath.c_str());
            return 1;
        }
        std::printf("%s %d %d %u\n", strPath.c_str(), Replay.nScore, Replay.nLevel, Replay.nTicks);
    }
    return 0;
}
