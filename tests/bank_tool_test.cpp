// drelk2-bank from the command line: pack round trips, verify, and one-line refusals of
// whatever it cannot use: special files, cut-short data files, unsafe outputs, bad manifests.
#include "databank/DataBanker.h"
#include "databank/Serializer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestDataFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <functional>
#include <iterator>

namespace {
const std::string TOOL = DRELK_BANK_TOOL;

// A tool that blocked (on a FIFO, say) is stopped and fails the test with status 124.
std::string Bank(const std::string& strArgs)
{
    return "timeout 20 " + ShellQuote(TOOL) + " " + strArgs;
}

int CountLines(const std::string& strText)
{
    return static_cast<int>(std::count(strText.begin(), strText.end(), '\n'));
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
    EXPECT_NE(Bad.strOut.find("list 350 is missing\n"), std::string::npos);
    EXPECT_EQ(Bad.strOut.find("item 235"), std::string::npos);  // the shot is there and decodes

    // A sound that is not one, behind the header that lets pack take it for one.
    WriteText(m_strDir + "/shot.wav", std::string("RIFF\x13\0\0\0WAVEgarbage", 19));
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
        {"pack " + m_strDir + "/missing.json -o " + m_strDir + "/x", 1, "cannot open"},
        // Options: unknown ones refused on their own, values required, -o only where a file is written.
        {"--frobnicate dump " + strNotData, 2, "Unknown option 'frobnicate'"},
        {"dump --frobnicate " + strNotData, 2, "Unknown option 'frobnicate'"},
        {"pack " + strNotData + " -o", 2, "Missing value after '-o'"},
        {"pack " + strNotData + " --output", 2, "Missing value after '--output'"},
        {"pack " + strNotData + " -o a -o b", 2, "-o given more than once"},
        {"pack " + strNotData + " --output=", 2, "-o needs a file name"},
        {"dump " + strNotData + " -o " + m_strDir + "/x", 2, "dump needs FILE [LIST-ID]"},
        {"verify " + strNotData + " -o " + m_strDir + "/x", 2, "verify needs FILE"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.strArgs);
        TCommandResult Result = RunCommand(Bank(Case.strArgs));
        EXPECT_EQ(Result.nExitCode, Case.nExit);
        EXPECT_NE(Result.strOut.find(Case.szMessage), std::string::npos) << Result.strOut;
        EXPECT_EQ(CountLines(Result.strOut), 1);
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
        {R"({"lists": [{"id": 2147483648, "name": "L", "items": []}]})", "lists[0]: \"id\" is not a 32-bit integer"},
        {R"({"lists": [{"id": 18446744073709551615, "name": "L", "items": []}]})",
         "lists[0]: \"id\" is not a 32-bit integer"},
        {R"({"lists": [{"id": -2147483649, "name": "L", "items": []}]})", "lists[0]: \"id\" is not a 32-bit integer"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "raw", "id": 1, "name": "X", "file": "pixels.rgb",
            "width": 4, "height": 4, "components": 3}]}]})",
         "lists[0].items[0]: raw image of 18 bytes, not 4 x 4 x 3 = 48"},
        // Sizes that overflow when multiplied out.
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "raw", "id": 1, "name": "X", "file": "pixels.rgb",
            "width": 2147483647, "height": 2147483647, "components": 4}]}]})",
         "2147483647 x 2147483647 x 4 is not an image shape"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "raw", "id": 1, "name": "X", "file": "pixels.rgb",
            "width": 2147483647, "height": 2147483647, "components": 2147483647}]}]})",
         "2147483647 x 2147483647 x 2147483647 is not an image shape"},
        // What the reader cannot use: a second list or item of the same ID would never be read.
        {R"({"lists": [{"id": 7, "name": "A", "items": []}, {"id": 8, "name": "B", "items": []},
                       {"id": 7, "name": "C", "items": []}]})",
         "lists[2]: list 7 repeats lists[0]"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [
            {"kind": "wav", "id": 235, "name": "A", "file": "shot.wav"},
            {"kind": "bmp", "id": 235, "name": "B", "file": "pixels.rgb"},
            {"kind": "wav", "id": 235, "name": "C", "file": "shot.wav"}]}]})",
         "lists[0].items[2]: item 235 of kind 8 repeats lists[0].items[0]"},
        // Files declared as what they are not.
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "wav", "id": 1, "name": "X", "file": "scene.iv"}]}]})",
         "lists[0].items[0]: declared \"wav\" but the file is not a WAV or Ogg Vorbis sound"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "vrml", "id": 1, "name": "X", "file": "shot.wav"}]}]})",
         "lists[0].items[0]: declared \"vrml\" but the file has no Inventor or VRML header"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": ["wav"], "id": 1, "name": "X", "file": "shot.wav"}]}]})",
         "lists[0].items[0]: unknown kind array"},
        {R"({"lists": [{"id": 1, "name": "L", "items": [{"kind": "wav", "id": 1, "name": "X", "file": "nope.wav"}]}]})",
         "cannot open"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szManifest);
        WriteText(m_strDir + "/bad.json", Case.szManifest);
        TCommandResult Result = RunCommand(Bank("pack " + ShellQuote(m_strDir + "/bad.json") + " -o " + ShellQuote(m_strDir + "/x.bin")));
        EXPECT_EQ(Result.nExitCode, 1);
        EXPECT_NE(Result.strOut.find(Case.szMessage), std::string::npos) << Result.strOut;
        EXPECT_EQ(CountLines(Result.strOut), 1) << Result.strOut;
        EXPECT_NE(access((m_strDir + "/x.bin").c_str(), F_OK), 0) << "a refused pack wrote its output";
    }
}

