// The driver records every game as its commands by tick, and plays a record back as the same
// game, tick for tick: the digests it took while playing are found again, and a record that
// does not fit this game is refused or caught at the tick it departs.
#include "tests/support/GameFixture.h"

#include "objects/Asteroids.h"
#include "objects/Ships.h"

#include "core/GameScene.h"
#include "databank/DataBanker.h"
#include "tests/support/TestDataFile.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <memory>
#include <map>
#include <vector>

namespace {
// A few seconds of play in short: the ship turns round to the rock coming up at it from below
// and fires at it, switches the music off and on, pauses for 40 steps (the effects run on),
// pauses and resumes between two steps as the window does, thrusts (the flame draws from the
// generator between ticks) and pauses before it leaves.
std::map<uint32_t, std::vector<TCommand>> MakeScript()
{
    std::map<uint32_t, std::vector<TCommand>> Script;
    for (uint32_t nTick = 1; nTick <= 9; ++nTick)
        Script[nTick].push_back(CMD_TURN_LEFT);
    for (uint32_t nTick = 12; nTick <= 24; nTick += 3)
        Script[nTick].push_back(CMD_FIRE);
    Script[41] = {CMD_MUSIC};
    Script[120] = {CMD_PAUSE};
    Script[160] = {CMD_PAUSE, CMD_FIRE};
    Script[230] = {CMD_TURN_RIGHT, CMD_FIRE};
    Script[231] = {CMD_PAUSE, CMD_PAUSE};
    Script[300] = {CMD_MUSIC};
    Script[420] = {CMD_THRUST};
    Script[421] = {CMD_THRUST, CMD_FIRE};
    Script[422] = {CMD_THRUST};
    Script[552] = {CMD_PAUSE};
    return Script;
}
const std::map<uint32_t, std::vector<TCommand>> SCRIPT = MakeScript();
constexpr uint32_t SCRIPT_TICKS = 551;

class DriverTest : public GameFixture
{
protected:
    // The script played through the driver, as the simulator plays a key script; the record.
    TReplay PlayScript()
    {
        NewGame(1);
        for (uint32_t nTick = 1; nTick <= SCRIPT_TICKS + 1; ++nTick) {
            const auto it = SCRIPT.find(nTick);
            if (it != SCRIPT.end())
                for (TCommand nCommand : it->second)
                    Command(nCommand);
            if (nTick <= SCRIPT_TICKS)
                Tick();
        }
        s_pDriver->Leave();
        return s_pDriver->GetRecord();
    }
    // Plays a replay to its end; the driver's verdict is then there to read.
    void PlayBack(const TReplay& Replay)
    {
        std::string strError;
        ASSERT_TRUE(s_pDriver->StartReplay(Replay, strError)) << strError;
        m_pGame = s_pDriver->GetGame();
        for (uint32_t n = 0; n <= Replay.nTicks && !s_pDriver->IsReplayOver(); ++n)
            s_pDriver->Step();
        ASSERT_TRUE(s_pDriver->IsReplayOver());
    }
};
}  // namespace

TEST_F(DriverTest, CommandsAreRecordedWithTheTickTheyComeBefore)
{
    Command(CMD_TURN_LEFT);
    Tick(3);
    Command(CMD_FIRE);
    Command(CMD_PAUSE);
    Tick(2);  // paused steps: the clock moves, the game does not
    Command(CMD_PAUSE);
    const uint64_t nDigest = m_pGame->Digest();
    s_pDriver->Leave();
    Command(CMD_FIRE);  // after leaving: not the game's any more
    const TReplay Record = s_pDriver->GetRecord();
    const std::vector<TReplayCommand> vecExpected = {
        {1, CMD_TURN_LEFT}, {4, CMD_FIRE}, {4, CMD_PAUSE}, {6, CMD_PAUSE}};
    EXPECT_EQ(Record.vecCommands, vecExpected);
    EXPECT_EQ(Record.nTicks, 5u);
    EXPECT_EQ(Record.nStartLevel, 1);
    EXPECT_EQ(Record.RulesData, s_pDriver->GetRulesData().ToBytes());
    EXPECT_EQ(Record.nFinalDigest, nDigest);
    EXPECT_TRUE(Record.vecDigests.empty());
    // Leaving stops the game and its ticks for good.
    EXPECT_FALSE(s_pDriver->IsTicking());
    EXPECT_FALSE(s_pDriver->Step());
    EXPECT_EQ(s_pDriver->GetTicks(), 5u);
}

