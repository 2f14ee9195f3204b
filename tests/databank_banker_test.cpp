// The asset bank over a complete small data file, and its refusal of incomplete ones.
#include "databank/DataBanker.h"
#include "databank/PictureFile.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTexture2.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>
#include <cstring>
#include <functional>

namespace {
uint8_t FirstPixel(const SoTexture2* pTex, SbVec2s& Size, int& nComponents)
{
    const unsigned char* pPixels = pTex->image.getValue(Size, nComponents);
    return pPixels ? pPixels[0] : 0;
}

TVEChunkList& ListOf(TTestLists& vecLists, int32_t nId)
{
    for (auto& pList : vecLists)
        if (pList->GetHeader().nId == nId)
            return *pList;
    throw std::runtime_error("no list");
}

void RemoveList(TTestLists& vecLists, int32_t nId)
{
    vecLists.erase(std::remove_if(vecLists.begin(), vecLists.end(),
                                  [nId](const auto& pList) { return pList->GetHeader().nId == nId; }),
                   vecLists.end());
}

// Rebuilds one list without one item (or with a different payload for it).
void ReplaceItem(TTestLists& vecLists, int32_t nListId, int32_t nItem, const std::vector<uint8_t>* pNewBytes)
{
    TVEChunkList& Old = ListOf(vecLists, nListId);
    auto pNew = std::make_unique<TVEChunkList>();
    pNew->SetId(nListId);
    pNew->SetType(Old.GetType());
    for (int i = 0; i < Old.GetCount(); ++i) {
        const TVEChunk* pChunk = Old.GetChunk(i);
        if (pChunk->m_Data.nId == nItem && !pNewBytes)
            continue;
        const bool bReplace = pChunk->m_Data.nId == nItem;
        TVEChunk& Copy = pNew->AddChunk(pChunk->GetType(), pChunk->m_Data.nId, pChunk->m_Data.szName,
                                        bReplace ? pNewBytes->data() : pChunk->m_Data.pData.get(),
                                        bReplace ? static_cast<int32_t>(pNewBytes->size()) : pChunk->m_Data.nSize);
        if (auto* pImage = dynamic_cast<TVEChunkImageRawRgba*>(&Copy)) {
            const auto* pOld = static_cast<const TVEChunkImageRawRgba*>(pChunk);
            pImage->nWidth = pOld->nWidth;
            pImage->nHeight = pOld->nHeight;
            pImage->nComponents = pOld->nComponents;
        }
    }
    for (auto& pList : vecLists)
        if (pList->GetHeader().nId == nListId)
            pList = std::move(pNew);
}

class BankerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SoDB::init();
        m_strDir = MakeTempDir();
    }
    std::string Write(const TTestLists& vecLists)
    {
        const std::string strPath = m_strDir + "/Drelk_II.bin";
        WriteTestDataFile(strPath, vecLists);
        return strPath;
    }
    std::string m_strDir;
};
}  // namespace

TEST_F(BankerTest, MissingFileOrFolderThrowsTheNotFoundMessage)
{
    for (const std::string& strPath : {m_strDir + "/nothing.bin", m_strDir}) {
        try {
            TDataBanker Bank(strPath);
            FAIL() << "no exception for " << strPath;
        } catch (const TDataError& Error) {
            EXPECT_STREQ(Error.what(), "[TDataBanker::TDataBanker] Errore: File di dati non trovato !");
        }
    }
}

TEST_F(BankerTest, PreloadedTexturesByName)
{
    TDataBanker Bank(MakeTestDataFile(m_strDir));
    SbVec2s Size;
    int nComponents = 0;
    ASSERT_TRUE(Bank.GetTexture("missile"));
    EXPECT_EQ(Bank.GetTexture("Missile"), Bank.GetTexture("MISSILE"));
    EXPECT_EQ(FirstPixel(Bank.GetTexture("MISSILE"), Size, nComponents), static_cast<uint8_t>(ID_BMP_MISSILE));
    EXPECT_EQ(Size, SbVec2s(64, 64));
    EXPECT_EQ(nComponents, 4);
    EXPECT_EQ(FirstPixel(Bank.GetTexture("asteroid"), Size, nComponents), static_cast<uint8_t>(ID_BMP_ROCK));
    EXPECT_EQ(Size, SbVec2s(256, 256));
    EXPECT_EQ(nComponents, 3);
    EXPECT_EQ(Bank.GetTexture("ROCK"), nullptr);

    const TVecPtrTextures* pFrames = Bank.GetTextures("explosion");
    ASSERT_TRUE(pFrames);
    ASSERT_EQ(pFrames->size(), 20u);
    EXPECT_EQ(FirstPixel(pFrames->front(), Size, nComponents), static_cast<uint8_t>(351));
    EXPECT_EQ(FirstPixel(pFrames->back(), Size, nComponents), static_cast<uint8_t>(370));
    EXPECT_EQ(Size, SbVec2s(128, 128));
    EXPECT_EQ(Bank.GetTextures("MISSILE"), nullptr);
}

