#pragma once
// Chunk records: one asset inside a chunk list. A record is a 256-byte header ("VECHUNK" and
// the kind code), the kind's fixed block, then nSize payload bytes. All fields are parsed and
// written explicitly, little-endian; the in-memory form is not the on-disk layout.

#include "databank/ByteSources.h"
#include "databank/ImageShape.h"

#include <cstdint>
#include <cstdio>
#include <memory>

// Kind codes.
enum : int32_t {
    VECHUNK_TXT = 1,
    VECHUNK_RTF = 2,
    VECHUNK_IMAGE_RAW_RGBA = 4,
    VECHUNK_BMP = 5,
    VECHUNK_WAV = 8,
    VECHUNK_AVI = 11,
    VECHUNK_WMV = 13,
    VECHUNK_VRML_SHAPE = 15,
    VECHUNK_CAMERA = 16,
};

constexpr int32_t VECHUNK_HEADER_SIZE = 256;
constexpr int32_t VECHUNK_TAG_SIZE = 64;
constexpr int32_t VECHUNK_NAME_SIZE = 256;
constexpr char VECHUNK_TAG[] = "VECHUNK";

// The fields every kind's fixed block starts with, and the owned payload.
struct TVEChunkData
{
    int32_t nSize = 0;
    char szName[VECHUNK_NAME_SIZE] = {};
    int32_t nId = -1;
    int32_t nUserId = 0;
    std::unique_ptr<uint8_t[]> pData;
};

class TVEChunk
{
public:
    // The largest fixed block of any kind (the camera's).
    static constexpr int32_t MAX_BLOCK_SIZE = 632;

    virtual ~TVEChunk() = default;
    TVEChunk(const TVEChunk&) = delete;
    TVEChunk& operator=(const TVEChunk&) = delete;

    // A new chunk of the given kind, or null for a code the list walk cannot size.
    static std::unique_ptr<TVEChunk> Create(int32_t nType);
    // The kinds a list can hold: all but text chunks, whose records the walk does not size.
    static bool IsListKind(int32_t nType);

    int32_t GetType() const { return nType; }
    void SetName(const char* szNewName);

    // Whole record: header + fixed block + payload.
    virtual int32_t GetSize() const;
    // Reads the fixed block and payload from a file positioned just after the record's header.
    // Returns 1 when the record was read completely, 0 otherwise (the chunk is then unchanged).
    virtual int LoadFromFile(FILE* fp);
    virtual void SaveToFile(FILE* fp);
    // Reads the fixed block and payload from the nAvail bytes at pMemSource (just after the
    // record's header). Returns the bytes consumed, or -1 when the record does not fit in
    // nAvail bytes or its nSize is negative (the chunk is then unchanged).
    virtual int32_t LoadFromMemory(const uint8_t* pMemSource, int32_t nAvail);
    // Writes the whole record to pDest (nCapacity bytes). Returns the bytes written, 0 when refused.
    virtual int32_t SaveToMemory(uint8_t* pDest, int32_t nCapacity);
    // Replaces the payload; the new nSize, or 0 when refused or unsupported by the kind.
    virtual int32_t SetData(const uint8_t* pBytes, int32_t nLength);

    // The same as LoadFromMemory over any bounded source, from nOffset on.
    int32_t Load(TVEByteSource& Source, uint64_t nOffset);
    // Replaces the payload of any kind (the writer's way in; SetData keeps the kinds' refusals).
    void SetPayload(const uint8_t* pBytes, int32_t nLength);

    // Header as held in memory.
    char szTag[VECHUNK_TAG_SIZE] = {};
    int32_t nType;
    uint8_t Reserved[188] = {};

    TVEChunkData m_Data;

protected:
    explicit TVEChunk(int32_t nKind);

    // Layout of the kind's fixed block.
    virtual int32_t GetBlockSize() const = 0;
    virtual int32_t GetPayloadSlot() const = 0;  // offset of the payload slot in the block
    virtual bool SupportsSetData() const { return true; }
    // The minimum record a kind writes: most kinds refuse a record without a payload.
    virtual bool AcceptsSave() const { return m_Data.pData && m_Data.nSize > 0; }
    // Fields after the common ones (offset 268 of the block on).
    virtual void ReadExtra(const uint8_t*) {}
    virtual void WriteExtra(uint8_t*) const {}

