#pragma once
// A chunk list: a 512-byte list header followed by nChunks chunk records. One list is one entry
// of the data file; a model list (type 1) turns into a scene subtree.

#include "databank/Chunks.h"

#include <memory>
#include <string>
#include <vector>

class SoNode;

using CVecPtrChunks = std::vector<std::unique_ptr<TVEChunk>>;

constexpr int32_t VECHUNKLIST_HEADER_SIZE = 512;
constexpr int32_t VECHUNKLIST_TYPE_MODEL = 1;

struct TVEChunkListHeader
{
    char szTag[64] = "CHUNKLIST";
    char szName[256] = {};
    int32_t nId = -1;
    int32_t nUserId = 0;
    int32_t nType = 0;
    int32_t nChunks = 0;
    uint8_t Reserved[176] = {};
};

class TVEChunkList
{
public:
    TVEChunkList() = default;
    virtual ~TVEChunkList();
    TVEChunkList(const TVEChunkList&) = delete;
    TVEChunkList& operator=(const TVEChunkList&) = delete;

    // Parses a list image. Returns the bytes consumed, or 0 when the image is malformed: shorter
    // than its header, a negative chunk count, a record without the "VECHUNK" tag, a kind whose
    // size the walk does not know, or a record that runs past the end. The list then keeps the
    // records read completely before the fault, and GetError() says what was wrong and where.
    int32_t BuildFromMemory(const uint8_t* pSource, int32_t nBufLen);
    int32_t Build(TVEByteSource& Source);

    int GetCount() const { return static_cast<int>(m_vecChunks.size()); }
    TVEChunk* GetChunk(int nIndex) const;
    TVEChunk* FindChunk(int32_t nKind, int32_t nId) const;
    int32_t GetType() const { return m_nType; }
    void Clear();
    virtual void Dump(std::string& strText) const;

    // The scene of the last readable shape chunk, its texture nodes filled from the raw images
    // of the same name; reference count zero. Null when there is no readable scene, when any
    // shape chunk is refused (it reaches outside the data file or past the limits that
    // TModelReader and TModelCheck set), or when a raw image's pixels do not match its
    // dimensions (GetError() says which).
    SoNode* BuildSceneGraph();

    const TVEChunkListHeader& GetHeader() const { return m_Header; }
    const std::string& GetError() const { return m_strError; }

    // For writers.
    void SetName(const char* szName);
    void SetId(int32_t nId) { m_Header.nId = nId; }
    void SetUserId(int32_t nUserId) { m_Header.nUserId = nUserId; }
    void SetType(int32_t nType) { m_Header.nType = m_nType = nType; }
    // Appends a new chunk of a list kind holding a copy of the bytes; returns it for kind fields.
    TVEChunk& AddChunk(int32_t nKind, int32_t nId, const char* szName, const uint8_t* pBytes, int32_t nSize);
    // Bytes of the list image SaveToMemory writes: the header and every chunk's record.
    uint64_t GetImageSize() const;
    // The list image: header and every chunk's record. False when a chunk refuses to be written.
    bool SaveToMemory(std::vector<uint8_t>& Image) const;

private:
    int32_t Fail(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
    bool FillTextures(SoNode* pScene);

    TVEChunkListHeader m_Header;
    int32_t m_nType = 0;
    CVecPtrChunks m_vecChunks;
    std::string m_strError;
};
