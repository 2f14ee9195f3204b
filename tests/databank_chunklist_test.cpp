// Chunk lists: building from an image, finding, dumping, refusing malformed images, scenes.
#include "databank/ChunkList.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SoDB.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoTexture2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {
const uint8_t BYTES[] = {10, 20, 30, 40, 50, 60};

// A list of five readable kinds and an AVI (which the dump passes over).
TVEChunkList& FillSampleList(TVEChunkList& List)
{
    List.SetName("SAMPLE");
    List.SetId(300);
    List.SetUserId(7);
    List.SetType(0);
    auto& Image = static_cast<TVEChunkImageRawRgba&>(List.AddChunk(VECHUNK_IMAGE_RAW_RGBA, 1, "PIXELS", BYTES, 6));
    Image.nWidth = 2;
    Image.nHeight = 1;
    Image.nComponents = 3;
    List.AddChunk(VECHUNK_AVI, 2, "MOVIE", BYTES, 6);
    List.AddChunk(VECHUNK_VRML_SHAPE, 3, "SHAPE", BYTES, 6);
    List.AddChunk(VECHUNK_BMP, 4, "BMP", BYTES, 4);
    List.AddChunk(VECHUNK_WAV, 4, "WAV", BYTES, 5);
    auto& Camera = static_cast<TVEChunkCamera&>(List.AddChunk(VECHUNK_CAMERA, 5, "CAM", nullptr, 0));
    Camera.Pos[0] = 0.0;
    Camera.Pos[1] = -1.25;
    Camera.Pos[2] = 50.0;
    return List;
}

std::vector<uint8_t> SampleImage()
{
    TVEChunkList List;
    std::vector<uint8_t> Image;
    EXPECT_TRUE(FillSampleList(List).SaveToMemory(Image));
    return Image;
}

void PutLE32(std::vector<uint8_t>& Image, size_t nAt, int32_t nValue)
{
    std::memcpy(Image.data() + nAt, &nValue, 4);
}

// Offsets of the records in SampleImage(): 512, then each record's size.
std::vector<size_t> RecordOffsets()
{
    const size_t SIZES[] = {800 + 6, 528 + 6, 528 + 6, 532 + 4, 532 + 5, 888};
    std::vector<size_t> vecOffsets;
    size_t nAt = 512;
    for (size_t nSize : SIZES) {
        vecOffsets.push_back(nAt);
        nAt += nSize;
    }
    vecOffsets.push_back(nAt);
    return vecOffsets;
}
}  // namespace

TEST(ChunkListTest, BuildsEveryRecordAndFindsByKindAndId)
{
    const std::vector<uint8_t> Image = SampleImage();
    TVEChunkList List;
    ASSERT_EQ(List.BuildFromMemory(Image.data(), static_cast<int32_t>(Image.size())), static_cast<int32_t>(Image.size()));
    EXPECT_EQ(List.GetCount(), 6);
    EXPECT_EQ(List.GetType(), 0);
    EXPECT_EQ(List.GetHeader().nId, 300);
    EXPECT_STREQ(List.GetChunk(2)->m_Data.szName, "SHAPE");
    EXPECT_EQ(List.GetChunk(-1), nullptr);
    EXPECT_EQ(List.GetChunk(6), nullptr);

    // The same ID under two kinds: each kind finds its own.
    EXPECT_STREQ(List.FindChunk(VECHUNK_BMP, 4)->m_Data.szName, "BMP");
    EXPECT_STREQ(List.FindChunk(VECHUNK_WAV, 4)->m_Data.szName, "WAV");
    EXPECT_EQ(List.FindChunk(VECHUNK_WAV, 3), nullptr);
    EXPECT_EQ(List.FindChunk(VECHUNK_TXT, 4), nullptr);

    List.Clear();
    EXPECT_EQ(List.GetCount(), 0);
}

TEST(ChunkListTest, FindReturnsTheFirstOfTwoWithTheSameKindAndId)
{
    TVEChunkList Source;
    Source.AddChunk(VECHUNK_WAV, 9, "FIRST", BYTES, 2);
    Source.AddChunk(VECHUNK_WAV, 9, "SECOND", BYTES, 2);
    std::vector<uint8_t> Image;
    ASSERT_TRUE(Source.SaveToMemory(Image));
    TVEChunkList List;
    ASSERT_GT(List.BuildFromMemory(Image.data(), static_cast<int32_t>(Image.size())), 0);
    EXPECT_STREQ(List.FindChunk(VECHUNK_WAV, 9)->m_Data.szName, "FIRST");
}

TEST(ChunkListTest, HeaderOnlyImageBuildsAnEmptyList)
{
    std::vector<uint8_t> Image(512, 0);
    PutLE32(Image, 328, 1);
    TVEChunkList List;
    EXPECT_EQ(List.BuildFromMemory(Image.data(), 512), 512);
    EXPECT_EQ(List.GetCount(), 0);
    EXPECT_EQ(List.GetType(), 1);
}

