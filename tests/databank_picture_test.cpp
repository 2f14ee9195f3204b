// Picture files of the data file (the ending screen's): the formats the game reads, and the
// damaged or oversized ones it refuses before allocating what they claim.
#include "databank/ImageShape.h"
#include "databank/PictureFile.h"
#include "tests/support/TestDataFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {
std::vector<uint8_t> Encode(const QImage& Image, const char* szFormat)
{
    QByteArray Bytes;
    QBuffer Buffer(&Bytes);
    Buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(Image.save(&Buffer, szFormat)) << szFormat;
    return std::vector<uint8_t>(Bytes.begin(), Bytes.end());
}

uint32_t Crc32(const uint8_t* p, size_t n)
{
    uint32_t nCrc = 0xffffffffu;
    for (size_t i = 0; i < n; ++i) {
        nCrc ^= p[i];
        for (int k = 0; k < 8; ++k)
            nCrc = (nCrc >> 1) ^ (0xedb88320u & (0u - (nCrc & 1u)));
    }
    return ~nCrc;
}

void PutBE32(std::vector<uint8_t>& Bytes, uint32_t nValue)
{
    for (int i = 3; i >= 0; --i)
        Bytes.push_back(static_cast<uint8_t>(nValue >> (8 * i)));
}

void PutPngChunk(std::vector<uint8_t>& Bytes, const std::vector<uint8_t>& TypeAndData)
{
    PutBE32(Bytes, static_cast<uint32_t>(TypeAndData.size() - 4));
    Bytes.insert(Bytes.end(), TypeAndData.begin(), TypeAndData.end());
    PutBE32(Bytes, Crc32(TypeAndData.data(), TypeAndData.size()));
}

// A PNG signature and a well-formed header for a picture of that size; with bPixels, the start
// of its pixel data, cut short.
std::vector<uint8_t> TruncatedPng(uint32_t nWidth, uint32_t nHeight, bool bPixels)
{
    std::vector<uint8_t> Bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> Header = {'I', 'H', 'D', 'R'};
    PutBE32(Header, nWidth);
    PutBE32(Header, nHeight);
    Header.insert(Header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, no interlace
    PutPngChunk(Bytes, Header);
    if (bPixels)
        PutPngChunk(Bytes, {'I', 'D', 'A', 'T', 0x78, 0x9c});
    return Bytes;
}

QImage Decode(const std::vector<uint8_t>& Bytes, std::string* pWhy = nullptr)
{
    return TPictureFile::Decode(Bytes.data(), static_cast<int32_t>(Bytes.size()), pWhy);
}
}  // namespace

TEST(PictureFileTest, CommonFormatsDecode)
{
    QImage Picture(40, 30, QImage::Format_RGB32);
    Picture.fill(0x336699u);
    for (const char* szFormat : {"PNG", "BMP", "JPEG"}) {
        SCOPED_TRACE(szFormat);
        const QImage Decoded = Decode(Encode(Picture, szFormat));
        EXPECT_EQ(Decoded.size(), QSize(40, 30));
    }
}

// Qt's GIF reader makes its canvas from the logical screen size, which it does not report as
// the picture's: these 26 bytes would have it allocate a gigabyte.
TEST(PictureFileTest, OtherFormatsAreRefused)
{
    const std::vector<uint8_t> Gif = {'G',  'I',  'F',  '8',  '9',  'a',  0x00, 0x77, 0x00, 0x21, 0x67, 0x00, 0x00,
                                      0x2c, 0x5d, 0x00, 0x41, 0x00, 0x7e, 0x00, 0x00, 0x00, 0x52, 0x4e, 0x77, 0x65};
    QImage Picture(40, 30, QImage::Format_RGB32);
    Picture.fill(0x336699u);
    for (const auto& Case : {std::make_pair("gif", Gif), std::make_pair("ppm", Encode(Picture, "PPM"))}) {
        SCOPED_TRACE(Case.first);
        std::string strWhy;
        EXPECT_TRUE(Decode(Case.second, &strWhy).isNull());
        EXPECT_EQ(strWhy, std::string("a ") + Case.first + " picture: the game reads PNG, JPEG and BMP");
    }
}

TEST(PictureFileTest, DamagedAndOversizedPicturesAreRefused)
{
    std::vector<uint8_t> Good = MakePng(64, 64, 0x102030u);
    std::vector<uint8_t> Flipped = MakePng(64, 64, 0x102030u);
    for (size_t i = Flipped.size() / 2; i < Flipped.size() / 2 + 8; ++i)
        Flipped[i] ^= 0x5a;
    const struct
    {
        const char* szWhat;
        std::vector<uint8_t> Bytes;
        const char* szWhy;
    } CASES[] = {
        {"no bytes", {}, "no bytes"},
        {"text", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}, "not a picture file"},
        {"cut short, claiming 60000 x 60000", TruncatedPng(60000, 60000, true), "claims 60000 x 60000 pixels"},
        {"one side too long", MakePng(MAX_TEXTURE_SIDE + 1, 1, 0), "claims 8193 x 1 pixels"},
        {"a header alone", TruncatedPng(60000, 60000, false), "its size cannot be read"},
        {"cut short in its pixels", TruncatedPng(16, 16, true), ""},
        {"a damaged body", Flipped, ""},
        {"cut short", std::vector<uint8_t>(Good.begin(), Good.begin() + static_cast<long>(Good.size()) / 2), ""},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        std::string strWhy;
        EXPECT_TRUE(Decode(Case.Bytes, &strWhy).isNull());
        EXPECT_FALSE(strWhy.empty());
        EXPECT_NE(strWhy.find(Case.szWhy), std::string::npos) << strWhy;
    }
    std::string strWhy;
    EXPECT_EQ(Decode(MakePng(MAX_TEXTURE_SIDE, 1, 0), &strWhy).size(), QSize(MAX_TEXTURE_SIDE, 1));
    EXPECT_EQ(strWhy, "");
}