// Every texture item is a ready texture by its IDs, sized from the asset table; the names the
// game once used find the same ones.
TEST_F(BankerTest, TexturesByIdCarryTheirSizes)
{
    TDataBanker Bank(MakeTestDataFile(m_strDir));
    int nTextures = 0;
    for (const TAssetItem& Asset : GetAssetTable()) {
        if (!Asset.IsTexture())
            continue;
        SCOPED_TRACE(Asset.Describe());
        SoTexture2* pTex = Bank.GetTexture(Asset.nPlaylist, Asset.nItem);
        ASSERT_TRUE(pTex);
        SbVec2s Size;
        int nComponents = 0;
        // The test file fills each texture with its item number.
        EXPECT_EQ(FirstPixel(pTex, Size, nComponents), static_cast<uint8_t>(Asset.nItem));
        EXPECT_EQ(Size, SbVec2s(static_cast<short>(Asset.Shape.nWidth), static_cast<short>(Asset.Shape.nHeight)));
        EXPECT_EQ(nComponents, Asset.Shape.nComponents);
        ++nTextures;
    }
    EXPECT_EQ(nTextures, 4 + 20);
    EXPECT_EQ(Bank.GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE), Bank.GetTexture("MISSILE"));
    EXPECT_EQ(Bank.GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK), Bank.GetTexture("ASTEROID"));
    EXPECT_EQ(Bank.GetTextures(ID_PLAYLIST_XPLOSIONS), Bank.GetTextures("EXPLOSION"));
    EXPECT_EQ(Bank.GetTextures(ID_PLAYLIST_XPLOSIONS)->front(), Bank.GetTexture(ID_PLAYLIST_XPLOSIONS, 351));
    // Not textures: a sound, a picture file, a list that holds none.
    EXPECT_EQ(Bank.GetTexture(ID_PLAYLIST_SOUNDS, ID_SOUND_LASER), nullptr);
    EXPECT_EQ(Bank.GetTexture(ID_PLAYLIST_ENDING, ID_BMP_ENDING_BACK), nullptr);
    EXPECT_EQ(Bank.GetTextures(ID_PLAYLIST_BITMAPS), nullptr);
}

// Sound bytes are lent, not copied: the same bytes at the same place for as long as the bank
// lives, the same as a copy of them.
TEST_F(BankerTest, SoundBytesAreTheBanksOwn)
{
    TDataBanker Bank(MakeTestDataFile(m_strDir));
    const uint8_t* pFirst = nullptr;
    const uint8_t* pSecond = nullptr;
    int32_t nFirst = 0, nSecond = 0;
    ASSERT_TRUE(Bank.GetSoundBytes(ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, pFirst, nFirst));
    ASSERT_TRUE(Bank.GetSoundBytes(ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, pSecond, nSecond));
    EXPECT_EQ(pFirst, pSecond);
    TSndInfo Copy;
    ASSERT_TRUE(Bank.LoadSoundFromBin(ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, Copy));
    ASSERT_EQ(nFirst, Copy.nSize);
    EXPECT_EQ(std::memcmp(pFirst, Copy.pSound.get(), static_cast<size_t>(nFirst)), 0);
    EXPECT_FALSE(Bank.GetSoundBytes(ID_PLAYLIST_SOUNDS, 999, pFirst, nFirst));
    EXPECT_FALSE(Bank.GetSoundBytes(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE, pFirst, nFirst));  // not a sound
}

