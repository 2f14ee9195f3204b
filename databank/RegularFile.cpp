#include "databank/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

const char* TRegularFile::DescribeType(unsigned int nMode)
{
    switch (nMode & S_IFMT) {
    case S_IFREG: return "a regular file";
    case S_IFDIR: return "a directory";
    case S_IFIFO: return "a FIFO";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
    default: return "not a file";
    }
}

FILE* TRegularFile::Open(const std::string& strPath, uint64_t* pSize, std::string& strError)
{
    // Non-blocking, so that a FIFO opens at once and can be refused; the flag is dropped again
    // for the regular file's reads.
    const int nFd = open(strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (nFd < 0) {
        strError = strPath + ": cannot open: " + std::strerror(errno);
        return nullptr;
    }
    struct stat St;
    if (fstat(nFd, &St) != 0 || !S_ISREG(St.st_mode)) {
        strError = strPath + ": not a regular file (" + DescribeType(St.st_mode) + ")";
        close(nFd);
        return nullptr;
    }
    FILE* fp = nullptr;
    const int nFlags = fcntl(nFd, F_GETFL);
    if (nFlags < 0 || fcntl(nFd, F_SETFL, nFlags & ~O_NONBLOCK) != 0 || !(fp = fdopen(nFd, "rb"))) {
        strError = strPath + ": cannot open: " + std::strerror(errno);
        close(nFd);
        return nullptr;
    }
    if (pSize)
        *pSize = static_cast<uint64_t>(St.st_size);
    return fp;
}

bool TRegularFile::Read(const std::string& strPath, uint64_t nMaxBytes, std::vector<uint8_t>& Bytes,
                        std::string& strError)
{
    uint64_t nSize = 0;
    FILE* fp = Open(strPath, &nSize, strError);
    if (!fp)
        return false;
    if (nSize > nMaxBytes) {
        std::fclose(fp);
        strError = strPath + ": " + std::to_string(nSize) + " bytes, more than the " + std::to_string(nMaxBytes) +
                   " allowed";
        return false;
    }
    // One byte more than the size says, to notice a file that grew meanwhile.
    Bytes.resize(static_cast<size_t>(nSize) + 1);
    const size_t nRead = std::fread(Bytes.data(), 1, Bytes.size(), fp);
    const bool bError = std::ferror(fp) != 0;
    std::fclose(fp);
    if (bError || nRead != nSize) {
        strError = strPath + (bError ? ": read error" : ": changed while it was read");
        return false;
    }
    Bytes.resize(nRead);
    return true;
}
