#pragma once
// The asset bank: the one way the game gets art, sound and models. The constructor reads every
// list the game uses from the data file, once, checks that each item the game asks for is there
// with its kind and size, and makes every texture; a file that fails is refused with an
// exception that says what is wrong. Requests are then served from memory, by list and item ID:
// no file is read once the game is running, and the bank's bytes of an item are the one copy
// its texture or its music plays from.

#include "databank/AssetIds.h"
#include "databank/ChunkList.h"
#include "databank/ItemBytes.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class SoNode;
class SoSeparator;
class SoTexture2;

// Texture pixels, bottom row first. The caller sets the size; LoadTextureFromBin the pixels.
struct TagTexture
{
    int32_t nReserved = 0;
    int32_t nWidth = 0;
    int32_t nHeight = 0;
    int32_t nComponents = 0;
    int32_t nSize = 0;  // bytes in pTexture
    std::unique_ptr<uint8_t[]> pTexture;
};

// A complete sound file image (WAV or Ogg Vorbis).
struct TSndInfo
{
    int32_t nReserved[2] = {0, 0};
    int32_t nSize = 0;  // bytes in pSound
    std::unique_ptr<uint8_t[]> pSound;
};

using TVecTextures = std::vector<TagTexture>;
using TVecPtrTextures = std::vector<SoTexture2*>;

// A data file that cannot serve the game: missing, unreadable, malformed or incomplete.
class TDataError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TDataBanker
{
public:
    // Throws TDataError: "[TDataBanker::TDataBanker] Errore: File di dati non trovato !" when no
    // file is there, otherwise a message naming the list, item and fault.
    explicit TDataBanker(const std::string& strDataFile);
    ~TDataBanker();
    // What can be known of a data file at once, before a window shows: that it is there and is
    // a container with a sound list table. False with the reason the constructor would give;
    // only the constructor reads and checks the rest.
    static bool Glance(const std::string& strDataFile, std::string& strError);
    TDataBanker(const TDataBanker&) = delete;
    TDataBanker& operator=(const TDataBanker&) = delete;

    // Each fills the record with a new buffer of its own, which the caller then owns; false
    // when the playlist or the item (of kind wav / bmp) is not in the file.
    bool LoadSoundFromBin(int32_t nPlaylist, int32_t nItem, TSndInfo& Snd);
    bool LoadTextureFromBin(int32_t nPlaylist, int32_t nItem, TagTexture& Tex);

    // A texture node holding a copy of the pixels, with one reference for the caller; null when
    // the record has no pixels or fewer than width x height x components of them.
    static SoTexture2* CreateTexture(const TagTexture& Tex);
    // True when the record has pixels enough for a valid image of its width, height and
    // components.
    static bool IsUsable(const TagTexture& Tex);

    // The ready texture of a texture item (missile, rock, engine flame, background, explosion
    // frames), its size set by the bank from the asset table; null when the item is not a
    // texture or not in the file (the background may be left out). The texture stays the
    // bank's: its pixels are the bank's own bytes of the item, not a copy.
    SoTexture2* GetTexture(int32_t nPlaylist, int32_t nItem) const;
    // The explosion frames in order for ID_PLAYLIST_XPLOSIONS; null for any other list.
    const TVecPtrTextures* GetTextures(int32_t nPlaylist) const;
    // The same by name, whatever the case: "ASTEROID", "MISSILE" (null for any other name) and
    // the frames "EXPLOSION".
    SoTexture2* GetTexture(const std::string& strName) const;
    const TVecPtrTextures* GetTextures(const std::string& strName) const;

    // The bytes of a sound item (a whole WAV or Ogg Vorbis file) as the bank holds them, valid
    // as long as the bank lives; false when the playlist or the item is not in the file.
    bool GetSoundBytes(int32_t nPlaylist, int32_t nItem, const uint8_t*& pData, int32_t& nSize) const;

    // A sound item the game is done with, such as the start-up music once its window has gone:
    // its bytes are freed and from then on it is missing. No source may still play from them.
    void ReleaseSound(int32_t nPlaylist, int32_t nItem);

    // A picture file item's bytes, for TPictureFile to decode; they stay the bank's. Empty when
    // the item is missing. The ending pictures decoded when the file was opened.
    TItemBytes GetBitmapBytes(int32_t nPlaylist, int32_t nItem) const;

    // The model list's scene under a new separator (reference count zero), after a quarter turn
    // about x when bRotate is set; null when the playlist is missing or not a model list.
    SoSeparator* LoadShapeFromBin(int32_t nPlaylist, bool bRotate) const;

    // A fresh copy of one list, read from the file now; null when missing or malformed.
    std::unique_ptr<TVEChunkList> LoadList(int32_t nPlaylist);

    const std::string& GetDataFile() const { return m_DataFile; }
    // How many list images have been read from the file so far.
    int GetListLoads() const { return m_nListLoads; }
    // The SHA-256 of the whole data file, as the bank read it: what a replay names its data by.
    const std::array<uint8_t, 32>& GetSha256() const { return m_Sha256; }

private:
    void ReadAllLists();
    void CheckAssets();
    void LoadTextures();
    SoTexture2* PreloadTexture(const TAssetItem& Asset) const;
    static SoTexture2* NewTexture(const TImageShape& Shape, const uint8_t* pPixels, bool bCopy);
    const TVEChunk* FindItem(int32_t nPlaylist, int32_t nKind, int32_t nItem) const;
    // A new copy of the item's bytes; false when the item is not there or empty.
    bool CopyItem(int32_t nPlaylist, int32_t nKind, int32_t nItem, std::unique_ptr<uint8_t[]>& pBytes,
                  int32_t& nSize) const;

    TVecPtrTextures m_VecTexExplosion;
    SoTexture2* m_pTexAsteroid = nullptr;
    SoTexture2* m_pTexMissile = nullptr;
    std::string m_DataFile;
    // Every texture item's texture, by list and item; referenced. The lists they read from
    // stay as long as the bank.
    std::map<std::pair<int32_t, int32_t>, SoTexture2*> m_mapTextures;

    std::map<int32_t, std::unique_ptr<TVEChunkList>> m_mapLists;
    // Handed out as if missing: optional items that are there but damaged, and released ones.
    std::set<std::pair<int32_t, int32_t>> m_setLeftOut;
    SoNode* m_pModel = nullptr;  // the model list's scene, read once; referenced
    int m_nListLoads = 0;
    std::array<uint8_t, 32> m_Sha256{};
};
