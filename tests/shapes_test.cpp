// How the game objects are drawn and heard: missiles, rocks and the player's ship on the real
// scene graph, from the rules' plain state, with the real asset bank over the test data file and
// the sound manager on SDL's silent driver. Effect timers run on a game clock of the test's own.
#include "base/MathConstants.h"
#include "base/Random.h"
#include "databank/DataBanker.h"
#include "fx/FxTimers.h"
#include "fx/GraphicFx.h"
#include "objects/AsteroidShape.h"
#include "objects/Asteroids.h"
#include "objects/MissileShape.h"
#include "objects/ShipShape.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"
#include "sound/FModSoundManager.h"
#include "tests/support/SceneSearch.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoNormal.h>
#include <Inventor/nodes/SoNormalBinding.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>

#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A box projected to the world, as (min x, min y, max x, max y) to 1e-5.
void ExpectBox(const SbBox3f& Box, float fMinX, float fMinY, float fMaxX, float fMaxY)
{
    ASSERT_FALSE(Box.isEmpty());
    EXPECT_NEAR(Box.getMin()[0], fMinX, 1e-5);
    EXPECT_NEAR(Box.getMin()[1], fMinY, 1e-5);
    EXPECT_NEAR(Box.getMax()[0], fMaxX, 1e-5);
    EXPECT_NEAR(Box.getMax()[1], fMaxY, 1e-5);
}

double RotationAbout(const SoTransform* pXf, const SbVec3f& vAxis)
{
    SbVec3f vGot;
    float fAngle = 0;
    pXf->rotation.getValue().getValue(vGot, fAngle);
    return vGot.dot(vAxis) < 0 ? -fAngle : fAngle;
}

// The real bank over the test data file and the real sound manager, shared by a suite; a scene
// root and an effects' clock for each case.
class ShapeTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        SoDB::init();
        s_pSM = new TFModSoundManager;
        s_pDB = new TDataBanker(MakeTestDataFile(MakeTempDir()));
    }
    static void TearDownTestSuite()
    {
        delete s_pDB;
        delete s_pSM;
        s_pDB = nullptr;
        s_pSM = nullptr;
    }
    void SetUp() override
    {
        m_pRoot = new SoSeparator;
        m_pRoot->ref();
    }
    void TearDown() override { m_pRoot->unref(); }

    static TFModSoundManager* s_pSM;
    static TDataBanker* s_pDB;
    SoSeparator* m_pRoot = nullptr;
    TFxTimers m_Timers;
    TRandom m_Random;
};
TFModSoundManager* ShapeTest::s_pSM = nullptr;
TDataBanker* ShapeTest::s_pDB = nullptr;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Missiles

using MissileShapeTest = ShapeTest;

TEST_F(MissileShapeTest, AHiddenSquareShownWhereTheMissileFliesBetweenTicks)
{
    SoTexture2* pTex = s_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE);
    TMissileShape Shape(m_pRoot, pTex, 1.0);
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    EXPECT_TRUE(scene::WorldBox(m_pRoot).isEmpty());  // made hidden
    // One side-1 square over four points, counter-clockwise seen from above, with the shared
    // texture; no texture coordinates of its own.
    auto* pCoords = scene::Find<SoCoordinate3>(m_pRoot);
    ASSERT_TRUE(pCoords);
    const SbVec3f Square[4] = {SbVec3f(0.5f, -0.5f, 0), SbVec3f(0.5f, 0.5f, 0), SbVec3f(-0.5f, 0.5f, 0),
                               SbVec3f(-0.5f, -0.5f, 0)};
    ASSERT_EQ(pCoords->point.getNum(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(pCoords->point[i], Square[i]);

    TMissile Missile(TFloat3(3, -4, 0), 1.0, 1);
    Missile.SetVisible(true);
    EXPECT_TRUE(Shape.Present(Missile, 1.0));
    ExpectBox(scene::WorldBox(m_pRoot), 2.5f, -4.5f, 3.5f, -3.5f);
    EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), pTex);
    EXPECT_FALSE(Shape.Present(Missile, 1.0));  // nothing changed, nothing written

    // Halfway between two ticks, halfway along its flight; upright whatever its direction.
    Missile.SetVelocity(-10, 20);
    Missile.BeginTick();
    Missile.Move(0.1);
    Shape.Present(Missile, 0.5);
    ExpectBox(scene::WorldBox(m_pRoot), 2.0f, -3.5f, 3.0f, -2.5f);
    Missile.Kill();
    Shape.Present(Missile, 1.0);
    EXPECT_TRUE(scene::WorldBox(m_pRoot).isEmpty());
    Shape.Hide();
    EXPECT_TRUE(scene::WorldBox(m_pRoot).isEmpty());
}

