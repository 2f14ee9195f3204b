#include "tools/bank/Verifier.h"

#include "databank/AssetCheck.h"
#include "databank/Serializer.h"

#include <Inventor/SoDB.h>
#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

namespace {
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

// What the game's own check does not do: decode the sounds, which the game finds damaged only
// when it plays them.
std::string CheckDecodes(const TAssetItem& Asset, const TVEChunk& Chunk, const TDecoder& Decoder)
{
    if (Asset.nKind != VECHUNK_WAV || !Decoder.IsOpen())
        return "";
    const std::string strWhy = Decoder.Decode(Chunk);
    return strWhy.empty() ? "" : Asset.Describe() + " does not decode as a sound: " + strWhy;
}
}  // namespace

std::vector<std::string> TBankVerifier::Verify(const std::string& strDataFile)
{
    std::vector<std::string> vecProblems;
    TVESerializer Serializer;
    if (!Serializer.Open(strDataFile))
        return {Serializer.GetError()};

    // Every list of the file must be whole and parse, whether the game reads it or not; only
    // the game's are kept, so that memory stays bounded by what the game itself would hold.
    const std::vector<int32_t> vecGameLists = TAssetCheck::GetListIds();
    TAssetLists mapLists;
    std::vector<int32_t> vecDone;
    for (const TVESerializerEntry& Entry : Serializer.GetEntries()) {
        const std::string strMissing = Serializer.DescribeMissing(Entry);
        if (!strMissing.empty())
            vecProblems.push_back(strMissing);
        if (std::find(vecDone.begin(), vecDone.end(), Entry.nId) != vecDone.end())
            continue;  // a later entry with the same ID is never read
        vecDone.push_back(Entry.nId);
        auto pList = Serializer.LoadList(Entry.nId);
        if (!pList)
            vecProblems.push_back(Serializer.GetError());
        else if (std::find(vecGameLists.begin(), vecGameLists.end(), Entry.nId) != vecGameLists.end())
            mapLists[Entry.nId] = std::move(pList);
    }

    // The game's own check, every problem of it; missing music and background included, which
    // the game plays without.
    SoDB::init();
    for (const TAssetProblem& Problem : TAssetCheck::Check(mapLists))
        vecProblems.push_back(Problem.strText);

    TDecoder Decoder;
    if (!Decoder.IsOpen())
        vecProblems.push_back(std::string("cannot start the sound decoder: ") + SDL_GetError());
    for (const TAssetItem& Asset : GetAssetTable()) {
        const auto it = mapLists.find(Asset.nPlaylist);
        const TVEChunk* pChunk = it == mapLists.end() ? nullptr : it->second->FindChunk(Asset.nKind, Asset.nItem);
        if (!pChunk || !TAssetCheck::CheckItem(Asset, pChunk).empty())
            continue;
        const std::string strProblem = CheckDecodes(Asset, *pChunk, Decoder);
        if (!strProblem.empty())
            vecProblems.push_back(strProblem);
    }
    return vecProblems;
}
