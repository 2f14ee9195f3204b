#include "core/Replay.h"

#include "base/Assert.h"
#include "base/Digest.h"
#include "core/Rules.h"
#include "objects/Asteroids.h"
#include "databank/RegularFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
const char MAGIC[8] = {'D', 'R', 'K', '2', 'R', 'P', 'L', 'Y'};
constexpr size_t HEADER_BYTES = 104;
constexpr size_t CHECKSUM_BYTES = 8;
constexpr int COMMAND_BITS = 3;  // a command number fits in three bits
static_assert(CMD_GAME_COUNT <= (1 << COMMAND_BITS), "a replay's commands fit in three bits");
// 8 x a day's ticks plus a command needs 30 bits: five 7-bit groups are room enough.
constexpr int MAX_NUMBER_BYTES = 5;
// A shot scores at most what the most valuable rock is worth.
int64_t MostPointsAShot()
{
    int64_t nMost = 0;
    for (int nType : {TAsteroid::SMALL, TAsteroid::MEDIUM, TAsteroid::LARGE})
        nMost = std::max<int64_t>(nMost, TAsteroid::ClassOf(nType).nPoints);
    return nMost;
}
const int64_t MOST_POINTS_A_SHOT = MostPointsAShot();

void PutU32(std::vector<uint8_t>& Out, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        Out.push_back(static_cast<uint8_t>(n >> (8 * i)));
}

void PutU64(std::vector<uint8_t>& Out, uint64_t n)
{
    for (int i = 0; i < 8; ++i)
        Out.push_back(static_cast<uint8_t>(n >> (8 * i)));
}

void PutNumber(std::vector<uint8_t>& Out, uint64_t n)
{
    do {
        const uint8_t nLow = n & 0x7f;
        n >>= 7;
        Out.push_back(static_cast<uint8_t>(nLow | (n ? 0x80 : 0)));
    } while (n);
}

uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint64_t GetU64(const uint8_t* p)
{
    return static_cast<uint64_t>(GetU32(p)) | static_cast<uint64_t>(GetU32(p + 4)) << 32;
}

int32_t GetI32(const uint8_t* p)
{
    return static_cast<int32_t>(GetU32(p));
}

// Reads one LEB128 number of at most MAX_NUMBER_BYTES bytes from [p, pEnd), written in as few
// bytes as it takes (so that a replay has one spelling); false otherwise.
bool GetNumber(const uint8_t*& p, const uint8_t* pEnd, uint64_t& n)
{
    n = 0;
    for (int i = 0; i < MAX_NUMBER_BYTES && p < pEnd; ++i) {
        const uint8_t nByte = *p++;
        n |= static_cast<uint64_t>(nByte & 0x7f) << (7 * i);
        if (!(nByte & 0x80))
            return i == 0 || nByte != 0;
    }
    return false;
}

bool Fail(std::string& strError, const std::string& strWhy)
{
    strError = strWhy;
    return false;
}