namespace {
// A regular file of that many bytes that takes no room on disk.
void MakeSparseFile(const std::string& strPath, off_t nSize)
{
    std::ofstream{strPath};
    ASSERT_EQ(truncate(strPath.c_str(), nSize), 0);
}

// The file type, without following a link: S_IFIFO, S_IFLNK, S_IFREG...
unsigned FileType(const std::string& strPath)
{
    struct stat St;
    return lstat(strPath.c_str(), &St) == 0 ? (St.st_mode & S_IFMT) : 0;
}

// Files the tool left behind in a folder: temporary files of an output.
int CountPartFiles(const std::string& strDir)
{
    return RunCommand("ls -A " + ShellQuote(strDir) + " | grep -c 'drelk2-temp'").strOut == "0\n" ? 0 : 1;
}
}  // namespace

TEST_F(BankToolTest, HelpVersionAndLongOptions)
{
    TCommandResult Help = RunCommand(Bank("--help"));
    EXPECT_EQ(Help.nExitCode, 0);
    for (const char* szCommand : {"pack MANIFEST -o FILE", "dump FILE [LIST-ID]", "verify FILE",
                                  "extract FILE LIST-ID ITEM-ID -o OUT", "sheet FILE -o PNG", "--output <file>"})
        EXPECT_NE(Help.strOut.find(szCommand), std::string::npos) << Help.strOut;

    TCommandResult Version = RunCommand(Bank("--version"));
    EXPECT_EQ(Version.nExitCode, 0);
    EXPECT_EQ(Version.strOut, std::string("drelk2-bank ") + DRELK_VERSION + "\n");

    // --output=FILE is -o FILE; a negative list ID follows "--".
    const std::string strData = m_strDir + "/data.bin";
    TCommandResult Pack = RunCommand(Bank("pack --output=" + ShellQuote(strData) + " " + ShellQuote(m_strDir + "/manifest.json")));
    ASSERT_EQ(Pack.nExitCode, 0) << Pack.strOut;
    TCommandResult Negative = RunCommand(Bank("dump " + ShellQuote(strData) + " -- -5"));
    EXPECT_EQ(Negative.nExitCode, 1);
    EXPECT_NE(Negative.strOut.find("no list -5"), std::string::npos) << Negative.strOut;
}

