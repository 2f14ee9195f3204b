// The game's rules, played headless on the real data file: each case sets a scene, ticks and
// checks the outcome.
#include "tests/support/GameFixture.h"
#include "tests/support/GameTestAccess.h"
#include "tests/support/SceneSearch.h"

#include "base/GameClock.h"
#include "base/MathConstants.h"
#include "core/GameScene.h"
#include "databank/DataBanker.h"
#include "objects/Asteroids.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"

#include <Inventor/SoDB.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/sensors/SoSensorManager.h>
#include <Inventor/nodekits/SoShapeKit.h>
#include <Inventor/nodes/SoBlinker.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoText3.h>

#include <cmath>
#include <set>
#include <vector>

namespace {
// The blinker of the banner whose text is szText, or null.
SoBlinker* BlinkerOf(SoNode* pRoot, const char* szText)
{
    SoSearchAction Search;
    Search.setType(SoBlinker::getClassTypeId());
    Search.setInterest(SoSearchAction::ALL);
    Search.apply(pRoot);
    for (int i = 0; i < Search.getPaths().getLength(); ++i) {
        auto* pBlinker = static_cast<SoBlinker*>(Search.getPaths()[i]->getTail());
        auto* pKit = static_cast<SoShapeKit*>(pBlinker->getChild(0));
        auto* pText = static_cast<SoText3*>(pKit->getPart("shape", FALSE));
        if (pText && pText->string.getNum() > 0 && pText->string[0] == SbString(szText))
            return pBlinker;
    }
    return nullptr;
}

// What the viewer's event loop does between frames: settles the blinkers.
void ProcessSensors()
{
    SoDB::getSensorManager()->processDelayQueue(FALSE);
}

// Loses the ship to a rock dropped on it; returns that rock.
TAsteroid* DropRockOnShip(GameFixture& Fixture, TGame& Game)
{
    (void)Fixture;
    return TGameTestAccess::AddRock(Game, 2, Game.GetShip()->GetPosition(), 0.0f, 0.0f, TFloat3(0.0f, 0.0f, 1.0f), 0.0);
}
}  // namespace

using GameTest = GameFixture;

TEST_F(GameTest, NewGameHasEightRocksThreeShipsLevelOneScoreZero)
{
    EXPECT_EQ(m_pGame->GetGameState(), GS_PLAYING);
    EXPECT_EQ(m_pGame->GetAsteroids().size(), 8u);
    EXPECT_EQ(CountAlive(), 8);
    for (const TAsteroid* pRock : m_pGame->GetAsteroids())
        EXPECT_EQ(pRock->GetType(), 2);
    EXPECT_EQ(m_pGame->GetShips(), 3);
    EXPECT_EQ(m_pGame->GetLevel(), 1);
    EXPECT_EQ(m_pGame->GetScore(), 0);
    ProcessSensors();
    for (const char* szText : {"ships: 3", "level: 1", "score: 0"}) {
        SoBlinker* pBlinker = BlinkerOf(Scene(), szText);
        ASSERT_TRUE(pBlinker) << szText;
        EXPECT_FALSE(pBlinker->on.getValue());
        EXPECT_EQ(pBlinker->whichChild.getValue(), SO_SWITCH_ALL);
    }
    SoBlinker* pGameOver = BlinkerOf(Scene(), "Game Over");
    ASSERT_TRUE(pGameOver);
    EXPECT_FALSE(pGameOver->on.getValue());
    EXPECT_EQ(pGameOver->whichChild.getValue(), SO_SWITCH_NONE);
}

