#include "databank/DataBanker.h"

#include "base/Assert.h"
#include "databank/AssetCheck.h"
#include "databank/Serializer.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {
std::string UpperCase(std::string strText)
{
    std::transform(strText.begin(), strText.end(), strText.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return strText;
}

std::unique_ptr<uint8_t[]> CopyPayload(const TVEChunk& Chunk)
{
    std::unique_ptr<uint8_t[]> pCopy(new uint8_t[static_cast<size_t>(Chunk.m_Data.nSize)]);
    std::memcpy(pCopy.get(), Chunk.m_Data.pData.get(), static_cast<size_t>(Chunk.m_Data.nSize));
    return pCopy;
}
}  // namespace

namespace {
const char NOT_FOUND[] = "[TDataBanker::TDataBanker] Errore: File di dati non trovato !";

bool IsThere(const std::string& strDataFile)
{
    struct stat St;
    return stat(strDataFile.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}
}  // namespace

bool TDataBanker::Glance(const std::string& strDataFile, std::string& strError)
{
    if (!IsThere(strDataFile)) {
        strError = NOT_FOUND;
        return false;
    }
    TVESerializer Serializer;
    if (!Serializer.Open(strDataFile)) {
        strError = Serializer.GetError();
        return false;
    }
    return true;
}

TDataBanker::TDataBanker(const std::string& strDataFile) : m_DataFile(strDataFile)
{
    if (!IsThere(strDataFile))
        throw TDataError(NOT_FOUND);
    SoDB::init();
    ReadAllLists();
    CheckAssets();
    LoadTextures();
}

TDataBanker::~TDataBanker()
{
    // The textures go before the lists whose bytes they show.
    for (const auto& Entry : m_mapTextures)
        Entry.second->unref();
    if (m_pModel)
        m_pModel->unref();
}

void TDataBanker::ReadAllLists()
{
    TVESerializer Serializer;
    if (!Serializer.Open(m_DataFile) || !Serializer.Sha256(m_Sha256))
        throw TDataError(Serializer.GetError());
    for (int32_t nId : TAssetCheck::GetListIds()) {
        if (!Serializer.FindEntry(nId))
            continue;  // the check says whether the game can do without it
        std::unique_ptr<TVEChunkList> pList = Serializer.LoadList(nId);
        ++m_nListLoads;
        if (!pList)
            throw TDataError(Serializer.GetError());
        m_mapLists[nId] = std::move(pList);
    }
}

void TDataBanker::CheckAssets()
{
    for (const TAssetProblem& Problem : TAssetCheck::Check(m_mapLists, &m_pModel)) {
        if (!Problem.bStopsGame) {
            // Music and background are optional: a damaged one is left out, as a missing one.
            const TAssetItem* pAsset = Problem.pAsset;
            if (pAsset && FindItem(pAsset->nPlaylist, pAsset->nKind, pAsset->nItem)) {
                m_setLeftOut.emplace(pAsset->nPlaylist, pAsset->nItem);
                std::fprintf(stderr, "%s: %s: %s; playing without it\n", program_invocation_short_name,
                             m_DataFile.c_str(), Problem.strText.c_str());
                std::fflush(stderr);
            }
            continue;
        }
        // No destructor runs for a constructor that throws: the scene is let go here.
        if (m_pModel)
            m_pModel->unref();
        m_pModel = nullptr;
        throw TDataError(m_DataFile + ": " + Problem.strText);
    }
}

void TDataBanker::LoadTextures()
{
    for (const TAssetItem& Asset : GetAssetTable()) {
        if (!Asset.IsTexture())
            continue;
        // Left out only when optional: the check has refused a file without a needed one.
        if (SoTexture2* pTex = PreloadTexture(Asset))
            m_mapTextures[{Asset.nPlaylist, Asset.nItem}] = pTex;
    }
    m_pTexMissile = GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE);
    DRELK_ASSERT(m_pTexMissile);
    m_pTexAsteroid = GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK);
    DRELK_ASSERT(m_pTexAsteroid);
    for (int32_t i = ID_BMP_XPLOSION_FIRST; i < ID_BMP_XPLOSION_FIRST + XPLOSION_FRAMES; ++i) {
        SoTexture2* pTex = GetTexture(ID_PLAYLIST_XPLOSIONS, i);
        DRELK_ASSERT(pTex);
        m_VecTexExplosion.push_back(pTex);
    }
}

