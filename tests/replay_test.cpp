// The replay file: written and read back whole, and every kind of broken file refused with one
// line, never read past its end and never half kept.
#include "core/Replay.h"

#include "base/Digest.h"
#include "tests/support/TestDataFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {
TReplay SampleReplay()
{
    TReplay Replay;
    Replay.nRulesVersion = 7;
    Replay.strGameVersion = "1.2.3";
    for (size_t i = 0; i < Replay.RulesData.size(); ++i)
        Replay.RulesData[i] = static_cast<uint8_t>(i * 7 + 1);
    Replay.nStartLevel = 2;
    Replay.nTicks = 250;
    Replay.nScore = 20;  // one shot's worth at most
    Replay.nLevel = 3;
    Replay.nFinalDigest = 0x0123456789abcdefull;
    // Commands on the first tick, far apart (a number of several bytes), several on one tick,
    // and after the last tick.
    Replay.vecCommands = {{1, CMD_TURN_LEFT}, {1, CMD_FIRE},  {2, CMD_THRUST}, {199, CMD_PAUSE},
                          {199, CMD_PAUSE},  {250, CMD_MUSIC}, {251, CMD_PAUSE}};
    Replay.vecDigests = {0x1111111111111111ull, 0xfedcba9876543210ull};
    return Replay;
}

// The checksum made good again after a change, so that the reader gets past it to what follows.
void Reseal(std::vector<uint8_t>& Bytes)
{
    const uint64_t nSum = TDigest::Of(Bytes.data(), Bytes.size() - 8);
    for (int i = 0; i < 8; ++i)
        Bytes[Bytes.size() - 8 + static_cast<size_t>(i)] = static_cast<uint8_t>(nSum >> (8 * i));
}

void PutU32(std::vector<uint8_t>& Bytes, size_t nAt, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        Bytes[nAt + static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (8 * i));
}

// A header field set to n, the checksum made good again: the file is wrong only in what it says.
std::function<void(std::vector<uint8_t>&)> Says(size_t nAt, uint32_t n)
{
    return [nAt, n](std::vector<uint8_t>& Bytes) {
        PutU32(Bytes, nAt, n);
        Reseal(Bytes);
    };
}
}  // namespace

TEST(ReplayFileTest, AReplayReadsBackAsItWasWritten)
{
    const TReplay Replay = SampleReplay();
    const std::vector<uint8_t> Bytes = TReplayFile::Serialize(Replay);
    TReplay Read;
    std::string strError;
    ASSERT_TRUE(TReplayFile::Parse(Bytes, Read, strError)) << strError;
    EXPECT_EQ(Read.nRulesVersion, 7u);
    EXPECT_EQ(Read.strGameVersion, "1.2.3");
    EXPECT_EQ(Read.RulesData, Replay.RulesData);
    EXPECT_EQ(Read.nStartLevel, 2);
    EXPECT_EQ(Read.nTicks, 250u);
    EXPECT_EQ(Read.nScore, 20);
    EXPECT_EQ(Read.nLevel, 3);
    EXPECT_EQ(Read.nFinalDigest, Replay.nFinalDigest);
    EXPECT_EQ(Read.vecCommands, Replay.vecCommands);
    EXPECT_EQ(Read.vecDigests, Replay.vecDigests);
    // A byte a command when commands come within 16 ticks of each other, two for the two that
    // come later; 104 bytes of header, 8 a digest, 8 of checksum.
    EXPECT_EQ(Bytes.size(), 104u + (5 + 2 * 2) + 8 * 2 + 8);
}