// The game's version as stored: printable ASCII, then zero bytes to the end of its field.
bool ReadVersion(const uint8_t* p, std::string& strVersion)
{
    strVersion.clear();
    size_t i = 0;
    for (; i < TReplay::VERSION_BYTES && p[i] != 0; ++i) {
        if (p[i] < 0x20 || p[i] > 0x7e)
            return false;
        strVersion += static_cast<char>(p[i]);
    }
    if (i == TReplay::VERSION_BYTES)
        return false;
    for (; i < TReplay::VERSION_BYTES; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

bool ReadCommands(const uint8_t* p, const uint8_t* pEnd, uint32_t nCount, uint32_t nTicks,
                  std::vector<TReplayCommand>& vecCommands, std::string& strError)
{
    vecCommands.clear();
    // Every command takes at least one byte: the count is held against them before anything grows.
    if (nCount > static_cast<uint64_t>(pEnd - p))
        return Fail(strError, "it counts more commands than it holds");
    vecCommands.reserve(nCount);
    uint64_t nTick = 0;
    for (uint32_t i = 0; i < nCount; ++i) {
        uint64_t nNumber = 0;
        if (!GetNumber(p, pEnd, nNumber))
            return Fail(strError, "command " + std::to_string(i + 1) + " is cut short or garbled");
        nTick += nNumber >> COMMAND_BITS;
        const uint64_t nCommand = nNumber & ((1u << COMMAND_BITS) - 1);
        if (!IsGameCommand(static_cast<int>(nCommand)))
            return Fail(strError, "command " + std::to_string(i + 1) + " is not a game's command");
        if (nTick < 1 || nTick > static_cast<uint64_t>(nTicks) + 1)
            return Fail(strError, "command " + std::to_string(i + 1) + " comes at tick " + std::to_string(nTick) +
                                      ", outside the game's " + std::to_string(nTicks) + " ticks");
        vecCommands.push_back({static_cast<uint32_t>(nTick), static_cast<TCommand>(nCommand)});
    }
    if (p != pEnd)
        return Fail(strError, "its commands take fewer bytes than it says");
    return true;
}
}  // namespace

std::vector<uint8_t> TReplayFile::Serialize(const TReplay& Replay)
{
    DRELK_ASSERT(Replay.strGameVersion.size() < TReplay::VERSION_BYTES);
    DRELK_ASSERT(Replay.vecDigests.size() == Replay.nTicks / TReplay::DIGEST_TICKS);
    std::vector<uint8_t> vecCommandBytes;
    uint32_t nLastTick = 0;
    for (const TReplayCommand& Command : Replay.vecCommands) {
        DRELK_ASSERT(Command.nTick >= nLastTick && IsGameCommand(Command.nCommand));
        PutNumber(vecCommandBytes, static_cast<uint64_t>(Command.nTick - nLastTick) << COMMAND_BITS | Command.nCommand);
        nLastTick = Command.nTick;
    }
    std::vector<uint8_t> Out(MAGIC, MAGIC + sizeof MAGIC);
    PutU32(Out, Replay.nFormat);
    PutU32(Out, Replay.nRulesVersion);
    std::vector<uint8_t> Version(TReplay::VERSION_BYTES, 0);
    std::copy(Replay.strGameVersion.begin(), Replay.strGameVersion.end(), Version.begin());
    Out.insert(Out.end(), Version.begin(), Version.end());
    Out.insert(Out.end(), Replay.RulesData.begin(), Replay.RulesData.end());
    PutU32(Out, static_cast<uint32_t>(Replay.nStartLevel));
    PutU32(Out, Replay.nTicks);
    PutU32(Out, static_cast<uint32_t>(Replay.nScore));
    PutU32(Out, static_cast<uint32_t>(Replay.nLevel));
    PutU64(Out, Replay.nFinalDigest);
    PutU32(Out, static_cast<uint32_t>(Replay.vecCommands.size()));
    PutU32(Out, static_cast<uint32_t>(vecCommandBytes.size()));
    PutU32(Out, static_cast<uint32_t>(Replay.vecDigests.size()));
    PutU32(Out, 0);
    DRELK_ASSERT(Out.size() == HEADER_BYTES);
    Out.insert(Out.end(), vecCommandBytes.begin(), vecCommandBytes.end());
    for (uint64_t nDigest : Replay.vecDigests)
        PutU64(Out, nDigest);
    PutU64(Out, TDigest::Of(Out.data(), Out.size()));
    return Out;
}

bool TReplayFile::Parse(const std::vector<uint8_t>& Bytes, TReplay& Replay, std::string& strError)
{
    const uint64_t nSize = Bytes.size();
    if (nSize < sizeof MAGIC || std::memcmp(Bytes.data(), MAGIC, sizeof MAGIC) != 0)
        return Fail(strError, "not a Drelk II replay");
    if (nSize < HEADER_BYTES + CHECKSUM_BYTES)
        return Fail(strError, "cut short: " + std::to_string(nSize) + " bytes");
    if (nSize > TReplay::MAX_BYTES)
        return Fail(strError, "larger than a replay can be (" + std::to_string(TReplay::MAX_BYTES) + " bytes)");
    const uint8_t* p = Bytes.data();
    const uint32_t nFormat = GetU32(p + 8);
    // The first format is laid out alike (its data field held the data file's SHA-256): its
    // commands can still be read, and recorded anew, though its rules refuse its game.
    if (nFormat != TReplay::FORMAT_VERSION && nFormat != 1)
        return Fail(strError, "replay format " + std::to_string(nFormat) + ", not the " +
                                  std::to_string(TReplay::FORMAT_VERSION) + " this game reads");
    const uint32_t nCommands = GetU32(p + 88);
    const uint32_t nCommandBytes = GetU32(p + 92);
    const uint32_t nDigests = GetU32(p + 96);
    const uint64_t nWhole = HEADER_BYTES + static_cast<uint64_t>(nCommandBytes) + 8 * static_cast<uint64_t>(nDigests) +
                            CHECKSUM_BYTES;
    if (nWhole > nSize)
        return Fail(strError, "cut short: " + std::to_string(nSize) + " of " + std::to_string(nWhole) + " bytes");
    if (nWhole < nSize)
        return Fail(strError, std::to_string(nSize - nWhole) + " bytes more than a replay holds");
    if (GetU64(p + nSize - CHECKSUM_BYTES) != TDigest::Of(p, nSize - CHECKSUM_BYTES))
        return Fail(strError, "damaged: its checksum does not match");

    TReplay Read;
    Read.nFormat = nFormat;
    Read.nRulesVersion = GetU32(p + 12);
    if (!ReadVersion(p + 16, Read.strGameVersion))
        return Fail(strError, "its game version is not text");
    std::copy(p + 32, p + 64, Read.RulesData.begin());
    Read.nStartLevel = GetI32(p + 64);
    Read.nTicks = GetU32(p + 68);
    Read.nScore = GetI32(p + 72);
    Read.nLevel = GetI32(p + 76);
    Read.nFinalDigest = GetU64(p + 80);
    if (GetU32(p + 100) != 0)
        return Fail(strError, "made by a later version of the game");
    if (Read.nTicks > TReplay::MAX_TICKS)
        return Fail(strError, std::to_string(Read.nTicks) + " ticks, longer than a replay can be (" +
                                  std::to_string(TReplay::MAX_TICKS) + ")");
    if (Read.nStartLevel < 1 || Read.nStartLevel > TRules::MAX_LEVEL)
        return Fail(strError, "its start level " + std::to_string(Read.nStartLevel) + " is not one a game starts at (1 to " +
                                  std::to_string(TRules::MAX_LEVEL) + ")");
    // A level ends at the earliest LEVEL_END_TICKS ticks after its last rock.
    const int64_t nHighestLevel = static_cast<int64_t>(Read.nStartLevel) + Read.nTicks / TRules::LEVEL_END_TICKS;
    if (Read.nLevel < Read.nStartLevel || Read.nLevel > nHighestLevel)
        return Fail(strError, "its final level " + std::to_string(Read.nLevel) + " cannot be reached from level " +
                                  std::to_string(Read.nStartLevel) + " in " + std::to_string(Read.nTicks) + " ticks");
    if (nDigests != Read.nTicks / TReplay::DIGEST_TICKS)
        return Fail(strError, std::to_string(nDigests) + " digests for " + std::to_string(Read.nTicks) + " ticks");
    const uint8_t* pCommands = p + HEADER_BYTES;
    if (!ReadCommands(pCommands, pCommands + nCommandBytes, nCommands, Read.nTicks, Read.vecCommands, strError))
        return false;
    if (Read.nScore < 0 || Read.nScore > MostScoreOf(Read))
        return Fail(strError, "its final score " + std::to_string(Read.nScore) + " cannot be made with its " +
                                  std::to_string(MostScoreOf(Read) / MOST_POINTS_A_SHOT) + " shots");
    const uint8_t* pDigests = pCommands + nCommandBytes;
    Read.vecDigests.reserve(nDigests);
    for (uint32_t i = 0; i < nDigests; ++i)
        Read.vecDigests.push_back(GetU64(pDigests + 8 * static_cast<size_t>(i)));
    Replay = std::move(Read);
    return true;
}

bool TReplayFile::Load(const std::string& strPath, TReplay& Replay, std::string& strError)
{
    std::vector<uint8_t> Bytes;
    if (!TRegularFile::Read(strPath, TReplay::MAX_BYTES, Bytes, strError))
        return false;
    if (!Parse(Bytes, Replay, strError)) {
        strError = strPath + ": " + strError;
        return false;
    }
    return true;
}

std::string TReplayFile::WhyNotPlayable(const TReplay& Replay, uint32_t nRulesVersion, const TRulesData::TBytes& RulesData)
{
    if (Replay.nRulesVersion != nRulesVersion)
        return "recorded under the rules of version " + std::to_string(Replay.nRulesVersion) + " (game " +
               Replay.strGameVersion + "); this game plays version " + std::to_string(nRulesVersion);
    if (Replay.RulesData != RulesData)
        return "recorded with another data file (its " + TRulesData::Describe(Replay.RulesData) + ", this one's " +
               TRulesData::Describe(RulesData) + ")";
    return std::string();
}

int64_t TReplayFile::MostScoreOf(const TReplay& Replay)
{
    int64_t nShots = 0;
    for (const TReplayCommand& Command : Replay.vecCommands)
        nShots += Command.nCommand == CMD_FIRE;
    return nShots * MOST_POINTS_A_SHOT;
}