SoTexture2* TDataBanker::PreloadTexture(const TAssetItem& Asset) const
{
    // The texture shows the list's own bytes: their sizes were checked when the file was read,
    // and the lists stay as long as the bank and its textures.
    const TVEChunk* pChunk = FindItem(Asset.nPlaylist, VECHUNK_BMP, Asset.nItem);
    if (!pChunk || !Asset.Shape.CheckBytes(pChunk->m_Data.nSize).empty())
        return nullptr;
    return NewTexture(Asset.Shape, pChunk->m_Data.pData.get(), false);
}

const TVEChunk* TDataBanker::FindItem(int32_t nPlaylist, int32_t nKind, int32_t nItem) const
{
    if (m_setLeftOut.count({nPlaylist, nItem}))
        return nullptr;
    const auto it = m_mapLists.find(nPlaylist);
    return it == m_mapLists.end() ? nullptr : it->second->FindChunk(nKind, nItem);
}

bool TDataBanker::LoadSoundFromBin(int32_t nPlaylist, int32_t nItem, TSndInfo& Snd)
{
    return CopyItem(nPlaylist, VECHUNK_WAV, nItem, Snd.pSound, Snd.nSize);
}

bool TDataBanker::LoadTextureFromBin(int32_t nPlaylist, int32_t nItem, TagTexture& Tex)
{
    return CopyItem(nPlaylist, VECHUNK_BMP, nItem, Tex.pTexture, Tex.nSize);
}

bool TDataBanker::CopyItem(int32_t nPlaylist, int32_t nKind, int32_t nItem, std::unique_ptr<uint8_t[]>& pBytes,
                           int32_t& nSize) const
{
    const TVEChunk* pChunk = FindItem(nPlaylist, nKind, nItem);
    if (!pChunk || pChunk->m_Data.nSize <= 0)
        return false;
    pBytes = CopyPayload(*pChunk);
    nSize = pChunk->m_Data.nSize;
    return true;
}

SoTexture2* TDataBanker::CreateTexture(const TagTexture& Tex)
{
    if (!IsUsable(Tex))
        return nullptr;
    return NewTexture(TImageShape{Tex.nWidth, Tex.nHeight, Tex.nComponents}, Tex.pTexture.get(), true);
}

bool TDataBanker::IsUsable(const TagTexture& Tex)
{
    return Tex.pTexture && TImageShape{Tex.nWidth, Tex.nHeight, Tex.nComponents}.IsCoveredBy(Tex.nSize);
}

SoTexture2* TDataBanker::NewTexture(const TImageShape& Shape, const uint8_t* pPixels, bool bCopy)
{
    SoTexture2* pTex = new SoTexture2;
    pTex->ref();
    pTex->image.setValue(SbVec2s(static_cast<short>(Shape.nWidth), static_cast<short>(Shape.nHeight)),
                         Shape.nComponents, pPixels, bCopy ? SoSFImage::COPY : SoSFImage::NO_COPY);
    return pTex;
}

SoTexture2* TDataBanker::GetTexture(int32_t nPlaylist, int32_t nItem) const
{
    const auto it = m_mapTextures.find({nPlaylist, nItem});
    return it == m_mapTextures.end() ? nullptr : it->second;
}

const TVecPtrTextures* TDataBanker::GetTextures(int32_t nPlaylist) const
{
    return nPlaylist == ID_PLAYLIST_XPLOSIONS ? &m_VecTexExplosion : nullptr;
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
    return UpperCase(strName) == "EXPLOSION" ? GetTextures(ID_PLAYLIST_XPLOSIONS) : nullptr;
}

bool TDataBanker::GetSoundBytes(int32_t nPlaylist, int32_t nItem, const uint8_t*& pData, int32_t& nSize) const
{
    const TVEChunk* pChunk = FindItem(nPlaylist, VECHUNK_WAV, nItem);
    if (!pChunk || pChunk->m_Data.nSize <= 0)
        return false;
    pData = pChunk->m_Data.pData.get();
    nSize = pChunk->m_Data.nSize;
    return true;
}

void TDataBanker::ReleaseSound(int32_t nPlaylist, int32_t nItem)
{
    if (!FindItem(nPlaylist, VECHUNK_WAV, nItem))
        return;
    TVEChunk* pChunk = m_mapLists.at(nPlaylist)->FindChunk(VECHUNK_WAV, nItem);
    m_setLeftOut.emplace(nPlaylist, nItem);
    pChunk->m_Data.pData.reset();
    pChunk->m_Data.nSize = 0;
}

TItemBytes TDataBanker::GetBitmapBytes(int32_t nPlaylist, int32_t nItem) const
{
    const TVEChunk* pChunk = FindItem(nPlaylist, VECHUNK_BMP, nItem);
    if (!pChunk)
        return {};
    return {pChunk->m_Data.pData.get(), pChunk->m_Data.nSize};
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
