// drelk2-bank from the command line: pack round trips, verify, and one-line refusals.
#include "databank/Serializer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestDataFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {
const std::string TOOL = DRELK_BANK_TOOL;

std::string Bank(const std::string& strArgs)
{
    return ShellQuote(TOOL) + " " + strArgs;
}

void WriteText(const std::string& strPath, const std::string& strText)
{
    std::ofstream(strPath, std::ios::binary) << strText;
}

void WriteBytes(const std::string& strPath, const std::vector<uint8_t>& Bytes)
{
    std::ofstream Out(strPath, std::ios::binary);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

std::string ReadText(const std::string& strPath)
{
    std::ifstream In(strPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

class BankToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strDir = MakeTempDir();
        WriteBytes(m_strDir + "/shot.wav", MakeToneWav(0.05, 880.0));
        WriteText(m_strDir + "/scene.iv", TEST_MODEL_SCENE);
        WriteBytes(m_strDir + "/pixels.rgb", std::vector<uint8_t>(2 * 3 * 3, 0x7f));
        WriteText(m_strDir + "/manifest.json", R"({"lists": [
          {"id": 200, "name": "SOUNDS", "items": [
            {"kind": "wav", "id": 235, "name": "SHOT", "file": "shot.wav"},
            {"kind": "camera", "id": 9, "name": "CAM", "pos": [1, 2.5, 50]}]},
          {"id": 500, "name": "MODELS", "type": 1, "items": [
            {"kind": "vrml", "id": 1, "name": "SHIP", "file": "scene.iv"},
            {"kind": "raw", "id": 2, "name": "VEIMAGE_000001", "file": "pixels.rgb",
             "width": 2, "height": 3, "components": 3}]}]})");
    }
    std::string m_strDir;
};
}  // namespace

TEST_F(BankToolTest, PackedFileRoundTrips)
{
    const std::string strData = m_strDir + "/data.bin";
    TCommandResult Pack = RunCommand(Bank("pack " + ShellQuote(m_strDir + "/manifest.json") + " -o " + ShellQuote(strData)));
    ASSERT_EQ(Pack.nExitCode, 0) << Pack.strOut;

    // The dump is the container's, then each list's own.
    TCommandResult Dump = RunCommand(Bank("dump " + ShellQuote(strData)));
    ASSERT_EQ(Dump.nExitCode, 0) << Dump.strOut;
    TVESerializer Serializer;
    ASSERT_TRUE(Serializer.Open(strData));
    std::string strExpected;
    Serializer.Dump(strExpected);
    for (int32_t nId : {200, 500})
        Serializer.LoadList(nId)->Dump(strExpected);
    EXPECT_EQ(Dump.strOut, strExpected + "\n");
    EXPECT_NE(Dump.strOut.find("Type: 16  [ camera ]"), std::string::npos);
    EXPECT_NE(Dump.strOut.find("Pos:  1.000,  2.500, 50.000"), std::string::npos);
    EXPECT_NE(Dump.strOut.find("Name: VEIMAGE_000001"), std::string::npos);

    TCommandResult One = RunCommand(Bank("dump " + ShellQuote(strData) + " 500"));
    EXPECT_EQ(One.strOut.find("Chunk List:\n    Name: 'SOUNDS'"), std::string::npos);
    EXPECT_NE(One.strOut.find("Name: 'MODELS'"), std::string::npos);

    for (const auto& Item : {std::make_pair(std::string("200 235"), std::string("shot.wav")),
                             std::make_pair(std::string("500 1"), std::string("scene.iv")),
                             std::make_pair(std::string("500 2"), std::string("pixels.rgb"))}) {
        const std::string strOut = m_strDir + "/out";
        TCommandResult Extract = RunCommand(Bank("extract " + ShellQuote(strData) + " " + Item.first + " -o " + ShellQuote(strOut)));
        ASSERT_EQ(Extract.nExitCode, 0) << Extract.strOut;
        EXPECT_EQ(ReadText(strOut), ReadText(m_strDir + "/" + Item.second)) << Item.first;
    }
}

