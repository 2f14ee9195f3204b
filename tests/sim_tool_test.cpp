// drelk2-sim from the command line, on the data file the build generates: the first level as
// the generator lays it out, reproducible runs, pauses, and refusals.
#include "base/Digest.h"
#include "databank/AssetIds.h"
#include "tests/support/HungAudioServer.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestDataFile.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {
using json = nlohmann::json;

const std::string SIM = DRELK_SIM_TOOL;

// drelk2-sim on the build's data file, on SDL's silent driver unless strPrefix (environment
// settings, a wrapper) says otherwise.
TCommandResult Sim(const std::string& strArgs, const std::string& strPrefix = "")
{
    return RunCommand("SDL_AUDIODRIVER=dummy " + strPrefix + " " + ShellQuote(SIM) + " --data " +
                      ShellQuote(DRELK_TEST_DATA_FILE) + " " + strArgs);
}

std::vector<json> Lines(const std::string& strOut)
{
    std::vector<json> vecLines;
    std::istringstream In(strOut);
    std::string strLine;
    while (std::getline(In, strLine))
        vecLines.push_back(json::parse(strLine));
    return vecLines;
}

std::string WriteScript(const std::string& strText)
{
    const std::string strPath = MakeTempDir() + "/keys.txt";
    std::ofstream(strPath) << strText;
    return strPath;
}

// The game's generator, written out again from its definition.
class TReferenceGenerator
{
public:
    int Draw()
    {
        m_nState = m_nState * 22695477u + 1u;
        return static_cast<int>((m_nState >> 16) & 0x7fff);
    }
    void Skip(int n)
    {
        while (n-- > 0)
            Draw();
    }

private:
    uint32_t m_nState = 1;
};

float AsFloat(const json& Value)
{
    return static_cast<float>(Value.get<double>());
}
}  // namespace

TEST(SimToolTest, FirstLevelIsLaidOutByTheGeneratorInItsDrawOrder)
{
    TCommandResult Result = Sim("--ticks 0");
    ASSERT_EQ(Result.nExitCode, 0) << Result.strOut;
    const std::vector<json> vecLines = Lines(Result.strOut);
    ASSERT_EQ(vecLines.size(), 1u);
    const json& State = vecLines[0];
    EXPECT_EQ(State["tick"], 0);
    EXPECT_EQ(State["state"], 1);
    EXPECT_EQ(State["level"], 1);
    EXPECT_EQ(State["score"], 0);
    EXPECT_EQ(State["ships"], 3);
    EXPECT_EQ(State["ship"], json::parse(R"({"x":0,"y":0,"angle":0,"vx":0,"vy":0,"alive":true})"));
    EXPECT_TRUE(State["missiles"].empty());
    ASSERT_EQ(State["asteroids"].size(), 8u);

    // The ship's explosion takes 2 draws. Each rock then draws its place (y, x), its velocity
    // (y, x), its spin axis (3), its spin rate, its extents (3), its mesh (128) and its
    // explosion (2); a place that overlaps an earlier rock is drawn again, 2 draws a time.
    TReferenceGenerator Generator;
    Generator.Skip(2);
    int nRetries = 0;
    for (const json& Rock : State["asteroids"]) {
        EXPECT_EQ(Rock["type"], 2);
        EXPECT_EQ(Rock["alive"], true);
        const int r1 = Generator.Draw(), r2 = Generator.Draw(), r3 = Generator.Draw(), r4 = Generator.Draw();
        EXPECT_EQ(AsFloat(Rock["vx"]), static_cast<float>(0.25 - r4 * 0.5 / 32767.0));
        EXPECT_EQ(AsFloat(Rock["vy"]), static_cast<float>(0.25 - r3 * 0.5 / 32767.0));
        Generator.Skip(3 + 1 + 3 + 128 + 2);
        float x = static_cast<float>(30.0 - r2 * 60.0 / 32767.0);
        float y = static_cast<float>(20.0 - r1 * 40.0 / 32767.0);
        for (int nTry = 0; nTry < 100 && (x != AsFloat(Rock["x"]) || y != AsFloat(Rock["y"])); ++nTry, ++nRetries) {
            const int ra = Generator.Draw(), rb = Generator.Draw();
            x = static_cast<float>(30.0 - rb * 60.0 / 32767.0);
            y = static_cast<float>(20.0 - ra * 40.0 / 32767.0);
        }
        EXPECT_EQ(x, AsFloat(Rock["x"]));
        EXPECT_EQ(y, AsFloat(Rock["y"]));
    }
    EXPECT_LT(nRetries, 8);
}