    void WriteRecord(uint8_t* pDest, bool bWithPayload) const;
};

// Kinds 1, 2, 11, 13, 15: 272-byte block.
class TVEChunkPlain : public TVEChunk
{
protected:
    using TVEChunk::TVEChunk;
    int32_t GetBlockSize() const override { return 272; }
    int32_t GetPayloadSlot() const override { return 268; }
};

class TVEChunkTxt : public TVEChunkPlain
{
public:
    TVEChunkTxt() : TVEChunkPlain(VECHUNK_TXT) {}
};

class TVEChunkRtf : public TVEChunkPlain
{
public:
    TVEChunkRtf() : TVEChunkPlain(VECHUNK_RTF) {}
};

class TVEChunkAvi : public TVEChunkPlain
{
public:
    TVEChunkAvi() : TVEChunkPlain(VECHUNK_AVI) {}
};

class TVEChunkWmv : public TVEChunkPlain
{
public:
    TVEChunkWmv() : TVEChunkPlain(VECHUNK_WMV) {}
};

class TVEChunkVrmlShape : public TVEChunkPlain
{
public:
    TVEChunkVrmlShape() : TVEChunkPlain(VECHUNK_VRML_SHAPE) {}

protected:
    bool SupportsSetData() const override { return false; }
};

// Kinds 5 and 8: 276-byte block with a reserved field before the payload slot.
class TVEChunkWithReserved : public TVEChunk
{
public:
    int32_t nReserved = 0;

protected:
    using TVEChunk::TVEChunk;
    int32_t GetBlockSize() const override { return 276; }
    int32_t GetPayloadSlot() const override { return 272; }
    void ReadExtra(const uint8_t* pBlock) override;
    void WriteExtra(uint8_t* pBlock) const override;
};

class TVEChunkBmp : public TVEChunkWithReserved
{
public:
    TVEChunkBmp() : TVEChunkWithReserved(VECHUNK_BMP) {}
};

class TVEChunkWav : public TVEChunkWithReserved
{
public:
    TVEChunkWav() : TVEChunkWithReserved(VECHUNK_WAV) {}
};

// Kind 4: raw pixels, rows bottom first, with their dimensions.
class TVEChunkImageRawRgba : public TVEChunk
{
public:
    TVEChunkImageRawRgba() : TVEChunk(VECHUNK_IMAGE_RAW_RGBA) {}

    TImageShape GetShape() const { return {nWidth, nHeight, nComponents}; }

    int32_t nWidth = 0;
    int32_t nHeight = 0;
    int32_t nReserved = 0;
    int32_t nComponents = 0;
    char szReserved[256] = {};

protected:
    int32_t GetBlockSize() const override { return 544; }
    int32_t GetPayloadSlot() const override { return 540; }
    bool SupportsSetData() const override { return false; }
    // An image record without pixels is still written.
    bool AcceptsSave() const override { return m_Data.pData && m_Data.nSize >= 0; }
    void ReadExtra(const uint8_t* pBlock) override;
    void WriteExtra(uint8_t* pBlock) const override;
};

// Kind 16: a camera position; no payload in practice.
class TVEChunkCamera : public TVEChunk
{
public:
    TVEChunkCamera() : TVEChunk(VECHUNK_CAMERA) {}

    uint8_t Reserved1[276] = {};
    double Pos[3] = {0.0, 0.0, 0.0};
    uint8_t Reserved2[56] = {};
    int32_t nReserved3 = 0;

    int32_t SaveToMemory(uint8_t* pDest, int32_t nCapacity) override;

protected:
    int32_t GetBlockSize() const override { return 632; }
    int32_t GetPayloadSlot() const override { return 624; }
    void ReadExtra(const uint8_t* pBlock) override;
    void WriteExtra(uint8_t* pBlock) const override;
};