TEST(ChunkListTest, DumpText)
{
    const std::vector<uint8_t> Image = SampleImage();
    TVEChunkList List;
    ASSERT_GT(List.BuildFromMemory(Image.data(), static_cast<int32_t>(Image.size())), 0);
    std::string strText = "before";
    List.Dump(strText);
    const char* szExpected =
        "before"
        "\n\nChunk List:"
        "\n    Name: 'SAMPLE'\n    Id: 300\n    UserId: 7\n    Type: 0\n    Total chunks: 6"
        "\n\n      Chunk : [ 0 ]\n      Type: 4  [ raw rgba ]\n      Size: 806\n      Name: PIXELS\n      Id: 1\n      UserId: 0"
        "\n\n      Chunk : [ 2 ]\n      Type: 15  [ vrml shape ]\n      Size: 534\n      Name: SHAPE\n      Id: 3\n      UserId: 0"
        "\n\n      Chunk : [ 3 ]\n      Type: 5  [ bmp image ]\n      Size: 536\n      Name: BMP\n      Id: 4\n      UserId: 0"
        "\n\n      Chunk : [ 4 ]\n      Type: 8  [ wav sound ]\n      Size: 537\n      Name: WAV\n      Id: 4\n      UserId: 0"
        "\n\n      Chunk : [ 5 ]\n      Type: 16  [ camera ]\n      Size: 888\n      Name: CAM\n      Id: 5\n      UserId: 0"
        "\n      Pos:  0.000, -1.250, 50.000";
    EXPECT_EQ(strText, szExpected);
}

