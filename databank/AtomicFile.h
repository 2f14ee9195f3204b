#pragma once
// A file that appears under its name only once it is complete: the bytes go to a new temporary
// file beside it, which is renamed over the name at the end. A name that already exists must be
// a writable regular file: a FIFO, a device, a directory or a symbolic link is refused, not
// replaced, and so is a read-only file.

#include <cstddef>
#include <string>

class TAtomicFile
{
public:
    TAtomicFile() = default;
    // Removes the temporary file unless Commit succeeded.
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Checks the name and creates the temporary file; false with the reason.
    bool Open(const std::string& strPath, std::string& strError);
    // Appends bytes; a failure is kept and reported by Commit.
    void Write(const void* pBytes, size_t nBytes);
    // Closes the temporary file and renames it over the name; false with the reason.
    bool Commit(std::string& strError);

    // Empty when strPath may be written (missing, or a writable regular file); else why not.
    static std::string CheckTarget(const std::string& strPath);

private:
    void Discard();

    int m_nFd = -1;
    int m_nWriteErrno = 0;
    std::string m_strPath;
    std::string m_strTemp;
};