// A released sound is missing from then on, in every way the bank hands sounds out; the others
// stay, and releasing again, or what is not a sound, changes nothing.
TEST_F(BankerTest, AReleasedSoundIsMissingAndTheRestStay)
{
    TDataBanker Bank(MakeTestDataFile(m_strDir));
    const uint8_t* pGame = nullptr;
    int32_t nGame = 0;
    ASSERT_TRUE(Bank.GetSoundBytes(ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, pGame, nGame));
    const std::vector<uint8_t> vecGame(pGame, pGame + nGame);

    Bank.ReleaseSound(ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH);
    Bank.ReleaseSound(ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH);
    Bank.ReleaseSound(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE);
    Bank.ReleaseSound(ID_PLAYLIST_MUSICS, 999);

    const uint8_t* pData = nullptr;
    int32_t nSize = 0;
    EXPECT_FALSE(Bank.GetSoundBytes(ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH, pData, nSize));
    TSndInfo Copy;
    EXPECT_FALSE(Bank.LoadSoundFromBin(ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH, Copy));
    ASSERT_TRUE(Bank.GetSoundBytes(ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, pData, nSize));
    EXPECT_EQ(pData, pGame);
    EXPECT_EQ(std::vector<uint8_t>(pData, pData + nSize), vecGame);
    EXPECT_TRUE(Bank.GetSoundBytes(ID_PLAYLIST_MUSICS, ID_MUSIC_ENDING, pData, nSize));
    EXPECT_NE(Bank.GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE), nullptr);
}

TEST_F(BankerTest, SoundsAndTexturesAreFreshCopies)
{
    TDataBanker Bank(MakeTestDataFile(m_strDir));
    TSndInfo First, Second;
    ASSERT_TRUE(Bank.LoadSoundFromBin(ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, First));
    ASSERT_TRUE(Bank.LoadSoundFromBin(ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, Second));
    ASSERT_EQ(First.nSize, Second.nSize);
    EXPECT_NE(First.pSound.get(), Second.pSound.get());
    EXPECT_EQ(std::memcmp(First.pSound.get(), Second.pSound.get(), static_cast<size_t>(First.nSize)), 0);
    EXPECT_EQ(std::memcmp(First.pSound.get(), "RIFF", 4), 0);

    TSndInfo Missing;
    EXPECT_FALSE(Bank.LoadSoundFromBin(ID_PLAYLIST_SOUNDS, 999, Missing));
    EXPECT_FALSE(Bank.LoadSoundFromBin(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE, Missing));  // not a sound

    TagTexture Engine;
    Engine.nWidth = 32;
    Engine.nHeight = 32;
    Engine.nComponents = 4;
    ASSERT_TRUE(Bank.LoadTextureFromBin(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE, Engine));
    EXPECT_EQ(Engine.nSize, 32 * 32 * 4);
    EXPECT_TRUE(TDataBanker::IsUsable(Engine));
    SoTexture2* pTex = TDataBanker::CreateTexture(Engine);
    ASSERT_TRUE(pTex);
    EXPECT_EQ(pTex->getRefCount(), 1);
    Engine.pTexture.reset();  // the texture keeps its own copy
    SbVec2s Size;
    int nComponents = 0;
    EXPECT_EQ(FirstPixel(pTex, Size, nComponents), static_cast<uint8_t>(ID_BMP_ENGINE));
    pTex->unref();

    // A record that claims more pixels than it holds, or a shape the scene library cannot
    // take (sizes that would overflow any arithmetic included), makes no texture.
    const TImageShape BAD_SHAPES[] = {
        {64, 64, 4}, {32768, 1, 1}, {32, 32, 5}, {0, 32, 4}, {-32, -32, 4},
        {INT32_MAX, INT32_MAX, 4}, {INT32_MAX, INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN, INT32_MIN},
    };
    for (const TImageShape& Shape : BAD_SHAPES) {
        SCOPED_TRACE(Shape.Describe());
        TagTexture Bad;
        ASSERT_TRUE(Bank.LoadTextureFromBin(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE, Bad));
        Bad.nWidth = Shape.nWidth;
        Bad.nHeight = Shape.nHeight;
        Bad.nComponents = Shape.nComponents;
        EXPECT_FALSE(TDataBanker::IsUsable(Bad));
        EXPECT_EQ(TDataBanker::CreateTexture(Bad), nullptr);
    }
    EXPECT_EQ(TDataBanker::CreateTexture(TagTexture()), nullptr);
}

