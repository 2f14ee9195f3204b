#pragma once
// Opening an input that must be a regular file: a directory, a FIFO, a device or a socket is
// refused before a byte is read, and without blocking (a FIFO with no writer would otherwise
// hold the open forever).

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TRegularFile
{
public:
    // Opens strPath for reading; null when it cannot be opened or is not a regular file,
    // with the reason in strError ("PATH: not a regular file (a FIFO)"). *pSize gets its size.
    static FILE* Open(const std::string& strPath, uint64_t* pSize, std::string& strError);
    // Reads the whole file, refusing one of more than nMaxBytes bytes.
    static bool Read(const std::string& strPath, uint64_t nMaxBytes, std::vector<uint8_t>& Bytes,
                     std::string& strError);
    // "a directory", "a FIFO", ... for a file mode that is not a regular file's.
    static const char* DescribeType(unsigned int nMode);
};
