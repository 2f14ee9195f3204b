#pragma once
// The one door to verification: a replay's bytes in, a verdict out. Each replay is played by a
// checker process of its own (this program again, as `drelk2-scores check`), which opens the data
// file, takes its limits (CPU time, memory, no file written, no file opened beyond what the game
// opened), reads the replay on its standard input and writes one verdict line. Whatever the
// replay does to the checker, the service only loses that process; one that outlives its wall
// time is killed.

#include "core/Replay.h"

#include <cstdint>
#include <string>
#include <vector>

struct TCheckLimits
{
    // CPU time for one replay: a day-long game takes minutes, a 30-minute one a few seconds.
    int nCpuSeconds = 120;
    // Address space, in MiB.
    int nMemoryMb = 1024;
    // The wall time a checker is given beyond its CPU time (a loaded machine, a checker stuck).
    static constexpr int EXTRA_WALL_SECONDS = 10;
};

struct TVerdict
{
    enum TKind {
        VERIFIED,  // the game ran to the end the replay holds, every digest the same
        REFUSED,   // the replay is not a game this checker verifies (why in strReason)
        FAILED,    // no verdict: the checker could not run or did not end well
    };
    TKind nKind = FAILED;
    uint32_t nTicks = 0;
    int32_t nScore = 0;
    int32_t nLevel = 1;
    uint32_t nDigests = 0;
    std::string strReason;

    // The checker's one line: "verified TICKS SCORE LEVEL DIGESTS" or "refused REASON".
    std::string Line() const;
    // A line read back; a line that is neither is a failure naming it.
    static TVerdict FromLine(const std::string& strLine);
};

class TReplayChecker
{
public:
    // strProgram: this program's executable (the checker is the same program).
    TReplayChecker(std::string strProgram, std::string strDataFile, TCheckLimits Limits);

    // The rules' version and the data file's digest that this checker plays: what a replay
    // must name. False with the reason when the data file cannot serve.
    bool Identify(uint32_t& nRulesVersion, TRulesData::TBytes& RulesData, std::string& strError) const;
    TVerdict Check(const std::vector<uint8_t>& Replay) const;

    const TCheckLimits& GetLimits() const { return m_Limits; }

private:
    // Runs the checker with the arguments and the bytes on its standard input; its standard
    // output, or false with why it gave none (its standard error's last line, a signal);
    // bOverTime when it ran out of CPU time.
    bool Run(const std::vector<std::string>& vecArgs, const std::vector<uint8_t>& Input, std::string& strOut,
             int& nExit, bool& bOverTime, std::string& strError) const;

    std::string m_strProgram;
    std::string m_strDataFile;
    TCheckLimits m_Limits;
};
