// Fuzz target: a replay from outside, as drelk2 and drelk2-sim read it. A replay is either taken
// whole, with every command the game's and in tick order within its ticks and a digest for every
// hundred ticks, and it writes back to the same bytes; or it is refused with one printable line.
#include "core/Replay.h"
#include "tests/fuzz/OneLine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::vector<uint8_t> Bytes(pData, pData + nSize);
    TReplay Replay;
    std::string strError;
    if (!TReplayFile::Parse(Bytes, Replay, strError)) {
        TrapUnlessOneLine(strError);
        return 0;
    }
    uint32_t nLastTick = 0;
    for (const TReplayCommand& Command : Replay.vecCommands) {
        if (!IsGameCommand(Command.nCommand) || Command.nTick < nLastTick || Command.nTick > Replay.nTicks + 1)
            __builtin_trap();
        nLastTick = Command.nTick;
    }
    if (Replay.vecDigests.size() != Replay.nTicks / TReplay::DIGEST_TICKS)
        __builtin_trap();
    if (TReplayFile::Serialize(Replay) != Bytes)
        __builtin_trap();
    return 0;
}
