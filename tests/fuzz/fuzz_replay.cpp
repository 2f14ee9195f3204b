// Fuzz target: a replay from outside, as drelk2, drelk2-sim and the score service read it. A
// replay is either taken whole, with every command the game's and in tick order within its ticks,
// a digest for every hundred ticks, a start level a game can start at and an ending its ticks and
// shots can reach, and it writes back to the same bytes; or it is refused with one printable line.
#include "core/Replay.h"
#include "core/Rules.h"
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
    if (Replay.nStartLevel < 1 || Replay.nStartLevel > TRules::MAX_LEVEL || Replay.nLevel < Replay.nStartLevel ||
        Replay.nLevel > static_cast<int64_t>(Replay.nStartLevel) + Replay.nTicks / TRules::LEVEL_END_TICKS ||
        Replay.nScore < 0 || Replay.nScore > TReplayFile::MostScoreOf(Replay))
        __builtin_trap();
    if (TReplayFile::Serialize(Replay) != Bytes)
        __builtin_trap();
    return 0;
}