// Inputs that are not regular files are refused at once, in one line: a FIFO is never read
// (the tool would wait for a writer for ever), /dev/zero never read to its end.
TEST_F(BankToolTest, InputsThatAreNotRegularFilesAreRefused)
{
    const std::string strFifo = m_strDir + "/pipe";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink(strFifo.c_str(), (m_strDir + "/link-to-pipe").c_str()), 0);
    ASSERT_EQ(mkdir((m_strDir + "/folder").c_str(), 0700), 0);
    const struct
    {
        std::string strInput;
        const char* szType;
    } INPUTS[] = {
        {m_strDir + "/folder", "(a directory)"},
        {strFifo, "(a FIFO)"},
        {m_strDir + "/link-to-pipe", "(a FIFO)"},
        {"/dev/zero", "(a character device)"},
    };
    for (const auto& Input : INPUTS) {
        const std::string strIn = ShellQuote(Input.strInput);
        const std::string strOut = ShellQuote(m_strDir + "/out");
        for (const std::string& strArgs : {"dump " + strIn, "dump " + strIn + " 200", "verify " + strIn,
                                           "extract " + strIn + " 200 235 -o " + strOut, "sheet " + strIn + " -o " + strOut,
                                           "pack " + strIn + " -o " + strOut}) {
            SCOPED_TRACE(strArgs);
            TCommandResult Result = RunCommand(Bank(strArgs));
            EXPECT_EQ(Result.nExitCode, 1);
            EXPECT_NE(Result.strOut.find(Input.strInput + ": not a regular file " + Input.szType), std::string::npos)
                << Result.strOut;
            EXPECT_EQ(CountLines(Result.strOut), 1) << Result.strOut;
        }
    }
    EXPECT_EQ(FileType(m_strDir + "/out"), 0u);
}

// A data file that lost its tail: verify and dump name the list and the bytes missing and fail;
// extract will not hand out an item padded with zeros. The game itself still reads such a
// list, its missing tail as zeros.
TEST_F(BankToolTest, CutShortDataFilesAreReported)
{
    const std::string strComplete = MakeTestDataFile(m_strDir);
    TVESerializer Reader;
    ASSERT_TRUE(Reader.Open(strComplete));
    const TVESerializerEntry Last = Reader.GetEntries().back();  // the model list, at the end
    ASSERT_EQ(Last.nId, ID_PLAYLIST_MODELS);
    const uint64_t nFileSize = Reader.GetFileSize();
    Reader.Close();

    for (uint64_t nCut : {uint64_t{1}, uint64_t{1000}, static_cast<uint64_t>(Last.nSize) - 100}) {
        SCOPED_TRACE(std::to_string(nCut) + " bytes cut");
        const std::string strCut = m_strDir + "/cut.bin";
        ASSERT_EQ(RunCommand("head -c " + std::to_string(nFileSize - nCut) + " " + ShellQuote(strComplete) + " > " +
                             ShellQuote(strCut)).nExitCode, 0);
        const std::string strLine = strCut + ": list 500 is cut short: " + std::to_string(nCut) + " of its " +
                                    std::to_string(Last.nSize) + " bytes (from offset " + std::to_string(Last.nOffset) +
                                    ") lie past the end of the file at " + std::to_string(nFileSize - nCut) + "\n";

        TCommandResult Verify = RunCommand(Bank("verify " + ShellQuote(strCut)));
        EXPECT_EQ(Verify.nExitCode, 1);
        EXPECT_NE(Verify.strOut.find(strLine), std::string::npos) << Verify.strOut;

        TCommandResult Dump = RunCommand(Bank("dump " + ShellQuote(strCut)));
        EXPECT_EQ(Dump.nExitCode, 1);
        EXPECT_NE(Dump.strOut.find("Size: " + std::to_string(Last.nSize) + "  (" + std::to_string(nCut) +
                                   " bytes missing: the file ends first)"),
                  std::string::npos)
            << Dump.strOut;
        EXPECT_NE(Dump.strOut.find(strLine), std::string::npos);
        // A whole list of the same file dumps without complaint.
        EXPECT_EQ(RunCommand(Bank("dump " + ShellQuote(strCut) + " 200")).nExitCode, 0);

        TCommandResult Extract = RunCommand(Bank("extract " + ShellQuote(strCut) + " 500 2 -o " + ShellQuote(m_strDir + "/hull")));
        EXPECT_EQ(Extract.nExitCode, 1);
        EXPECT_NE(Extract.strOut.find(strLine), std::string::npos) << Extract.strOut;
        EXPECT_EQ(FileType(m_strDir + "/hull"), 0u);
    }
    // One byte short cuts into the hull's pixels only: the game plays on with a zero there.
    ASSERT_EQ(RunCommand("head -c -1 " + ShellQuote(strComplete) + " > " + ShellQuote(m_strDir + "/cut.bin")).nExitCode, 0);
    EXPECT_NO_THROW(TDataBanker Bank(m_strDir + "/cut.bin"));
}