// The test model is a 0.6 x 0.2 x 1.0 cube: the quarter turn about x lays its depth along y.
TEST_F(BankerTest, ShapeWithAndWithoutTheQuarterTurn)
{
    TDataBanker Bank(MakeTestDataFile(m_strDir));
    auto Extent = [](SoNode* pShape) {
        SoGetBoundingBoxAction Action{SbViewportRegion()};
        Action.apply(pShape);
        SbVec3f vSize;
        Action.getBoundingBox().getSize(vSize[0], vSize[1], vSize[2]);
        return vSize;
    };
    auto ExpectNear = [](const SbVec3f& vGot, const SbVec3f& vWant) {
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(vGot[i], vWant[i], 1e-5) << "axis " << i;
    };
    SoSeparator* pPlain = Bank.LoadShapeFromBin(ID_PLAYLIST_MODELS, false);
    ASSERT_TRUE(pPlain);
    pPlain->ref();
    ExpectNear(Extent(pPlain), SbVec3f(0.6f, 0.2f, 1.0f));

    SoSeparator* pTurned = Bank.LoadShapeFromBin(ID_PLAYLIST_MODELS, true);
    ASSERT_TRUE(pTurned);
    pTurned->ref();
    ExpectNear(Extent(pTurned), SbVec3f(0.6f, 1.0f, 0.2f));

    EXPECT_EQ(Bank.LoadShapeFromBin(ID_PLAYLIST_BITMAPS, true), nullptr);
    pPlain->unref();
    pTurned->unref();
}

TEST_F(BankerTest, PicturesAreHandedOutAsTheirBytes)
{
    TDataBanker Bank(MakeTestDataFile(m_strDir));
    EXPECT_EQ(TPictureFile::Decode(Bank.GetBitmapBytes(ID_PLAYLIST_ENDING, ID_BMP_ENDING_BACK)).size(), QSize(512, 340));
    EXPECT_TRUE(TPictureFile::Decode(Bank.GetBitmapBytes(ID_PLAYLIST_ENDING, 999)).isNull());
    EXPECT_EQ(Bank.GetBitmapBytes(ID_PLAYLIST_ENDING, 999).pBytes, nullptr);
    // Raw texture pixels are not a picture file.
    EXPECT_TRUE(TPictureFile::Decode(Bank.GetBitmapBytes(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE)).isNull());
}

TEST_F(BankerTest, EachListIsReadOnceAndNeverDuringRequests)
{
    TDataBanker Bank(MakeTestDataFile(m_strDir));
    const int nAfterStart = Bank.GetListLoads();
    EXPECT_EQ(nAfterStart, 6);
    for (int i = 0; i < 50; ++i) {
        TSndInfo Snd;
        TagTexture Tex;
        EXPECT_TRUE(Bank.LoadSoundFromBin(ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_0 - 5 * (i % 3), Snd));
        EXPECT_TRUE(Bank.LoadSoundFromBin(ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, Snd));
        EXPECT_TRUE(Bank.LoadTextureFromBin(ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND, Tex));
    }
    EXPECT_NE(Bank.GetBitmapBytes(ID_PLAYLIST_ENDING, ID_BMP_ENDING_FORE).pBytes, nullptr);
    SoSeparator* pShape = Bank.LoadShapeFromBin(ID_PLAYLIST_MODELS, true);
    pShape->ref();
    pShape->unref();
    EXPECT_EQ(Bank.GetListLoads(), nAfterStart);
}

TEST_F(BankerTest, TheFileIsNotNeededOnceTheBankIsOpen)
{
    const std::string strPath = MakeTestDataFile(m_strDir);
    TDataBanker Bank(strPath);
    ASSERT_EQ(std::remove(strPath.c_str()), 0);
    TSndInfo Snd;
    EXPECT_TRUE(Bank.LoadSoundFromBin(ID_PLAYLIST_SOUNDS, ID_SOUND_ENGINE, Snd));
}

// What a replay names its data file by: the SHA-256 of the whole file, as sha256sum has it; a
// file that differs by one byte has another.
TEST_F(BankerTest, TheFilesSha256IsTakenAsTheBankReadsIt)
{
    const std::string strPath = MakeTestDataFile(m_strDir);
    auto Hex = [](const std::array<uint8_t, 32>& Sha) {
        std::string strHex;
        char szByte[3];
        for (uint8_t n : Sha) {
            std::snprintf(szByte, sizeof szByte, "%02x", n);
            strHex += szByte;
        }
        return strHex;
    };
    const std::string strSum = RunCommand("sha256sum " + ShellQuote(strPath)).strOut.substr(0, 64);
    const std::array<uint8_t, 32> Sha = TDataBanker(strPath).GetSha256();
    EXPECT_EQ(Hex(Sha), strSum);
    // The last byte of the file lies in no list the bank reads: it counts all the same.
    std::FILE* fp = std::fopen(strPath.c_str(), "ab");
    ASSERT_TRUE(fp);
    std::fputc('!', fp);
    std::fclose(fp);
    EXPECT_NE(TDataBanker(strPath).GetSha256(), Sha);
}

