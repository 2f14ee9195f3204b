#include "databank/ChunkList.h"

#include "base/Assert.h"
#include "base/TextFormat.h"
#include "databank/ModelReader.h"

#include <Inventor/SoDB.h>
#include <Inventor/VRMLnodes/SoVRMLImageTexture.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoTexture2.h>

#include <cstdarg>
#include <cstring>
#include <limits>

namespace {
void AppendFormat(std::string& strText, const char* szFormat, ...) __attribute__((format(printf, 2, 3)));

void AppendFormat(std::string& strText, const char* szFormat, ...)
{
    va_list Args;
    va_start(Args, szFormat);
    strText += FormatTextV(szFormat, Args);
    va_end(Args);
}

const char* DumpLabel(int32_t nKind)
{
    switch (nKind) {
    case VECHUNK_IMAGE_RAW_RGBA: return "raw rgba";
    case VECHUNK_VRML_SHAPE: return "vrml shape";
    case VECHUNK_BMP: return "bmp image";
    case VECHUNK_WAV: return "wav sound";
    case VECHUNK_CAMERA: return "camera";
    default: return nullptr;
    }
}

void ParseHeader(const uint8_t* p, TVEChunkListHeader& Header)
{
    std::memcpy(Header.szTag, p, sizeof Header.szTag);
    Header.szTag[sizeof Header.szTag - 1] = '\0';
    std::memcpy(Header.szName, p + 64, sizeof Header.szName);
    Header.szName[sizeof Header.szName - 1] = '\0';
    Header.nId = ReadLE32(p + 320);
    Header.nUserId = ReadLE32(p + 324);
    Header.nType = ReadLE32(p + 328);
    Header.nChunks = ReadLE32(p + 332);
    std::memcpy(Header.Reserved, p + 336, sizeof Header.Reserved);
}

void WriteHeader(const TVEChunkListHeader& Header, int32_t nChunks, uint8_t* p)
{
    std::memcpy(p, Header.szTag, sizeof Header.szTag);
    std::memcpy(p + 64, Header.szName, sizeof Header.szName);
    WriteLE32(p + 320, Header.nId);
    WriteLE32(p + 324, Header.nUserId);
    WriteLE32(p + 328, Header.nType);
    WriteLE32(p + 332, nChunks);
    std::memcpy(p + 336, Header.Reserved, sizeof Header.Reserved);
}

// Every texture node of that name gets a copy of the pixels: a walk over all children,
// including those a switch hides; nodes of other kinds with the name are left alone.
void FillNamedTextures(SoNode* pNode, const SbName& Name, const TVEChunkImageRawRgba& Image)
{
    if (pNode->getName() == Name && pNode->isOfType(SoTexture2::getClassTypeId()))
        static_cast<SoTexture2*>(pNode)->image.setValue(
            SbVec2s(static_cast<short>(Image.nWidth), static_cast<short>(Image.nHeight)), Image.nComponents,
            Image.m_Data.pData.get(), SoSFImage::COPY);
    if (const SoChildList* pChildren = pNode->getChildren())
        for (int i = 0; i < pChildren->getLength(); ++i)
            FillNamedTextures((*pChildren)[i], Name, Image);
}

bool HasChunkTag(const uint8_t* pChunkHeader)
{
    return std::memcmp(pChunkHeader, VECHUNK_TAG, sizeof VECHUNK_TAG) == 0;
}
}  // namespace

TVEChunkList::~TVEChunkList()
{
    Clear();
}

int32_t TVEChunkList::Fail(const char* szFormat, ...)
{
    va_list Args;
    va_start(Args, szFormat);
    m_strError = FormatTextV(szFormat, Args);
    va_end(Args);
    return 0;
}

int32_t TVEChunkList::BuildFromMemory(const uint8_t* pSource, int32_t nBufLen)
{
    DRELK_ASSERT(pSource);
    DRELK_ASSERT(nBufLen > 0);
    TVEMemorySource Source(pSource, static_cast<size_t>(nBufLen));
    return Build(Source);
}