TEST(SimToolTest, SameScriptSameLines)
{
    std::string strScript;
    for (int nTick = 1; nTick <= 400; nTick += 3)
        strScript += std::to_string(nTick) + (nTick % 2 ? " space left\n" : " space up\n");
    strScript += "150 m\n200 p\n260 p\n";
    const std::string strKeys = WriteScript(strScript);
    TCommandResult First = Sim("--ticks 600 --every 50 --keys " + ShellQuote(strKeys));
    TCommandResult Second = Sim("--ticks 600 --every 50 --keys " + ShellQuote(strKeys));
    ASSERT_EQ(First.nExitCode, 0) << First.strOut;
    EXPECT_EQ(First.strOut, Second.strOut);
    const std::vector<json> vecLines = Lines(First.strOut);
    ASSERT_EQ(vecLines.size(), 13u);
    EXPECT_EQ(vecLines.back()["tick"], 600);
    // The keys did something: shots flew and the ship turned.
    EXPECT_FALSE(vecLines[1]["missiles"].empty());
    EXPECT_NE(vecLines[1]["ship"]["angle"], 0);
}

TEST(SimToolTest, WhilePausedTicksPassWithoutAGameTick)
{
    const std::string strKeys = WriteScript("3 up\n10 p\n40 p\n");
    const std::vector<json> vecLines = Lines(Sim("--ticks 40 --every 10 --keys " + ShellQuote(strKeys)).strOut);
    ASSERT_EQ(vecLines.size(), 5u);
    EXPECT_EQ(vecLines[1]["state"], 2);
    // Ticks 10 to 39 pass paused: nothing moves.
    for (size_t i = 2; i <= 3; ++i) {
        json Paused = vecLines[i], Before = vecLines[1];
        Paused.erase("tick");
        Before.erase("tick");
        EXPECT_EQ(Paused, Before);
    }
    EXPECT_EQ(vecLines[4]["state"], 1);
    EXPECT_NE(vecLines[4]["ship"], vecLines[3]["ship"]);
}

TEST(SimToolTest, StartsAtTheLevelAsked)
{
    const std::vector<json> vecLines = Lines(Sim("--level 3").strOut);
    ASSERT_EQ(vecLines.size(), 1u);
    EXPECT_EQ(vecLines[0]["level"], 3);
    EXPECT_EQ(vecLines[0]["asteroids"].size(), 24u);
}

TEST(SimToolTest, RefusalsAreOneLineWithAnExitStatus)
{
    const std::string strDir = MakeTempDir();
    const std::string strBadScript = WriteScript("5 space\nsix left\n");
    const std::string strBadKey = WriteScript("5 jump\n");
    const std::string strLongLine = WriteScript("1 space\n2" + std::string(2000, ' ') + "left\n");
    const std::string strNul = WriteScript(std::string("1 up\n5 sp\0ace\n", 13));
    const std::string strFifo = strDir + "/keys.fifo";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    struct TCase
    {
        std::string strArgs;
        int nExit;
        std::string strMessage;
    };
    const TCase CASES[] = {
        {"--ticks", 2, "Missing value after '--ticks'"},
        {"--ticks -4", 2, "bad option '--ticks -4'"},
        {"--ticks=12x", 2, "bad option '--ticks 12x'"},
        {"--level 0", 2, "bad option '--level 0'"},
        {"--every x", 2, "bad option '--every x'"},
        {"--fast", 2, "Unknown option 'fast'"},
        // Refused on its own: the value after it is not taken for its argument.
        {"--fast --ticks 5", 2, "Unknown option 'fast'"},
        {"--ticks 5 7", 2, "unexpected argument '7'"},
        {"--keys /nonexistent/keys.txt", 2, "cannot read"},
        {"--keys " + strBadScript, 2, ":2: 'six' is not a tick number"},
        {"--keys " + strBadKey, 2, ":1: unknown key 'jump'"},
        // Whatever a script is, it is read as a bounded regular file or refused at once.
        {"--keys " + strDir, 2, strDir + ": not a regular file"},
        {"--keys " + strFifo, 2, strFifo + ": not a regular file"},
        {"--keys /dev/zero", 2, "/dev/zero: not a regular file"},
        {"--keys " + strLongLine, 2, ":2: line longer than 1024 bytes: '2    "},
        {"--keys " + strNul, 2, ":2: NUL byte in the line '5 sp\\0ace'"},
        {"--data /nonexistent/Drelk_II.bin", 1, "Errore: File di dati non trovato"},
        {"--data " + strBadKey, 1, "shorter than the 65536-byte header block"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.strArgs);
        // A later --data wins over the one Sim() puts first; a refusal never waits on its input.
        TCommandResult Result = Sim("--ticks 0 " + Case.strArgs, "timeout 20");
        EXPECT_EQ(Result.nExitCode, Case.nExit);
        EXPECT_NE(Result.strOut.find(Case.strMessage), std::string::npos) << Result.strOut;
        EXPECT_EQ(Result.strOut.find("{\"tick\""), std::string::npos);
        EXPECT_EQ(std::count(Result.strOut.begin(), Result.strOut.end(), '\n'), 1);
    }
}

