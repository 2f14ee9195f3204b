#pragma once
// Bounded byte sources for the data file readers. Every read names an offset and a count and
// fails, copying nothing, unless the whole range lies inside the source: a record can never be
// read past the end of the bytes that hold it.

#include <cstddef>
#include <cstdint>
#include <cstdio>

class TVEByteSource
{
public:
    virtual ~TVEByteSource() = default;
    virtual uint64_t GetSize() const = 0;
    // Copies n bytes from nOffset into pDest; false when the range is not inside the source.
    virtual bool Read(uint64_t nOffset, void* pDest, size_t n) = 0;

    bool Holds(uint64_t nOffset, uint64_t n) const { return nOffset <= GetSize() && n <= GetSize() - nOffset; }
};

// A block of memory.
class TVEMemorySource : public TVEByteSource
{
public:
    TVEMemorySource(const uint8_t* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}
    uint64_t GetSize() const override { return m_nSize; }
    bool Read(uint64_t nOffset, void* pDest, size_t n) override;

private:
    const uint8_t* m_pData;
    size_t m_nSize;
};

// nSize bytes of an open file from nOffset on. The part of the range beyond the end of the file
// (nFileSize) reads as zeros: a list image may run past the end of a truncated data file.
class TVEFileSource : public TVEByteSource
{
public:
    TVEFileSource(FILE* fp, uint64_t nOffset, uint64_t nSize, uint64_t nFileSize)
        : m_fp(fp), m_nOffset(nOffset), m_nSize(nSize), m_nFileSize(nFileSize)
    {
    }
    uint64_t GetSize() const override { return m_nSize; }
    bool Read(uint64_t nOffset, void* pDest, size_t n) override;

private:
    FILE* m_fp;
    uint64_t m_nOffset;
    uint64_t m_nSize;
    uint64_t m_nFileSize;
};

// Little-endian fields of on-disk records.
inline int32_t ReadLE32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

inline void WriteLE32(uint8_t* p, int32_t nValue)
{
    const uint32_t u = static_cast<uint32_t>(nValue);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}

double ReadLEDouble(const uint8_t* p);
void WriteLEDouble(uint8_t* p, double dValue);