// Each malformed image is refused: the build returns 0, says why, and keeps the records read
// completely before the fault.
TEST(ChunkListTest, MalformedImagesAreRefused)
{
    const std::vector<size_t> vecAt = RecordOffsets();
    struct TCase
    {
        const char* szWhat;
        size_t nLength;           // bytes of the image handed over
        size_t nPatchAt;          // 0: no patch
        int32_t nPatch;
        int nChunksKept;
        const char* szError;
    };
    const TCase CASES[] = {
        {"shorter than the header", 100, 0, 0, 0, "shorter than its 512-byte header"},
        {"negative chunk count", 0, 332, -1, 0, "negative chunk count"},
        {"more chunks than records", 0, 332, 9, 6, "chunk 6 of 9"},
        {"a record without its tag", 0, vecAt[2], 0x41414141, 2, "no \"VECHUNK\" tag"},
        {"a text record", 0, vecAt[1] + 64, VECHUNK_TXT, 1, "kind 1 cannot be read"},
        {"an unknown kind", 0, vecAt[1] + 64, 99, 1, "kind 99 cannot be read"},
        {"a payload past the end", 0, vecAt[5] + 256, 4000, 5, "kind 16 record runs past the end"},
        {"a negative payload size", 0, vecAt[3] + 256, -4, 3, "kind 5 record runs past the end"},
        {"cut inside a payload", vecAt[0] + 803, 0, 0, 0, "kind 4 record runs past the end"},
        {"cut inside a record header", vecAt[3] + 100, 0, 0, 3, "header runs past the end"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        std::vector<uint8_t> Image = SampleImage();
        if (Case.nPatchAt)
            PutLE32(Image, Case.nPatchAt, Case.nPatch);
        if (Case.nLength)
            Image.resize(Case.nLength);
        // A copy of exactly the handed-over length, so AddressSanitizer sees any read past it.
        std::vector<uint8_t> Exact(Image.begin(), Image.end());
        TVEChunkList List;
        EXPECT_EQ(List.BuildFromMemory(Exact.data(), static_cast<int32_t>(Exact.size())), 0);
        EXPECT_EQ(List.GetCount(), Case.nChunksKept);
        EXPECT_NE(List.GetError().find(Case.szError), std::string::npos) << List.GetError();
    }
}

class SceneGraphTest : public ::testing::Test
{
protected:
    void SetUp() override { SoDB::init(); }

    static void AddShape(TVEChunkList& List, const char* szScene)
    {
        List.AddChunk(VECHUNK_VRML_SHAPE, 1, "SHAPE", reinterpret_cast<const uint8_t*>(szScene),
                      static_cast<int32_t>(std::strlen(szScene)));
    }
    static void AddImage(TVEChunkList& List, const char* szName, int nWidth, int nHeight, int nComponents, uint8_t nFill,
                         int nBytes = -1)
    {
        std::vector<uint8_t> Pixels(nBytes >= 0 ? static_cast<size_t>(nBytes)
                                                : static_cast<size_t>(nWidth * nHeight * nComponents),
                                    nFill);
        auto& Image = static_cast<TVEChunkImageRawRgba&>(
            List.AddChunk(VECHUNK_IMAGE_RAW_RGBA, 2, szName, Pixels.data(), static_cast<int32_t>(Pixels.size())));
        Image.nWidth = nWidth;
        Image.nHeight = nHeight;
        Image.nComponents = nComponents;
    }
    static SoNode* FindNamed(SoNode* pScene, const char* szName)
    {
        SoSearchAction Search;
        Search.setName(szName);
        Search.setSearchingAll(TRUE);
        Search.apply(pScene);
        return Search.getPath() ? Search.getPath()->getTail() : nullptr;
    }
};

TEST_F(SceneGraphTest, RawImagesFillTheTexturesNamedAfterThem)
{
    const char* szScene = "#Inventor V2.1 ascii\n"
                          "Separator {\n"
                          "  DEF HULL Texture2 { }\n"
                          "  DEF HULL Group { }\n"
                          "  Switch { whichChild -1 DEF TRIM Texture2 { } }\n"
                          "  DEF TRIM Texture2 { }\n"
                          "  Cube { }\n"
                          "}\n";
    SoNode* pScene = nullptr;
    {
        TVEChunkList List;
        AddShape(List, szScene);
        AddImage(List, "HULL", 2, 2, 3, 0x11);
        AddImage(List, "TRIM", 1, 3, 4, 0x22);
        pScene = List.BuildSceneGraph();
        ASSERT_TRUE(pScene);
        pScene->ref();
    }  // the list is gone: the scene owns copies of the pixels

    SoSearchAction Search;
    Search.setFind(SoSearchAction::TYPE);
    Search.setType(SoTexture2::getClassTypeId());
    Search.setInterest(SoSearchAction::ALL);
    Search.setSearchingAll(TRUE);
    Search.apply(pScene);
    ASSERT_EQ(Search.getPaths().getLength(), 3);
    for (int i = 0; i < 3; ++i) {
        auto* pTex = static_cast<SoTexture2*>(Search.getPaths()[i]->getTail());
        SbVec2s Size;
        int nComponents = 0;
        const unsigned char* pPixels = pTex->image.getValue(Size, nComponents);
        const bool bHull = pTex->getName() == "HULL";
        EXPECT_EQ(Size, bHull ? SbVec2s(2, 2) : SbVec2s(1, 3));
        EXPECT_EQ(nComponents, bHull ? 3 : 4);
        ASSERT_TRUE(pPixels);
        EXPECT_EQ(pPixels[0], bHull ? 0x11 : 0x22);
    }
    pScene->unref();
}

TEST_F(SceneGraphTest, TheLastReadableShapeIsTheScene)
{
    TVEChunkList List;
    AddShape(List, "#Inventor V2.1 ascii\nDEF FIRST Separator { }\n");
    AddShape(List, "#Inventor V2.1 ascii\nDEF SECOND Separator { }\n");
    AddShape(List, "this is not a scene");
    SoNode* pScene = List.BuildSceneGraph();
    ASSERT_TRUE(pScene);
    EXPECT_EQ(pScene->getRefCount(), 0);
    EXPECT_EQ(pScene->getName(), SbName("SECOND"));
    pScene->ref();
    pScene->unref();
}

TEST_F(SceneGraphTest, NoSceneOrBadPixelsGiveNoScene)
{
    TVEChunkList NoScene;
    AddShape(NoScene, "this is not a scene");
    EXPECT_EQ(NoScene.BuildSceneGraph(), nullptr);
    EXPECT_NE(NoScene.GetError().find("no readable scene"), std::string::npos);

    // Fewer pixel bytes than the image's size would make the texture read past them; a stored
    // size beyond what the scene library takes must be refused before it is multiplied out.
    const struct
    {
        int nWidth, nHeight, nComponents, nBytes;
        const char* szError;
    } CASES[] = {
        {16, 16, 3, 100, "raw image 'VEIMAGE_000001' (list -1): 100 bytes, not 16 x 16 x 3 = 768"},
        {16, 16, 3, 769, "769 bytes, not 16 x 16 x 3 = 768"},
        {INT32_MAX, INT32_MAX, 4, 100, "2147483647 x 2147483647 x 4 is not an image shape"},
        {INT32_MAX, INT32_MAX, INT32_MAX, 100, "2147483647 x 2147483647 x 2147483647 is not an image shape"},
        {32768, 1, 1, 32768, "32768 x 1 x 1 is not an image shape"},
        {-4, -4, 3, 48, "-4 x -4 x 3 is not an image shape"},
        {4, 4, 0, 1, "4 x 4 x 0 is not an image shape"},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szError);
        TVEChunkList BadImage;
        AddShape(BadImage, TEST_MODEL_SCENE);
        AddImage(BadImage, "VEIMAGE_000001", Case.nWidth, Case.nHeight, Case.nComponents, 0, Case.nBytes);
        EXPECT_EQ(BadImage.BuildSceneGraph(), nullptr);
        EXPECT_NE(BadImage.GetError().find(Case.szError), std::string::npos) << BadImage.GetError();
    }
}
