#include "databank/AtomicFile.h"

#include "databank/RegularFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
// The mode a newly created file would get.
mode_t NewFileMode()
{
    const mode_t nMask = umask(0);
    umask(nMask);
    return 0666 & ~nMask;
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

bool TAtomicFile::Open(const std::string& strPath, std::string& strError)
{
    Discard();
    m_nWriteErrno = 0;
    m_strPath = strPath;
    strError = CheckTarget(strPath);
    if (!strError.empty())
        return false;
    struct stat St;
    const mode_t nMode = stat(strPath.c_str(), &St) == 0 ? (St.st_mode & 07777) : NewFileMode();
    // A fresh name of our own (O_EXCL): nothing already there is opened or followed.
    std::vector<char> Template(strPath.begin(), strPath.end());
    const char SUFFIX[] = ".part-XXXXXX";
    Template.insert(Template.end(), SUFFIX, SUFFIX + sizeof SUFFIX);
    m_nFd = mkstemp(Template.data());
    if (m_nFd < 0) {
        strError = "cannot create " + strPath + ": " + std::strerror(errno);
        return false;
    }
    m_strTemp = Template.data();
    fchmod(m_nFd, nMode);
    return true;
}

void TAtomicFile::Write(const void* pBytes, size_t nBytes)
{
    const auto* p = static_cast<const char*>(pBytes);
    while (nBytes > 0 && m_nFd >= 0 && m_nWriteErrno == 0) {
        const ssize_t nDone = write(m_nFd, p, nBytes);
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone <= 0) {
            m_nWriteErrno = nDone < 0 ? errno : EIO;
            break;
        }
        p += nDone;
        nBytes -= static_cast<size_t>(nDone);
    }
}

bool TAtomicFile::Commit(std::string& strError)
{
    if (m_nFd < 0) {
        strError = "cannot write " + m_strPath + ": not open";
        return false;
    }
    int nErrno = m_nWriteErrno;
    if (close(m_nFd) != 0 && nErrno == 0)
        nErrno = errno;
    m_nFd = -1;
    // The name is checked again: it may have become something else while the bytes were written.
    if (nErrno == 0) {
        strError = CheckTarget(m_strPath);
        if (!strError.empty()) {
            Discard();
            return false;
        }
        if (std::rename(m_strTemp.c_str(), m_strPath.c_str()) != 0)
            nErrno = errno;
    }
    if (nErrno != 0) {
        strError = "cannot write " + m_strPath + ": " + std::strerror(nErrno);
        Discard();
        return false;
    }
    m_strTemp.clear();
    return true;
}
