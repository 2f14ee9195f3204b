#include "databank/AssetIds.h"

#include "databank/Chunks.h"

namespace {
std::vector<TAssetItem> MakeTable()
{
    std::vector<TAssetItem> vecTable = {
        {ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH, VECHUNK_WAV, 0, 0, 0, true, "start-up music"},
        {ID_PLAYLIST_MUSICS, ID_MUSIC_ENDING, VECHUNK_WAV, 0, 0, 0, true, "ending music"},
        {ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, VECHUNK_WAV, 0, 0, 0, true, "game music"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ENGINE, VECHUNK_WAV, 0, 0, 0, false, "engine sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_EXPLOSION_10, VECHUNK_WAV, 0, 0, 0, false, "ship explosion sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_2, VECHUNK_WAV, 0, 0, 0, false, "large rock explosion sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_1, VECHUNK_WAV, 0, 0, 0, false, "medium rock explosion sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_0, VECHUNK_WAV, 0, 0, 0, false, "small rock explosion sound"},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, VECHUNK_WAV, 0, 0, 0, false, "shot sound"},
        {ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND, VECHUNK_BMP, 1024, 1024, 3, true, "background texture"},
        {ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE, VECHUNK_BMP, 32, 32, 4, false, "engine flame texture"},
        {ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE, VECHUNK_BMP, 64, 64, 4, false, "missile texture"},
        {ID_PLAYLIST_BITMAPS, ID_BMP_ROCK, VECHUNK_BMP, 256, 256, 3, false, "rock texture"},
    };
    for (int32_t i = 0; i < XPLOSION_FRAMES; ++i)
        vecTable.push_back({ID_PLAYLIST_XPLOSIONS, ID_BMP_XPLOSION_FIRST + i, VECHUNK_BMP, 128, 128, 4, false,
                            "explosion frame"});
    vecTable.push_back({ID_PLAYLIST_ENDING, ID_BMP_ENDING_BACK, VECHUNK_BMP, 0, 0, 0, false, "ending background picture"});
    vecTable.push_back({ID_PLAYLIST_ENDING, ID_BMP_ENDING_FORE, VECHUNK_BMP, 0, 0, 0, false, "ending foreground picture"});
    return vecTable;
}
}  // namespace

const std::vector<TAssetItem>& GetAssetTable()
{
    static const std::vector<TAssetItem> s_vecTable = MakeTable();
    return s_vecTable;
}
