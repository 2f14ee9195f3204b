#include "databank/AssetIds.h"

#include "databank/Chunks.h"

namespace {
constexpr TImageShape NO_SHAPE{0, 0, 0};

std::vector<TAssetItem> MakeTable()
{
    std::vector<TAssetItem> vecTable = {
        {ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH, VECHUNK_WAV, NO_SHAPE, true, "start-up music"},
        {ID_PLAYLIST_MUSICS, ID_MUSIC_ENDING, VECHUNK_WAV, NO_SHAPE, true, "ending music"},
        {ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, VECHUNK_WAV, NO_SHAPE, true, "game music"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ENGINE, VECHUNK_WAV, NO_SHAPE, false, "engine sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_EXPLOSION_10, VECHUNK_WAV, NO_SHAPE, false, "ship explosion sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_2, VECHUNK_WAV, NO_SHAPE, false, "large rock explosion sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_1, VECHUNK_WAV, NO_SHAPE, false, "medium rock explosion sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_0, VECHUNK_WAV, NO_SHAPE, false, "small rock explosion sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, VECHUNK_WAV, NO_SHAPE, false, "shot sound"},
        {ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND, VECHUNK_BMP, SHAPE_BMP_BACKGROUND, true, "background texture"},
        {ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE, VECHUNK_BMP, SHAPE_BMP_ENGINE, false, "engine flame texture"},
        {ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE, VECHUNK_BMP, SHAPE_BMP_MISSILE, false, "missile texture"},
        {ID_PLAYLIST_BITMAPS, ID_BMP_ROCK, VECHUNK_BMP, SHAPE_BMP_ROCK, false, "rock texture"},
    };
    for (int32_t i = 0; i < XPLOSION_FRAMES; ++i)
        vecTable.push_back({ID_PLAYLIST_XPLOSIONS, ID_BMP_XPLOSION_FIRST + i, VECHUNK_BMP, SHAPE_BMP_XPLOSION, false,
                            "explosion frame"});
    vecTable.push_back({ID_PLAYLIST_ENDING, ID_BMP_ENDING_BACK, VECHUNK_BMP, NO_SHAPE, false, "ending background picture"});
    vecTable.push_back({ID_PLAYLIST_ENDING, ID_BMP_ENDING_FORE, VECHUNK_BMP, NO_SHAPE, false, "ending foreground picture"});
    return vecTable;
}
}  // namespace

std::string TAssetItem::Describe() const
{
    return "list " + std::to_string(nPlaylist) + " item " + std::to_string(nItem) + " (" + szUse + ")";
}

const std::vector<TAssetItem>& GetAssetTable()
{
    static const std::vector<TAssetItem> s_vecTable = MakeTable();
    return s_vecTable;
}

const TAssetItem* FindTextureAsset(int32_t nPlaylist, int32_t nItem)
{
    for (const TAssetItem& Asset : GetAssetTable())
        if (Asset.nPlaylist == nPlaylist && Asset.nItem == nItem && Asset.IsTexture())
            return &Asset;
    return nullptr;
}
