#include "media/SoundLoader.h"

#include "base/Assert.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"

#include <errno.h>

#include <cstdio>
#include <set>
#include <utility>

namespace {
// Every rock loads its explosion sound anew: one line per bad item is enough.
bool FirstReport(int32_t nPlaylist, int32_t nItem)
{
    static std::set<std::pair<int32_t, int32_t>> s_setReported;
    return s_setReported.emplace(nPlaylist, nItem).second;
}
}  // namespace

TFModSoundSource* TSoundLoader::CreateSource(TFModSoundManager* pSM, const TDataBanker* pDB, int32_t nPlaylist,
                                             int32_t nItem, bool bLoop)
{
    DRELK_ASSERT(pSM);
    DRELK_ASSERT(pDB);
    TFModSoundSource* pSource = pSM->CreateSource();
    DRELK_ASSERT(pSource);
    // The player turns the music and the effects up and down apart.
    if (nPlaylist == ID_PLAYLIST_MUSICS)
        pSource->SetGroup(SOUND_MUSIC);
    const uint8_t* pData = nullptr;
    int32_t nSize = 0;
    if (!pDB->GetSoundBytes(nPlaylist, nItem, pData, nSize))
        return pSource;
    if (pSource->LoadFromLastingMemory(pData, nSize, bLoop) || !pSM->HasDevice())
        return pSource;
    if (FirstReport(nPlaylist, nItem)) {
        std::fprintf(stderr, "%s: %s: sound %d of list %d does not decode; playing without it\n",
                     program_invocation_short_name, pDB->GetDataFile().c_str(), nItem, nPlaylist);
        std::fflush(stderr);
    }
    return pSource;
}
