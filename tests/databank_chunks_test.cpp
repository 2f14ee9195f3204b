// Chunk records: layouts, round trips, refusals and bounds.
#include "databank/Chunks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace {
struct TKindLayout
{
    int32_t nKind;
    int32_t nRecordSize;    // header + fixed block, with no payload
    int32_t nPayloadSlot;   // offset of the payload slot in the record
    bool bSetData;
};

const TKindLayout KINDS[] = {
    {VECHUNK_RTF, 528, 524, true},          {VECHUNK_IMAGE_RAW_RGBA, 800, 796, false},
    {VECHUNK_BMP, 532, 528, true},          {VECHUNK_WAV, 532, 528, true},
    {VECHUNK_AVI, 528, 524, true},          {VECHUNK_WMV, 528, 524, true},
    {VECHUNK_VRML_SHAPE, 528, 524, false},  {VECHUNK_CAMERA, 888, 880, true},
};

std::vector<uint8_t> Payload(size_t n)
{
    std::vector<uint8_t> Bytes(n);
    for (size_t i = 0; i < n; ++i)
        Bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return Bytes;
}

int32_t Le32(const std::vector<uint8_t>& Bytes, size_t nAt)
{
    int32_t n;
    std::memcpy(&n, Bytes.data() + nAt, 4);
    return n;
}

std::vector<uint8_t> Save(TVEChunk& Chunk)
{
    std::vector<uint8_t> Record(static_cast<size_t>(Chunk.GetSize()));
    Record.resize(static_cast<size_t>(Chunk.SaveToMemory(Record.data(), static_cast<int32_t>(Record.size()))));
    return Record;
}
}  // namespace

TEST(ChunkTest, FreshChunkOfEachKind)
{
    for (const TKindLayout& Kind : KINDS) {
        SCOPED_TRACE(Kind.nKind);
        auto pChunk = TVEChunk::Create(Kind.nKind);
        ASSERT_TRUE(pChunk);
        EXPECT_EQ(pChunk->GetSize(), Kind.nRecordSize);
        EXPECT_EQ(pChunk->GetType(), Kind.nKind);
        EXPECT_STREQ(pChunk->szTag, "VECHUNK");
        EXPECT_EQ(pChunk->m_Data.nId, -1);
        EXPECT_EQ(pChunk->m_Data.nSize, 0);
        EXPECT_FALSE(pChunk->m_Data.pData);
    }
    EXPECT_EQ(TVEChunkTxt().GetSize(), 528);
    // Text chunks and unknown codes are not list kinds: the walk cannot size them.
    EXPECT_FALSE(TVEChunk::Create(VECHUNK_TXT));
    EXPECT_FALSE(TVEChunk::Create(99));
}

