#include "tools/sim/KeyScript.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>

namespace {
bool KeyFromName(const std::string& strName, TCommand& nKey)
{
    static const std::pair<const char*, TCommand> KEYS[] = {
        {"left", CMD_TURN_LEFT}, {"right", CMD_TURN_RIGHT}, {"up", CMD_THRUST},
        {"space", CMD_FIRE},     {"p", CMD_PAUSE},          {"m", CMD_MUSIC},
    };
    for (const auto& Key : KEYS) {
        if (strName == Key.first) {
            nKey = Key.second;
            return true;
        }
    }
    return false;
}

// The line as a message can show it: control and other bytes escaped, long lines cut.
std::string Shown(const std::string& strLine)
{
    constexpr size_t SHOWN_BYTES = 60;
    std::string strShown;
    for (size_t i = 0; i < strLine.size() && i < SHOWN_BYTES; ++i) {
        const auto c = static_cast<unsigned char>(strLine[i]);
        if (c == 0) {
            strShown += "\\0";
        } else if (c < 0x20 || c >= 0x7f || c == '\\') {
            char szHex[8];
            std::snprintf(szHex, sizeof szHex, "\\x%02x", c);
            strShown += szHex;
        } else {
            strShown += static_cast<char>(c);
        }
    }
    return strShown + (strLine.size() > SHOWN_BYTES ? "..." : "");
}

// The whole file, read through one descriptor so that what was checked is what is read.
bool ReadRegularFile(const std::string& strPath, long nMaxBytes, std::string& strText, std::string& strError)
{
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int nFd = open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0) {
        strError = "cannot read (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    struct stat Stat{};
    bool bOk = fstat(nFd, &Stat) == 0;
    if (!bOk)
        strError = "cannot read (" + std::string(std::strerror(errno)) + ")";
    else if (!S_ISREG(Stat.st_mode))
        strError = "not a regular file";
    else if (Stat.st_size > nMaxBytes)
        strError = "larger than " + std::to_string(nMaxBytes / (1024 * 1024)) + " MiB";
    bOk = bOk && strError.empty();
    char szBuf[65536];
    while (bOk) {
        const ssize_t nRead = read(nFd, szBuf, sizeof szBuf);
        if (nRead == 0)
            break;
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0) {
            strError = "cannot read (" + std::string(std::strerror(errno)) + ")";
            bOk = false;
        } else if (static_cast<long>(strText.size()) + nRead > nMaxBytes) {
            strError = "larger than " + std::to_string(nMaxBytes / (1024 * 1024)) + " MiB";  // it grew
            bOk = false;
        } else {
            strText.append(szBuf, static_cast<size_t>(nRead));
        }
    }
    close(nFd);
    return bOk;
}
}  // namespace

bool TKeyScript::Load(const std::string& strPath, std::string& strError)
{
    std::string strText;
    if (!ReadRegularFile(strPath, MAX_FILE_BYTES, strText, strError)) {
        strError = strPath + ": " + strError;
        return false;
    }
    if (!Parse(strText, strError)) {
        strError = strPath + ":" + strError;
        return false;
    }
    return true;
}

bool TKeyScript::Parse(const std::string& strText, std::string& strError)
{
    size_t nStart = 0;
    for (int nLine = 1; nStart < strText.size(); ++nLine) {
        size_t nEnd = strText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        const std::string strLine = strText.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (!ParseLine(strLine, strError)) {
            strError = std::to_string(nLine) + ": " + strError;
            return false;
        }
    }
    return true;
}

bool TKeyScript::ParseLine(const std::string& strLine, std::string& strError)
{
    if (strLine.size() > MAX_LINE_BYTES) {
        strError = "line longer than " + std::to_string(MAX_LINE_BYTES) + " bytes: '" + Shown(strLine) + "'";
        return false;
    }
    if (strLine.find('\0') != std::string::npos) {
        strError = "NUL byte in the line '" + Shown(strLine) + "'";
        return false;
    }
    std::istringstream Words(strLine);
    std::string strTick;
    if (!(Words >> strTick) || strTick[0] == '#')
        return true;
    long nTick = -1;
    const std::from_chars_result Result = std::from_chars(strTick.data(), strTick.data() + strTick.size(), nTick);
    if (Result.ec != std::errc() || Result.ptr != strTick.data() + strTick.size() || nTick < 0) {
        strError = "'" + Shown(strTick) + "' is not a tick number";
        return false;
    }
    std::vector<TCommand>& vecKeys = m_mapKeys[nTick];
    const size_t nBefore = vecKeys.size();
    std::string strKey;
    while (Words >> strKey) {
        TCommand nKey;
        if (!KeyFromName(strKey, nKey)) {
            strError = "unknown key '" + Shown(strKey) + "' (left right up space p m)";
            return false;
        }
        vecKeys.push_back(nKey);
    }
    if (vecKeys.size() == nBefore) {
        strError = "no key after tick " + strTick;
        return false;
    }
    return true;
}

const std::vector<TCommand>& TKeyScript::KeysBefore(long nTick) const
{
    static const std::vector<TCommand> s_vecNone;
    const auto it = m_mapKeys.find(nTick);
    return it == m_mapKeys.end() ? s_vecNone : it->second;
}