// Items are regular files below the manifest's folder, no larger than a list can hold.
TEST_F(BankToolTest, PackRefusesItemFilesItCannotUse)
{
    const std::string strSub = m_strDir + "/sub";
    ASSERT_EQ(mkdir(strSub.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((strSub + "/folder").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((strSub + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (strSub + "/zero").c_str()), 0);
    MakeSparseFile(strSub + "/huge.wav", 65 * 1024 * 1024);
    WriteBytes(strSub + "/shot.wav", MakeToneWav(0.05, 880.0));
    const struct
    {
        const char* szFile;
        const char* szError;
    } CASES[] = {
        {"folder", "sub/folder: not a regular file (a directory)"},
        {"pipe", "sub/pipe: not a regular file (a FIFO)"},
        {"zero", "sub/zero: not a regular file (a character device)"},
        {"/dev/zero", "\"/dev/zero\" is not a path below the manifest's folder"},
        {"../shot.wav", "\"../shot.wav\" is not a path below the manifest's folder"},
        {"folder/../../shot.wav", "is not a path below the manifest's folder"},
        {"", "\"\" is not a path below the manifest's folder"},
        // A name with a line break is shown on the one line.
        {"new\\nline.wav", "sub/new\\x0aline.wav: cannot open"},
        {"huge.wav", "sub/huge.wav: 68157440 bytes, more than the"},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szFile);
        WriteText(strSub + "/manifest.json", std::string(R"({"lists": [{"id": 200, "name": "S", "items": [
            {"kind": "wav", "id": 235, "name": "SHOT", "file": "shot.wav"},
            {"kind": "wav", "id": 210, "name": "X", "file": ")") + Case.szFile + R"("}]}]})");
        TCommandResult Result = RunCommand(Bank("pack " + ShellQuote(strSub + "/manifest.json") + " -o " + ShellQuote(strSub + "/x.bin")));
        EXPECT_EQ(Result.nExitCode, 1);
        EXPECT_NE(Result.strOut.find("lists[0].items[1]: "), std::string::npos) << Result.strOut;
        EXPECT_NE(Result.strOut.find(Case.szError), std::string::npos) << Result.strOut;
        EXPECT_EQ(CountLines(Result.strOut), 1) << Result.strOut;
        EXPECT_EQ(FileType(strSub + "/x.bin"), 0u);
    }
    // A manifest larger than any real one is not read either.
    MakeSparseFile(strSub + "/huge.json", 17 * 1024 * 1024);
    TCommandResult Huge = RunCommand(Bank("pack " + ShellQuote(strSub + "/huge.json") + " -o " + ShellQuote(strSub + "/x.bin")));
    EXPECT_EQ(Huge.nExitCode, 1);
    EXPECT_NE(Huge.strOut.find("huge.json: 17825792 bytes, more than the"), std::string::npos) << Huge.strOut;
}