// A replay written by one run is verified by another; a replay that departs is caught at the
// tick it departs; one that cannot be used is refused in one line, before the first tick.
TEST(SimToolTest, AReplayIsVerifiedOrRefusedWithOneLine)
{
    const std::string strDir = MakeTempDir();
    const std::string strGood = strDir + "/good.drelk2-replay";
    const std::string strKeys = WriteScript("1 left\n5 space\n60 p\n90 p m\n");
    ASSERT_EQ(Sim("--ticks 250 --keys " + ShellQuote(strKeys) + " --record " + ShellQuote(strGood)).nExitCode, 0);
    const TCommandResult Verified = Sim("--replay " + ShellQuote(strGood) + " --verify");
    ASSERT_EQ(Verified.nExitCode, 0) << Verified.strOut;
    EXPECT_EQ(Verified.strOut, "replay verified: 250 ticks, 3 digests the same, score 0 level 1\n");

    std::ifstream In(strGood, std::ios::binary);
    const std::string strBytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    ASSERT_GT(strBytes.size(), 130u);
    // The bytes with one changed and the checksum made good again.
    auto Changed = [&](size_t nAt, const std::string& strName) {
        std::string strOther = strBytes;
        strOther[nAt] = static_cast<char>(strOther[nAt] ^ 1);
        const uint64_t nSum = TDigest::Of(strOther.data(), strOther.size() - 8);
        for (int i = 0; i < 8; ++i)
            strOther[strOther.size() - 8 + static_cast<size_t>(i)] = static_cast<char>(nSum >> (8 * i));
        const std::string strPath = strDir + "/" + strName;
        std::ofstream(strPath, std::ios::binary) << strOther;
        return strPath;
    };
    const size_t nSecondDigest = strBytes.size() - 8 - 8;  // after tick 200
    const std::string strFifo = strDir + "/fifo";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    const std::string strCut = strDir + "/cut";
    std::ofstream(strCut, std::ios::binary) << strBytes.substr(0, strBytes.size() - 9);
    struct TCase
    {
        std::string strArgs;
        int nExit;
        std::string strMessage;
    };
    const TCase CASES[] = {
        {"--replay " + Changed(nSecondDigest, "digest") + " --verify", 3, "departs from the replay at tick 200"},
        // The header's own account of the ending must be the game's.
        {"--replay " + Changed(72, "score") + " --verify", 3, "its header says score 1, the game reached 0"},
        {"--replay " + Changed(80, "final") + " --verify", 3, "departs from the replay at tick 250"},
        {"--replay " + Changed(76, "level") + " --verify", 1, "its final level 0 cannot be reached"},
        {"--replay " + Changed(64, "start") + " --verify", 1, "its start level 0 is not one a game starts at"},
        {"--replay " + Changed(40, "data"), 1, "recorded with another data file (its ship box"},
        {"--replay " + Changed(12, "rules"), 1, "recorded under the rules of version"},
        {"--replay " + strCut, 1, "cut short"},
        {"--replay " + strFifo, 1, "not a regular file (a FIFO)"},
        {"--replay " + strDir, 1, "not a regular file (a directory)"},
        {"--replay /dev/zero", 1, "not a regular file (a character device)"},
        {"--replay " + strKeys, 1, "not a Drelk II replay"},
        {"--verify", 2, "--verify checks a replay: it needs --replay"},
        {"--replay " + strGood + " --ticks 5", 2, "goes without --keys, --ticks and --level"},
        {"--replay " + strGood + " --verify --record " + strDir + "/again", 2, "it goes without --record"},
        {"--ticks 5 --record " + strDir, 1, "not a regular file (a directory); not replaced"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.strArgs);
        TCommandResult Result = Sim(Case.strArgs, "timeout 20");
        EXPECT_EQ(Result.nExitCode, Case.nExit);
        EXPECT_NE(Result.strOut.find(Case.strMessage), std::string::npos) << Result.strOut;
        EXPECT_EQ(std::count(Result.strOut.begin(), Result.strOut.end(), '\n'), 1) << Result.strOut;
    }
}

