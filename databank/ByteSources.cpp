#include "databank/ByteSources.h"

#include <algorithm>
#include <cstring>

#include <unistd.h>

bool TVEMemorySource::Read(uint64_t nOffset, void* pDest, size_t n)
{
    if (!Holds(nOffset, n))
        return false;
    if (n > 0)
        std::memcpy(pDest, m_pData + nOffset, n);
    return true;
}

bool TVEFileSource::Read(uint64_t nOffset, void* pDest, size_t n)
{
    if (!Holds(nOffset, n))
        return false;
    const uint64_t nStart = m_nOffset + nOffset;
    const uint64_t nInFile = nStart >= m_nFileSize ? 0 : std::min<uint64_t>(n, m_nFileSize - nStart);
    auto* pBytes = static_cast<uint8_t*>(pDest);
    // Straight from the file into the destination: no seek, no stdio buffer in between.
    const int nFd = fileno(m_fp);
    for (uint64_t nDone = 0; nDone < nInFile;) {
        const ssize_t nRead = pread(nFd, pBytes + nDone, nInFile - nDone, static_cast<off_t>(nStart + nDone));
        if (nRead <= 0)
            return false;
        nDone += static_cast<uint64_t>(nRead);
    }
    std::memset(pBytes + nInFile, 0, n - nInFile);
    return true;
}

double ReadLEDouble(const uint8_t* p)
{
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | p[i];
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

void WriteLEDouble(uint8_t* p, double dValue)
{
    uint64_t u;
    std::memcpy(&u, &dValue, sizeof u);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(u >> (8 * i));
}