// Incomplete or wrong data files are refused at once, saying what is wrong.
TEST_F(BankerTest, IncompleteDataFilesAreRefused)
{
    const std::vector<uint8_t> SmallRock(16 * 16 * 3, 1);
    const char* szNoScene = "not a scene";
    const std::vector<uint8_t> BadScene(szNoScene, szNoScene + std::strlen(szNoScene));
    const std::string strOutside = "#Inventor V2.1 ascii\nSeparator { Texture2 { filename \"/dev/zero\" } }\n";
    const std::vector<uint8_t> OutsideScene(strOutside.begin(), strOutside.end());
    struct TCase
    {
        const char* szWhat;
        std::function<void(TTestLists&)> Change;
        const char* szError;
    };
    const TCase CASES[] = {
        {"no shot sound", [](TTestLists& v) { ReplaceItem(v, ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, nullptr); },
         "list 200 item 235 (shot sound) is missing"},
        {"a rock texture of the wrong size",
         [&](TTestLists& v) { ReplaceItem(v, ID_PLAYLIST_BITMAPS, ID_BMP_ROCK, &SmallRock); },
         "list 300 item 325 (rock texture) holds 768 bytes, not 256 x 256 x 3 = 196608"},
        {"no explosion frames", [](TTestLists& v) { RemoveList(v, ID_PLAYLIST_XPLOSIONS); }, "list 350 is missing"},
        {"a missing frame", [](TTestLists& v) { ReplaceItem(v, ID_PLAYLIST_XPLOSIONS, 360, nullptr); },
         "list 350 item 360 (explosion frame) is missing"},
        {"a model list of type 0", [](TTestLists& v) { ListOf(v, ID_PLAYLIST_MODELS).SetType(0); },
         "list 500 is not a model list"},
        {"an unreadable model", [&](TTestLists& v) { ReplaceItem(v, ID_PLAYLIST_MODELS, 1, &BadScene); },
         "no readable scene in list 500"},
        {"a model that names a file", [&](TTestLists& v) { ReplaceItem(v, ID_PLAYLIST_MODELS, 1, &OutsideScene); },
         "scene 'SHIP' (list 500) names \"/dev/zero\""},
        {"a damaged ending picture", [](TTestLists& v) { GarbleItem(v, ID_PLAYLIST_ENDING, ID_BMP_ENDING_BACK); },
         "list 400 item 410 (ending background picture) is not a picture that decodes"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        TTestLists vecLists = MakeTestLists();
        Case.Change(vecLists);
        const std::string strPath = Write(vecLists);
        try {
            TDataBanker Bank(strPath);
            ADD_FAILURE() << "accepted";
        } catch (const TDataError& Error) {
            EXPECT_NE(std::string(Error.what()).find(Case.szError), std::string::npos) << Error.what();
        }
    }
}

TEST_F(BankerTest, MusicAndBackgroundMayBeMissing)
{
    TTestLists vecLists = MakeTestLists();
    RemoveList(vecLists, ID_PLAYLIST_MUSICS);
    ReplaceItem(vecLists, ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND, nullptr);
    TDataBanker Bank(Write(vecLists));
    TSndInfo Music;
    EXPECT_FALSE(Bank.LoadSoundFromBin(ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, Music));
    EXPECT_FALSE(Music.pSound);
    TagTexture Background;
    EXPECT_FALSE(Bank.LoadTextureFromBin(ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND, Background));
    EXPECT_EQ(Bank.GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND), nullptr);
    const uint8_t* pData = nullptr;
    int32_t nSize = 0;
    EXPECT_FALSE(Bank.GetSoundBytes(ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, pData, nSize));
}

// Music and background are optional: one that is there but damaged is left out with one line,
// as if it were missing.
TEST_F(BankerTest, ADamagedBackgroundIsLeftOutWithOneLine)
{
    TTestLists vecLists = MakeTestLists();
    const std::vector<uint8_t> SmallBackground(10, 1);
    ReplaceItem(vecLists, ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND, &SmallBackground);
    const std::string strPath = Write(vecLists);
    ::testing::internal::CaptureStderr();
    TDataBanker Bank(strPath);
    const std::string strErrors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(strErrors.begin(), strErrors.end(), '\n'), 1) << strErrors;
    EXPECT_NE(strErrors.find(strPath + ": list 300 item 310 (background texture) holds 10 bytes"), std::string::npos)
        << strErrors;
    TagTexture Background;
    EXPECT_FALSE(Bank.LoadTextureFromBin(ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND, Background));
    TagTexture Engine;
    EXPECT_TRUE(Bank.LoadTextureFromBin(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE, Engine));
}
