#include "databank/Chunks.h"

#include "base/Assert.h"

#include <sys/stat.h>

#include <cstring>
#include <limits>
#include <new>
#include <vector>


namespace {
// Common fields at the start of every fixed block.
constexpr int32_t BLOCK_SIZE_FIELD = 0;
constexpr int32_t BLOCK_NAME = 4;
constexpr int32_t BLOCK_ID = 260;
constexpr int32_t BLOCK_USER_ID = 264;
constexpr int32_t MAX_BLOCK_SIZE = TVEChunk::MAX_BLOCK_SIZE;
// Keeps header + block + payload inside an int32 record size.
constexpr int32_t MAX_PAYLOAD = std::numeric_limits<int32_t>::max() - VECHUNK_HEADER_SIZE - MAX_BLOCK_SIZE;

std::unique_ptr<uint8_t[]> Allocate(int32_t nSize)
{
    std::unique_ptr<uint8_t[]> pData(new (std::nothrow) uint8_t[static_cast<size_t>(nSize)]);
    DRELK_ASSERT(pData);
    return pData;
}
}  // namespace

TVEChunk::TVEChunk(int32_t nKind) : nType(nKind)
{
    std::memcpy(szTag, VECHUNK_TAG, sizeof VECHUNK_TAG);
}

bool TVEChunk::IsListKind(int32_t nType)
{
    switch (nType) {
    case VECHUNK_VRML_SHAPE:
    case VECHUNK_IMAGE_RAW_RGBA:
    case VECHUNK_BMP:
    case VECHUNK_WAV:
    case VECHUNK_AVI:
    case VECHUNK_WMV:
    case VECHUNK_RTF:
    case VECHUNK_CAMERA: return true;
    default: return false;
    }
}

std::unique_ptr<TVEChunk> TVEChunk::Create(int32_t nType)
{
    switch (nType) {
    case VECHUNK_VRML_SHAPE: return std::make_unique<TVEChunkVrmlShape>();
    case VECHUNK_IMAGE_RAW_RGBA: return std::make_unique<TVEChunkImageRawRgba>();
    case VECHUNK_BMP: return std::make_unique<TVEChunkBmp>();
    case VECHUNK_WAV: return std::make_unique<TVEChunkWav>();
    case VECHUNK_AVI: return std::make_unique<TVEChunkAvi>();
    case VECHUNK_WMV: return std::make_unique<TVEChunkWmv>();
    case VECHUNK_RTF: return std::make_unique<TVEChunkRtf>();
    case VECHUNK_CAMERA: return std::make_unique<TVEChunkCamera>();
    default: return nullptr;  // text chunks and unknown codes
    }
}

void TVEChunk::SetName(const char* szNewName)
{
    std::strncpy(m_Data.szName, szNewName, VECHUNK_NAME_SIZE - 1);
    m_Data.szName[VECHUNK_NAME_SIZE - 1] = '\0';
}

int32_t TVEChunk::GetSize() const
{
    return VECHUNK_HEADER_SIZE + GetBlockSize() + m_Data.nSize;
}

int32_t TVEChunk::Load(TVEByteSource& Source, uint64_t nOffset)
{
    const int32_t nBlock = GetBlockSize();
    uint8_t Block[MAX_BLOCK_SIZE];
    if (!Source.Read(nOffset, Block, static_cast<size_t>(nBlock)))
        return -1;
    const int32_t nSize = ReadLE32(Block + BLOCK_SIZE_FIELD);
    if (nSize < 0 || nSize > MAX_PAYLOAD || !Source.Holds(nOffset + nBlock, static_cast<uint64_t>(nSize)))
        return -1;
    std::unique_ptr<uint8_t[]> pPayload;
    if (nSize > 0) {
        pPayload = Allocate(nSize);
        if (!Source.Read(nOffset + nBlock, pPayload.get(), static_cast<size_t>(nSize)))
            return -1;
    }

    // Everything is in hand: only now does the chunk change.
    m_Data.nSize = nSize;
    std::memcpy(m_Data.szName, Block + BLOCK_NAME, VECHUNK_NAME_SIZE);
    m_Data.szName[VECHUNK_NAME_SIZE - 1] = '\0';  // a name that fills its field is cut, never left open
    m_Data.nId = ReadLE32(Block + BLOCK_ID);
    m_Data.nUserId = ReadLE32(Block + BLOCK_USER_ID);
    m_Data.pData = std::move(pPayload);
    ReadExtra(Block);
    return nBlock + nSize;
}

int32_t TVEChunk::LoadFromMemory(const uint8_t* pMemSource, int32_t nAvail)
{
    DRELK_ASSERT(pMemSource);
    if (nAvail < 0)
        return -1;
    TVEMemorySource Source(pMemSource, static_cast<size_t>(nAvail));
    return Load(Source, 0);
}

int TVEChunk::LoadFromFile(FILE* fp)
{
    DRELK_ASSERT(fp);
    struct stat St;
    const off_t nPos = ftello(fp);
    if (nPos < 0 || fstat(fileno(fp), &St) != 0 || St.st_size < nPos)
        return 0;
    const uint64_t nFileSize = static_cast<uint64_t>(St.st_size);
    TVEFileSource Source(fp, static_cast<uint64_t>(nPos), nFileSize - static_cast<uint64_t>(nPos), nFileSize);
    const int32_t nRead = Load(Source, 0);
    fseeko(fp, nPos + (nRead > 0 ? nRead : 0), SEEK_SET);
    return nRead > 0 ? 1 : 0;
}

