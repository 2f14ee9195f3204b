#include "service/ReplayVerifier.h"

#include "core/Rules.h"
#include "sound/FModSoundManager.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace {
// The sanitizers reserve terabytes of address space up front, and check what an object points
// to through a pipe of their own: under them the memory limit is left to the machine, and a few
// descriptors are left free.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
#else
constexpr bool SANITIZED = false;
#endif
constexpr rlim_t SANITIZER_DESCRIPTORS = 8;

bool SetLimit(int nResource, rlim_t nSoft, rlim_t nHard, const char* szName, std::string& strError)
{
    const rlimit Limit = {nSoft, nHard};
    if (setrlimit(nResource, &Limit) == 0)
        return true;
    strError = std::string("cannot limit the checker's ") + szName + ": " + std::strerror(errno);
    return false;
}

// The descriptors open now.
rlim_t OpenDescriptors()
{
    rlim_t nHighest = 0;
    if (DIR* pDir = opendir("/proc/self/fd")) {
        while (const dirent* pEntry = readdir(pDir))
            if (pEntry->d_name[0] != '.')
                nHighest = std::max<rlim_t>(nHighest, std::strtoul(pEntry->d_name, nullptr, 10));
        closedir(pDir);
    }
    return nHighest + 1;
}
}  // namespace

bool TReplayVerifier::LimitProcess(const TCheckLimits& Limits, std::string& strError)
{
    const auto nCpu = static_cast<rlim_t>(Limits.nCpuSeconds);
    const auto nBytes = static_cast<rlim_t>(Limits.nMemoryMb) * 1024 * 1024;
    return SetLimit(RLIMIT_CPU, nCpu, nCpu + 1, "CPU time", strError) &&
           (SANITIZED || SetLimit(RLIMIT_AS, nBytes, nBytes, "memory", strError)) &&
           SetLimit(RLIMIT_FSIZE, 0, 0, "file size", strError) && SetLimit(RLIMIT_CORE, 0, 0, "core dumps", strError);
}

bool TReplayVerifier::Open(const std::string& strDataFile, std::string& strError)
{
    if (!m_Driver.Open(strDataFile, strError)) {
        strError = strDataFile + ": " + strError;
        return false;
    }
    // The sound device opens in the background, on a thread of its own: it is open before the
    // process may start no more threads and open no more files.
    m_Driver.GetSound()->HasDevice();
    return true;
}

void TReplayVerifier::LockFiles()
{
    // The descriptor count the limit allows is reached: every further open fails. The opendir
    // that counts them has closed its own.
    const rlim_t nOpen = OpenDescriptors() + (SANITIZED ? SANITIZER_DESCRIPTORS : 0);
    const rlimit Files = {nOpen, nOpen};
    setrlimit(RLIMIT_NOFILE, &Files);
    const rlimit Processes = {0, 0};
    setrlimit(RLIMIT_NPROC, &Processes);
}

std::string TReplayVerifier::Identity() const
{
    std::string strHex;
    char szByte[3];
    for (const uint8_t nByte : m_Driver.GetRulesData().ToBytes()) {
        std::snprintf(szByte, sizeof szByte, "%02x", nByte);
        strHex += szByte;
    }
    return "plays " + std::to_string(TRules::VERSION) + " " + strHex;
}

TVerdict TReplayVerifier::Verify(const std::vector<uint8_t>& Bytes)
{
    TVerdict Verdict;
    Verdict.nKind = TVerdict::REFUSED;
    TReplay Replay;
    std::string strError;
    if (!TReplayFile::Parse(Bytes, Replay, strError)) {
        Verdict.strReason = "not a replay: " + strError;
        return Verdict;
    }
    // The rules alone: nothing is drawn or heard.
    if (!m_Driver.StartReplay(Replay, strError, TGameDriver::SHOW_NOTHING)) {
        Verdict.strReason = strError;
        return Verdict;
    }
    while (!m_Driver.IsReplayOver() && m_Driver.GetReplayDeparture() == 0)
        m_Driver.Step();
    if (m_Driver.GetReplayDeparture() != 0) {
        Verdict.strReason = "the game departs from the replay at tick " + std::to_string(m_Driver.GetReplayDeparture());
        return Verdict;
    }
    // The digests held; what the header says of the end must be what the game reached.
    const std::string strEnding = m_Driver.GetRun()->CheckEnding();
    if (!strEnding.empty()) {
        Verdict.strReason = "the replay's ending is not the game's: " + strEnding;
        return Verdict;
    }
    Verdict.nKind = TVerdict::VERIFIED;
    Verdict.nTicks = m_Driver.GetTicks();
    Verdict.nScore = m_Driver.GetScore();
    Verdict.nLevel = m_Driver.GetLevel();
    Verdict.nDigests = m_Driver.GetDigestsChecked();
    return Verdict;
}