TEST_F(MissileShapeTest, DeletedShapesLeaveNoNodesBehind)
{
    SoTexture2* pTex = s_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE);
    const int nRefs = pTex->getRefCount();
    std::vector<std::unique_ptr<TMissileShape>> vecShapes;
    for (int i = 0; i < 200; ++i)
        vecShapes.push_back(std::make_unique<TMissileShape>(m_pRoot, pTex, 1.0));
    EXPECT_EQ(m_pRoot->getNumChildren(), 200);
    vecShapes.clear();
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(pTex->getRefCount(), nRefs);
    // A parent that dropped the shape first does not trouble the destructor.
    auto pShape = std::make_unique<TMissileShape>(m_pRoot, pTex, 1.0);
    m_pRoot->removeAllChildren();
    pShape.reset();
    EXPECT_EQ(pTex->getRefCount(), nRefs);
}

// ---------------------------------------------------------------------------------------------
// Rocks

using AsteroidShapeTest = ShapeTest;

TEST_F(AsteroidShapeTest, TheRulesMeshDrawnWithTheRockTextureAndItsExplosionBesideIt)
{
    TAsteroid Rock(m_Random, TFloat3(7, -3, 0), TFloat3(3.2f, 4.4f, 2.9f), 2, 1);
    TAsteroidShape Shape(m_pRoot, s_pSM, s_pDB, m_Timers, Rock);
    // The rock; its explosion's nodes wait for its first start.
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    EXPECT_EQ(m_pRoot->findChild(Shape.GetRootNode()), 0);
    EXPECT_EQ(Shape.GetExplosion()->GetRootNode(), nullptr);

    // Shown at its place, drawn with the bank's rock texture from its 66 points, each point its
    // own normal, by the fixed index list.
    SoNode* pRoot = Shape.GetRootNode();
    EXPECT_FALSE(scene::WorldBox(pRoot).isEmpty());
    EXPECT_EQ(scene::Drawn<SoTexture2>(pRoot), s_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK));
    auto* pNB = scene::Find<SoNormalBinding>(pRoot);
    auto* pNorm = scene::Find<SoNormal>(pRoot);
    auto* pCoords = scene::Find<SoCoordinate3>(pRoot);
    auto* pSet = scene::Find<SoIndexedFaceSet>(pRoot);
    ASSERT_TRUE(pNB && pNorm && pCoords && pSet);
    EXPECT_EQ(Shape.GetTransform()->translation.getValue(), SbVec3f(7, -3, 0));
    EXPECT_EQ(pNB->value.getValue(), SoNormalBinding::PER_VERTEX_INDEXED);
    ASSERT_EQ(pCoords->point.getNum(), 66);
    ASSERT_EQ(pNorm->vector.getNum(), 66);
    for (int i = 0; i < 66; ++i) {
        const TFloat3& v = Rock.GetMeshPoints()[i];
        EXPECT_EQ(pCoords->point[i], SbVec3f(v[0], v[1], v[2])) << i;
        EXPECT_EQ(pNorm->vector[i], SbVec3f(v[0], v[1], v[2])) << i;
    }
    std::vector<int32_t> vecIndices(TAsteroid::MESH_INDICES);
    TAsteroid::MakeMeshIndices(vecIndices.data());
    ASSERT_EQ(pSet->coordIndex.getNum(), 576);
    EXPECT_EQ(std::vector<int32_t>(pSet->coordIndex.getValues(0), pSet->coordIndex.getValues(0) + 576), vecIndices);
    EXPECT_EQ(pSet->normalIndex.getNum(), 1);  // left at its default: normals follow coordIndex
}