// A terminal's Ctrl+C or a supervisor's SIGTERM ends even a long run at once.
TEST(SimToolTest, ASignalEndsALongRunAtOnce)
{
    const std::string strScript = WriteScript(ShellQuote(SIM) + " --data " + ShellQuote(DRELK_TEST_DATA_FILE) +
                                              " --level 50 --ticks 100000000 >/dev/null &\n"
                                              "pid=$!; sleep 1; kill -TERM $pid; wait $pid; echo status=$?\n");
    const TCommandResult Result = RunCommand("SDL_AUDIODRIVER=dummy timeout 60 sh " + ShellQuote(strScript));
    // Killed by the signal (128 + 15), not finishing its run.
    EXPECT_NE(Result.strOut.find("status=143\n"), std::string::npos) << Result.strOut;
}

TEST(SimToolTest, OptionsTakeTheirValueEitherWayAndAnswerHelpAndVersion)
{
    const std::string strKeys = WriteScript("1 up\n");
    TCommandResult Spaced = Sim("--ticks 20 --every 10 --level 2 --keys " + ShellQuote(strKeys));
    TCommandResult Joined = Sim("--ticks=20 --every=10 --level=2 --keys=" + ShellQuote(strKeys));
    ASSERT_EQ(Spaced.nExitCode, 0) << Spaced.strOut;
    EXPECT_EQ(Lines(Spaced.strOut).size(), 3u);
    EXPECT_EQ(Joined.strOut, Spaced.strOut);

    TCommandResult Help = Sim("--help");
    EXPECT_EQ(Help.nExitCode, 0);
    for (const char* szOption : {"--data <FILE>", "--ticks <N>", "--keys <SCRIPT>", "--level <L>", "--every <K>",
                                 "--bench", "--shot <PNG>", "--version"})
        EXPECT_NE(Help.strOut.find(szOption), std::string::npos) << szOption << "\n" << Help.strOut;
    TCommandResult Version = Sim("--version");
    EXPECT_EQ(Version.nExitCode, 0);
    EXPECT_EQ(Version.strOut.rfind("drelk2-sim ", 0), 0u) << Version.strOut;
}

// Without a display the picture cannot be made: said before the first tick of a run that would
// otherwise last for hours, in one line, without a JSON line or a picture file.
TEST(SimToolTest, ShotWithoutADisplayIsRefusedBeforeTheFirstTick)
{
    const std::string strPng = MakeTempDir() + "/shot.png";
    TCommandResult Result = Sim("--ticks 1000000000 --shot " + ShellQuote(strPng), "env -u DISPLAY timeout 20");
    EXPECT_EQ(Result.nExitCode, 1);
    EXPECT_EQ(Result.strOut, "drelk2-sim: --shot needs an X display, and DISPLAY is not set\n");
    EXPECT_NE(access(strPng.c_str(), F_OK), 0);
}

// A damaged sound in the data file: the run says which one and plays on as it would with it.
TEST(SimToolTest, AnUndecodableSoundIsNamedOnceAndTheGamePlaysTheSame)
{
    const std::string strDir = MakeTempDir();
    const std::string strGood = strDir + "/good.bin";
    const std::string strGarbled = strDir + "/garbled.bin";
    WriteTestDataFile(strGood, MakeTestLists());
    TTestLists vecLists = MakeTestLists();
    // The large rocks' sound: every rock of the first level loads it.
    GarbleItem(vecLists, ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_2);
    WriteTestDataFile(strGarbled, vecLists);
    const std::string strKeys = WriteScript("1 space\n2 left space\n30 space\n");

    const std::string strArgs = " --scene --ticks 60 --every 20 --keys " + ShellQuote(strKeys);
    TCommandResult Good = Sim("--data " + ShellQuote(strGood) + strArgs);
    TCommandResult Garbled = Sim("--data " + ShellQuote(strGarbled) + strArgs);
    ASSERT_EQ(Good.nExitCode, 0) << Good.strOut;
    EXPECT_EQ(Garbled.nExitCode, 0) << Garbled.strOut;
    const std::string strSaid = "drelk2-sim: " + strGarbled + ": sound 220 of list 200 does not decode; playing without it\n";
    ASSERT_EQ(Garbled.strOut.rfind(strSaid, 0), 0u) << Garbled.strOut;
    EXPECT_EQ(Garbled.strOut.substr(strSaid.size()), Good.strOut);
}