// Shooting a rock: its points, its children and their velocities, per size and level.
TEST_F(GameTest, ShootingEachSizeScoresAndSplits)
{
    struct TCase
    {
        int nLevel;
        int nSize;
        int nPoints;
        int nChildren;
    };
    for (const TCase& Case : {TCase{1, 2, 5, 2}, TCase{1, 1, 10, 2}, TCase{1, 0, 20, 0}, TCase{4, 2, 5, 2}}) {
        SCOPED_TRACE(::testing::Message() << "level " << Case.nLevel << " size " << Case.nSize);
        NewGame(Case.nLevel);
        ClearField();
        const TFloat3 vParentSpeed(0.2f, -0.1f, 0.0f);
        TAsteroid* pRock = AddRock(Case.nSize, TFloat3(0.0f, 9.0f, 0.0f), vParentSpeed[0], vParentSpeed[1]);
        const size_t nBefore = m_pGame->GetAsteroids().size();
        m_pGame->Command(CMD_FIRE);
        for (int i = 0; i < 30 && pRock->IsAlive(); ++i)
            Tick();
        ASSERT_FALSE(pRock->IsAlive());
        EXPECT_EQ(m_pGame->GetScore(), Case.nPoints);
        EXPECT_FALSE(m_pGame->GetMissiles().at(0)->IsAlive());
        ASSERT_EQ(m_pGame->GetAsteroids().size(), nBefore + static_cast<size_t>(Case.nChildren));
        if (Case.nChildren == 0)
            continue;
        // Child 0 along y, child 1 along x, at (1.5 x level + up to 0.5) times the parent's speed.
        const double k0 = 1.5 * Case.nLevel;
        const TAsteroid* pAlongY = m_pGame->GetAsteroids()[nBefore];
        const TAsteroid* pAlongX = m_pGame->GetAsteroids()[nBefore + 1];
        for (const TAsteroid* pChild : {pAlongY, pAlongX}) {
            EXPECT_EQ(pChild->GetType(), Case.nSize - 1);
            EXPECT_TRUE(pChild->IsAlive());
        }
        EXPECT_NEAR(pAlongY->GetVelocity()[0], 0.1f, 1e-6f);
        const double dFactorY = (pAlongY->GetVelocity()[1] - 0.1) / vParentSpeed[1];
        EXPECT_GE(dFactorY, k0 - 1e-5);
        EXPECT_LE(dFactorY, k0 + 0.5 + 1e-5);
        const double dFactorX = (pAlongX->GetVelocity()[0] - 0.1) / vParentSpeed[0];
        EXPECT_GE(dFactorX, k0 - 1e-5);
        EXPECT_LE(dFactorX, k0 + 0.5 + 1e-5);
        EXPECT_FLOAT_EQ(pAlongX->GetVelocity()[1], 0.1f);
    }
}

TEST_F(GameTest, MissileInTwoOverlappingRocksDestroysOnlyTheFirst)
{
    ClearField();
    TAsteroid* pFirst = AddRock(0, TFloat3(0.0f, 6.0f, 0.0f));
    TAsteroid* pSecond = AddRock(0, TFloat3(0.0f, 6.0f, 0.0f));
    m_pGame->Command(CMD_FIRE);
    for (int i = 0; i < 20 && pFirst->IsAlive(); ++i)
        Tick();
    EXPECT_FALSE(pFirst->IsAlive());
    EXPECT_TRUE(pSecond->IsAlive());
    EXPECT_EQ(m_pGame->GetScore(), 20);
}

