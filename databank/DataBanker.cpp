#include "databank/DataBanker.h"

#include "base/Assert.h"
#include "databank/Serializer.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {
// The lists the game reads; the music list may be missing (the game then plays without music).
struct TListNeed
{
    int32_t nId;
    bool bOptional;
};
constexpr TListNeed LISTS[] = {
    {ID_PLAYLIST_MUSICS, true}, {ID_PLAYLIST_SOUNDS, false},   {ID_PLAYLIST_BITMAPS, false},
    {ID_PLAYLIST_XPLOSIONS, false}, {ID_PLAYLIST_ENDING, false}, {ID_PLAYLIST_MODELS, false},
};

std::string UpperCase(std::string strText)
{
    std::transform(strText.begin(), strText.end(), strText.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return strText;
}

std::string Describe(const TAssetItem& Asset)
{
    return "list " + std::to_string(Asset.nPlaylist) + " item " + std::to_string(Asset.nItem) + " (" + Asset.szUse + ")";
}

std::unique_ptr<uint8_t[]> CopyPayload(const TVEChunk& Chunk)
{
    std::unique_ptr<uint8_t[]> pCopy(new uint8_t[static_cast<size_t>(Chunk.m_Data.nSize)]);
    std::memcpy(pCopy.get(), Chunk.m_Data.pData.get(), static_cast<size_t>(Chunk.m_Data.nSize));
    return pCopy;
}
}  // namespace

TDataBanker::TDataBanker(const std::string& strDataFile) : m_DataFile(strDataFile)
{
    struct stat St;
    if (stat(strDataFile.c_str(), &St) != 0 || !S_ISREG(St.st_mode))
        throw TDataError("[TDataBanker::TDataBanker] Errore: File di dati non trovato !");
    SoDB::init();
    ReadAllLists();
    CheckAssets();
    LoadTextures();
}

TDataBanker::~TDataBanker()
{
    for (SoTexture2* pTex : m_VecTexExplosion)
        pTex->unref();
    if (m_pTexAsteroid)
        m_pTexAsteroid->unref();
    if (m_pTexMissile)
        m_pTexMissile->unref();
    if (m_pModel)
        m_pModel->unref();
}

void TDataBanker::ReadAllLists()
{
    TVESerializer Serializer;
    if (!Serializer.Open(m_DataFile))
        throw TDataError(Serializer.GetError());
    for (const TListNeed& Need : LISTS) {
        if (!Serializer.FindEntry(Need.nId)) {
            if (Need.bOptional)
                continue;
            throw TDataError(m_DataFile + ": list " + std::to_string(Need.nId) + " is missing");
        }
        std::unique_ptr<TVEChunkList> pList = Serializer.LoadList(Need.nId);
        ++m_nListLoads;
        if (!pList)
            throw TDataError(Serializer.GetError());
        m_mapLists[Need.nId] = std::move(pList);
    }
}

void TDataBanker::CheckAssets()
{
    for (const TAssetItem& Asset : GetAssetTable()) {
        const TVEChunk* pChunk = FindItem(Asset.nPlaylist, Asset.nKind, Asset.nItem);
        if (!pChunk) {
            if (Asset.bOptional)
                continue;
            throw TDataError(m_DataFile + ": " + Describe(Asset) + " is missing");
        }
        const int64_t nExpected = static_cast<int64_t>(Asset.nWidth) * Asset.nHeight * Asset.nComponents;
        if (nExpected > 0 && pChunk->m_Data.nSize != nExpected)
            throw TDataError(m_DataFile + ": " + Describe(Asset) + " holds " + std::to_string(pChunk->m_Data.nSize) +
                             " bytes, not " + std::to_string(nExpected));
        if (pChunk->m_Data.nSize <= 0)
            throw TDataError(m_DataFile + ": " + Describe(Asset) + " is empty");
    }

    TVEChunkList& Models = *m_mapLists.at(ID_PLAYLIST_MODELS);
    if (Models.GetType() != VECHUNKLIST_TYPE_MODEL)
        throw TDataError(m_DataFile + ": list " + std::to_string(ID_PLAYLIST_MODELS) + " is not a model list");
    m_pModel = Models.BuildSceneGraph();
    if (!m_pModel)
        throw TDataError(m_DataFile + ": " + Models.GetError());
    m_pModel->ref();
}

void TDataBanker::LoadTextures()
{
    m_pTexMissile = PreloadTexture(ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE, 64, 64, 4);
    DRELK_ASSERT(m_pTexMissile);
    m_pTexAsteroid = PreloadTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK, 256, 256, 3);
    DRELK_ASSERT(m_pTexAsteroid);
    for (int32_t i = ID_BMP_XPLOSION_FIRST; i < ID_BMP_XPLOSION_FIRST + XPLOSION_FRAMES; ++i) {
        SoTexture2* pTex = PreloadTexture(ID_PLAYLIST_XPLOSIONS, i, 128, 128, 4);
        DRELK_ASSERT(pTex);
        m_VecTexExplosion.push_back(pTex);
    }
    // The frames now live in their textures; nothing else asks for this list.
    m_mapLists.erase(ID_PLAYLIST_XPLOSIONS);
}

