#include "service/ReplayChecker.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {
// Most the checker may say: a verdict is one short line.
constexpr size_t MAX_OUTPUT = 4096;
constexpr int EXIT_REFUSED = 3;

// What the checker's environment holds: no sound device, and the sanitizers' settings of a test
// build; nothing else of the service's.
std::vector<std::string> CheckerEnvironment()
{
    std::vector<std::string> vecEnv = {"SDL_AUDIODRIVER=dummy"};
    for (const char* szName : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* szValue = std::getenv(szName))
            vecEnv.push_back(std::string(szName) + "=" + szValue);
    return vecEnv;
}

std::vector<char*> Pointers(std::vector<std::string>& vecText)
{
    std::vector<char*> vecPointers;
    for (std::string& str : vecText)
        vecPointers.push_back(str.data());
    vecPointers.push_back(nullptr);
    return vecPointers;
}

struct TPipe
{
    int v[2] = {-1, -1};
    bool Make() { return pipe2(v, O_CLOEXEC) == 0; }
    void Close(int n)
    {
        if (v[n] >= 0)
            close(v[n]);
        v[n] = -1;
    }
    ~TPipe()
    {
        Close(0);
        Close(1);
    }
};

std::string LastLine(std::string strText)
{
    while (!strText.empty() && strText.back() == '\n')
        strText.pop_back();
    const size_t nStart = strText.rfind('\n');
    return nStart == std::string::npos ? strText : strText.substr(nStart + 1);
}
}  // namespace

std::string TVerdict::Line() const
{
    if (nKind == VERIFIED)
        return "verified " + std::to_string(nTicks) + " " + std::to_string(nScore) + " " + std::to_string(nLevel) +
               " " + std::to_string(nDigests);
    return (nKind == REFUSED ? "refused " : "failed ") + strReason;
}

TVerdict TVerdict::FromLine(const std::string& strLine)
{
    TVerdict Verdict;
    std::istringstream In(strLine);
    std::string strWord;
    In >> strWord;
    if (strWord == "verified" && In >> Verdict.nTicks >> Verdict.nScore >> Verdict.nLevel >> Verdict.nDigests &&
        (In >> std::ws).eof()) {
        Verdict.nKind = VERIFIED;
        return Verdict;
    }
    if ((strWord == "refused" || strWord == "failed") && strLine.size() > strWord.size() + 1) {
        Verdict.nKind = strWord == "refused" ? REFUSED : FAILED;
        Verdict.strReason = strLine.substr(strWord.size() + 1);
        return Verdict;
    }
    Verdict.strReason = "the checker said '" + strLine.substr(0, 200) + "'";
    return Verdict;
}

TReplayChecker::TReplayChecker(std::string strProgram, std::string strDataFile, TCheckLimits Limits)
    : m_strProgram(std::move(strProgram)), m_strDataFile(std::move(strDataFile)), m_Limits(Limits)
{
    // A checker that ends before it has read its replay must not end the service with it.
    signal(SIGPIPE, SIG_IGN);
}

bool TReplayChecker::Identify(uint32_t& nRulesVersion, TRulesData::TBytes& RulesData, std::string& strError) const
{
    std::string strOut;
    int nExit = 0;
    bool bOverTime = false;
    if (!Run({"check", "--identify", "--data", m_strDataFile}, {}, strOut, nExit, bOverTime, strError))
        return false;
    std::istringstream In(strOut);
    std::string strWord, strHex;
    if (nExit != 0 || !(In >> strWord >> nRulesVersion >> strHex) || strWord != "plays" || strHex.size() != 64) {
        strError = LastLine(strOut);
        return false;
    }
    for (size_t i = 0; i < RulesData.size(); ++i)
        RulesData[i] = static_cast<uint8_t>(std::strtoul(strHex.substr(2 * i, 2).c_str(), nullptr, 16));
    return true;
}

TVerdict TReplayChecker::Check(const std::vector<uint8_t>& Replay) const
{
    std::string strOut, strError;
    int nExit = 0;
    TVerdict Verdict;
    bool bOverTime = false;
    if (!Run({"check", "--data", m_strDataFile, "--check-seconds", std::to_string(m_Limits.nCpuSeconds),
              "--check-memory", std::to_string(m_Limits.nMemoryMb)},
             Replay, strOut, nExit, bOverTime, strError)) {
        // The game's time is the replay's: one too long to verify is refused.
        Verdict.nKind = bOverTime ? TVerdict::REFUSED : TVerdict::FAILED;
        Verdict.strReason = strError;
        return Verdict;
    }
    Verdict = TVerdict::FromLine(LastLine(strOut));
    // A verdict counts only with the exit status that goes with it.
    if ((Verdict.nKind == TVerdict::VERIFIED && nExit != 0) ||
        (Verdict.nKind == TVerdict::REFUSED && nExit != EXIT_REFUSED)) {
        Verdict.nKind = TVerdict::FAILED;
        Verdict.strReason = "the checker ended with status " + std::to_string(nExit) + " after '" +
                            LastLine(strOut).substr(0, 200) + "'";
    }
    return Verdict;
}