// A sound server that takes the connection and never answers holds nothing up: the run ends,
// well within the bound that marks a hang, with the lines of a silent run and one line about
// the device.
TEST(SimToolTest, AHungSoundServerDoesNotHoldTheRun)
{
    THungAudioServer Server;
    const std::string strArgs = "--scene --ticks 30 --every 10";
    TCommandResult Silent = Sim(strArgs);
    TCommandResult Hung = Sim(strArgs, "SDL_AUDIODRIVER=pulseaudio PULSE_SERVER=" + ShellQuote(Server.Address()) +
                                           " timeout 20");
    ASSERT_EQ(Silent.nExitCode, 0) << Silent.strOut;
    EXPECT_EQ(Hung.nExitCode, 0) << Hung.strOut;
    const std::string strSaid = "drelk2-sim: the audio device did not open within 1.5 s; playing without sound\n";
    ASSERT_EQ(Hung.strOut.rfind(strSaid, 0), 0u) << Hung.strOut;
    EXPECT_EQ(Hung.strOut.substr(strSaid.size()), Silent.strOut);
    EXPECT_GE(Server.Connections(), 1);
}

// The demo the build recorded from assets/demo.keys: this build plays it as it was recorded, and
// it is a demo worth watching, which a change of the rules may spoil without breaking it
// (tools/make-demo-keys.py then writes the keys anew).
TEST(DemoTest, TheShippedDemoVerifiesAndIsWorthWatching)
{
    const TCommandResult Verified = Sim("--replay " + ShellQuote(DRELK_DEMO_FILE) + " --verify");
    ASSERT_EQ(Verified.nExitCode, 0) << Verified.strOut;
    EXPECT_NE(Verified.strOut.find("replay verified: "), std::string::npos) << Verified.strOut;
    const TCommandResult Run = Sim("--replay " + ShellQuote(DRELK_DEMO_FILE) + " --every 100");
    ASSERT_EQ(Run.nExitCode, 0) << Run.strOut;
    const std::vector<json> vecLines = Lines(Run.strOut);
    ASSERT_GE(vecLines.size(), 2u);
    const json& Last = vecLines.back();
    // Long enough to watch, and still playing at its end.
    EXPECT_GE(Last["tick"].get<int>(), 4500);
    EXPECT_GE(Last["ships"].get<int>(), 1);
    // It clears rocks all the way through: the score rises in most of its seconds' stretches of
    // five, and a level is cleared.
    int nRising = 0, nStretches = 0;
    for (size_t i = 5; i < vecLines.size(); i += 5, ++nStretches)
        nRising += vecLines[i]["score"].get<int>() > vecLines[i - 5]["score"].get<int>();
    EXPECT_GE(nRising * 3, nStretches * 2) << nRising << " of " << nStretches;
    EXPECT_GE(Last["level"].get<int>(), 2);
    // The ship moves about the field and fires.
    float fMinX = 1e9f, fMaxX = -1e9f, fMinY = 1e9f, fMaxY = -1e9f;
    size_t nFiring = 0;
    for (const json& Line : vecLines) {
        fMinX = std::min(fMinX, Line["ship"]["x"].get<float>());
        fMaxX = std::max(fMaxX, Line["ship"]["x"].get<float>());
        fMinY = std::min(fMinY, Line["ship"]["y"].get<float>());
        fMaxY = std::max(fMaxY, Line["ship"]["y"].get<float>());
        const json& Missiles = Line["missiles"];
        nFiring += std::any_of(Missiles.begin(), Missiles.end(), [](const json& m) { return m["alive"].get<bool>(); });
    }
    EXPECT_GE(std::max(fMaxX - fMinX, fMaxY - fMinY), 10.0f);
    EXPECT_GE(nFiring * 2, vecLines.size()) << nFiring << " of " << vecLines.size() << " looks show a missile";
}