TEST(ReplayFileTest, BrokenFilesAreRefusedWithOneLineAndNothingKept)
{
    const std::vector<uint8_t> Good = TReplayFile::Serialize(SampleReplay());
    // What is done to a good file -> a word of the reason.
    const struct
    {
        const char* szCase;
        std::function<void(std::vector<uint8_t>&)> Break;
        const char* szReason;
    } CASES[] = {
        {"empty", [](std::vector<uint8_t>& B) { B.clear(); }, "not a Drelk II replay"},
        {"a key script", [](std::vector<uint8_t>& B) { B.assign({'1', ' ', 'l', 'e', 'f', 't', '\n'}); },
         "not a Drelk II replay"},
        {"cut inside the header", [](std::vector<uint8_t>& B) { B.resize(60); }, "cut short"},
        {"cut inside the commands", [](std::vector<uint8_t>& B) { B.resize(106); }, "cut short"},
        {"cut by its last byte", [](std::vector<uint8_t>& B) { B.pop_back(); }, "cut short"},
        {"a byte more", [](std::vector<uint8_t>& B) { B.push_back(0); }, "more than a replay holds"},
        {"a later format", [](std::vector<uint8_t>& B) { PutU32(B, 8, 3); }, "replay format 3"},
        {"no format yet", [](std::vector<uint8_t>& B) { PutU32(B, 8, 0); }, "replay format 0"},
        {"a flipped bit", [](std::vector<uint8_t>& B) { B[110] ^= 0x10; }, "checksum"},
        {"a command count past its bytes", Says(88, 0xffffffffu), "more commands than it holds"},
        {"commands in fewer bytes than said", Says(88, 6), "fewer bytes"},
        {"a byte count past the file", Says(92, 0x7fffffffu), "cut short"},
        {"a command that is not the game's",
         [](std::vector<uint8_t>& B) {
             B[104] = 8 | 7;
             Reseal(B);
         },
         "not a game's command"},
        {"a number in more bytes than it takes",
         [](std::vector<uint8_t>& B) {
             // The second command (fire, on the same tick) as 0x83 0x00 instead of 0x03.
             B[105] |= 0x80;
             B.insert(B.begin() + 106, 0x00);
             PutU32(B, 92, 5 + 2 * 2 + 1);
             Reseal(B);
         },
         "cut short or garbled"},
        {"a number that never ends",
         [](std::vector<uint8_t>& B) {
             for (size_t i = 104; i < 104 + 8; ++i)
                 B[i] = 0xff;
             Reseal(B);
         },
         "cut short or garbled"},
        {"a command after the game",
         [](std::vector<uint8_t>& B) {
             PutU32(B, 68, 200);  // ticks: the last commands come later than 201
             PutU32(B, 96, 2);
             Reseal(B);
         },
         "outside the game's"},
        {"digests for other ticks", Says(68, 310), "digests for"},
        {"more ticks than a day", Says(68, 0xffffffffu), "longer than a replay can be"},
        {"a version with more after its end",
         [](std::vector<uint8_t>& B) {
             B[16 + 15] = 'x';
             Reseal(B);
         },
         "not text"},
        {"a version that is not text",
         [](std::vector<uint8_t>& B) {
             std::memset(B.data() + 16, 'x', 16);
             Reseal(B);
         },
         "not text"},
        {"a score below zero", Says(72, 0x80000000u), "cannot be made"},
        {"a score more than its one shot makes", Says(72, 21), "cannot be made with its 1 shots"},
        {"a level below the start", Says(76, 1), "cannot be reached"},
        {"a level more than its ticks can reach", Says(76, 5), "cannot be reached from level 2 in 250 ticks"},
        {"a start level of 0", Says(64, 0), "start level 0"},
        {"a start level past any --level", Says(64, 10001), "start level 10001"},
        {"a start level that overflows the rock count", Says(64, 0x7fffffffu), "start level 2147483647"},
        {"a field a later version fills", Says(100, 1), "later version"},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szCase);
        std::vector<uint8_t> Bytes = Good;
        Case.Break(Bytes);
        TReplay Read = SampleReplay();
        Read.nScore = -7;  // untouched unless the whole file is good
        std::string strError;
        EXPECT_FALSE(TReplayFile::Parse(Bytes, Read, strError));
        EXPECT_NE(strError.find(Case.szReason), std::string::npos) << strError;
        EXPECT_EQ(strError.find('\n'), std::string::npos);
        EXPECT_EQ(Read.nScore, -7);
    }
}

TEST(ReplayFileTest, OnlyARegularFileOfAReplaysSizeIsRead)
{
    const std::string strDir = MakeTempDir();
    const std::string strFifo = strDir + "/fifo";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    const std::string strHuge = strDir + "/huge";
    {
        std::ofstream Out(strHuge, std::ios::binary);
        Out.seekp(static_cast<std::streamoff>(TReplay::MAX_BYTES));
        Out.put('\0');
    }
    // Where the replay is said to be -> a word of the reason.
    const std::pair<std::string, const char*> CASES[] = {
        {strDir, "not a regular file"},
        {strFifo, "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {strDir + "/missing", "cannot open"},
        {strHuge, "more than the"},
    };
    for (const auto& Case : CASES) {
        TReplay Read;
        std::string strError;
        EXPECT_FALSE(TReplayFile::Load(Case.first, Read, strError)) << Case.first;
        EXPECT_NE(strError.find(Case.second), std::string::npos) << strError;
    }
}

TEST(ReplayFileTest, ThisGamePlaysOnlyWhatWasRecordedUnderItsRulesAndData)
{
    const TReplay Replay = SampleReplay();
    EXPECT_EQ(TReplayFile::WhyNotPlayable(Replay, 7, Replay.RulesData), "");
    EXPECT_NE(TReplayFile::WhyNotPlayable(Replay, 8, Replay.RulesData).find("rules of version 7"), std::string::npos);
    TRulesData::TBytes Other = Replay.RulesData;
    Other[0] ^= 1;
    const std::string strWhy = TReplayFile::WhyNotPlayable(Replay, 7, Other);
    EXPECT_NE(strWhy.find("another data file"), std::string::npos);
    EXPECT_NE(strWhy.find("ship box"), std::string::npos);  // names what differs
}
