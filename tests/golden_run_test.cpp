// The golden run: a long drelk2-sim run from a fixed key script, held tick by tick against the
// run as it was recorded. It goes through splits, a pause, the end of level 1, the lost ships,
// a pause while a ship waits, the respawns and the game over, so a change in any random draw,
// in the order of the rules or in the rounding of a position shows here, at the first tick it
// touches.
//
// tests/golden/run.txt keeps, for every tick, a digest of the state line, and the whole line
// every CHECKPOINT_TICKS ticks. After a deliberate change of the rules, record the run again:
//   DRELK_GOLDEN_UPDATE=1 build/golden_test
#include "tests/support/RunCommand.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {
const std::string GOLDEN_DIR = DRELK_GOLDEN_DIR;
const std::string KEYS = GOLDEN_DIR + "/run.keys";
const std::string RECORD = GOLDEN_DIR + "/run.txt";
constexpr long TICKS = 3000;
constexpr long CHECKPOINT_TICKS = 1000;

std::string SimCommand(long nTicks)
{
    return "SDL_AUDIODRIVER=dummy " + ShellQuote(DRELK_SIM_TOOL) + " --data " + ShellQuote(DRELK_TEST_DATA_FILE) +
           " --keys " + ShellQuote(KEYS) + " --ticks " + std::to_string(nTicks) + " --every 1";
}

// FNV-1a, 64 bits: enough to tell two state lines apart.
std::string Digest(const std::string& strLine)
{
    uint64_t nHash = 0xcbf29ce484222325ull;
    for (unsigned char c : strLine) {
        nHash ^= c;
        nHash *= 0x100000001b3ull;
    }
    char szHex[17];
    std::snprintf(szHex, sizeof szHex, "%016" PRIx64, nHash);
    return szHex;
}

std::vector<std::string> Lines(const std::string& strText)
{
    std::vector<std::string> vecLines;
    std::istringstream In(strText);
    std::string strLine;
    while (std::getline(In, strLine))
        vecLines.push_back(strLine);
    return vecLines;
}

struct TRecord
{
    std::vector<std::string> vecDigests;        // by tick
    std::map<long, std::string> mapCheckpoints;  // tick -> whole state line
};

// Lines "TICK DIGEST [STATE-LINE]"; '#' starts a comment line.
TRecord ReadRecord(const std::string& strPath)
{
    TRecord Record;
    std::ifstream In(strPath);
    std::string strLine;
    while (std::getline(In, strLine)) {
        if (strLine.empty() || strLine[0] == '#')
            continue;
        std::istringstream Words(strLine);
        long nTick = -1;
        std::string strDigest;
        Words >> nTick >> strDigest;
        if (nTick != static_cast<long>(Record.vecDigests.size()))
            throw std::runtime_error(strPath + ": tick " + std::to_string(nTick) + " out of order");
        Record.vecDigests.push_back(strDigest);
        std::string strState;
        if (Words >> std::ws && std::getline(Words, strState) && !strState.empty())
            Record.mapCheckpoints[nTick] = strState;
    }
    return Record;
}

void WriteRecord(const std::string& strPath, const std::vector<std::string>& vecStates)
{
    std::ofstream Out(strPath);
    Out << "# The golden run: " << "drelk2-sim --keys run.keys --ticks " << TICKS << " --every 1 on the build's data file.\n"
        << "# A line a tick: the tick, the FNV-1a digest (64 bits) of its state line, and every "
        << CHECKPOINT_TICKS << " ticks the line itself.\n";
    for (size_t i = 0; i < vecStates.size(); ++i) {
        Out << i << ' ' << Digest(vecStates[i]);
        if (i % CHECKPOINT_TICKS == 0)
            Out << ' ' << vecStates[i];
        Out << '\n';
    }
}
}  // namespace

TEST(GoldenRunTest, EveryTickIsAsRecorded)
{
    const TCommandResult Result = RunCommand(SimCommand(TICKS));
    ASSERT_EQ(Result.nExitCode, 0) << Result.strOut.substr(0, 2000);
    const std::vector<std::string> vecStates = Lines(Result.strOut);
    ASSERT_EQ(vecStates.size(), static_cast<size_t>(TICKS + 1));

    if (std::getenv("DRELK_GOLDEN_UPDATE")) {
        WriteRecord(RECORD, vecStates);
        GTEST_SKIP() << "recorded the golden run anew in " << RECORD;
    }

    const TRecord Record = ReadRecord(RECORD);
    ASSERT_EQ(Record.vecDigests.size(), vecStates.size()) << RECORD;
    for (size_t i = 0; i < vecStates.size(); ++i) {
        const long nTick = static_cast<long>(i);
        const auto itCheckpoint = Record.mapCheckpoints.find(nTick);
        if (itCheckpoint != Record.mapCheckpoints.end()) {
            ASSERT_EQ(vecStates[i], itCheckpoint->second) << "the run departs from the golden run at tick " << nTick;
        }
        if (Digest(vecStates[i]) == Record.vecDigests[i])
            continue;
        const long nLastCheckpoint = nTick / CHECKPOINT_TICKS * CHECKPOINT_TICKS;
        FAIL() << "the run departs from the golden run at tick " << nTick << "; it was as recorded at tick "
               << nLastCheckpoint << ", whose whole state " << RECORD << " keeps. This tick's state now:\n"
               << vecStates[i] << "\nThe ticks before it: " << SimCommand(nTick);
    }
}

// The record itself holds what the run is there for.
TEST(GoldenRunTest, TheRecordedRunReachesTheGameOverOnLevelTwo)
{
    const TRecord Record = ReadRecord(RECORD);
    ASSERT_EQ(Record.vecDigests.size(), static_cast<size_t>(TICKS + 1));
    ASSERT_EQ(Record.mapCheckpoints.count(TICKS), 1u);
    const std::string& strLast = Record.mapCheckpoints.at(TICKS);
    EXPECT_NE(strLast.find("\"state\":4,\"level\":2,"), std::string::npos) << strLast;
    EXPECT_NE(strLast.find("\"ships\":0,"), std::string::npos) << strLast;
}
