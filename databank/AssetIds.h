#pragma once
// What the game asks of the data file: playlists (list IDs) and the items in them, with the
// chunk kind and, for textures, the pixel size each must have.

#include <cstdint>
#include <vector>

enum : int32_t {
    ID_PLAYLIST_MUSICS = 100,
    ID_MUSIC_SPLASH = 110,
    ID_MUSIC_ENDING = 115,
    ID_MUSIC_GAME = 120,

    ID_PLAYLIST_SOUNDS = 200,
    ID_SOUND_ENGINE = 210,
    ID_SOUND_EXPLOSION_10 = 215,
    ID_SOUND_ROCK_EXPLOSION_2 = 220,
    ID_SOUND_ROCK_EXPLOSION_1 = 225,
    ID_SOUND_ROCK_EXPLOSION_0 = 230,
    ID_SOUND_LASER = 235,

    ID_PLAYLIST_BITMAPS = 300,
    ID_BMP_BACKGROUND = 310,
    ID_BMP_ENGINE = 315,
    ID_BMP_MISSILE = 320,
    ID_BMP_ROCK = 325,

    ID_PLAYLIST_XPLOSIONS = 350,
    ID_BMP_XPLOSION_FIRST = 351,  // frames 351 to 370
    XPLOSION_FRAMES = 20,

    ID_PLAYLIST_ENDING = 400,
    ID_BMP_ENDING_BACK = 410,
    ID_BMP_ENDING_FORE = 420,

    ID_PLAYLIST_MODELS = 500,
};

struct TAssetItem
{
    int32_t nPlaylist;
    int32_t nItem;
    int32_t nKind;        // chunk kind
    int32_t nWidth;       // texture pixels; 0 for sounds and picture files
    int32_t nHeight;
    int32_t nComponents;
    bool bOptional;       // music and background: the game runs without them
    const char* szUse;
};

// Every item of every playlist the game reads, in playlist order. The model list (500) is
// not itemised: it must be of type 1 and hold a readable scene.
const std::vector<TAssetItem>& GetAssetTable();