SoTexture2* TDataBanker::PreloadTexture(int32_t nPlaylist, int32_t nItem, int32_t nWidth, int32_t nHeight,
                                        int32_t nComponents) const
{
    // The same texture as LoadTextureFromBin and CreateTexture make, with the pixels copied
    // once, straight from the list; their sizes were checked when the file was read.
    const TVEChunk* pChunk = FindItem(nPlaylist, VECHUNK_BMP, nItem);
    if (!pChunk || pChunk->m_Data.nSize != nWidth * nHeight * nComponents)
        return nullptr;
    SoTexture2* pTex = new SoTexture2;
    pTex->ref();
    pTex->image.setValue(SbVec2s(static_cast<short>(nWidth), static_cast<short>(nHeight)), nComponents,
                         pChunk->m_Data.pData.get(), SoSFImage::COPY);
    return pTex;
}

const TVEChunk* TDataBanker::FindItem(int32_t nPlaylist, int32_t nKind, int32_t nItem) const
{
    const auto it = m_mapLists.find(nPlaylist);
    return it == m_mapLists.end() ? nullptr : it->second->FindChunk(nKind, nItem);
}

bool TDataBanker::LoadSoundFromBin(int32_t nPlaylist, int32_t nItem, TSndInfo& Snd)
{
    const TVEChunk* pChunk = FindItem(nPlaylist, VECHUNK_WAV, nItem);
    if (!pChunk || pChunk->m_Data.nSize <= 0)
        return false;
    Snd.pSound = CopyPayload(*pChunk);
    Snd.nSize = pChunk->m_Data.nSize;
    return true;
}

bool TDataBanker::LoadTextureFromBin(int32_t nPlaylist, int32_t nItem, TagTexture& Tex)
{
    const TVEChunk* pChunk = FindItem(nPlaylist, VECHUNK_BMP, nItem);
    if (!pChunk || pChunk->m_Data.nSize <= 0)
        return false;
    Tex.pTexture = CopyPayload(*pChunk);
    Tex.nSize = pChunk->m_Data.nSize;
    return true;
}

SoTexture2* TDataBanker::CreateTexture(const TagTexture& Tex)
{
    if (!Tex.pTexture)
        return nullptr;
    const int64_t nNeeded = static_cast<int64_t>(Tex.nWidth) * Tex.nHeight * Tex.nComponents;
    if (Tex.nWidth <= 0 || Tex.nWidth > 32767 || Tex.nHeight <= 0 || Tex.nHeight > 32767 || Tex.nComponents < 1 ||
        Tex.nComponents > 4 || Tex.nSize < nNeeded)
        return nullptr;
    SoTexture2* pTex = new SoTexture2;
    pTex->ref();
    pTex->image.setValue(SbVec2s(static_cast<short>(Tex.nWidth), static_cast<short>(Tex.nHeight)), Tex.nComponents,
                         Tex.pTexture.get(), SoSFImage::COPY);
    return pTex;
}

SoTexture2* TDataBanker::GetTexture(const std::string& strName) const
{
    const std::string strKey = UpperCase(strName);
    if (strKey == "ASTEROID")
        return m_pTexAsteroid;
    if (strKey == "MISSILE")
        return m_pTexMissile;
    return nullptr;
}

const TVecPtrTextures* TDataBanker::GetTextures(const std::string& strName) const
{
    return UpperCase(strName) == "EXPLOSION" ? &m_VecTexExplosion : nullptr;
}

QImage TDataBanker::LoadBitmapFromBin(int32_t nPlaylist, int32_t nItem) const
{
    QImage Image;
    if (const TVEChunk* pChunk = FindItem(nPlaylist, VECHUNK_BMP, nItem))
        Image.loadFromData(pChunk->m_Data.pData.get(), pChunk->m_Data.nSize);
    return Image;
}

SoSeparator* TDataBanker::LoadShapeFromBin(int32_t nPlaylist, bool bRotate) const
{
    // Only the model list is a model list; its scene was read and checked when the bank opened.
    if (nPlaylist != ID_PLAYLIST_MODELS || !m_pModel)
        return nullptr;
    SoSeparator* pRoot = new SoSeparator;
    if (bRotate) {
        SoTransform* pXf = new SoTransform;
        pXf->rotation.setValue(SbVec3f(1.0f, 0.0f, 0.0f), 1.5707964f);
        pRoot->addChild(pXf);
    }
    pRoot->addChild(m_pModel);
    return pRoot;
}

std::unique_ptr<TVEChunkList> TDataBanker::LoadList(int32_t nPlaylist)
{
    ++m_nListLoads;
    return TVESerializer::LoadChunkList(m_DataFile, nPlaylist);
}
