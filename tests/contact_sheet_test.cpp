// The contact sheet of drelk2-bank: every texture and picture of a data file drawn, right
// side up and at a known scale, faults marked, and unreadable files refused.
#include "tools/bank/ContactSheet.h"

#include "databank/AssetIds.h"
#include "tests/support/TestDataFile.h"

#include <QImage>

#include <gtest/gtest.h>

#include <fstream>

namespace {
// The sheet's colour for an item it cannot show.
const QRgb FAULT = qRgb(150, 30, 30);

TVEChunk& FindItem(TTestLists& vLists, int32_t nList, int32_t nItem)
{
    for (auto& pList : vLists)
        if (pList->GetHeader().nId == nList)
            if (TVEChunk* pChunk = pList->FindChunk(VECHUNK_BMP, nItem))
                return *pChunk;
    throw std::runtime_error("no such item in the test lists");
}

int CountColour(const QImage& Image, QRgb Colour, int* pTopRow = nullptr)
{
    int nCount = 0;
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x)
            if (Image.pixel(x, y) == Colour) {
                if (pTopRow && nCount == 0)
                    *pTopRow = y;
                ++nCount;
            }
    return nCount;
}

class ContactSheetTest : public ::testing::Test
{
protected:
    void SetUp() override { m_strDir = MakeTempDir(); }
    void TearDown() override { std::system(("rm -rf '" + m_strDir + "'").c_str()); }

    std::string m_strDir;
};

TEST_F(ContactSheetTest, DrawsTexturesUprightAndMarksItemsItCannotShow)
{
    TTestLists vLists = MakeTestLists();
    // Missile: stored rows 0-31 (the bottom of the texture) magenta, rows 32-63 green.
    std::vector<uint8_t> vMissile;
    for (int nRow = 0; nRow < 64; ++nRow)
        for (int x = 0; x < 64; ++x)
            vMissile.insert(vMissile.end(), nRow < 32 ? std::initializer_list<uint8_t>{255, 0, 255, 255}
                                                      : std::initializer_list<uint8_t>{0, 255, 0, 255});
    FindItem(vLists, ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE).SetPayload(vMissile.data(), static_cast<int32_t>(vMissile.size()));
    // Rock: ten bytes where 256 x 256 x 3 belong. Ending background: not a picture file.
    const std::vector<uint8_t> vShort(10, 7);
    FindItem(vLists, ID_PLAYLIST_BITMAPS, ID_BMP_ROCK).SetPayload(vShort.data(), 10);
    FindItem(vLists, ID_PLAYLIST_ENDING, ID_BMP_ENDING_BACK).SetPayload(vShort.data(), 10);
    WriteTestDataFile(m_strDir + "/data.bin", vLists);

    std::string strError;
    ASSERT_TRUE(DrawContactSheet(m_strDir + "/data.bin", m_strDir + "/sheet.png", &strError)) << strError;
    const QImage Sheet = QImage(QString::fromStdString(m_strDir + "/sheet.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(Sheet.isNull());

    // The 64-pixel missile, enlarged twice: each half 128 x 64, the texture's top (green) on top.
    int nTopMagenta = -1, nTopGreen = -1;
    EXPECT_EQ(CountColour(Sheet, qRgb(255, 0, 255), &nTopMagenta), 128 * 64);
    EXPECT_EQ(CountColour(Sheet, qRgb(0, 255, 0), &nTopGreen), 128 * 64);
    EXPECT_EQ(nTopMagenta, nTopGreen + 64);
    // Two faulty items, each a 96-pixel red square.
    EXPECT_EQ(CountColour(Sheet, FAULT), 2 * 96 * 96);
}

TEST_F(ContactSheetTest, RefusesWhatItCannotReadOrWrite)
{
    const std::string strData = MakeTestDataFile(m_strDir);
    std::ofstream(m_strDir + "/garbage.bin") << std::string(70000, 'x');
    const struct
    {
        std::string strData, strOut, strMention;
    } vCases[] = {
        {m_strDir + "/missing.bin", m_strDir + "/a.png", "missing.bin"},
        {m_strDir + "/garbage.bin", m_strDir + "/b.png", "garbage.bin"},
        {strData, "/dev/null/sheet.png", "/dev/null/sheet.png"},
    };
    for (const auto& Case : vCases) {
        SCOPED_TRACE(Case.strData + " -> " + Case.strOut);
        std::string strError;
        EXPECT_FALSE(DrawContactSheet(Case.strData, Case.strOut, &strError));
        EXPECT_NE(strError.find(Case.strMention), std::string::npos) << strError;
    }
}
}  // namespace