void TVEChunk::WriteRecord(uint8_t* pDest, bool bWithPayload) const
{
    std::memcpy(pDest, szTag, VECHUNK_TAG_SIZE);
    WriteLE32(pDest + 64, nType);
    std::memcpy(pDest + 68, Reserved, sizeof Reserved);

    uint8_t* pBlock = pDest + VECHUNK_HEADER_SIZE;
    std::memset(pBlock, 0, static_cast<size_t>(GetBlockSize()));  // the payload slot carries nothing
    const int32_t nSize = bWithPayload ? m_Data.nSize : 0;
    WriteLE32(pBlock + BLOCK_SIZE_FIELD, nSize);
    std::memcpy(pBlock + BLOCK_NAME, m_Data.szName, VECHUNK_NAME_SIZE);
    WriteLE32(pBlock + BLOCK_ID, m_Data.nId);
    WriteLE32(pBlock + BLOCK_USER_ID, m_Data.nUserId);
    WriteExtra(pBlock);
    if (nSize > 0)
        std::memcpy(pBlock + GetBlockSize(), m_Data.pData.get(), static_cast<size_t>(nSize));
}

int32_t TVEChunk::SaveToMemory(uint8_t* pDest, int32_t nCapacity)
{
    if (!pDest || !AcceptsSave() || nCapacity < GetSize())
        return 0;
    WriteRecord(pDest, true);
    return GetSize();
}

void TVEChunk::SaveToFile(FILE* fp)
{
    DRELK_ASSERT(fp);
    const int32_t nSize = GetSize();
    std::vector<uint8_t> Buf(static_cast<size_t>(nSize));
    if (SaveToMemory(Buf.data(), nSize) == nSize)
        std::fwrite(Buf.data(), 1, Buf.size(), fp);
}

int32_t TVEChunk::SetData(const uint8_t* pBytes, int32_t nLength)
{
    if (!SupportsSetData() || !pBytes || nLength <= 0)
        return 0;
    SetPayload(pBytes, nLength);
    return m_Data.nSize;
}

void TVEChunk::SetPayload(const uint8_t* pBytes, int32_t nLength)
{
    DRELK_ASSERT(nLength >= 0 && nLength <= MAX_PAYLOAD);
    DRELK_ASSERT(pBytes || nLength == 0);
    m_Data.pData = Allocate(nLength);
    if (nLength > 0)
        std::memcpy(m_Data.pData.get(), pBytes, static_cast<size_t>(nLength));
    m_Data.nSize = nLength;
}

void TVEChunkWithReserved::ReadExtra(const uint8_t* pBlock)
{
    nReserved = ReadLE32(pBlock + 268);
}

void TVEChunkWithReserved::WriteExtra(uint8_t* pBlock) const
{
    WriteLE32(pBlock + 268, nReserved);
}

void TVEChunkImageRawRgba::ReadExtra(const uint8_t* pBlock)
{
    nWidth = ReadLE32(pBlock + 268);
    nHeight = ReadLE32(pBlock + 272);
    nReserved = ReadLE32(pBlock + 276);
    nComponents = ReadLE32(pBlock + 280);
    std::memcpy(szReserved, pBlock + 284, sizeof szReserved);
}

void TVEChunkImageRawRgba::WriteExtra(uint8_t* pBlock) const
{
    WriteLE32(pBlock + 268, nWidth);
    WriteLE32(pBlock + 272, nHeight);
    WriteLE32(pBlock + 276, nReserved);
    WriteLE32(pBlock + 280, nComponents);
    std::memcpy(pBlock + 284, szReserved, sizeof szReserved);
}

void TVEChunkCamera::ReadExtra(const uint8_t* pBlock)
{
    std::memcpy(Reserved1, pBlock + 268, sizeof Reserved1);
    for (int i = 0; i < 3; ++i)
        Pos[i] = ReadLEDouble(pBlock + 544 + 8 * i);
    std::memcpy(Reserved2, pBlock + 568, sizeof Reserved2);
    nReserved3 = ReadLE32(pBlock + 628);
}

void TVEChunkCamera::WriteExtra(uint8_t* pBlock) const
{
    std::memcpy(pBlock + 268, Reserved1, sizeof Reserved1);
    for (int i = 0; i < 3; ++i)
        WriteLEDouble(pBlock + 544 + 8 * i, Pos[i]);
    std::memcpy(pBlock + 568, Reserved2, sizeof Reserved2);
    WriteLE32(pBlock + 628, nReserved3);
}

int32_t TVEChunkCamera::SaveToMemory(uint8_t* pDest, int32_t nCapacity)
{
    // A camera is written even without a payload; its record then says nSize 0, so that a
    // reader does not take the next record for this one's payload.
    const bool bWithPayload = m_Data.pData && m_Data.nSize > 0;
    const int32_t nSize = VECHUNK_HEADER_SIZE + GetBlockSize() + (bWithPayload ? m_Data.nSize : 0);
    if (!pDest || nCapacity < nSize)
        return 0;
    WriteRecord(pDest, bWithPayload);
    return nSize;
}
