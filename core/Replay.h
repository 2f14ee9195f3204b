#pragma once
// A recorded game: what it was played with (the rules' version, the game's version, what the
// rules read from the data file, the starting level), every command with the tick it came
// before, a digest of the game's state after every DIGEST_TICKS ticks and at the end, and how it
// ended (ticks run, score, level). A game is a function of its commands, so this is the whole
// game, on any machine the game is built for.
//
// A replay is a player's file from anywhere: Parse checks the magic, every count and every
// command against the bytes actually there (sizes added up in 64 bits), caps what it allocates,
// checks the file's own checksum, bounds every field of the header as tightly as the game
// allows, and keeps nothing unless the whole file is one good replay. What only playing the game
// can tell (the digests, the final score and level) the driver checks as it plays.
//
// The file, all numbers little-endian:
//     0  "DRK2RPLY"                      64  start level (i32)
//     8  format version (u32)            68  ticks run (u32)
//    12  rules version (u32)             72  score (i32), 76  level (i32)
//    16  game version, 16 bytes, ends    80  digest of the final state (u64)
//        in a zero byte                  88  commands (u32), 92  their bytes (u32)
//    32  the rules' data (32 bytes)      96  digests (u32), 100 zero (u32)
//   104  the commands: each a LEB128 number, 8 x (ticks since the last command) + command
//        then the digests (u64 each), then an FNV-1a digest of every byte before it (u64).

#include "core/Commands.h"
#include "core/RulesData.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TReplayCommand
{
    uint32_t nTick = 0;  // the command came before this tick (1 for the first tick)
    TCommand nCommand = CMD_TURN_LEFT;
    bool operator==(const TReplayCommand& Other) const
    {
        return nTick == Other.nTick && nCommand == Other.nCommand;
    }
};

struct TReplay
{
    // 2: the data field holds what the rules read from the data file, not the file's SHA-256
    // (format 1, still read for its commands).
    static constexpr uint32_t FORMAT_VERSION = 2;
    static constexpr uint32_t DIGEST_TICKS = 100;
    // A day of play; a longer game keeps no replay. A day's digests alone take 691 KB.
    static constexpr uint32_t MAX_TICKS = 24u * 60 * 60 * 100;
    // Room for a command every tick of several hours; the reader allocates no more than this
    // allows.
    static constexpr uint64_t MAX_BYTES = 4u * 1024 * 1024;
    static constexpr size_t VERSION_BYTES = 16;

    uint32_t nFormat = FORMAT_VERSION;
    uint32_t nRulesVersion = 0;
    std::string strGameVersion;
    TRulesData::TBytes RulesData{};
    int32_t nStartLevel = 1;
    uint32_t nTicks = 0;
    int32_t nScore = 0;
    int32_t nLevel = 1;
    uint64_t nFinalDigest = 0;
    // In the order they came; ticks never decrease, and none comes after tick nTicks + 1 (the
    // commands after the last tick, a pause or music before leaving).
    std::vector<TReplayCommand> vecCommands;
    // After ticks DIGEST_TICKS, 2 x DIGEST_TICKS, ... up to nTicks.
    std::vector<uint64_t> vecDigests;
};

class TReplayFile
{
public:
    // The file's bytes. The replay must be whole: a digest for every DIGEST_TICKS ticks, a game
    // version that fits, commands in tick order.
    static std::vector<uint8_t> Serialize(const TReplay& Replay);
    // False with a one-line reason ("cut short", "not a replay"...) unless the bytes are exactly
    // one good replay; Replay is only written then.
    static bool Parse(const std::vector<uint8_t>& Bytes, TReplay& Replay, std::string& strError);
    // Parse of a regular file of at most MAX_BYTES; the reason names the file.
    static bool Load(const std::string& strPath, TReplay& Replay, std::string& strError);

    // Empty when this game plays the replay as it was played; otherwise why not (other rules,
    // another data file's ship).
    static std::string WhyNotPlayable(const TReplay& Replay, uint32_t nRulesVersion, const TRulesData::TBytes& RulesData);

    // The most points a game can hold after so many shots: each missile ends in at most one rock.
    static int64_t MostScoreOf(const TReplay& Replay);
};