bool TReplayChecker::Run(const std::vector<std::string>& vecArgs, const std::vector<uint8_t>& Input,
                         std::string& strOut, int& nExit, bool& bOverTime, std::string& strError) const
{
    TPipe In, Out, Err;
    if (!In.Make() || !Out.Make() || !Err.Make()) {
        strError = std::string("cannot start a checker: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, In.v[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&Actions, Out.v[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&Actions, Err.v[1], STDERR_FILENO);
    std::vector<std::string> vecArgv = {m_strProgram};
    vecArgv.insert(vecArgv.end(), vecArgs.begin(), vecArgs.end());
    std::vector<std::string> vecEnv = CheckerEnvironment();
    std::vector<char*> vArgv = Pointers(vecArgv), vEnv = Pointers(vecEnv);
    // The service's blocked and ignored signals are not the checker's.
    posix_spawnattr_t Attributes;
    posix_spawnattr_init(&Attributes);
    sigset_t Signals;
    sigemptyset(&Signals);
    posix_spawnattr_setsigmask(&Attributes, &Signals);
    sigaddset(&Signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&Attributes, &Signals);
    posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t nPid = -1;
    const int nSpawn = posix_spawn(&nPid, m_strProgram.c_str(), &Actions, &Attributes, vArgv.data(), vEnv.data());
    posix_spawn_file_actions_destroy(&Actions);
    posix_spawnattr_destroy(&Attributes);
    if (nSpawn != 0) {
        strError = "cannot start the checker " + m_strProgram + ": " + std::strerror(nSpawn);
        return false;
    }
    In.Close(0);
    Out.Close(1);
    Err.Close(1);
    fcntl(In.v[1], F_SETFL, O_NONBLOCK);

    const auto tDeadline = std::chrono::steady_clock::now() +
                           std::chrono::seconds(m_Limits.nCpuSeconds + TCheckLimits::EXTRA_WALL_SECONDS);
    size_t nWritten = 0;
    if (Input.empty())
        In.Close(1);
    std::string strErr;
    bool bLate = false;
    while (Out.v[0] >= 0 || Err.v[0] >= 0) {
        const auto tLeft = tDeadline - std::chrono::steady_clock::now();
        if (tLeft <= std::chrono::steady_clock::duration::zero()) {
            bLate = true;
            break;
        }
        pollfd vPoll[3] = {{In.v[1], POLLOUT, 0}, {Out.v[0], POLLIN, 0}, {Err.v[0], POLLIN, 0}};
        const int nWait = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(tLeft).count()) + 1;
        if (poll(vPoll, 3, nWait) < 0 && errno != EINTR)
            break;
        if (In.v[1] >= 0 && (vPoll[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = write(In.v[1], Input.data() + nWritten, Input.size() - nWritten);
            if (n > 0)
                nWritten += static_cast<size_t>(n);
            // A checker that stopped reading (it refused the start of the replay) has said why.
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || nWritten == Input.size())
                In.Close(1);
        }
        for (int i = 1; i <= 2; ++i) {
            TPipe& Pipe = i == 1 ? Out : Err;
            std::string& strText = i == 1 ? strOut : strErr;
            if (Pipe.v[0] < 0 || !(vPoll[i].revents & (POLLIN | POLLERR | POLLHUP)))
                continue;
            char vBuffer[1024];
            const ssize_t n = read(Pipe.v[0], vBuffer, sizeof vBuffer);
            if (n > 0 && strText.size() < MAX_OUTPUT)
                strText.append(vBuffer, static_cast<size_t>(n));
            else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                Pipe.Close(0);
        }
    }
    In.Close(1);
    int nStatus = 0;
    // Both pipes closed: the checker is ending; it gets what is left of its time to do so.
    while (!bLate && waitpid(nPid, &nStatus, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= tDeadline)
            bLate = true;
        else
            usleep(1000);
    }
    if (bLate) {
        kill(nPid, SIGKILL);
        waitpid(nPid, &nStatus, 0);
        strError = "the checker did not end within " +
                   std::to_string(m_Limits.nCpuSeconds + TCheckLimits::EXTRA_WALL_SECONDS) + " s";
        return false;
    }
    if (WIFSIGNALED(nStatus)) {
        const int nSignal = WTERMSIG(nStatus);
        // SIGXCPU at the CPU limit, SIGKILL a second later.
        bOverTime = nSignal == SIGXCPU || nSignal == SIGKILL;
        strError = bOverTime
                       ? "took more than " + std::to_string(m_Limits.nCpuSeconds) + " s of CPU time to verify"
                       : std::string("the checker ended on signal ") + strsignal(nSignal) +
                             (strErr.empty() ? "" : " after '" + LastLine(strErr).substr(0, 200) + "'");
        return false;
    }
    nExit = WEXITSTATUS(nStatus);
    if (strOut.empty()) {
        strError = "the checker ended with status " + std::to_string(nExit) +
                   (strErr.empty() ? " and said nothing" : ": " + LastLine(strErr).substr(0, 200));
        return false;
    }
    return true;
}