TEST_F(GameTest, ShipHitLosesAShipAndRespawnsNoEarlierThan201Ticks)
{
    ClearField();
    AddRock(2, TFloat3(20.0f, 15.0f, 0.0f));  // keeps the level from ending
    m_pGame->GetShip()->SetVelocity(TFloat3(0.5f, 0.0f, 0.0f));
    m_pGame->GetShip()->SetAngle(1.0);
    TAsteroid* pRock = DropRockOnShip(*this, *m_pGame);
    Tick();
    EXPECT_EQ(m_pGame->GetGameState(), GS_RESPAWN);
    EXPECT_EQ(m_pGame->GetShips(), 2);
    EXPECT_FALSE(m_pGame->GetShip()->IsAlive());
    EXPECT_FALSE(pRock->IsAlive());
    EXPECT_EQ(m_pGame->GetScore(), 0);  // a rock that hits the ship scores nothing and leaves no children
    EXPECT_TRUE(BlinkerOf(Scene(), "ships: 2"));

    // No shot in the wait: the space bar is used up.
    m_pGame->Command(CMD_FIRE);
    Tick(200);
    EXPECT_EQ(m_pGame->GetGameState(), GS_RESPAWN);
    EXPECT_TRUE(m_pGame->GetMissiles().empty());
    Tick();
    EXPECT_EQ(m_pGame->GetGameState(), GS_PLAYING);
    const TManShip& Ship = *m_pGame->GetShip();
    EXPECT_TRUE(Ship.IsAlive());
    EXPECT_EQ(Ship.GetPosition(), TFloat3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(Ship.GetVelocity(), TFloat3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(Ship.GetAngle(), 0.0);
}

TEST_F(GameTest, RespawnWaitsWhileARockCoversThePlaceOfTheLoss)
{
    ClearField();
    m_pGame->GetShip()->SetPosition(TFloat3(10.0f, 5.0f, 0.0f));
    DropRockOnShip(*this, *m_pGame);
    Tick();
    ASSERT_EQ(m_pGame->GetGameState(), GS_RESPAWN);
    // A second rock sits where the ship was lost, whatever lies at the centre.
    TAsteroid* pBlocker = AddRock(1, TFloat3(10.0f, 5.0f, 0.0f));
    Tick(400);
    EXPECT_EQ(m_pGame->GetGameState(), GS_RESPAWN);
    pBlocker->SetPosition(TFloat3(-25.0f, -15.0f, 0.0f));
    Tick();
    EXPECT_EQ(m_pGame->GetGameState(), GS_PLAYING);
    EXPECT_EQ(m_pGame->GetShip()->GetPosition(), TFloat3(0.0f, 0.0f, 0.0f));
}

TEST_F(GameTest, PauseWhileALostShipWaitsResumesTheWait)
{
    ClearField();
    AddRock(2, TFloat3(20.0f, 15.0f, 0.0f));
    DropRockOnShip(*this, *m_pGame);
    Tick();  // the loss
    Tick(50);
    ASSERT_EQ(m_pGame->GetGameState(), GS_RESPAWN);
    m_pGame->Command(CMD_PAUSE);
    EXPECT_EQ(m_pGame->GetGameState(), GS_PAUSED);
    EXPECT_FALSE(m_pGame->IsTicking());
    Tick(500);  // the timer is off: the wait does not count on
    m_pGame->Command(CMD_PAUSE);
    EXPECT_EQ(m_pGame->GetGameState(), GS_RESPAWN);
    Tick(150);
    EXPECT_EQ(m_pGame->GetGameState(), GS_RESPAWN);
    Tick(1);
    EXPECT_EQ(m_pGame->GetGameState(), GS_PLAYING);
    EXPECT_TRUE(m_pGame->GetShip()->IsAlive());
}

TEST_F(GameTest, LosingTheLastShipShowsBlinkingGameOver)
{
    ClearField();
    AddRock(2, TFloat3(20.0f, 15.0f, 0.0f));
    for (int nLoss = 0; nLoss < 3; ++nLoss) {
        DropRockOnShip(*this, *m_pGame);
        Tick();
        if (nLoss < 2)
            Tick(201);
    }
    EXPECT_EQ(m_pGame->GetShips(), 0);
    EXPECT_EQ(m_pGame->GetGameState(), GS_GAMEOVER);
    EXPECT_TRUE(m_pGame->IsTicking());
    SoBlinker* pGameOver = BlinkerOf(Scene(), "Game Over");
    ASSERT_TRUE(pGameOver);
    EXPECT_TRUE(pGameOver->on.getValue());  // the scene library's blinker now alternates it
    EXPECT_TRUE(BlinkerOf(Scene(), "ships: 0"));
    // It blinks on game time: shown and hidden in turn over two seconds of ticks, and still
    // while no tick comes.
    std::set<int> setShown;
    for (int i = 0; i < 16; ++i) {
        Tick(12);
        ProcessSensors();
        setShown.insert(pGameOver->whichChild.getValue());
    }
    EXPECT_EQ(setShown, std::set<int>({SO_SWITCH_NONE, 0}));
    const int nShown = pGameOver->whichChild.getValue();
    ProcessSensors();
    EXPECT_EQ(pGameOver->whichChild.getValue(), nShown);

    // P is ignored; rocks still move behind the text; no collision or shot.
    m_pGame->Command(CMD_PAUSE);
    EXPECT_EQ(m_pGame->GetGameState(), GS_GAMEOVER);
    TAsteroid* pMover = AddRock(0, TFloat3(0.0f, 0.0f, 0.0f), 1.0f, 0.0f);
    m_pGame->Command(CMD_FIRE);
    Tick(10);
    EXPECT_NEAR(pMover->GetPosition()[0], 1.0f, 1e-4f);
    EXPECT_TRUE(pMover->IsAlive());
    EXPECT_TRUE(m_pGame->GetMissiles().empty());
}

TEST_F(GameTest, ClearedLevelGivesSixteenRocks100PlayingTicksLater)
{
    ClearField();
    Tick(60);
    // A pause in between neither counts nor resets the count.
    m_pGame->Command(CMD_PAUSE);
    Tick(300);
    m_pGame->Command(CMD_PAUSE);
    Tick(39);
    EXPECT_EQ(m_pGame->GetLevel(), 1);
    Tick();
    EXPECT_EQ(m_pGame->GetLevel(), 2);
    EXPECT_TRUE(BlinkerOf(Scene(), "level: 2"));
    // The dead rocks of level 1 are gone from the list and from the scene.
    ASSERT_EQ(m_pGame->GetAsteroids().size(), 16u);
    EXPECT_EQ(CountAlive(), 16);
    for (const TAsteroid* pRock : m_pGame->GetAsteroids())
        EXPECT_EQ(pRock->GetType(), 2);
}

TEST_F(GameTest, LevelAfterLevelTheSceneDoesNotGrow)
{
    size_t nMissileShapes = 0;
    for (int nLevel = 1; nLevel <= 4; ++nLevel) {
        // Fire a few shots, blow up a small rock in view, and clear the field; the level ends
        // 100 ticks later.
        for (int i = 0; i < 5; ++i) {
            Command(CMD_FIRE);
            Tick();
        }
        TAsteroid* pSmall = AddRock(0, TFloat3(-20.0f, 10.0f, 0.0f));
        TGameTestAccess::AddMissile(*m_pGame, TFloat3(-20.0f, 10.0f, 0.0f), 0.0f, 0.0f);
        Tick();
        ASSERT_FALSE(pSmall->IsAlive());
        ClearField();
        Tick(100);
        ASSERT_EQ(m_pGame->GetLevel(), nLevel + 1);
        // Each live rock hangs its subtree under the rocks' root (its explosion's waits for a
        // start); the purged rocks with their explosions leave nothing behind, and the missiles'
        // shapes, kept for the next shots, show nothing.
        const TGameScene& Scene = *s_pDriver->GetGameScene();
        EXPECT_EQ(Scene.GetAsteroidsRoot()->getNumChildren(), static_cast<int>(m_pGame->GetAsteroids().size()));
        EXPECT_EQ(Scene.GetAsteroidsRoot()->getNumChildren(), 8 * (nLevel + 1));
        EXPECT_TRUE(scene::WorldBox(Scene.GetMissilesRoot()).isEmpty());
        EXPECT_TRUE(m_pGame->GetMissiles().empty());
        if (nLevel > 1) {
            EXPECT_EQ(static_cast<size_t>(Scene.GetMissilesRoot()->getNumChildren()), nMissileShapes);
        }
        nMissileShapes = static_cast<size_t>(Scene.GetMissilesRoot()->getNumChildren());
    }
}

// Held fire through a level: the tick that starts the next level takes the spent missiles out
// of the list and keeps those still flying in their order, and the scene shows those alone.
TEST_F(GameTest, LevelStartTakesSpentMissilesOutAndKeepsThoseInFlight)
{
    ClearField();
    // Out of the line of fire, so the level lasts while the ship shoots straight up.
    TAsteroid* pLast = AddRock(0, TFloat3(25.0f, 15.0f, 0.0f));
    for (int i = 0; i < 300 + TRules::LEVEL_END_TICKS - 1; ++i) {
        if (i == 300)
            pLast->Explode(false);
        Command(CMD_FIRE);
        Tick();
    }
    ASSERT_EQ(m_pGame->GetLevel(), 1);
    const TVecPtrMissiles vecBefore = m_pGame->GetMissiles();
    ASSERT_EQ(vecBefore.size(), 399u);
    ASSERT_FALSE(vecBefore.front()->IsAlive());
    std::vector<uint32_t> vecFlying;
    for (const TMissile* pMissile : vecBefore)
        if (pMissile->IsAlive())
            vecFlying.push_back(pMissile->GetSerial());
    ASSERT_GT(vecFlying.size(), 10u);

    Tick();
    ASSERT_EQ(m_pGame->GetLevel(), 2);
    std::vector<uint32_t> vecListed;
    for (const TMissile* pMissile : m_pGame->GetMissiles()) {
        EXPECT_TRUE(pMissile->IsAlive());
        vecListed.push_back(pMissile->GetSerial());
    }
    // All fly straight up at one speed: the oldest may leave the field on this tick, the rest
    // fly on, in firing order.
    ASSERT_GE(vecListed.size() + 1, vecFlying.size());
    EXPECT_EQ(vecListed, std::vector<uint32_t>(vecFlying.end() - static_cast<long>(vecListed.size()), vecFlying.end()));
    // The scene shows as many missiles as fly, no more.
    s_pDriver->Present(1.0);
    int nShown = 0;
    for (SoSwitch* pSwitch : scene::FindAll<SoSwitch>(s_pDriver->GetGameScene()->GetMissilesRoot()))
        nShown += pSwitch->whichChild.getValue() == SO_SWITCH_ALL;
    EXPECT_EQ(nShown, static_cast<int>(vecListed.size()));
}

TEST_F(GameTest, CrowdedLevelStillStartsWithAllItsRocks)
{
    // 480 large rocks cannot lie apart on a 60 x 40 field; the level starts all the same.
    NewGame(60);
    EXPECT_EQ(m_pGame->GetAsteroids().size(), 480u);
    EXPECT_EQ(CountAlive(), 480);
}

TEST_F(GameTest, RocksWrapAndMissilesDieAtTheEdges)
{
    ClearField();
    TAsteroid* pRock = AddRock(0, TFloat3(29.95f, 5.0f, 0.0f), 1.0f, 0.0f);
    Tick();
    EXPECT_FLOAT_EQ(pRock->GetPosition()[0], -30.0f);
    EXPECT_FLOAT_EQ(pRock->GetPosition()[1], 5.0f);

    // A missile exactly on the edge flies on; just past it, it is spent but stays listed.
    TMissile* pOnEdge = TGameTestAccess::AddMissile(*m_pGame, TFloat3(30.0f, 0.0f, 0.0f), 0.0f, 0.0f);
    TMissile* pOut = TGameTestAccess::AddMissile(*m_pGame, TFloat3(29.99f, -20.0f, 0.0f), 0.0f, -0.1f);
    Tick();
    EXPECT_TRUE(pOnEdge->IsAlive());
    EXPECT_FALSE(pOut->IsAlive());
    EXPECT_EQ(m_pGame->GetMissiles().size(), 2u);
}

TEST_F(GameTest, KeysActOnlyOnTheTickAfterTheirKeyDown)
{
    ClearField();
    AddRock(2, TFloat3(20.0f, 15.0f, 0.0f));
    m_pGame->Command(CMD_TURN_LEFT);
    m_pGame->Command(CMD_TURN_RIGHT);
    Tick();
    EXPECT_NEAR(m_pGame->GetShip()->GetAngle(), 0.0, 1e-15);  // both: they cancel
    m_pGame->Command(CMD_TURN_LEFT);
    Tick(5);  // one key-down, one turn
    EXPECT_NEAR(m_pGame->GetShip()->GetAngle(), 16.0 * PI / 180.0, 1e-12);
    m_pGame->Command(CMD_THRUST);
    Tick();
    const TFloat3 vSpeed = m_pGame->GetShip()->GetVelocity();
    EXPECT_GT(std::hypot(vSpeed[0], vSpeed[1]), 0.19f);
    m_pGame->Command(CMD_FIRE);
    m_pGame->Command(CMD_FIRE);  // two key-downs within one tick fire once
    Tick();
    EXPECT_EQ(m_pGame->GetMissiles().size(), 1u);
}

TEST_F(GameTest, MusicKeySilencesWithoutStopping)
{
    EXPECT_TRUE(m_pGame->IsMusicOn());
    m_pGame->Command(CMD_MUSIC);
    EXPECT_FALSE(m_pGame->IsMusicOn());
    m_pGame->Command(CMD_PAUSE);
    m_pGame->Command(CMD_MUSIC);  // also while paused
    EXPECT_TRUE(m_pGame->IsMusicOn());
    EXPECT_EQ(m_pGame->GetGameState(), GS_PAUSED);
}