TEST(ChunkTest, SaveThenLoadReproducesEveryField)
{
    const std::vector<uint8_t> Bytes = Payload(37);
    for (const TKindLayout& Kind : KINDS) {
        SCOPED_TRACE(Kind.nKind);
        auto pChunk = TVEChunk::Create(Kind.nKind);
        pChunk->SetName("ROCK");
        pChunk->m_Data.nId = 325;
        pChunk->m_Data.nUserId = 77;
        pChunk->SetPayload(Bytes.data(), static_cast<int32_t>(Bytes.size()));
        if (auto* pImage = dynamic_cast<TVEChunkImageRawRgba*>(pChunk.get())) {
            pImage->nWidth = 3;
            pImage->nHeight = 4;
            pImage->nComponents = 3;
        }
        if (auto* pCamera = dynamic_cast<TVEChunkCamera*>(pChunk.get())) {
            pCamera->Pos[0] = 1.5;
            pCamera->Pos[1] = -2.25;
            pCamera->Pos[2] = 50.0;
        }

        const std::vector<uint8_t> Record = Save(*pChunk);
        ASSERT_EQ(Record.size(), static_cast<size_t>(Kind.nRecordSize + 37));
        // The on-disk layout, field by field.
        EXPECT_EQ(std::memcmp(Record.data(), "VECHUNK", 8), 0);
        EXPECT_EQ(Le32(Record, 64), Kind.nKind);
        EXPECT_EQ(Le32(Record, 256), 37);
        EXPECT_STREQ(reinterpret_cast<const char*>(Record.data() + 260), "ROCK");
        EXPECT_EQ(Le32(Record, 516), 325);
        EXPECT_EQ(Le32(Record, 520), 77);
        EXPECT_EQ(Le32(Record, static_cast<size_t>(Kind.nPayloadSlot)), 0);
        EXPECT_EQ(std::memcmp(Record.data() + Kind.nRecordSize, Bytes.data(), Bytes.size()), 0);

        auto pCopy = TVEChunk::Create(Kind.nKind);
        EXPECT_EQ(pCopy->LoadFromMemory(Record.data() + 256, static_cast<int32_t>(Record.size() - 256)),
                  Kind.nRecordSize - 256 + 37);
        EXPECT_STREQ(pCopy->m_Data.szName, "ROCK");
        EXPECT_EQ(pCopy->m_Data.nId, 325);
        EXPECT_EQ(pCopy->m_Data.nUserId, 77);
        ASSERT_EQ(pCopy->m_Data.nSize, 37);
        EXPECT_EQ(std::memcmp(pCopy->m_Data.pData.get(), Bytes.data(), Bytes.size()), 0);
        if (auto* pImage = dynamic_cast<TVEChunkImageRawRgba*>(pCopy.get())) {
            EXPECT_EQ(Le32(Record, 524), 3);
            EXPECT_EQ(Le32(Record, 536), 3);
            EXPECT_EQ(pImage->nWidth, 3);
            EXPECT_EQ(pImage->nHeight, 4);
            EXPECT_EQ(pImage->nComponents, 3);
        }
        if (auto* pCamera = dynamic_cast<TVEChunkCamera*>(pCopy.get())) {
            double dX;
            std::memcpy(&dX, Record.data() + 800, 8);
            EXPECT_EQ(dX, 1.5);
            EXPECT_EQ(pCamera->Pos[1], -2.25);
            EXPECT_EQ(pCamera->Pos[2], 50.0);
        }
    }
}

TEST(ChunkTest, KindsWithoutPayloadAreRefusedExceptImagesAndCameras)
{
    TVEChunkBmp Bmp;
    uint8_t Buf[1024];
    EXPECT_EQ(Bmp.SaveToMemory(Buf, sizeof Buf), 0);

    // SaveToFile writes nothing for a refused chunk.
    FILE* fp = std::tmpfile();
    ASSERT_TRUE(fp);
    Bmp.SaveToFile(fp);
    EXPECT_EQ(std::ftell(fp), 0);
    std::fclose(fp);

    // A raw image with an empty payload buffer is written and read back without one.
    TVEChunkImageRawRgba Image;
    Image.SetPayload(nullptr, 0);
    EXPECT_EQ(Image.SaveToMemory(Buf, sizeof Buf), 800);
    TVEChunkImageRawRgba ImageCopy;
    EXPECT_EQ(ImageCopy.LoadFromMemory(Buf + 256, 544), 544);
    EXPECT_FALSE(ImageCopy.m_Data.pData);

    // A camera without a payload saves its 888 bytes and consumes its block on reading.
    TVEChunkCamera Camera;
    EXPECT_EQ(Camera.SaveToMemory(Buf, sizeof Buf), 888);
    TVEChunkCamera CameraCopy;
    EXPECT_EQ(CameraCopy.LoadFromMemory(Buf + 256, 632), 632);
}

TEST(ChunkTest, CameraClaimingAPayloadItDoesNotHoldWritesSizeZero)
{
    // Otherwise a reader would take the next record for this camera's payload.
    TVEChunkCamera Camera;
    Camera.m_Data.nSize = 100;
    uint8_t Buf[1024];
    ASSERT_EQ(Camera.SaveToMemory(Buf, sizeof Buf), 888);
    TVEChunkCamera Copy;
    EXPECT_EQ(Copy.LoadFromMemory(Buf + 256, 632), 632);
    EXPECT_EQ(Copy.m_Data.nSize, 0);
}