int32_t TVEChunkList::Build(TVEByteSource& Source)
{
    m_strError.clear();
    const uint64_t nLength = Source.GetSize();
    if (nLength > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return Fail("list image of %llu bytes is too large", static_cast<unsigned long long>(nLength));
    uint8_t Head[VECHUNKLIST_HEADER_SIZE];
    if (!Source.Read(0, Head, sizeof Head))
        return Fail("list image of %llu bytes is shorter than its %d-byte header",
                    static_cast<unsigned long long>(nLength), VECHUNKLIST_HEADER_SIZE);
    ParseHeader(Head, m_Header);
    m_nType = m_Header.nType;
    if (m_Header.nChunks < 0)
        return Fail("negative chunk count %d", m_Header.nChunks);

    // Each record takes at least a header and a block, so the walk ends with the image.
    uint64_t nOffset = VECHUNKLIST_HEADER_SIZE;
    for (int32_t i = 0; i < m_Header.nChunks; ++i) {
        const auto nAt = static_cast<unsigned long long>(nOffset);
        if (nOffset >= nLength)
            return Fail("chunk %d of %d: the list image ends at byte %llu", i, m_Header.nChunks,
                        static_cast<unsigned long long>(nLength));
        uint8_t ChunkHead[VECHUNK_HEADER_SIZE];
        if (!Source.Read(nOffset, ChunkHead, sizeof ChunkHead))
            return Fail("chunk %d at offset %llu: its header runs past the end of the list image (%llu bytes)", i,
                        nAt, static_cast<unsigned long long>(nLength));
        if (!HasChunkTag(ChunkHead))
            return Fail("chunk %d at offset %llu: no \"VECHUNK\" tag", i, nAt);
        const int32_t nKind = ReadLE32(ChunkHead + 64);
        std::unique_ptr<TVEChunk> pChunk = TVEChunk::Create(nKind);
        if (!pChunk)
            return Fail("chunk %d at offset %llu: kind %d cannot be read", i, nAt, nKind);
        const int32_t nRead = pChunk->Load(Source, nOffset + VECHUNK_HEADER_SIZE);
        if (nRead < 0)
            return Fail("chunk %d at offset %llu: kind %d record runs past the end of the list image (%llu bytes)",
                        i, nAt, nKind, static_cast<unsigned long long>(nLength));
        nOffset += VECHUNK_HEADER_SIZE + static_cast<uint64_t>(nRead);
        m_vecChunks.push_back(std::move(pChunk));
    }
    return static_cast<int32_t>(nOffset);
}

TVEChunk* TVEChunkList::GetChunk(int nIndex) const
{
    if (nIndex < 0 || nIndex >= GetCount())
        return nullptr;
    return m_vecChunks[static_cast<size_t>(nIndex)].get();
}

TVEChunk* TVEChunkList::FindChunk(int32_t nKind, int32_t nId) const
{
    if (!TVEChunk::IsListKind(nKind))
        return nullptr;
    for (const auto& pChunk : m_vecChunks)
        if (pChunk->GetType() == nKind && pChunk->m_Data.nId == nId)
            return pChunk.get();
    return nullptr;
}

void TVEChunkList::Clear()
{
    m_nType = 0;
    m_vecChunks.clear();
}

void TVEChunkList::Dump(std::string& strText) const
{
    strText += "\n\nChunk List:";
    AppendFormat(strText, "\n    Name: '%s'\n    Id: %d\n    UserId: %d\n    Type: %d\n    Total chunks: %d",
                 m_Header.szName, m_Header.nId, m_Header.nUserId, m_nType, GetCount());
    for (int i = 0; i < GetCount(); ++i) {
        const TVEChunk* pChunk = m_vecChunks[static_cast<size_t>(i)].get();
        const char* szLabel = DumpLabel(pChunk->GetType());
        if (!szLabel)
            continue;
        AppendFormat(strText, "\n\n      Chunk : [ %d ]", i);
        AppendFormat(strText, "\n      Type: %d  [ %s ]", pChunk->GetType(), szLabel);
        AppendFormat(strText, "\n      Size: %d", pChunk->GetSize());
        AppendFormat(strText, "\n      Name: %s", pChunk->m_Data.szName);
        AppendFormat(strText, "\n      Id: %d", pChunk->m_Data.nId);
        AppendFormat(strText, "\n      UserId: %d", pChunk->m_Data.nUserId);
        if (pChunk->GetType() == VECHUNK_CAMERA) {
            const auto* pCamera = static_cast<const TVEChunkCamera*>(pChunk);
            AppendFormat(strText, "\n      Pos: %6.3f, %6.3f, %6.3f", pCamera->Pos[0], pCamera->Pos[1], pCamera->Pos[2]);
        }
    }
}

SoNode* TVEChunkList::BuildSceneGraph()
{
    m_strError.clear();
    SoDB::init();
    // Nothing is fetched from a URL while the scene is read.
    SoVRMLImageTexture::setDelayFetchURL(TRUE);

    SoNode* pShape = nullptr;
    std::string strUnreadable;
    for (const auto& pChunk : m_vecChunks) {
        if (pChunk->GetType() != VECHUNK_VRML_SHAPE || pChunk->m_Data.nSize <= 0)
            continue;
        SoNode* pNode = nullptr;
        std::string strWhy;
        const TModelReader::TResult Result = TModelReader::Read(
            pChunk->m_Data.pData.get(), static_cast<size_t>(pChunk->m_Data.nSize), pNode, strWhy);
        if (Result == TModelReader::UNREADABLE) {
            strUnreadable = strWhy;
            continue;
        }
        if (Result == TModelReader::REFUSED) {
            // A model that reaches outside the file or beyond its limits is a bad file, whatever
            // the other scenes of the list hold.
            if (pShape)
                pShape->unref();
            m_strError = "scene '" + std::string(pChunk->m_Data.szName) + "' (list " + std::to_string(m_Header.nId) +
                         ") " + strWhy;
            return nullptr;
        }
        if (pShape)
            pShape->unref();
        pShape = pNode;
    }
    if (!pShape) {
        m_strError = "no readable scene in list " + std::to_string(m_Header.nId);
        if (!strUnreadable.empty())
            m_strError += ": " + strUnreadable;
        return nullptr;
    }
    if (!FillTextures(pShape)) {
        pShape->unref();
        return nullptr;
    }
    pShape->unrefNoDelete();
    return pShape;
}

bool TVEChunkList::FillTextures(SoNode* pScene)
{
    for (const auto& pChunk : m_vecChunks) {
        if (pChunk->GetType() != VECHUNK_IMAGE_RAW_RGBA)
            continue;
        const auto* pImage = static_cast<const TVEChunkImageRawRgba*>(pChunk.get());
        const std::string strWhy = pImage->GetShape().CheckBytes(pImage->m_Data.pData ? pImage->m_Data.nSize : 0);
        if (!strWhy.empty()) {
            Fail("raw image '%s' (list %d): %s", pImage->m_Data.szName, m_Header.nId, strWhy.c_str());
            return false;
        }
        FillNamedTextures(pScene, SbName(pImage->m_Data.szName), *pImage);
    }
    return true;
}

void TVEChunkList::SetName(const char* szName)
{
    std::strncpy(m_Header.szName, szName, sizeof m_Header.szName - 1);
    m_Header.szName[sizeof m_Header.szName - 1] = '\0';
}

TVEChunk& TVEChunkList::AddChunk(int32_t nKind, int32_t nId, const char* szName, const uint8_t* pBytes, int32_t nSize)
{
    std::unique_ptr<TVEChunk> pChunk = TVEChunk::Create(nKind);
    DRELK_ASSERT(pChunk);
    pChunk->m_Data.nId = nId;
    pChunk->SetName(szName);
    pChunk->SetPayload(pBytes, nSize);
    m_vecChunks.push_back(std::move(pChunk));
    return *m_vecChunks.back();
}

uint64_t TVEChunkList::GetImageSize() const
{
    uint64_t nTotal = VECHUNKLIST_HEADER_SIZE;
    for (const auto& pChunk : m_vecChunks)
        nTotal += static_cast<uint64_t>(pChunk->GetSize());
    return nTotal;
}

bool TVEChunkList::SaveToMemory(std::vector<uint8_t>& Image) const
{
    const uint64_t nTotal = GetImageSize();
    if (nTotal > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return false;
    Image.assign(nTotal, 0);
    WriteHeader(m_Header, GetCount(), Image.data());
    size_t nOffset = VECHUNKLIST_HEADER_SIZE;
    for (const auto& pChunk : m_vecChunks) {
        const int32_t nSize = pChunk->GetSize();
        if (pChunk->SaveToMemory(Image.data() + nOffset, nSize) != nSize)
            return false;
        nOffset += static_cast<size_t>(nSize);
    }
    return true;
}
