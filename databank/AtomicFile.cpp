#include "databank/AtomicFile.h"

#include "databank/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {
// Enough for the writes of one process at once (a leftover of a dead writer with our PID).
constexpr int MAX_TEMP_NAMES = 100;

// The mode a newly created file would get.
mode_t NewFileMode()
{
    const mode_t nMask = umask(0);
    umask(nMask);
    return 0666 & ~nMask;
}

TAtomicFile::TSystemCalls RealSystemCalls()
{
    return {[](int nFd, const void* pBytes, size_t nBytes) { return write(nFd, pBytes, nBytes); },
            [](int nFd) { return fsync(nFd); },
            [](const char* szFrom, const char* szTo) { return std::rename(szFrom, szTo); }};
}

std::string FolderOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}

// The file a write through links replaces: strPath, or the regular file its link leads to.
// Empty with the reason when there is none.
std::string ResolveLink(const std::string& strPath, std::string& strError)
{
    struct stat St;
    if (lstat(strPath.c_str(), &St) != 0) {
        if (errno == ENOENT)
            return strPath;
        strError = strPath + ": " + std::strerror(errno);
        return "";
    }
    std::string strTarget = strPath;
    if (S_ISLNK(St.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> pReal(realpath(strPath.c_str(), nullptr), &std::free);
        if (!pReal || stat(pReal.get(), &St) != 0) {
            strError = strPath + ": a link that leads nowhere (" + std::strerror(errno) + "); not written";
            return "";
        }
        strTarget = pReal.get();
    }
    if (!S_ISREG(St.st_mode)) {
        strError = strPath + " is " + TRegularFile::DescribeType(St.st_mode) + ", not a file; not written";
        return "";
    }
    return strTarget;
}
}  // namespace

TAtomicFile::~TAtomicFile()
{
    Discard();
}

void TAtomicFile::Discard()
{
    if (m_nFd >= 0)
        close(m_nFd);
    if (!m_strTemp.empty())
        unlink(m_strTemp.c_str());
    m_nFd = -1;
    m_strTemp.clear();
}

bool TAtomicFile::Fail(const std::string& strWhy, std::string& strError)
{
    Discard();
    strError = m_strPath + ": " + strWhy + "; left as it was";
    return false;
}

std::string TAtomicFile::CheckTarget(const std::string& strPath)
{
    struct stat St;
    if (lstat(strPath.c_str(), &St) != 0)
        return errno == ENOENT ? "" : strPath + ": " + std::strerror(errno);
    if (!S_ISREG(St.st_mode))
        return strPath + ": exists and is not a regular file (" + TRegularFile::DescribeType(St.st_mode) +
               "); not replaced";
    // Root may write anything, so the mode bits are asked as well as access().
    if ((St.st_mode & 0222) == 0 || access(strPath.c_str(), W_OK) != 0)
        return strPath + ": is read-only; not replaced";
    return "";
}

bool TAtomicFile::Open(const std::string& strPath, std::string& strError, TLinks nLinks)
{
    Discard();
    m_nWriteErrno = 0;
    m_bWroteNothing = false;
    m_strPath = strPath;
    m_nLinks = nLinks;
    if (nLinks == LINKS_FOLLOWED) {
        m_strTarget = ResolveLink(strPath, strError);
        if (m_strTarget.empty())
            return false;
    } else {
        strError = CheckTarget(strPath);
        if (!strError.empty())
            return false;
        m_strTarget = strPath;
    }
    struct stat Old;
    const bool bOld = stat(m_strTarget.c_str(), &Old) == 0;
    // A fresh name of our own (O_EXCL, O_NOFOLLOW): nothing already there is opened or followed.
    std::string strTemp;
    for (int i = 1; i <= MAX_TEMP_NAMES && m_nFd < 0; ++i) {
        strTemp = m_strTarget + TEMP_MARK + std::to_string(getpid());
        if (i > 1)
            strTemp += '-' + std::to_string(i);
        m_nFd = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (m_nFd < 0 && errno != EEXIST)
            break;
    }
    if (m_nFd < 0) {
        strError = strPath + ": cannot create a temporary file beside it: " + std::strerror(errno);
        return false;
    }
    m_strTemp = strTemp;
    // The new file keeps the permissions the old one had.
    fchmod(m_nFd, bOld ? (Old.st_mode & 07777) : NewFileMode());
    return true;
}

void TAtomicFile::Write(const void* pBytes, size_t nBytes)
{
    const auto* p = static_cast<const char*>(pBytes);
    while (nBytes > 0 && m_nFd >= 0 && m_nWriteErrno == 0 && !m_bWroteNothing) {
        const ssize_t nDone = SystemCalls().pWrite(m_nFd, p, nBytes);
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone < 0)
            m_nWriteErrno = errno;
        else if (nDone == 0)
            m_bWroteNothing = true;
        if (nDone <= 0)
            break;
        p += nDone;
        nBytes -= static_cast<size_t>(nDone);
    }
}

bool TAtomicFile::Commit(std::string& strError)
{
    if (m_nFd < 0) {
        strError = m_strPath + ": not open";
        return false;
    }
    if (m_nWriteErrno != 0)
        return Fail(std::strerror(m_nWriteErrno), strError);
    if (m_bWroteNothing)
        return Fail("nothing could be written", strError);
    if (SystemCalls().pFsync(m_nFd) != 0)
        return Fail(std::string("cannot sync it: ") + std::strerror(errno), strError);
    const int nFd = m_nFd;
    m_nFd = -1;
    if (close(nFd) != 0)
        return Fail(std::string("cannot close it: ") + std::strerror(errno), strError);
    // A name a command line gave is checked again: it may have become something else meanwhile.
    if (m_nLinks == LINKS_REFUSED) {
        strError = CheckTarget(m_strPath);
        if (!strError.empty()) {
            Discard();
            return false;
        }
    }
    if (SystemCalls().pRename(m_strTemp.c_str(), m_strTarget.c_str()) != 0)
        return Fail(std::string("cannot rename the temporary over it: ") + std::strerror(errno), strError);
    m_strTemp.clear();
    // A folder's entry is on disk once the folder is synced. A file system that cannot sync
    // folders (EINVAL) has nothing more to do.
    const int nFolder = open(FolderOf(m_strTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (nFolder < 0) {
        strError = m_strPath + ": cannot open its folder to sync it: " + std::strerror(errno);
        return false;
    }
    const bool bSynced = SystemCalls().pFsync(nFolder) == 0 || errno == EINVAL;
    if (!bSynced)
        strError = m_strPath + ": written, but its folder could not be synced: " + std::strerror(errno);
    close(nFolder);
    return bSynced;
}

TAtomicFile::TSystemCalls& TAtomicFile::SystemCalls()
{
    static TSystemCalls s_Calls = RealSystemCalls();
    return s_Calls;
}

void TAtomicFile::RestoreSystemCalls()
{
    SystemCalls() = RealSystemCalls();
}
