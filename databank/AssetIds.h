#pragma once
// What the game asks of the data file: playlists (list IDs) and the items in them, with the
// chunk kind and, for textures, the pixel size each must have.

#include "databank/ImageShape.h"

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

// Texture items carry bare pixels: their sizes live here, and only here.
constexpr TImageShape SHAPE_BMP_BACKGROUND{1024, 1024, 3};
constexpr TImageShape SHAPE_BMP_ENGINE{32, 32, 4};
constexpr TImageShape SHAPE_BMP_MISSILE{64, 64, 4};
constexpr TImageShape SHAPE_BMP_ROCK{256, 256, 3};
constexpr TImageShape SHAPE_BMP_XPLOSION{128, 128, 4};  // every frame

struct TAssetItem
{
    int32_t nPlaylist;
    int32_t nItem;
    int32_t nKind;        // chunk kind
    TImageShape Shape;    // texture pixels; all zero for sounds and picture files
    bool bOptional;       // music and background: the game runs without them
    const char* szUse;

    bool IsTexture() const { return Shape.nWidth > 0; }
    // "list 300 item 320 (missile texture)"
    std::string Describe() const;
};

// Every item of every playlist the game reads, in playlist order. The model list (500) is
// not itemised: it must be of type 1 and hold a readable scene.
const std::vector<TAssetItem>& GetAssetTable();
// The texture item's entry in the table, or null when the item is not a texture.
const TAssetItem* FindTextureAsset(int32_t nPlaylist, int32_t nItem);
