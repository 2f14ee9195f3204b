// drelk2-sim from the command line, on the data file the build generates: the first level as
// the generator lays it out, reproducible runs, pauses, and refusals.
#include "tests/support/RunCommand.h"
#include "tests/support/TestDataFile.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {
using json = nlohmann::json;

const std::string SIM = DRELK_SIM_TOOL;

TCommandResult Sim(const std::string& strArgs)
{
    return RunCommand("SDL_AUDIODRIVER=dummy " + ShellQuote(SIM) + " --data " + ShellQuote(DRELK_TEST_DATA_FILE) + " " +
                      strArgs);
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
    const std::string strBadScript = WriteScript("5 space\nsix left\n");
    const std::string strBadKey = WriteScript("5 jump\n");
    struct TCase
    {
        std::string strArgs;
        int nExit;
        const char* szMessage;
    };
    const TCase CASES[] = {
        {"--ticks", 2, "--ticks needs a value"},
        {"--ticks -4", 2, "bad option '--ticks -4'"},
        {"--level 0", 2, "bad option '--level 0'"},
        {"--every x", 2, "bad option '--every x'"},
        {"--fast", 2, "unknown option '--fast'"},
        {"--keys /nonexistent/keys.txt", 2, "cannot read"},
        {"--keys " + strBadScript, 2, ":2: 'six' is not a tick number"},
        {"--keys " + strBadKey, 2, ":1: unknown key 'jump'"},
        {"--data /nonexistent/Drelk_II.bin", 1, "Errore: File di dati non trovato"},
        {"--data " + strBadKey, 1, "shorter than the 65536-byte header block"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.strArgs);
        // A later --data wins over the one Sim() puts first.
        TCommandResult Result = Sim(Case.strArgs);
        EXPECT_EQ(Result.nExitCode, Case.nExit);
        EXPECT_NE(Result.strOut.find(Case.szMessage), std::string::npos) << Result.strOut;
        EXPECT_EQ(Result.strOut.find("{\"tick\""), std::string::npos);
        EXPECT_EQ(std::count(Result.strOut.begin(), Result.strOut.end(), '\n'), 1);
    }
}