TEST_F(AsteroidShapeTest, DrawnTumblingBetweenTicksAndHiddenOnceExploded)
{
    TAsteroid Rock(m_Random, TFloat3(0, 0, 0), TFloat3(2, 3, 2), 0, 1);
    TAsteroidShape Shape(m_pRoot, s_pSM, s_pDB, m_Timers, Rock);
    Rock.SetVelocity(0.2f, -0.1f);
    Rock.SetSpin(0.5, TFloat3(0, 0, 1));
    Rock.BeginTick();
    Rock.Move(1.0);
    Shape.Present(Rock, 0.5);
    EXPECT_NEAR(RotationAbout(Shape.GetTransform(), SbVec3f(0, 0, 1)), 0.25, 1e-6);
    EXPECT_NEAR(Shape.GetTransform()->translation.getValue()[0], 0.1, 1e-6);
    Shape.Present(Rock, 1.0);
    EXPECT_NEAR(RotationAbout(Shape.GetTransform(), SbVec3f(0, 0, 1)), 0.5, 1e-6);
    Rock.Explode(true);
    Shape.Present(Rock, 1.0);
    EXPECT_TRUE(scene::WorldBox(Shape.GetRootNode()).isEmpty());
}

TEST_F(AsteroidShapeTest, AnExplosionSoundsAlwaysAndAnimatesOnlyWhenTheRulesSaySo)
{
    for (bool bWithEffect : {true, false}) {
        SCOPED_TRACE(bWithEffect);
        TAsteroid Rock(m_Random, TFloat3(4, 5, 0), TFloat3(2, 3, 2), 0, 1);
        TAsteroidShape Shape(m_pRoot, s_pSM, s_pDB, m_Timers, Rock);
        const int nPaused = Mix_Paused(-1);
        Shape.Explode(Rock.GetPosition(), bWithEffect);
        EXPECT_EQ(Mix_Paused(-1), nPaused - 1);  // its explosion sound plays in every case
        EXPECT_EQ(Shape.GetExplosion()->IsActive(), bWithEffect);
        SoNode* pFxRoot = Shape.GetExplosion()->GetRootNode();
        EXPECT_EQ(pFxRoot != nullptr, bWithEffect);
        if (!bWithEffect)
            continue;
        // Beside the rock, where it was, turned and sized as the rules drew it.
        EXPECT_GE(m_pRoot->findChild(pFxRoot), 0);
        const SbBox3f FxBox = scene::WorldBox(pFxRoot);
        EXPECT_NEAR(FxBox.getCenter()[0], 4.0f, 1e-5);
        EXPECT_NEAR(FxBox.getCenter()[1], 5.0f, 1e-5);
        m_Timers.AdvanceTo(m_Timers.GetMs() + 21 * 25);  // a run takes 21 firings of 25 ms
        EXPECT_FALSE(Shape.GetExplosion()->IsActive());
    }
}

TEST_F(AsteroidShapeTest, TheRulesBoxIsTheBoxOfTheDrawingShrunk)
{
    for (int i = 0; i < 30; ++i) {
        TAsteroid Rock(m_Random, TFloat3(10 - i, 5, 0), TFloat3(4, 5, 4), i % 3, 1);
        Rock.SetSpin(0.3 * i, TFloat3(0.2f * (i % 5), 1, 0.5f));
        Rock.Move(1.0);
        TAsteroidShape Shape(m_pRoot, s_pSM, s_pDB, m_Timers, Rock);
        Shape.Present(Rock, 1.0);
        SoGetBoundingBoxAction Action{SbViewportRegion(800, 600)};
        Action.apply(Shape.GetRootNode());
        SbVec3f vMin, vMax;
        Action.getXfBoundingBox().getBounds(vMin, vMax);
        const TBox3 Own = Rock.GetBoundingBox().GetOwnBox();
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(Own.GetMin()[k], vMin[k] * 0.75f) << i;
            EXPECT_EQ(Own.GetMax()[k], vMax[k] * 0.75f) << i;
        }
        // The same place in the world: the scene library's arithmetic against the rules'.
        SbXfBox3f Shrunk(vMin * 0.75f, vMax * 0.75f);
        Shrunk.setTransform(Action.getXfBoundingBox().getTransform());
        const SbBox3f Drawn = Shrunk.project();
        const TBox3 Rules = Rock.GetBoundingBox().GetWorldBounds();
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(Rules.GetMin()[k], Drawn.getMin()[k], 1e-4) << i;
            EXPECT_NEAR(Rules.GetMax()[k], Drawn.getMax()[k], 1e-4) << i;
        }
    }
}