TEST_F(DriverTest, ARecordPlayedBackIsTheSameGameTickForTick)
{
    const TReplay Record = PlayScript();
    ASSERT_EQ(Record.vecDigests.size(), 5u);
    const int32_t nScore = m_pGame->GetScore();
    ASSERT_GT(nScore, 0) << "the script hits nothing: the record shows too little";
    EXPECT_EQ(Record.nScore, nScore);

    // Through the file's bytes and back, as a player's replay comes.
    TReplay Read;
    std::string strError;
    ASSERT_TRUE(TReplayFile::Parse(TReplayFile::Serialize(Record), Read, strError)) << strError;
    PlayBack(Read);
    EXPECT_EQ(s_pDriver->GetReplayDeparture(), 0u);
    EXPECT_EQ(s_pDriver->GetDigestsChecked(), 6u);  // five on the way, one at the end
    EXPECT_EQ(s_pDriver->GetTicks(), SCRIPT_TICKS);
    EXPECT_EQ(m_pGame->GetScore(), nScore);
    // The commands after the last tick are played too: the game was paused when left.
    EXPECT_FALSE(s_pDriver->IsTicking());
}

TEST_F(DriverTest, AReplayThatIsNotThisGameIsCaughtAtTheFirstDigestAfterItDeparts)
{
    const TReplay Record = PlayScript();
    // What is changed in the record -> the first tick whose digest differs.
    const struct
    {
        const char* szCase;
        void (*pChange)(TReplay&);
        uint32_t nDeparts;
    } CASES[] = {
        {"a shot one tick later",
         [](TReplay& R) {
             for (TReplayCommand& C : R.vecCommands)
                 if (C.nTick == 21)
                     C.nTick = 22;
         },
         100},
        {"a turn taken out",
         [](TReplay& R) { R.vecCommands.erase(R.vecCommands.begin() + 1); },  // the second left turn
         100},
        {"music switched once more at the end",
         [](TReplay& R) { R.vecCommands.push_back({SCRIPT_TICKS + 1, CMD_MUSIC}); },
         SCRIPT_TICKS},
        {"a recorded digest changed", [](TReplay& R) { R.vecDigests[3] ^= 1; }, 400},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szCase);
        TReplay Changed = Record;
        Case.pChange(Changed);
        PlayBack(Changed);
        EXPECT_EQ(s_pDriver->GetReplayDeparture(), Case.nDeparts);
    }
}

TEST_F(DriverTest, AReplayOfOtherRulesOrAnotherDataFileIsRefusedWithoutStartingIt)
{
    const TReplay Record = PlayScript();
    TReplay OtherRules = Record;
    ++OtherRules.nRulesVersion;
    TReplay OtherData = Record;
    OtherData.RulesData[2] ^= 0x5a;  // a ship a little other
    for (const auto& Case : {std::make_pair(&OtherRules, "rules"), std::make_pair(&OtherData, "another data file")}) {
        std::string strError;
        EXPECT_FALSE(s_pDriver->StartReplay(*Case.first, strError));
        EXPECT_NE(strError.find(Case.second), std::string::npos) << strError;
        EXPECT_FALSE(s_pDriver->IsReplaying());
    }
}

TEST_F(DriverTest, TheNextLevelIsSeededFromGameTimeSoPausedStepsChangeIt)
{
    // Clears level 1 at once, then lets the level end; returns level 2's first rock.
    auto Level2 = [this](int nPausedSteps) {
        NewGame(1);
        if (nPausedSteps > 0) {
            Command(CMD_PAUSE);
            Tick(nPausedSteps);
            Command(CMD_PAUSE);
        }
        ClearField();
        Tick(TRules::LEVEL_END_TICKS);
        EXPECT_EQ(m_pGame->GetLevel(), 2);
        return m_pGame->GetAsteroids().front()->GetPosition();
    };
    const TFloat3 vFirst = Level2(0);
    EXPECT_EQ(Level2(0), vFirst);  // the same game time, the same level
    EXPECT_NE(Level2(7), vFirst);  // 70 ms later in game time, another
    EXPECT_EQ(m_pGame->GetClock().GetTickCount(), (TRules::LEVEL_END_TICKS + 7) * TGameDriver::TICK_MS);
}

TEST_F(DriverTest, AHeaderThatTellsAnotherEndingFailsTheCheckNamingTheField)
{
    const TReplay Record = PlayScript();
    const struct
    {
        const char* szCase;
        void (*pChange)(TReplay&);
        const char* szField;
    } CASES[] = {
        {"as recorded", [](TReplay&) {}, nullptr},
        {"a higher score", [](TReplay& R) { R.nScore += 100; }, "score"},
        {"a lower score", [](TReplay& R) { R.nScore = 0; }, "score"},
        {"a higher level", [](TReplay& R) { R.nLevel = 2; }, "level"},
        {"another final state", [](TReplay& R) { R.nFinalDigest ^= 1; }, "final"},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szCase);
        TReplay Changed = Record;
        Case.pChange(Changed);
        PlayBack(Changed);
        const std::string strWhy = s_pDriver->GetRun()->CheckEnding();
        if (!Case.szField)
            EXPECT_EQ(strWhy, "");
        else
            EXPECT_NE(strWhy.find(Case.szField), std::string::npos) << strWhy;
    }
}