TEST(ChunkTest, SetDataRefusalsKeepTheOldPayload)
{
    const uint8_t Old[] = {1, 2, 3};
    const uint8_t New[] = {9, 9};
    TVEChunkVrmlShape Shape;
    Shape.SetPayload(Old, 3);
    EXPECT_EQ(Shape.SetData(New, 2), 0);
    EXPECT_EQ(Shape.m_Data.nSize, 3);
    EXPECT_EQ(TVEChunkImageRawRgba().SetData(New, 2), 0);

    TVEChunkWav Wav;
    EXPECT_EQ(Wav.SetData(nullptr, 2), 0);
    EXPECT_EQ(Wav.SetData(New, 0), 0);
    EXPECT_EQ(Wav.SetData(New, 2), 2);
    EXPECT_EQ(Wav.m_Data.pData[1], 9);
}

TEST(ChunkTest, RecordsThatDoNotFitAreRefusedAndLeaveTheChunkUnchanged)
{
    TVEChunkWav Source;
    Source.SetName("SHOT");
    const std::vector<uint8_t> Bytes = Payload(100);
    Source.SetPayload(Bytes.data(), 100);
    std::vector<uint8_t> Record = Save(Source);
    const int32_t nBody = static_cast<int32_t>(Record.size()) - 256;

    struct TCase
    {
        const char* szWhat;
        int32_t nAvail;
        int32_t nSizeField;
    };
    const TCase CASES[] = {
        {"block cut short", 100, 100},
        {"payload cut short", nBody - 1, 100},
        {"negative size", nBody, -5},
        {"size far beyond the bytes", nBody, 0x7fffff00},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        std::vector<uint8_t> Bad = Record;
        std::memcpy(Bad.data() + 256, &Case.nSizeField, 4);
        TVEChunkWav Target;
        Target.SetName("KEPT");
        EXPECT_EQ(Target.LoadFromMemory(Bad.data() + 256, Case.nAvail), -1);
        EXPECT_STREQ(Target.m_Data.szName, "KEPT");
        EXPECT_EQ(Target.m_Data.nSize, 0);
    }
}

TEST(ChunkTest, NameThatFillsItsFieldIsCutNotLeftOpen)
{
    TVEChunkBmp Source;
    Source.SetPayload(reinterpret_cast<const uint8_t*>("x"), 1);
    std::vector<uint8_t> Record = Save(Source);
    std::memset(Record.data() + 260, 'A', 256);
    TVEChunkBmp Copy;
    ASSERT_GT(Copy.LoadFromMemory(Record.data() + 256, static_cast<int32_t>(Record.size() - 256)), 0);
    EXPECT_EQ(std::strlen(Copy.m_Data.szName), 255u);
}

TEST(ChunkTest, FileRoundTripAndTruncatedFile)
{
    TVEChunkWav Source;
    Source.SetName("ENGINE");
    Source.m_Data.nId = 210;
    const std::vector<uint8_t> Bytes = Payload(50);
    Source.SetPayload(Bytes.data(), 50);

    FILE* fp = std::tmpfile();
    ASSERT_TRUE(fp);
    Source.SaveToFile(fp);
    EXPECT_EQ(std::ftell(fp), Source.GetSize());

    std::fseek(fp, 256, SEEK_SET);
    TVEChunkWav Copy;
    EXPECT_EQ(Copy.LoadFromFile(fp), 1);
    EXPECT_EQ(std::ftell(fp), Source.GetSize());
    EXPECT_EQ(Copy.m_Data.nId, 210);
    EXPECT_EQ(std::memcmp(Copy.m_Data.pData.get(), Bytes.data(), 50), 0);

    // Cut the payload short: nothing is read and the file position stays.
    ASSERT_EQ(ftruncate(fileno(fp), Source.GetSize() - 10), 0);
    std::fseek(fp, 256, SEEK_SET);
    TVEChunkWav Short;
    EXPECT_EQ(Short.LoadFromFile(fp), 0);
    EXPECT_EQ(std::ftell(fp), 256);
    EXPECT_EQ(Short.m_Data.nSize, 0);
    std::fclose(fp);
}

TEST(ChunkTest, SaveRefusesADestinationTooSmall)
{
    TVEChunkWav Wav;
    const uint8_t Bytes[] = {1, 2, 3, 4};
    Wav.SetPayload(Bytes, 4);
    std::vector<uint8_t> Buf(static_cast<size_t>(Wav.GetSize()));
    EXPECT_EQ(Wav.SaveToMemory(Buf.data(), Wav.GetSize() - 1), 0);
    EXPECT_EQ(Wav.SaveToMemory(Buf.data(), Wav.GetSize()), Wav.GetSize());
}