TEST_F(BankToolTest, VerifyPassesACompleteFileAndListsEveryProblemOfAnother)
{
    const std::string strComplete = MakeTestDataFile(m_strDir);
    TCommandResult Good = RunCommand(Bank("verify " + ShellQuote(strComplete)));
    EXPECT_EQ(Good.nExitCode, 0) << Good.strOut;
    EXPECT_EQ(Good.strOut, "");

    // The small file holds sounds and a model, but none of the textures or pictures.
    const std::string strData = m_strDir + "/small.bin";
    ASSERT_EQ(RunCommand(Bank("pack " + ShellQuote(m_strDir + "/manifest.json") + " -o " + ShellQuote(strData))).nExitCode, 0);
    TCommandResult Bad = RunCommand(Bank("verify " + ShellQuote(strData)));
    EXPECT_EQ(Bad.nExitCode, 1);
    EXPECT_NE(Bad.strOut.find("list 200 item 210 (engine sound) is missing\n"), std::string::npos) << Bad.strOut;
    EXPECT_NE(Bad.strOut.find("list 350 item 370 (explosion frame) is missing\n"), std::string::npos);
    EXPECT_EQ(Bad.strOut.find("item 235"), std::string::npos);  // the shot is there and decodes

    // A sound that is not one.
    WriteText(m_strDir + "/shot.wav", "RIFF garbage");
    ASSERT_EQ(RunCommand(Bank("pack " + ShellQuote(m_strDir + "/manifest.json") + " -o " + ShellQuote(strData))).nExitCode, 0);
    TCommandResult Garbage = RunCommand(Bank("verify " + ShellQuote(strData)));
    EXPECT_NE(Garbage.strOut.find("list 200 item 235 (shot sound) does not decode as a sound"), std::string::npos)
        << Garbage.strOut;
}

// Every refusal is one line and a non-zero exit status.
TEST_F(BankToolTest, BadArgumentsAndBadFilesAreRefusedInOneLine)
{
    const std::string strNotData = m_strDir + "/manifest.json";
    struct TCase
    {
        std::string strArgs;
        int nExit;
        const char* szMessage;
    };
    const TCase CASES[] = {
        {"", 2, "no command"},
        {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"pack " + strNotData, 2, "pack needs MANIFEST -o FILE"},
        {"dump", 2, "dump needs FILE [LIST-ID]"},
        {"dump " + strNotData + " twelve", 2, "dump needs FILE [LIST-ID]"},
        {"extract " + strNotData + " 200 -o x", 2, "extract needs FILE LIST-ID ITEM-ID -o OUT"},
        {"verify", 2, "verify needs FILE"},
        {"sheet " + strNotData, 2, "sheet needs FILE -o PNG"},
        {"dump " + m_strDir + "/missing.bin", 1, "cannot open"},
        {"dump " + strNotData, 1, "shorter than the 65536-byte header block"},
        {"verify " + strNotData, 1, "shorter than the 65536-byte header block"},
        {"extract " + strNotData + " 200 235 -o " + m_strDir + "/x", 1, "shorter than the 65536-byte header block"},
        {"pack " + m_strDir + "/missing.json -o " + m_strDir + "/x", 1, "cannot read"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.strArgs);
        TCommandResult Result = RunCommand(Bank(Case.strArgs));
        EXPECT_EQ(Result.nExitCode, Case.nExit);
        EXPECT_NE(Result.strOut.find(Case.szMessage), std::string::npos) << Result.strOut;
        EXPECT_EQ(std::count(Result.strOut.begin(), Result.strOut.end(), '\n'), 1);
    }
}

TEST_F(BankToolTest, ManifestFaultsNameTheirPlace)
{
    struct TCase
    {
        const char* szManifest;
        const char* szMessage;
    };
    const TCase CASES[] = {
        {"{", "parse error"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "gif", "id": 1, "name": "X", "file": "shot.wav"}]}]})",
         "lists[0].items[0]: unknown kind \"gif\""},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "wav", "id": 1, "name": "X"}]}]})",
         "lists[0].items[0]: missing \"file\""},
        {R"({"lists": [{"id": "one", "name": "L", "items": []}]})", "lists[0]: \"id\" is not a 32-bit integer"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "raw", "id": 1, "name": "X", "file": "pixels.rgb",
            "width": 4, "height": 4, "components": 3}]}]})",
         "18 bytes for a 4 x 4 x 3 image"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "wav", "id": 1, "name": "X", "file": "nope.wav"}]}]})",
         "cannot read"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szManifest);
        WriteText(m_strDir + "/bad.json", Case.szManifest);
        TCommandResult Result = RunCommand(Bank("pack " + ShellQuote(m_strDir + "/bad.json") + " -o " + ShellQuote(m_strDir + "/x.bin")));
        EXPECT_EQ(Result.nExitCode, 1);
        EXPECT_NE(Result.strOut.find(Case.szMessage), std::string::npos) << Result.strOut;
    }
}