// What the game shows and how it sounds never changes the game: played with its scene, at every
// detail of its sparks and fragments, or with no scene, a record gives the same digests.
TEST_F(DriverTest, AReplayPlaysTheSameWithItsSceneAtEveryDetailOrWithout)
{
    const TReplay Record = PlayScript();
    const struct
    {
        TGameDriver::TShow nShow;
        TEffectsDetail nDetail;
    } CASES[] = {{TGameDriver::SHOW_NOTHING, TEffectsDetail::NORMAL},
                 {TGameDriver::SHOW_SCENE, TEffectsDetail::LOW},
                 {TGameDriver::SHOW_SCENE, TEffectsDetail::NORMAL},
                 {TGameDriver::SHOW_SCENE, TEffectsDetail::HIGH}};
    for (const auto& Case : CASES) {
        SCOPED_TRACE(TFxDebris::NameOf(Case.nDetail));
        s_pDriver->SetEffectsDetail(Case.nDetail);
        std::string strError;
        ASSERT_TRUE(s_pDriver->StartReplay(Record, strError, Case.nShow)) << strError;
        EXPECT_EQ(s_pDriver->GetScene() != nullptr, Case.nShow == TGameDriver::SHOW_SCENE);
        int nMostPieces = 0;
        while (!s_pDriver->IsReplayOver()) {
            s_pDriver->Step();
            s_pDriver->Present(0.5);
            if (const TGameScene* pScene = s_pDriver->GetGameScene())
                nMostPieces = std::max(nMostPieces, pScene->GetDebris().GetSparks() + pScene->GetDebris().GetFragments());
        }
        EXPECT_EQ(s_pDriver->GetReplayDeparture(), 0u);
        EXPECT_EQ(s_pDriver->GetRun()->CheckEnding(), "");
        if (Case.nShow == TGameDriver::SHOW_SCENE) {
            EXPECT_GT(nMostPieces, 0);  // the rocks the script hits did throw pieces
        }
    }
    s_pDriver->SetEffectsDetail(TFxDebris::DEFAULT_DETAIL);
}

// Each game owns its clock and its generator: two played side by side in one process, step
// for step, are each the game it is alone.
TEST_F(DriverTest, TwoGamesInOneProcessKeepApart)
{
    const TReplay Record = PlayScript();
    std::string strError;
    std::unique_ptr<TGameRun> pA = TGameRun::Replaying(s_pDriver->GetRulesData(), Record, strError);
    ASSERT_TRUE(pA) << strError;
    TGameRun B(s_pDriver->GetRulesData(), 3, "test");
    for (uint32_t n = 0; n <= SCRIPT_TICKS; ++n) {
        pA->Step();
        if (n % 7 == 0)
            B.Command(CMD_FIRE);
        B.Step();
    }
    EXPECT_TRUE(pA->IsReplayOver());
    EXPECT_EQ(pA->GetReplayDeparture(), 0u);
    EXPECT_EQ(pA->CheckEnding(), "");
    EXPECT_EQ(B.GetGame().GetLevel(), 3);
    EXPECT_NE(B.GetGame().GetClock().GetMs(), 0u);
}

// The rules take the ship's box from the data file's model exactly: the extremes of its points,
// turned the quarter about x by swapping and negating, which every machine does alike.
TEST_F(DriverTest, TheShipsBoxIsTheModelsPointsTurnedExactly)
{
    // The game's model, read here from its source as plain text: no transform in it.
    std::ifstream In(DRELK_SHIP_MODEL);
    const std::string strModel((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    ASSERT_EQ(strModel.find("Transform"), std::string::npos);
    float fMin[3] = {1e9f, 1e9f, 1e9f}, fMax[3] = {-1e9f, -1e9f, -1e9f};
    int nPoints = 0;
    for (size_t nNode = strModel.find("Coordinate3 {"); nNode != std::string::npos;
         nNode = strModel.find("Coordinate3 {", nNode + 1)) {
        const size_t nAt = strModel.find("point [", nNode);
        std::istringstream List(strModel.substr(nAt + 7, strModel.find(']', nAt) - nAt - 7));
        std::string strNumber;
        for (int i = 0; List >> strNumber; i = (i + 1) % 3) {
            const float f = std::strtof(strNumber.c_str(), nullptr);
            fMin[i] = std::min(fMin[i], f);
            fMax[i] = std::max(fMax[i], f);
            nPoints += i == 2;
        }
    }
    ASSERT_GT(nPoints, 100);
    const TBox3 Box = s_pDriver->GetRulesData().ShipBox;
    EXPECT_EQ(Box.GetMin(), TFloat3(fMin[0], -fMax[2], fMin[1]));
    EXPECT_EQ(Box.GetMax(), TFloat3(fMax[0], -fMin[2], fMax[1]));

    // A model made of a 0.6 x 0.2 x 1.0 cube.
    const TDataBanker Bank(MakeTestDataFile(MakeTempDir()));
    const TBox3 Cube = TGameDriver::ShipModelBox(Bank);
    EXPECT_EQ(Cube.GetMin(), TFloat3(-0.3f, -0.5f, -0.1f));
    EXPECT_EQ(Cube.GetMax(), TFloat3(0.3f, 0.5f, 0.1f));
}
