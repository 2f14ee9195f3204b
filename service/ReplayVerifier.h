#pragma once
// The checker's side of verification, in the process `drelk2-scores check` starts for one
// replay: it takes its limits, opens the game on the data file through the driver, then, with
// no more files to open or write, plays the replay headless against every digest it holds and
// the score, level and ticks its header claims.

#include "core/GameDriver.h"
#include "service/ReplayChecker.h"

#include <string>
#include <vector>

class TReplayVerifier
{
public:
    // CPU time, address space, no file written, no core dump: before anything is read.
    static bool LimitProcess(const TCheckLimits& Limits, std::string& strError);

    bool Open(const std::string& strDataFile, std::string& strError);
    // From here on no file can be opened beyond those open now, and no process started.
    static void LockFiles();

    // "plays VERSION SHA256": what a replay must name to be verified here.
    std::string Identity() const;
    TVerdict Verify(const std::vector<uint8_t>& Bytes);

private:
    TGameDriver m_Driver;
};
