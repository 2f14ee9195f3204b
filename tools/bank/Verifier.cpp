#include "tools/bank/Verifier.h"

#include "databank/AssetIds.h"
#include "databank/Serializer.h"

#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoNode.h>
#include <QImage>
#include <SDL.h>
#include <SDL_mixer.h>

#include <cstdlib>
#include <map>
#include <memory>

namespace {
std::string Where(const TAssetItem& Asset)
{
    return "list " + std::to_string(Asset.nPlaylist) + " item " + std::to_string(Asset.nItem) + " (" + Asset.szUse + ")";
}

// SDL2_mixer on its silent driver: the same decoders the game uses, no sound device needed.
class TDecoder
{
public:
    TDecoder()
    {
        SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
        m_bOpen = SDL_Init(SDL_INIT_AUDIO) == 0 && Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) == 0;
        if (m_bOpen)
            Mix_Init(MIX_INIT_OGG);
    }
    ~TDecoder()
    {
        if (m_bOpen)
            Mix_CloseAudio();
        SDL_Quit();
    }
    bool IsOpen() const { return m_bOpen; }
    // Empty when the sound decodes; else SDL's reason.
    std::string Decode(const TVEChunk& Chunk) const
    {
        Mix_Chunk* pSound = Mix_LoadWAV_RW(SDL_RWFromConstMem(Chunk.m_Data.pData.get(), Chunk.m_Data.nSize), 1);
        if (!pSound)
            return Mix_GetError();
        const bool bEmpty = pSound->alen == 0;
        Mix_FreeChunk(pSound);
        return bEmpty ? "no samples" : "";
    }

private:
    bool m_bOpen = false;
};

std::string CheckItem(const TAssetItem& Asset, const TVEChunk& Chunk, const TDecoder& Decoder)
{
    const int32_t nSize = Chunk.m_Data.nSize;
    if (Asset.nKind == VECHUNK_WAV) {
        const std::string strWhy = Decoder.IsOpen() ? Decoder.Decode(Chunk) : "";
        return strWhy.empty() ? "" : "does not decode as a sound: " + strWhy;
    }
    const int64_t nExpected = static_cast<int64_t>(Asset.nWidth) * Asset.nHeight * Asset.nComponents;
    if (nExpected > 0)
        return nSize == nExpected ? ""
                                  : "holds " + std::to_string(nSize) + " bytes, not " + std::to_string(Asset.nWidth) +
                                        " x " + std::to_string(Asset.nHeight) + " x " +
                                        std::to_string(Asset.nComponents) + " = " + std::to_string(nExpected);
    QImage Image;
    return Image.loadFromData(Chunk.m_Data.pData.get(), nSize) ? "" : "is not a picture file that decodes";
}
}  // namespace

std::vector<std::string> TBankVerifier::Verify(const std::string& strDataFile)
{
    std::vector<std::string> vecProblems;
    TVESerializer Serializer;
    if (!Serializer.Open(strDataFile))
        return {Serializer.GetError()};

    // Every list of the file must parse, whether the game reads it or not.
    std::map<int32_t, std::unique_ptr<TVEChunkList>> mapLists;
    for (const TVESerializerEntry& Entry : Serializer.GetEntries()) {
        if (mapLists.count(Entry.nId))
            continue;  // a later entry with the same ID is never read
        auto pList = Serializer.LoadList(Entry.nId);
        if (!pList)
            vecProblems.push_back(Serializer.GetError());
        else
            mapLists[Entry.nId] = std::move(pList);
    }

    TDecoder Decoder;
    if (!Decoder.IsOpen())
        vecProblems.push_back(std::string("cannot start the sound decoder: ") + SDL_GetError());
    for (const TAssetItem& Asset : GetAssetTable()) {
        const auto it = mapLists.find(Asset.nPlaylist);
        const TVEChunk* pChunk = it == mapLists.end() ? nullptr : it->second->FindChunk(Asset.nKind, Asset.nItem);
        const std::string strProblem = pChunk ? CheckItem(Asset, *pChunk, Decoder) : "is missing";
        if (!strProblem.empty())
            vecProblems.push_back(Where(Asset) + " " + strProblem);
    }

    const auto itModels = mapLists.find(ID_PLAYLIST_MODELS);
    if (itModels == mapLists.end()) {
        vecProblems.push_back("list " + std::to_string(ID_PLAYLIST_MODELS) + " (ship model) is missing");
    } else if (itModels->second->GetType() != VECHUNKLIST_TYPE_MODEL) {
        vecProblems.push_back("list " + std::to_string(ID_PLAYLIST_MODELS) + " (ship model) is not a model list");
    } else {
        SoDB::init();
        SoNode* pScene = itModels->second->BuildSceneGraph();
        if (!pScene)
            vecProblems.push_back(itModels->second->GetError());
        else {
            pScene->ref();
            pScene->unref();
        }
    }
    return vecProblems;
}