TEST_F(AsteroidShapeTest, DeletedShapesLeaveNoNodesOrTimersBehind)
{
    std::vector<std::unique_ptr<TAsteroid>> vecRocks;
    std::vector<std::unique_ptr<TAsteroidShape>> vecShapes;
    for (int i = 0; i < 40; ++i) {
        vecRocks.push_back(std::make_unique<TAsteroid>(m_Random, TFloat3(), TFloat3(2, 3, 2), i % 3, i + 1));
        vecShapes.push_back(std::make_unique<TAsteroidShape>(m_pRoot, s_pSM, s_pDB, m_Timers, *vecRocks.back()));
    }
    EXPECT_EQ(m_pRoot->getNumChildren(), 40);
    vecShapes[0]->Explode(TFloat3(), true);  // deleted while its explosion runs
    EXPECT_EQ(m_pRoot->getNumChildren(), 41);
    m_Timers.AdvanceTo(50);
    vecShapes.clear();
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(m_Timers.SensorCount(), 0);
    EXPECT_EQ(s_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK)->getRefCount(), 1);
    m_Timers.AdvanceTo(1000);
}

// ---------------------------------------------------------------------------------------------
// The player's ship

namespace {
class ShipShapeTest : public ShapeTest
{
protected:
    void SetUp() override
    {
        ShapeTest::SetUp();
        m_pShape = std::make_unique<TShipShape>(m_pRoot, s_pSM, s_pDB, m_Timers, m_Ship);
    }
    void TearDown() override
    {
        m_pShape.reset();
        ShapeTest::TearDown();
    }
    bool ShipDrawn() const { return scene::IsDrawn(m_pRoot, m_pShape->GetRootNode()); }
    SbBox3f ExplosionBox() const
    {
        SoNode* pRoot = m_pShape->GetExplosion()->GetRootNode();
        return pRoot ? scene::WorldBox(pRoot) : SbBox3f();
    }

    // The test model is a 0.6 x 0.2 x 1.0 cube: its box turned a quarter about x.
    TManShip m_Ship{m_Random, TBox3(TFloat3(-0.3f, -0.5f, -0.1f), TFloat3(0.3f, 0.5f, 0.1f)), TFloat3(0, 0, 0), 2.0};
    std::unique_ptr<TShipShape> m_pShape;
};
}  // namespace

// Turned a quarter about x into the play plane and scaled by 2: 1.2 wide, 2 long, 0.4 high.
TEST_F(ShipShapeTest, TheTurnedModelWithItsFlameAndExplosionHidden)
{
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);  // the ship; its explosion's nodes wait for a start
    EXPECT_EQ(m_pShape->GetExplosion()->GetRootNode(), nullptr);
    EXPECT_TRUE(ShipDrawn());
    const SbBox3f Box = scene::WorldBox(m_pRoot);
    ExpectBox(Box, -0.6f, -1.0f, 0.6f, 1.0f);
    EXPECT_NEAR(Box.getMax()[2], 0.2f, 1e-5);
    EXPECT_FALSE(m_pShape->GetEngine()->IsShown());

    // The flame once the rules show it: a third of the ship's size behind its centre, turned a
    // quarter, at the rules' flicker.
    m_Ship.Thrust(0.2);
    m_Ship.StepFlame(m_Random);
    m_pShape->Present(m_Ship, 1.0);
    EXPECT_TRUE(m_pShape->GetEngine()->IsShown());
    SoTransform* pFlame = m_pShape->GetEngine()->GetTransform();
    EXPECT_EQ(pFlame->translation.getValue(), SbVec3f(0, -2.0f / 3, 0));
    EXPECT_EQ(pFlame->scaleFactor.getValue(), SbVec3f(m_Ship.GetFlameWidth(), m_Ship.GetFlameHeight(), 1));
    EXPECT_NEAR(RotationAbout(pFlame, SbVec3f(0, 0, 1)), -PI / 2, 1e-6);
    // Drawn, the ship and its flame take the room the rules' box gives them, unshrunk.
    const SbBox3f WithFlame = scene::WorldBox(m_pRoot);
    const TBox3 Rules = m_Ship.GetBoundingBox().GetWorldBounds();
    EXPECT_NEAR(WithFlame.getMin()[1] * 0.75f, Rules.GetMin()[1], 1e-5);
    EXPECT_NEAR(WithFlame.getMax()[0] * 0.75f, Rules.GetMax()[0], 1e-5);
}

