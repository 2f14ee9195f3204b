// The container: reading lists by ID from a written file, and refusing malformed files.
#include "databank/Serializer.h"
#include "databank/SerializerWriter.h"
#include "tests/support/TestDataFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {
std::vector<uint8_t> ReadFile(const std::string& strPath)
{
    std::ifstream In(strPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

void WriteFile(const std::string& strPath, const std::vector<uint8_t>& Bytes)
{
    std::ofstream Out(strPath, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

void PutLE32(std::vector<uint8_t>& Bytes, size_t nAt, int32_t nValue)
{
    std::memcpy(Bytes.data() + nAt, &nValue, 4);
}

std::unique_ptr<TVEChunkList> SoundList(int32_t nId, const char* szName, int32_t nItems)
{
    auto pList = std::make_unique<TVEChunkList>();
    pList->SetId(nId);
    pList->SetName(szName);
    for (int32_t i = 0; i < nItems; ++i) {
        const std::vector<uint8_t> Wav = MakeToneWav(0.01, 440.0 + i);
        pList->AddChunk(VECHUNK_WAV, 10 + i, ("S" + std::to_string(i)).c_str(), Wav.data(),
                        static_cast<int32_t>(Wav.size()));
    }
    return pList;
}

std::string Dump(const TVEChunkList& List)
{
    std::string strText;
    List.Dump(strText);
    return strText;
}

class SerializerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strDir = MakeTempDir();
        m_strPath = m_strDir + "/data.bin";
        m_vecLists.push_back(SoundList(200, "SOUNDS", 3));
        m_vecLists.push_back(SoundList(100, "MUSICS", 2));
        m_vecLists.push_back(SoundList(200, "SHADOWED", 1));  // a second list with the same ID
        m_vecLists.push_back(SoundList(400, "LAST", 1));
        WriteTestDataFile(m_strPath, m_vecLists);
        m_File = ReadFile(m_strPath);
    }
    // The table entry fields of list i.
    static size_t EntryField(int i, size_t nField) { return 324 + 276 * static_cast<size_t>(i) + nField; }

    std::string m_strDir;
    std::string m_strPath;
    TTestLists m_vecLists;
    std::vector<uint8_t> m_File;
};
}  // namespace

TEST_F(SerializerTest, ListsReadBackAsWritten)
{
    EXPECT_EQ(std::memcmp(m_File.data(), TVESerializer::SIGNATURE, 57), 0);

    std::string strError;
    auto pSounds = TVESerializer::LoadChunkList(m_strPath, 200, &strError);
    ASSERT_TRUE(pSounds) << strError;
    EXPECT_EQ(Dump(*pSounds), Dump(*m_vecLists[0]));  // the first of two lists with ID 200
    const TVEChunk* pChunk = pSounds->FindChunk(VECHUNK_WAV, 11);
    const TVEChunk* pOriginal = m_vecLists[0]->FindChunk(VECHUNK_WAV, 11);
    ASSERT_TRUE(pChunk);
    ASSERT_EQ(pChunk->m_Data.nSize, pOriginal->m_Data.nSize);
    EXPECT_EQ(std::memcmp(pChunk->m_Data.pData.get(), pOriginal->m_Data.pData.get(),
                          static_cast<size_t>(pChunk->m_Data.nSize)),
              0);

    auto pMusics = TVESerializer::LoadChunkList(m_strPath, 100);
    ASSERT_TRUE(pMusics);
    EXPECT_EQ(pMusics->GetCount(), 2);
    EXPECT_FALSE(TVESerializer::LoadChunkList(m_strPath, 300, &strError));
    EXPECT_NE(strError.find("no list 300"), std::string::npos);

    // Two requests make two independent lists.
    auto pAgain = TVESerializer::LoadChunkList(m_strPath, 200);
    ASSERT_TRUE(pAgain);
    EXPECT_NE(pAgain->GetChunk(0), pSounds->GetChunk(0));
}

TEST_F(SerializerTest, DumpListsTheTable)
{
    TVESerializer Serializer;
    ASSERT_TRUE(Serializer.Open(m_strPath));
    std::string strText;
    Serializer.Dump(strText);
    EXPECT_EQ(strText.rfind("\n ** Serializer **\n  Items: 4", 0), 0u) << strText;
    EXPECT_NE(strText.find("Item: 1  Id: 100  Name: 'MUSICS'  Offset: "), std::string::npos) << strText;
}

// Every malformed file is refused whole, with a message naming the fault.
TEST_F(SerializerTest, MalformedFilesAreRefused)
{
    struct TCase
    {
        const char* szWhat;
        size_t nPatchAt;  // 0: none
        int32_t nPatch;
        size_t nLength;   // 0: whole file
        const char* szError;
    };
    const TCase CASES[] = {
        {"shorter than the header block", 0, 0, 65000, "shorter than the 65536-byte header block"},
        {"one character of the signature changed", 3, 0x4d4d4d4d, 0, "wrong signature"},
        {"characters before the signature's end", 56, 0x21212121, 0, "wrong signature"},
        {"negative list count", 320, -1, 0, "list count -1"},
        {"more lists than the header holds", 320, 237, 0, "list count 237"},
        // Faults in other lists' entries refuse the file too: the table is checked whole.
        {"a list of size zero", EntryField(1, 264), 0, 0, "size 0"},
        {"a negative list size", EntryField(1, 264), -100, 0, "size -100"},
        {"a list larger than the cap", EntryField(1, 264), 0x7fffffff, 0, "size 2147483647"},
        {"a negative offset", EntryField(3, 272), -1, 0, "offset -1"},
        {"an offset past the end", EntryField(3, 272), 0x7ffffff0, 0, "offset 2147483632"},
        // The first list's image follows the header block; break its first record's tag.
        {"a list image that does not parse", 65536 + 512, 0, 0, "no \"VECHUNK\" tag"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        std::vector<uint8_t> Bad = m_File;
        if (Case.nPatchAt)
            PutLE32(Bad, Case.nPatchAt, Case.nPatch);
        if (Case.nLength)
            Bad.resize(Case.nLength);
        const std::string strBad = m_strDir + "/bad.bin";
        WriteFile(strBad, Bad);
        std::string strError;
        EXPECT_FALSE(TVESerializer::LoadChunkList(strBad, 200, &strError));
        EXPECT_NE(strError.find(Case.szError), std::string::npos) << strError;
    }
}

// Only a regular file is read; anything else is refused at once. A FIFO without a writer
// would hold a blocking open for ever: the test would hang, not fail, if the reader blocked.
TEST_F(SerializerTest, OnlyRegularFilesAreOpened)
{
    const std::string strFifo = m_strDir + "/pipe";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    const std::string strLink = m_strDir + "/link";
    ASSERT_EQ(symlink(strFifo.c_str(), strLink.c_str()), 0);
    const struct
    {
        std::string strPath;
        const char* szError;
    } CASES[] = {
        {m_strDir + "/none.bin", "cannot open"},
        {m_strDir, "not a regular file (a directory)"},
        {strFifo, "not a regular file (a FIFO)"},
        {strLink, "not a regular file (a FIFO)"},
        {"/dev/zero", "not a regular file (a character device)"},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.strPath);
        std::string strError;
        EXPECT_FALSE(TVESerializer::LoadChunkList(Case.strPath, 200, &strError));
        EXPECT_NE(strError.find(Case.szError), std::string::npos) << strError;
    }
}

TEST_F(SerializerTest, NoListsMeansNoListForAnyId)
{
    std::vector<uint8_t> Empty = m_File;
    PutLE32(Empty, 320, 0);
    WriteFile(m_strPath, Empty);
    EXPECT_FALSE(TVESerializer::LoadChunkList(m_strPath, 200));
    EXPECT_FALSE(TVESerializer::LoadChunkList(m_strPath, 100));
}

TEST_F(SerializerTest, ListRunningPastTheEndOfTheFileReadsZerosInItsTail)
{
    // The last list ends with a sound; cut the file inside that sound's payload.
    std::vector<uint8_t> Cut = m_File;
    Cut.resize(Cut.size() - 10);
    WriteFile(m_strPath, Cut);
    std::string strError;
    auto pList = TVESerializer::LoadChunkList(m_strPath, 400, &strError);
    ASSERT_TRUE(pList) << strError;
    const TVEChunk* pSound = pList->GetChunk(0);
    ASSERT_TRUE(pSound);
    const TVEChunk* pOriginal = m_vecLists[3]->GetChunk(0);
    ASSERT_EQ(pSound->m_Data.nSize, pOriginal->m_Data.nSize);
    const size_t nKept = static_cast<size_t>(pSound->m_Data.nSize) - 10;
    EXPECT_EQ(std::memcmp(pSound->m_Data.pData.get(), pOriginal->m_Data.pData.get(), nKept), 0);
    for (size_t i = nKept; i < static_cast<size_t>(pSound->m_Data.nSize); ++i)
        EXPECT_EQ(pSound->m_Data.pData[i], 0);

    // Cut into the record's tag instead: the rest of it reads as zeros and the list is refused.
    int32_t nLastOffset;
    std::memcpy(&nLastOffset, m_File.data() + EntryField(3, 272), 4);
    Cut.resize(static_cast<size_t>(nLastOffset) + 512 + 3);
    WriteFile(m_strPath, Cut);
    EXPECT_FALSE(TVESerializer::LoadChunkList(m_strPath, 400, &strError));
    EXPECT_NE(strError.find("no \"VECHUNK\" tag"), std::string::npos) << strError;
}

TEST_F(SerializerTest, WriterRefusesMoreListsThanTheHeaderHolds)
{
    std::vector<const TVEChunkList*> vecTooMany(TVESerializer::MAXCHUNKS + 1, m_vecLists[0].get());
    std::string strError;
    EXPECT_FALSE(TVESerializerWriter::Write(m_strDir + "/many.bin", vecTooMany, &strError));
    EXPECT_NE(strError.find("Header.nItems <= MAXCHUNKS"), std::string::npos);
    std::FILE* fp = std::fopen((m_strDir + "/many.bin").c_str(), "rb");
    EXPECT_EQ(fp, nullptr);
    if (fp)
        std::fclose(fp);
}
