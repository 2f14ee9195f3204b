// The generated art as the build leaves it for packing: sizes, transparency where the game
// relies on it, a seamless rock, readable pictures, a loadable ship model, and the same bytes
// from every run of the generator.
#include "tests/support/RunCommand.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SbBox.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoPath.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>
#include <Inventor/nodes/SoTexture2.h>

#include <QImage>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {
const std::string GEN_DIR = DRELK_ART_DIR;
const std::string GENERATOR = DRELK_ARTGEN;
const std::string MANIFEST = DRELK_MANIFEST;

std::vector<uint8_t> ReadBytes(const std::string& strPath)
{
    std::ifstream In(strPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

// A raw texture file: pixel rows bottom first.
struct TRaw
{
    int nWidth, nHeight, nComponents;
    std::vector<uint8_t> vBytes;

    const uint8_t* At(int x, int nRowFromBottom) const
    {
        return &vBytes[(static_cast<size_t>(nRowFromBottom) * nWidth + x) * nComponents];
    }
    int Alpha(int x, int nRowFromBottom) const { return At(x, nRowFromBottom)[3]; }
    int MaxAlpha() const
    {
        int nMax = 0;
        for (size_t i = 3; i < vBytes.size(); i += 4)
            nMax = std::max(nMax, static_cast<int>(vBytes[i]));
        return nMax;
    }
    int MaxEdgeAlpha() const
    {
        int nMax = 0;
        for (int i = 0; i < nWidth; ++i)
            nMax = std::max({nMax, Alpha(i, 0), Alpha(i, nHeight - 1), Alpha(0, i), Alpha(nWidth - 1, i)});
        return nMax;
    }
};

TRaw LoadRaw(const std::string& strName, int nWidth, int nHeight, int nComponents)
{
    return {nWidth, nHeight, nComponents, ReadBytes(GEN_DIR + "/" + strName)};
}

std::string FrameName(int nFrame)
{
    char szName[64];
    std::snprintf(szName, sizeof szName, "textures/explosion_%02d.rgba", nFrame);
    return szName;
}

struct TRawSpec
{
    std::string strName;
    int nWidth, nHeight, nComponents;
};

std::vector<TRawSpec> RawFiles()
{
    std::vector<TRawSpec> vFiles = {
        {"textures/background.rgb", 1024, 1024, 3}, {"textures/rock.rgb", 256, 256, 3},
        {"textures/missile.rgba", 64, 64, 4},       {"textures/engine.rgba", 32, 32, 4},
        {"model/hull.rgb", 256, 256, 3},
    };
    for (int i = 0; i < 20; ++i)
        vFiles.push_back({FrameName(i), 128, 128, 4});
    return vFiles;
}

// The desktop icon theme's sizes, each painted by the generator.
const int ICON_SIZES[] = {16, 32, 48, 64, 128, 256};

std::string IconName(int nSize)
{
    return "icons/hicolor/" + std::to_string(nSize) + "x" + std::to_string(nSize) + "/apps/drelk2.png";
}

// Every file the generator writes, relative to its output folder.
std::vector<std::string> GeneratedFiles()
{
    std::vector<std::string> vFiles = {"pictures/ending_back.png", "pictures/ending_fore.png", "pictures/splash.png"};
    for (const TRawSpec& Raw : RawFiles())
        vFiles.push_back(Raw.strName);
    for (const int nSize : ICON_SIZES)
        vFiles.push_back(IconName(nSize));
    return vFiles;
}

TEST(ArtTextures, RawFilesHaveTheSizeTheGameReadsThemWith)
{
    for (const TRawSpec& Raw : RawFiles()) {
        SCOPED_TRACE(Raw.strName);
        EXPECT_EQ(ReadBytes(GEN_DIR + "/" + Raw.strName).size(),
                  static_cast<size_t>(Raw.nWidth) * Raw.nHeight * Raw.nComponents);
    }
}

TEST(ArtTextures, ExplosionStartsEmptyAndEveryLaterFrameShows)
{
    // Frame 0 stays on show after each explosion: it must hide completely.
    const TRaw First = LoadRaw(FrameName(0), 128, 128, 4);
    ASSERT_EQ(First.vBytes.size(), 128u * 128u * 4u);
    EXPECT_EQ(First.MaxAlpha(), 0);
    for (int i = 1; i < 20; ++i) {
        SCOPED_TRACE(FrameName(i));
        const TRaw Frame = LoadRaw(FrameName(i), 128, 128, 4);
        ASSERT_EQ(Frame.vBytes.size(), 128u * 128u * 4u);
        EXPECT_GT(Frame.MaxAlpha(), 0);
    }
    // The fireball itself is opaque in the first half, before the game starts fading it.
    for (int i = 1; i <= 10; ++i)
        EXPECT_GE(LoadRaw(FrameName(i), 128, 128, 4).MaxAlpha(), 250) << FrameName(i);
}

TEST(ArtTextures, SpritesFadeOutBeforeTheQuadEdges)
{
    // A visible edge would show the square quad behind the glow.
    std::vector<TRawSpec> vSprites = {{"textures/missile.rgba", 64, 64, 4}, {"textures/engine.rgba", 32, 32, 4}};
    for (int i = 0; i < 20; ++i)
        vSprites.push_back({FrameName(i), 128, 128, 4});
    for (const TRawSpec& Sprite : vSprites) {
        SCOPED_TRACE(Sprite.strName);
        const TRaw Raw = LoadRaw(Sprite.strName, Sprite.nWidth, Sprite.nHeight, 4);
        ASSERT_EQ(Raw.vBytes.size(), static_cast<size_t>(Sprite.nWidth) * Sprite.nHeight * 4);
        EXPECT_LE(Raw.MaxEdgeAlpha(), 8);
    }
}

TEST(ArtTextures, EngineFlameIsHotNearTheShipAndFadesAlongThePlume)
{
    // Rows run along the flame: the first rows lie under the ship's tail, the last at the end
    // of the plume; the ship's tail crosses the quad about a third of the way along.
    const TRaw Flame = LoadRaw("textures/engine.rgba", 32, 32, 4);
    ASSERT_EQ(Flame.vBytes.size(), 32u * 32u * 4u);
    auto RowAlpha = [&](int nRow) {
        int nSum = 0;
        for (int x = 0; x < 32; ++x)
            nSum += Flame.Alpha(x, nRow);
        return nSum;
    };
    EXPECT_GT(RowAlpha(12), 4 * RowAlpha(28));
    EXPECT_GT(RowAlpha(12), 0);
    // The middle column is the jet's axis.
    EXPECT_GT(Flame.Alpha(16, 12), Flame.Alpha(6, 12));
}

TEST(ArtTextures, RockTilesWithoutASeam)
{
    const TRaw Rock = LoadRaw("textures/rock.rgb", 256, 256, 3);
    ASSERT_EQ(Rock.vBytes.size(), 256u * 256u * 3u);
    // Mean colour step between two columns (or rows) of pixels.
    auto Step = [&](bool bColumns, int a, int b) {
        double dSum = 0.0;
        for (int i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c) {
                const uint8_t* pA = bColumns ? Rock.At(a, i) : Rock.At(i, a);
                const uint8_t* pB = bColumns ? Rock.At(b, i) : Rock.At(i, b);
                dSum += std::abs(pA[c] - pB[c]);
            }
        return dSum / (256.0 * 3.0);
    };
    for (bool bColumns : {true, false}) {
        double dInside = 0.0;
        for (int i = 0; i < 255; ++i)
            dInside += Step(bColumns, i, i + 1);
        dInside /= 255.0;
        const double dWrap = Step(bColumns, 255, 0);
        EXPECT_LT(dWrap, dInside * 1.6 + 1.0) << (bColumns ? "left and right edges" : "top and bottom edges");
        // The texture is not flat: a seam test on a flat picture would prove nothing.
        EXPECT_GT(dInside, 2.0);
    }
}

TEST(ArtTextures, BackgroundStaysDark)
{
    const TRaw Sky = LoadRaw("textures/background.rgb", 1024, 1024, 3);
    ASSERT_EQ(Sky.vBytes.size(), 1024u * 1024u * 3u);
    double dSum = 0.0;
    for (uint8_t nByte : Sky.vBytes)
        dSum += nByte;
    EXPECT_LT(dSum / static_cast<double>(Sky.vBytes.size()), 40.0);
}

// ---- pictures ----

TEST(ArtPictures, DecodeWithTheSizesTheWindowsUse)
{
    const QImage Back(QString::fromStdString(GEN_DIR + "/pictures/ending_back.png"));
    EXPECT_EQ(Back.size(), QSize(512, 340));

    const QImage Splash(QString::fromStdString(GEN_DIR + "/pictures/splash.png"));
    EXPECT_EQ(Splash.size(), QSize(387, 206));
    // 24-bit: an 8-bit RGB PNG (colour type 2), no alpha.
    const std::vector<uint8_t> vPng = ReadBytes(GEN_DIR + "/pictures/splash.png");
    ASSERT_GT(vPng.size(), 26u);
    EXPECT_EQ(vPng[24], 8) << "bit depth";
    EXPECT_EQ(vPng[25], 2) << "colour type";

    const QImage Fore(QString::fromStdString(GEN_DIR + "/pictures/ending_fore.png"));
    EXPECT_EQ(Fore.width(), 512);
    EXPECT_GE(Fore.height(), 1050);
    EXPECT_LE(Fore.height(), 1100);
    EXPECT_TRUE(Fore.hasAlphaChannel());
}

TEST(ArtPictures, CreditsShowAtTheStartAndEndOnAClosingImage)
{
    const QImage Fore =
        QImage(QString::fromStdString(GEN_DIR + "/pictures/ending_fore.png")).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(Fore.isNull());
    auto Coverage = [&](int nTop, int nBottom) {
        int nOpaque = 0;
        for (int y = nTop; y < nBottom; ++y)
            for (int x = 0; x < Fore.width(); ++x)
                nOpaque += qAlpha(Fore.pixel(x, y)) > 128;
        return nOpaque;
    };
    // The screen opens with the top 100 rows on show, and its last image is the bottom 340.
    EXPECT_GT(Coverage(0, 100), 2000);
    EXPECT_GT(Coverage(Fore.height() - 340, Fore.height()), 2000);
    // Clear space around the text: the picture is not one opaque slab.
    EXPECT_LT(Coverage(0, Fore.height()), Fore.width() * Fore.height() / 4);
}

// A rounded tile with see-through corners at every size, and a ship that stands out: at 64
// pixels and less the 256-pixel picture scaled down shows the ship as a few grey pixels (about
// 1 to 2% of the tile light), so the small icons are painted with a larger, lighter ship.
TEST(ArtIcons, EachSizeIsARoundedTileWithALightShip)
{
    for (const int nSize : ICON_SIZES) {
        SCOPED_TRACE(nSize);
        const QImage Icon =
            QImage(QString::fromStdString(GEN_DIR + "/" + IconName(nSize))).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(Icon.size(), QSize(nSize, nSize));
        for (const QPoint Corner : {QPoint(0, 0), QPoint(nSize - 1, 0), QPoint(0, nSize - 1), QPoint(nSize - 1, nSize - 1)})
            EXPECT_EQ(qAlpha(Icon.pixel(Corner)), 0);
        int nInside = 0, nLight = 0;
        for (int y = 0; y < nSize; ++y) {
            for (int x = 0; x < nSize; ++x) {
                const QRgb Pixel = Icon.pixel(x, y);
                if (qAlpha(Pixel) <= 128)
                    continue;
                ++nInside;
                nLight += qGray(Pixel) > 180;
            }
        }
        EXPECT_GT(nInside, nSize * nSize * 3 / 4);
        const double dLightShare = static_cast<double>(nLight) / nInside;
        EXPECT_GT(dLightShare, nSize <= 64 ? 0.04 : 0.02);
    }
}

// ---- the ship model ----

class ShipModel : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { SoDB::init(); }

    void SetUp() override
    {
        m_vText = ReadBytes(GEN_DIR + "/model/ship.iv");
        ASSERT_FALSE(m_vText.empty());
        // The game reads the model from memory, as here.
        SoInput In;
        In.setBuffer(m_vText.data(), m_vText.size());
        SoNode* pNode = nullptr;
        ASSERT_TRUE(SoDB::read(&In, pNode));
        ASSERT_NE(pNode, nullptr);
        m_pRoot = new SoSeparator;
        m_pRoot->ref();
        m_pRoot->addChild(pNode);
    }

    void TearDown() override
    {
        if (m_pRoot)
            m_pRoot->unref();
    }

    std::vector<SbVec3f> Vertices() const
    {
        std::vector<SbVec3f> vPoints;
        SoCallbackAction Action;
        Action.addTriangleCallback(SoShape::getClassTypeId(),
                                   [](void* pData, SoCallbackAction*, const SoPrimitiveVertex* a,
                                      const SoPrimitiveVertex* b, const SoPrimitiveVertex* c) {
                                       auto* pPoints = static_cast<std::vector<SbVec3f>*>(pData);
                                       for (const SoPrimitiveVertex* v : {a, b, c})
                                           pPoints->push_back(v->getPoint());
                                   },
                                   &vPoints);
        Action.apply(m_pRoot);
        return vPoints;
    }

    std::vector<uint8_t> m_vText;
    SoSeparator* m_pRoot = nullptr;
};

TEST_F(ShipModel, HasAnEmptyNamedTextureForEachRawImageOfTheModelList)
{
    std::ifstream In(MANIFEST);
    const nlohmann::json Manifest = nlohmann::json::parse(In);
    int nImages = 0;
    for (const auto& List : Manifest.at("lists")) {
        if (List.at("id") != 500)
            continue;
        for (const auto& Item : List.at("items")) {
            if (Item.at("kind") != "raw")
                continue;
            ++nImages;
            const std::string strName = Item.at("name");
            SCOPED_TRACE(strName);
            // The raw image file matches the size the manifest gives it.
            const size_t nBytes = ReadBytes(GEN_DIR + "/" + Item.at("file").get<std::string>()).size();
            EXPECT_EQ(nBytes, Item.at("width").get<size_t>() * Item.at("height").get<size_t>() *
                                  Item.at("components").get<size_t>());
            SoSearchAction Search;
            Search.setSearchingAll(TRUE);
            Search.setInterest(SoSearchAction::ALL);
            Search.setFind(SoSearchAction::NAME);
            Search.setName(SbName(strName.c_str()));
            Search.apply(m_pRoot);
            int nTextures = 0;
            for (int i = 0; i < Search.getPaths().getLength(); ++i) {
                SoNode* pTail = Search.getPaths()[i]->getTail();  // no node kits here: the public tail is the node
                if (!pTail->isOfType(SoTexture2::getClassTypeId()))
                    continue;
                ++nTextures;
                SbVec2s Size;
                int nComponents = 0;
                static_cast<SoTexture2*>(pTail)->image.getValue(Size, nComponents);
                EXPECT_EQ(Size, SbVec2s(0, 0)) << "the game fills the image at load";
            }
            EXPECT_GE(nTextures, 1);
        }
    }
    EXPECT_GE(nImages, 1);
}

TEST_F(ShipModel, IsAboutOneUnitLongWithItsNoseAlongMinusZ)
{
    SoGetBoundingBoxAction Box{SbViewportRegion(640, 480)};
    Box.apply(m_pRoot);
    const SbBox3f Bounds = Box.getBoundingBox();
    ASSERT_FALSE(Bounds.isEmpty());
    float fX = 0.0f, fY = 0.0f, fZ = 0.0f;
    Bounds.getSize(fX, fY, fZ);
    EXPECT_GT(fZ, 0.8f);
    EXPECT_LT(fZ, 1.3f);
    EXPECT_LT(fX, fZ) << "longest along its length";
    EXPECT_LT(fY, fZ * 0.5f) << "flat, seen from above";
    // Centred on its origin, which the game scales and turns it about.
    EXPECT_LT(std::fabs(Bounds.getCenter()[0]), 0.05f);
    EXPECT_LT(std::fabs(Bounds.getCenter()[2]), 0.1f);

    // The nose: the front tenth of the length is narrow, the rear half carries the wings.
    const std::vector<SbVec3f> vPoints = Vertices();
    ASSERT_FALSE(vPoints.empty());
    const float fMinZ = Bounds.getMin()[2];
    float fFront = 0.0f, fRear = 0.0f;
    for (const SbVec3f& p : vPoints) {
        if (p[2] < fMinZ + 0.1f * fZ)
            fFront = std::max(fFront, std::fabs(p[0]));
        else if (p[2] > fMinZ + 0.5f * fZ)
            fRear = std::max(fRear, std::fabs(p[0]));
    }
    EXPECT_LT(fFront * 4.0f, fRear);
}

TEST_F(ShipModel, StaysSmall)
{
    // A few hundred vertices: the model is read again for every game start.
    EXPECT_LT(Vertices().size(), 3u * 1000u);
}

// ---- the generator ----

TEST(ArtGenerator, TwoRunsWriteTheSameBytesAsTheBuild)
{
    const std::string strA = MakeTempDir(), strB = MakeTempDir();
    for (const std::string& strDir : {strA, strB}) {
        const TCommandResult Result = RunCommand(ShellQuote(GENERATOR) + " " + ShellQuote(strDir));
        ASSERT_EQ(Result.nExitCode, 0) << Result.strOut;
    }
    for (const std::string& strFile : GeneratedFiles()) {
        SCOPED_TRACE(strFile);
        const std::vector<uint8_t> vA = ReadBytes(strA + "/" + strFile);
        ASSERT_FALSE(vA.empty());
        EXPECT_TRUE(vA == ReadBytes(strB + "/" + strFile));
        EXPECT_TRUE(vA == ReadBytes(GEN_DIR + "/" + strFile));
    }
    RunCommand("rm -rf " + ShellQuote(strA) + " " + ShellQuote(strB));
}

TEST(ArtGenerator, RefusesAnOutputItCannotWrite)
{
    const TCommandResult NoArgs = RunCommand(ShellQuote(GENERATOR));
    EXPECT_EQ(NoArgs.nExitCode, 2);
    const TCommandResult Blocked = RunCommand(ShellQuote(GENERATOR) + " /dev/null/art");
    EXPECT_NE(Blocked.nExitCode, 0);
    EXPECT_NE(Blocked.strOut.find("drelk2-artgen:"), std::string::npos) << Blocked.strOut;
}
}  // namespace