TEST_F(ShipShapeTest, DrawnTurnedAndMovedBetweenTicks)
{
    m_Ship.BeginTick();
    m_Ship.SetVelocity(TFloat3(10, 0, 0));
    m_Ship.Rotate(90.0);
    m_Ship.Move(0.1);
    m_pShape->Present(m_Ship, 0.5);
    EXPECT_NEAR(RotationAbout(m_pShape->GetTransform(), SbVec3f(0, 0, 1)), PI / 4, 1e-6);
    EXPECT_NEAR(m_pShape->GetTransform()->translation.getValue()[0], 0.5, 1e-6);
    m_pShape->Present(m_Ship, 1.0);
    ExpectBox(scene::WorldBox(m_pRoot), 1 - 1.0f, -0.6f, 1 + 1.0f, 0.6f);
}

TEST_F(ShipShapeTest, ExplosionAtThePlaceAndSizeGivenAndTheShipHidden)
{
    auto FxPlace = [this](SbVec3f& vTranslation, SbVec3f& vScale) {
        SoGetBoundingBoxAction Action{SbViewportRegion(800, 600)};
        Action.apply(m_pShape->GetExplosion()->GetRootNode());
        SbRotation Turn, ScaleTurn;
        Action.getXfBoundingBox().getTransform().getTransform(vTranslation, Turn, vScale, ScaleTurn);
    };
    const int nPaused = Mix_Paused(-1);
    m_Ship.ExplodeAt(2.0f, TFloat3(1, 2, 0));
    m_pShape->Explode(TFloat3(1, 2, 0), 2.0f);
    m_pShape->Present(m_Ship, 1.0);
    EXPECT_EQ(Mix_Paused(-1), nPaused - 1);
    EXPECT_FALSE(ShipDrawn());
    EXPECT_TRUE(m_pShape->GetExplosion()->IsActive());
    EXPECT_FALSE(ExplosionBox().isEmpty());
    SbVec3f vAt, vScale;
    FxPlace(vAt, vScale);
    EXPECT_NEAR((vAt - SbVec3f(1, 2, 0)).length(), 0.0f, 1e-5);
    EXPECT_NEAR((vScale - SbVec3f(2, 2, 2)).length(), 0.0f, 1e-5);
    m_Timers.AdvanceTo(21 * 50);  // the ship's explosion takes 21 firings of 50 ms
    EXPECT_FALSE(m_pShape->GetExplosion()->IsActive());
    m_Ship.Revive();
    m_pShape->Present(m_Ship, 1.0);
    EXPECT_TRUE(ShipDrawn());
}

TEST_F(ShipShapeTest, ShotsSoundEachTimeTheEngineAtMostEvery150Ms)
{
    const int nPaused = Mix_Paused(-1);
    m_pShape->OnFired();
    EXPECT_LE(Mix_Paused(-1), nPaused);  // the shot sound was restarted and un-paused
    const struct
    {
        uint32_t nNowMs;
        int nStarts;
    } Cases[] = {{1000, 1}, {1100, 1}, {1150, 1}, {1151, 2}, {1160, 2}, {1302, 3}, {0xfffffff0u, 4}, {0x50, 4}, {0xa0, 5}};
    for (const auto& Case : Cases) {
        m_pShape->OnThrust(Case.nNowMs);
        EXPECT_EQ(m_pShape->GetEngine()->GetSoundStarts(), Case.nStarts) << Case.nNowMs;
    }
}

TEST_F(ShipShapeTest, DeletingTheShipLeavesNothingBehind)
{
    m_pShape->Explode(TFloat3(0, 0, 0), 2.0f);
    m_Timers.AdvanceTo(30);
    m_pShape.reset();
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(m_Timers.SensorCount(), 0);
    for (SoTexture2* pTex : *s_pDB->GetTextures(ID_PLAYLIST_XPLOSIONS))
        EXPECT_EQ(pTex->getRefCount(), 1);
}