// An output that exists must be a writable regular file; anything else is left as it was, and
// no temporary file is left beside it. A regular file is replaced whole, keeping its mode.
TEST_F(BankToolTest, OutputsThatAreNotWritableRegularFilesAreLeftAlone)
{
    const std::string strData = MakeTestDataFile(m_strDir);
    const std::string strOutDir = m_strDir + "/out";
    ASSERT_EQ(mkdir(strOutDir.c_str(), 0700), 0);
    const std::string strTarget = strOutDir + "/target";
    struct TCase
    {
        const char* szWhat;
        std::function<bool(const std::string&)> Make;  // false: cannot be made here (not root)
        const char* szError;
        unsigned nType;
    };
    std::vector<TCase> vecCases = {
        {"a FIFO", [](const std::string& p) { return mkfifo(p.c_str(), 0600) == 0; }, "(a FIFO); not replaced", S_IFIFO},
        {"a symbolic link", [&](const std::string& p) { return symlink(strTarget.c_str(), p.c_str()) == 0; },
         "(a symbolic link); not replaced", S_IFLNK},
        {"a directory", [](const std::string& p) { return mkdir(p.c_str(), 0700) == 0; }, "(a directory); not replaced",
         S_IFDIR},
        {"a read-only file",
         [](const std::string& p) {
             std::ofstream(p) << "keep";
             return chmod(p.c_str(), 0444) == 0;
         },
         "is read-only; not replaced", S_IFREG},
    };
    // A device node like /dev/null, which only root can make (and which a rename would replace).
    if (geteuid() == 0)
        vecCases.push_back({"a device",
                            [](const std::string& p) { return mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; },
                            "(a character device); not replaced", S_IFCHR});
    const std::string strOut = strOutDir + "/out.bin";
    for (const TCase& Case : vecCases) {
        for (const std::string& strCommand : {"pack " + ShellQuote(m_strDir + "/manifest.json"),
                                              "extract " + ShellQuote(strData) + " 200 235", "sheet " + ShellQuote(strData)}) {
            SCOPED_TRACE(std::string(Case.szWhat) + ": " + strCommand);
            std::ofstream(strTarget) << "keep";
            ASSERT_TRUE(Case.Make(strOut));
            TCommandResult Result = RunCommand(Bank(strCommand + " -o " + ShellQuote(strOut)));
            EXPECT_EQ(Result.nExitCode, 1);
            EXPECT_NE(Result.strOut.find(strOut + ": "), std::string::npos) << Result.strOut;
            EXPECT_NE(Result.strOut.find(Case.szError), std::string::npos) << Result.strOut;
            EXPECT_EQ(CountLines(Result.strOut), 1);
            EXPECT_EQ(FileType(strOut), Case.nType);
            EXPECT_EQ(ReadText(strTarget), "keep");
            if (Case.nType == S_IFREG) {
                EXPECT_EQ(ReadText(strOut), "keep");
            }
            EXPECT_EQ(CountPartFiles(strOutDir), 0);
            RunCommand("rm -rf " + ShellQuote(strOut));
        }
    }

    // A writable regular file is replaced, and keeps its mode.
    std::ofstream(strOut) << "old";
    ASSERT_EQ(chmod(strOut.c_str(), 0640), 0);
    ASSERT_EQ(RunCommand(Bank("extract " + ShellQuote(strData) + " 200 235 -o " + ShellQuote(strOut))).nExitCode, 0);
    EXPECT_EQ(ReadText(strOut).substr(0, 4), "RIFF");
    struct stat St;
    ASSERT_EQ(stat(strOut.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, 0640u);
    EXPECT_EQ(CountPartFiles(strOutDir), 0);
}

// The asset bank and verify apply one check: whatever stops the game, verify reports in the
// same words. Verify also reports what the game tolerates (no music).
TEST_F(BankToolTest, VerifyReportsWhatTheBankRefusesInTheSameWords)
{
    const auto Find = [](TTestLists& v, int32_t nList, int32_t nKind, int32_t nItem) -> TVEChunk& {
        for (auto& pList : v)
            if (pList->GetHeader().nId == nList)
                if (TVEChunk* pChunk = pList->FindChunk(nKind, nItem))
                    return *pChunk;
        throw std::runtime_error("no such item");
    };
    const auto Erase = [](TTestLists& v, int32_t nList) {
        v.erase(std::remove_if(v.begin(), v.end(), [nList](const auto& p) { return p->GetHeader().nId == nList; }),
                v.end());
    };
    const std::vector<uint8_t> Small(768, 1);
    const std::string strFifoScene = "#Inventor V2.1 ascii\nSeparator { File { name \"" + m_strDir + "/fifo\" } }\n";
    ASSERT_EQ(mkfifo((m_strDir + "/fifo").c_str(), 0600), 0);
    struct TCase
    {
        const char* szWhat;
        std::function<void(TTestLists&)> Change;
        const char* szProblem;
        bool bStopsGame;  // false: the game plays without the item
    };
    const TCase CASES[] = {
        {"shot sound missing", [&](TTestLists& v) { Find(v, 200, VECHUNK_WAV, ID_SOUND_LASER).m_Data.nId = 999; },
         "list 200 item 235 (shot sound) is missing", true},
        {"rock texture too small",
         [&](TTestLists& v) { Find(v, 300, VECHUNK_BMP, ID_BMP_ROCK).SetPayload(Small.data(), 768); },
         "list 300 item 325 (rock texture) holds 768 bytes, not 256 x 256 x 3 = 196608", true},
        {"background too small",
         [&](TTestLists& v) { Find(v, 300, VECHUNK_BMP, ID_BMP_BACKGROUND).SetPayload(Small.data(), 768); },
         "list 300 item 310 (background texture) holds 768 bytes, not 1024 x 1024 x 3 = 3145728", false},
        {"no explosion frames", [&](TTestLists& v) { Erase(v, ID_PLAYLIST_XPLOSIONS); }, "list 350 is missing", true},
        {"model list of type 0", [&](TTestLists& v) { v.back()->SetType(0); }, "list 500 is not a model list", true},
        {"hull of 2^31-1 x 2^31-1 x 4 pixels",
         [&](TTestLists& v) {
             auto& Hull = static_cast<TVEChunkImageRawRgba&>(Find(v, 500, VECHUNK_IMAGE_RAW_RGBA, 2));
             Hull.nWidth = Hull.nHeight = INT32_MAX;
             Hull.nComponents = 4;
         },
         "raw image 'VEIMAGE_000001' (list 500): 2147483647 x 2147483647 x 4 is not an image shape (sides 1 to 32767, "
         "1 to 4 components)",
         true},
        // A FIFO would hold the read for ever: the model is refused before anything is opened.
        {"model naming a FIFO",
         [&](TTestLists& v) {
             Find(v, 500, VECHUNK_VRML_SHAPE, 1)
                 .SetPayload(reinterpret_cast<const uint8_t*>(strFifoScene.data()),
                             static_cast<int32_t>(strFifoScene.size()));
         },
         "scene 'SHIP' (list 500) holds a File node, which a model may not hold", true},
        {"damaged ending picture", [&](TTestLists& v) { GarbleItem(v, ID_PLAYLIST_ENDING, ID_BMP_ENDING_FORE); },
         "list 400 item 420 (ending foreground picture) is not a picture that decodes: not a picture file", true},
        {"no music", [&](TTestLists& v) { Erase(v, ID_PLAYLIST_MUSICS); }, "list 100 is missing", false},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        TTestLists vecLists = MakeTestLists();
        Case.Change(vecLists);
        const std::string strPath = m_strDir + "/case.bin";
        WriteTestDataFile(strPath, vecLists);
        TCommandResult Verify = RunCommand(Bank("verify " + ShellQuote(strPath)));
        EXPECT_EQ(Verify.nExitCode, 1);
        EXPECT_EQ(Verify.strOut, std::string(Case.szProblem) + "\n");
        if (!Case.bStopsGame) {
            EXPECT_NO_THROW(TDataBanker Bank(strPath));
            continue;
        }
        try {
            TDataBanker Bank(strPath);
            ADD_FAILURE() << "the bank accepted it";
        } catch (const TDataError& Error) {
            EXPECT_EQ(std::string(Error.what()), strPath + ": " + Case.szProblem);
        }
    }
}
