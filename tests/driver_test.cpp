// What the game window asks of the driver besides keys: pausing when the player is away, and
// music set to a remembered choice.
#include "tests/support/GameFixture.h"

#include "objects/Ships.h"

class DriverTest : public GameFixture
{
protected:
    // Brings the game into a state; true when it got there.
    bool Enter(int32_t nState)
    {
        switch (nState) {
        case GS_PAUSED: KeyDown(TGame::KEY_PAUSE); break;
        case GS_RESPAWN: LoseShip(); Tick(1); break;
        case GS_GAMEOVER:
            for (int nLoss = 0; nLoss < 3; ++nLoss) {
                LoseShip();
                Tick(nLoss < 2 ? 202 : 1);
            }
            break;
        default: break;
        }
        return m_pGame->GetGameState() == nState;
    }
    void LoseShip() { AddRock(2, m_pGame->GetShip()->GetPosition()); }
};

TEST_F(DriverTest, AwayPausesAGameInPlayOrWaitingAndPBringsItBack)
{
    // State when the player goes away -> state while away.
    const struct
    {
        int32_t nState;
        int32_t nAway;
    } CASES[] = {
        {GS_PLAYING, GS_PAUSED},
        {GS_RESPAWN, GS_PAUSED},
        {GS_PAUSED, GS_PAUSED},      // already paused: stays so, P still resumes
        {GS_GAMEOVER, GS_GAMEOVER},  // P does nothing here either
    };
    for (const auto& Case : CASES) {
        NewGame(1);
        ClearField();
        AddRock(2, SbVec3f(20.0f, 15.0f, 0.0f));  // keeps the level from ending
        ASSERT_TRUE(Enter(Case.nState)) << Case.nState;
        EXPECT_EQ(s_pDriver->IsRunning(), Case.nState == GS_PLAYING || Case.nState == GS_RESPAWN);
        s_pDriver->Pause();
        s_pDriver->Pause();  // away twice over is still away
        EXPECT_EQ(m_pGame->GetGameState(), Case.nAway) << Case.nState;
        EXPECT_EQ(s_pDriver->IsGameOver(), Case.nAway == GS_GAMEOVER);
        EXPECT_FALSE(s_pDriver->IsRunning());
        if (Case.nAway == GS_PAUSED) {
            Tick(500);  // no tick while away
            EXPECT_EQ(m_pGame->GetGameState(), GS_PAUSED);
            KeyDown(TGame::KEY_PAUSE);
            EXPECT_EQ(m_pGame->GetGameState(), Case.nState == GS_PAUSED ? GS_PLAYING : Case.nState);
        }
    }
}

TEST_F(DriverTest, MusicIsSetToAChoiceWhateverItWas)
{
    for (bool bFrom : {true, false}) {
        for (bool bTo : {true, false}) {
            NewGame(1);
            s_pDriver->SetMusicOn(bFrom);
            s_pDriver->SetMusicOn(bTo);
            EXPECT_EQ(s_pDriver->IsMusicOn(), bTo);
        }
    }
}
