// Game objects: missiles, asteroids and the player's ship on the real scene graph, with the real
// asset bank over the test data file and the sound manager on SDL's silent driver. Effect timers
// run in virtual time.
#include "base/GameClock.h"
#include "base/MathConstants.h"
#include "base/Random.h"
#include "databank/DataBanker.h"
#include "fx/GraphicFx.h"
#include "objects/Asteroids.h"
#include "objects/CollisionBox.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"
#include "sound/FModSoundManager.h"
#include "tests/support/SceneSearch.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoNormal.h>
#include <Inventor/nodes/SoNormalBinding.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>

#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace {

const SbViewportRegion REGION(800, 600);

// A box projected to the world, as (min x, min y, max x, max y) rounded to 1e-5 for comparing.
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

class SceneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SoDB::init();
        TGameClock::Reset(0);
        TRandom::Reset();
        m_pRoot = new SoSeparator;
        m_pRoot->ref();
    }
    void TearDown() override
    {
        m_pRoot->unref();
    }
    SoSeparator* m_pRoot = nullptr;
};

// The real bank over the test data file and the real sound manager, shared by a suite.
class BankTest : public SceneTest
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
    static TFModSoundManager* s_pSM;
    static TDataBanker* s_pDB;
};
TFModSoundManager* BankTest::s_pSM = nullptr;
TDataBanker* BankTest::s_pDB = nullptr;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Missiles

class MissileTest : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        m_pTex = new SoTexture2;
        m_pTex->ref();  // shared, as the bank's missile texture
    }
    void TearDown() override
    {
        m_pTex->unref();
        SceneTest::TearDown();
    }
    SoTexture2* m_pTex = nullptr;
};

TEST_F(MissileTest, NewMissileIsAHiddenSquareThatHidingKeepsAndKillingSpends)
{
    TMissile Missile(m_pRoot, SbVec2f(3, -4), 1.0, m_pTex);
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    // Built hidden, yet alive: the ship shows it when it fires.
    EXPECT_TRUE(scene::WorldBox(m_pRoot).isEmpty());
    EXPECT_TRUE(Missile.IsAlive());
    // One side-1 square over four points, counter-clockwise seen from above, with the shared
    // texture; no texture coordinates of its own.
    auto* pCoords = scene::Find<SoCoordinate3>(m_pRoot);
    ASSERT_TRUE(pCoords);
    const SbVec3f Square[4] = {SbVec3f(0.5f, -0.5f, 0), SbVec3f(0.5f, 0.5f, 0), SbVec3f(-0.5f, 0.5f, 0),
                               SbVec3f(-0.5f, -0.5f, 0)};
    ASSERT_EQ(pCoords->point.getNum(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(pCoords->point[i], Square[i]);

    Missile.SetVisible(true);
    Missile.Present();
    ExpectBox(scene::WorldBox(m_pRoot), 2.5f, -4.5f, 3.5f, -3.5f);
    EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), m_pTex);

    // Hiding is not killing.
    Missile.SetVisible(false);
    Missile.Present();
    EXPECT_TRUE(scene::WorldBox(m_pRoot).isEmpty());
    EXPECT_TRUE(Missile.IsAlive());
    Missile.SetVisible(true);
    Missile.Kill();
    Missile.Present();
    EXPECT_TRUE(scene::WorldBox(m_pRoot).isEmpty());
    EXPECT_FALSE(Missile.IsAlive());
}

TEST_F(MissileTest, FliesStraightInThePlaneWithoutTurningAndShowsWhereItIsWhenPresented)
{
    TMissile Missile(m_pRoot, SbVec2f(0, 0), 1.0, m_pTex);
    Missile.SetVisible(true);
    Missile.SetVelocity(SbVec2f(-12, 5));
    EXPECT_EQ(Missile.GetVelocity(), SbVec3f(-12, 5, 0));
    Missile.SetPosition(SbVec3f(1, 2, 7));  // a 3D position is kept as given
    EXPECT_EQ(Missile.GetPosition(), SbVec3f(1, 2, 7));
    Missile.SetPosition(SbVec2f(1, 2));     // a 2D one lands on z = 0
    Missile.Present();
    for (int i = 0; i < 10; ++i)
        Missile.Move(0.1);
    const SbVec3f v = Missile.GetPosition();
    EXPECT_NEAR(v[0], 1 - 12, 1e-4);
    EXPECT_NEAR(v[1], 2 + 5, 1e-4);
    EXPECT_EQ(v[2], 0.0f);
    // The scene shows the missile where it was last presented, then where it is now: the same
    // upright unit square, whatever the direction of flight.
    ExpectBox(scene::WorldBox(m_pRoot), 0.5f, 1.5f, 1.5f, 2.5f);
    Missile.Present();
    ExpectBox(scene::WorldBox(m_pRoot), v[0] - 0.5f, v[1] - 0.5f, v[0] + 0.5f, v[1] + 0.5f);
}

TEST_F(MissileTest, HitsTestsItsPositionAgainstTheTransformedBox)
{
    // A 2 x 2 x 2 box turned 45 degrees about z and moved to (10, 0, 0).
    SbXfBox3f Box(SbVec3f(-1, -1, -1), SbVec3f(1, 1, 1));
    SbMatrix Turn, Move;
    Turn.setRotate(SbRotation(SbVec3f(0, 0, 1), static_cast<float>(PI / 4)));
    Move.setTranslate(SbVec3f(10, 0, 0));
    Box.setTransform(Turn * Move);

    const struct
    {
        SbVec2f vPosition;
        bool bHit;
    } Cases[] = {
        {SbVec2f(10, 0), true},      // centre
        {SbVec2f(11.3f, 0), true},   // along the turned diagonal, inside
        {SbVec2f(11.5f, 0), false},  // beyond the corner at 10 + sqrt(2)
        {SbVec2f(10.9f, 0.9f), false},  // inside the unturned box only
        {SbVec2f(0, 0), false},
    };
    TMissile Missile(m_pRoot, SbVec2f(0, 0), 1.0, m_pTex);
    for (const auto& Case : Cases) {
        Missile.SetPosition(Case.vPosition);
        EXPECT_EQ(Missile.Hits(Box), Case.bHit) << Case.vPosition[0] << ", " << Case.vPosition[1];
    }
    // The box of a hidden object is empty and is never hit.
    SbXfBox3f Empty;
    Missile.SetPosition(SbVec2f(0, 0));
    EXPECT_FALSE(Missile.Hits(Empty));
}

TEST_F(MissileTest, DeletedMissilesLeaveNoNodesBehind)
{
    std::vector<std::unique_ptr<TMissile>> vecMissiles;
    for (int i = 0; i < 200; ++i)
        vecMissiles.push_back(std::make_unique<TMissile>(m_pRoot, SbVec2f(0, 0), 1.0, m_pTex));
    EXPECT_EQ(m_pRoot->getNumChildren(), 200);
    vecMissiles.clear();
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(m_pTex->getRefCount(), 1);

    // A parent that dropped the missile first does not trouble the destructor.
    auto pMissile = std::make_unique<TMissile>(m_pRoot, SbVec2f(0, 0), 1.0, m_pTex);
    m_pRoot->removeAllChildren();
    pMissile.reset();
    EXPECT_EQ(m_pTex->getRefCount(), 1);
}

// ---------------------------------------------------------------------------------------------
// Asteroid mesh

namespace {
std::vector<int32_t> MeshIndices()
{
    std::vector<int32_t> vec(TAsteroid::MESH_INDICES, 12345);
    TAsteroid::MakeMeshIndices(vec.data());
    return vec;
}

std::vector<SbVec3f> MeshPoints(const SbVec3f& vExtents)
{
    std::vector<SbVec3f> vec(TAsteroid::MESH_POINTS, SbVec3f(99, 99, 99));
    TAsteroid::MakeMeshPoints(vExtents, vec.data());
    return vec;
}
}  // namespace

TEST(AsteroidMeshTest, IndexListHasTheFixedEntries)
{
    const std::vector<int32_t> vecIndices = MeshIndices();
    const std::map<int, std::vector<int32_t>> mapExpected = {
        {0, {0, 1, 2, -1}},
        {28, {0, 8, 1, -1}},
        {32, {1, 9, 2, -1, 9, 10, 2, -1}},
        {88, {8, 16, 9, -1, 8, 9, 1, -1}},  // the closing quad of band 0
        {508, {64, 65, 57, -1, 0, 1, 2, -1}},
        {572, {0, 1, 2, -1}},
    };
    for (const auto& [nAt, vecWant] : mapExpected)
        EXPECT_EQ(std::vector<int32_t>(vecIndices.begin() + nAt, vecIndices.begin() + nAt + vecWant.size()), vecWant)
            << "entries from " << nAt;
    for (int i = 0; i < TAsteroid::MESH_INDICES; ++i) {
        if (i % 4 == 3)
            ASSERT_EQ(vecIndices[i], -1) << i;
        else
            ASSERT_TRUE(vecIndices[i] >= 0 && vecIndices[i] <= 65) << i;
    }
}

TEST(AsteroidMeshTest, TrianglesCloseTheRockWithOneConsistentWinding)
{
    const std::vector<int32_t> vecIndices = MeshIndices();
    // The first 128 triangles are distinct; the rest repeat the first.
    std::map<std::pair<int, int>, int> mapDirected;
    for (int t = 0; t < 128; ++t) {
        const int* p = &vecIndices[4 * t];
        for (int e = 0; e < 3; ++e)
            ++mapDirected[{p[e], p[(e + 1) % 3]}];
    }
    // A closed surface wound one way: every edge once in each direction.
    EXPECT_EQ(mapDirected.size(), 384u);  // 192 edges, each both ways
    for (const auto& [Edge, nCount] : mapDirected) {
        ASSERT_EQ(nCount, 1) << Edge.first << "->" << Edge.second;
        ASSERT_EQ(mapDirected.count({Edge.second, Edge.first}), 1u) << Edge.first << "-" << Edge.second;
    }
    for (int t = 128; t < 144; ++t)
        EXPECT_EQ(std::vector<int32_t>(&vecIndices[4 * t], &vecIndices[4 * t + 4]), std::vector<int32_t>({0, 1, 2, -1}));

    // Counter-clockwise seen from outside: every face normal points away from the centre.
    TRandom::Reset();
    const std::vector<SbVec3f> vecPoints = MeshPoints(SbVec3f(6, 8, 5));
    for (int t = 0; t < 128; ++t) {
        const SbVec3f& a = vecPoints[vecIndices[4 * t]];
        const SbVec3f& b = vecPoints[vecIndices[4 * t + 1]];
        const SbVec3f& c = vecPoints[vecIndices[4 * t + 2]];
        EXPECT_GT((b - a).cross(c - a).dot(a + b + c), 0.0f) << "triangle " << t;
    }
}

TEST(AsteroidMeshTest, PointsArePolesAndEightJitteredRingsFromTheirOwnDraws)
{
    TRandom::Reset();
    for (int i = 0; i < TAsteroid::MESH_DRAWS; ++i)
        TRandom::Draw();
    const uint32_t nStateAfterOneMesh = TRandom::GetState();

    TRandom::Reset();
    const SbVec3f vExtents(2, 3, 2);
    const std::vector<SbVec3f> vecPoints = MeshPoints(vExtents);
    EXPECT_EQ(TRandom::GetState(), nStateAfterOneMesh);

    EXPECT_EQ(vecPoints[0], SbVec3f(0, -1.5f, 0));
    EXPECT_EQ(vecPoints[65], SbVec3f(0, 1.5f, 0));
    const double Profile[8] = {0.65, 0.85, 0.95, 0.95, 0.95, 0.95, 0.85, 0.65};
    for (int k = 0; k < 8; ++k) {
        for (int j = 0; j < 8; ++j) {
            const SbVec3f& v = vecPoints[1 + 8 * k + j];
            SCOPED_TRACE(testing::Message() << "ring " << k << " segment " << j);
            EXPECT_NEAR(v[1], -1.5 + (k + 1) / 3.0, 1e-5);
            const double dPhi = j * PI / 4;
            EXPECT_NEAR(v[0], std::cos(dPhi) * 1.0 * Profile[k], 0.05 * 2 + 1e-5);
            EXPECT_NEAR(v[2], std::sin(dPhi) * 1.0 * Profile[k], 0.04 * 2 + 1e-5);
        }
    }
    // Ring 0, segment 0.
    EXPECT_TRUE(vecPoints[1][0] >= 0.55f && vecPoints[1][0] <= 0.75f);
    EXPECT_TRUE(vecPoints[1][2] >= -0.08f && vecPoints[1][2] <= 0.08f);

    // Draws 1 and 2 jitter point 1: z first, then x.
    TRandom::Reset();
    const int32_t d1 = TRandom::Draw(), d2 = TRandom::Draw();
    EXPECT_FLOAT_EQ(vecPoints[1][2], static_cast<float>(0.08 - d1 * 0.16 / 32767));
    EXPECT_FLOAT_EQ(vecPoints[1][0], static_cast<float>(0.65 + 0.1 - d2 * 0.2 / 32767));
}

TEST(AsteroidMeshTest, SameGeneratorStateSameMeshNextMeshDiffers)
{
    const SbVec3f vExtents(4, 5, 4);
    TRandom::Seed(777);
    const std::vector<SbVec3f> vecFirst = MeshPoints(vExtents);
    const std::vector<SbVec3f> vecNext = MeshPoints(vExtents);
    TRandom::Seed(777);
    EXPECT_EQ(MeshPoints(vExtents), vecFirst);
    EXPECT_NE(vecNext, vecFirst);
}

// ---------------------------------------------------------------------------------------------
// Asteroids

using AsteroidTest = BankTest;

TEST_F(AsteroidTest, NewAsteroidIsTheShownMeshWithItsExplosionBesideIt)
{
    TRandom::Reset();
    const std::vector<SbVec3f> vecPoints = MeshPoints(SbVec3f(3.2f, 4.4f, 2.9f));
    TRandom::Draw();
    TRandom::Draw();
    const uint32_t nStateAfter = TRandom::GetState();

    TRandom::Reset();
    TAsteroid Rock(m_pRoot, s_pSM, s_pDB, SbVec3f(7, -3, 9), SbVec3f(3.2f, 4.4f, 2.9f), 2);
    // 128 draws for the mesh, then two for the explosion.
    EXPECT_EQ(TRandom::GetState(), nStateAfter);

    // The rock; its explosion's nodes wait for its first start.
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    EXPECT_EQ(m_pRoot->findChild(Rock.GetRootNode()), 0);
    EXPECT_EQ(Rock.GetExplosion()->GetRootNode(), nullptr);

    // Shown at its place (z ignored), drawn with the bank's rock texture from its 66 points,
    // each point its own normal, by the fixed index list.
    SoNode* pRoot = Rock.GetRootNode();
    EXPECT_FALSE(scene::WorldBox(pRoot).isEmpty());
    EXPECT_EQ(scene::Drawn<SoTexture2>(pRoot), s_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK));
    auto* pXf = scene::Find<SoTransform>(pRoot);
    auto* pNB = scene::Find<SoNormalBinding>(pRoot);
    auto* pNorm = scene::Find<SoNormal>(pRoot);
    auto* pCoords = scene::Find<SoCoordinate3>(pRoot);
    auto* pSet = scene::Find<SoIndexedFaceSet>(pRoot);
    ASSERT_TRUE(pXf && pNB && pNorm && pCoords && pSet);
    EXPECT_EQ(pXf->translation.getValue(), SbVec3f(7, -3, 0));
    EXPECT_EQ(pNB->value.getValue(), SoNormalBinding::PER_VERTEX_INDEXED);
    ASSERT_EQ(pCoords->point.getNum(), 66);
    ASSERT_EQ(pNorm->vector.getNum(), 66);
    for (int i = 0; i < 66; ++i) {
        EXPECT_EQ(pCoords->point[i], vecPoints[i]) << i;
        EXPECT_EQ(pNorm->vector[i], vecPoints[i]) << i;
    }
    const std::vector<int32_t> vecIndices = MeshIndices();
    ASSERT_EQ(pSet->coordIndex.getNum(), 576);
    EXPECT_EQ(std::vector<int32_t>(pSet->coordIndex.getValues(0), pSet->coordIndex.getValues(0) + 576), vecIndices);
    EXPECT_EQ(pSet->normalIndex.getNum(), 1);  // left at its default: normals follow coordIndex
    EXPECT_EQ(pSet->normalIndex[0], -1);

    EXPECT_TRUE(Rock.IsAlive());
    EXPECT_EQ(Rock.GetType(), 2);
    EXPECT_EQ(Rock.GetVelocity(), SbVec3f(0, 0, 0));
}

TEST_F(AsteroidTest, MoveDriftsAndTumblesOnlyWithASpin)
{
    TAsteroid Rock(m_pRoot, s_pSM, s_pDB, SbVec3f(0, 0, 0), SbVec3f(2, 3, 2), 0);
    auto* pXf = scene::Find<SoTransform>(Rock.GetRootNode());
    ASSERT_TRUE(pXf);
    Rock.SetVelocity(SbVec2f(0.2f, -0.1f));
    for (int i = 0; i < 10; ++i)
        Rock.Move(0.1);
    Rock.Present();
    EXPECT_TRUE(pXf->rotation.getValue() == SbRotation::identity());  // rate 0 never turns it
    EXPECT_NEAR(Rock.GetPosition()[0], 0.2, 1e-5);
    EXPECT_NEAR(Rock.GetPosition()[1], -0.1, 1e-5);
    EXPECT_EQ(Rock.GetPosition()[2], 0.0f);
    EXPECT_EQ(pXf->translation.getValue(), Rock.GetPosition());

    const SbVec3f vAxis(0, 0, 1);
    Rock.SetSpin(0.5, vAxis);
    Rock.Move(0.1);
    Rock.Move(0.1);
    Rock.Present();
    EXPECT_NEAR(RotationAbout(pXf, vAxis), 0.1, 1e-5);
    // A new spin starts again from angle 0.
    Rock.SetSpin(-0.25, vAxis);
    Rock.Move(0.1);
    Rock.Present();
    EXPECT_NEAR(RotationAbout(pXf, vAxis), -0.025, 1e-5);
}

TEST_F(AsteroidTest, ExplodeHidesForGoodAnimatingOnlyShotSmallRocks)
{
    const struct
    {
        int nType;
        bool bWithEffect;
        bool bAnimation;
    } Cases[] = {{0, true, true}, {1, true, false}, {2, true, false}, {0, false, false}, {2, false, false}};
    for (const auto& Case : Cases) {
        SCOPED_TRACE(testing::Message() << "type " << Case.nType << " with effect " << Case.bWithEffect);
        TAsteroid Rock(m_pRoot, s_pSM, s_pDB, SbVec3f(4, 5, 0), SbVec3f(2, 3, 2), Case.nType);
        const int nPaused = Mix_Paused(-1);
        ASSERT_FALSE(Rock.GetBoundingBox().isEmpty());

        Rock.Explode(Case.bWithEffect);
        Rock.Present();
        EXPECT_FALSE(Rock.IsAlive());
        EXPECT_TRUE(scene::WorldBox(Rock.GetRootNode()).isEmpty());
        EXPECT_TRUE(Rock.GetBoundingBox().isEmpty());
        EXPECT_EQ(Mix_Paused(-1), nPaused - 1);  // its explosion sound plays in every case
        EXPECT_EQ(Rock.GetExplosion()->IsActive(), Case.bAnimation);
        // Beside the rock, shown: the animation.
        SoNode* pFxRoot = Rock.GetExplosion()->GetRootNode();
        EXPECT_EQ(pFxRoot != nullptr, Case.bAnimation);
        if (Case.bAnimation) {
            EXPECT_GE(m_pRoot->findChild(pFxRoot), 0);
            const SbBox3f FxBox = scene::WorldBox(pFxRoot);
            // Where the rock was.
            EXPECT_NEAR(FxBox.getCenter()[0], 4.0f, 1e-5);
            EXPECT_NEAR(FxBox.getCenter()[1], 5.0f, 1e-5);
            TGameClock::Advance(21 * 25);  // a run takes 21 firings of 25 ms
            EXPECT_FALSE(Rock.GetExplosion()->IsActive());
        }
    }
}

TEST_F(AsteroidTest, BoxIsTheRocksBoundsShrunkToThreeQuartersInItsOwnFrame)
{
    TAsteroid Rock(m_pRoot, s_pSM, s_pDB, SbVec3f(10, 5, 0), SbVec3f(4, 5, 4), 1);
    Rock.SetSpin(PI / 2, SbVec3f(0, 0, 1));
    Rock.Move(1.0);  // a quarter turn: the rock's long y axis now lies along -x
    Rock.Present();

    SoGetBoundingBoxAction Action(REGION);
    Action.apply(Rock.GetRootNode());
    const SbXfBox3f Raw = Action.getXfBoundingBox();
    SbVec3f vMin, vMax;
    Raw.getBounds(vMin, vMax);
    const SbXfBox3f Box = Rock.GetBoundingBox();
    SbVec3f vBoxMin, vBoxMax;
    Box.getBounds(vBoxMin, vBoxMax);
    EXPECT_EQ(vBoxMin, vMin * 0.75f);
    EXPECT_EQ(vBoxMax, vMax * 0.75f);
    EXPECT_TRUE(Box.getTransform() == Raw.getTransform());

    // Missiles along the rock's long axis: inside within 0.75 of its reach, outside beyond it.
    TMissile Missile(m_pRoot, SbVec2f(0, 0), 1.0, s_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE));
    const float fReach = vMax[1];  // about 2.5 from the centre, along world -x after the turn
    Missile.SetPosition(SbVec2f(10 - 0.7f * fReach, 5));
    EXPECT_TRUE(Missile.Hits(Box));
    Missile.SetPosition(SbVec2f(10 - 0.8f * fReach, 5));
    EXPECT_FALSE(Missile.Hits(Box));
    EXPECT_TRUE(Missile.Hits(Raw));
    Missile.SetPosition(SbVec2f(10, 5 + 0.8f * fReach));  // the unturned long axis misses now
    EXPECT_FALSE(Missile.Hits(Box));
}

TEST_F(AsteroidTest, DeletedAsteroidsLeaveNoNodesOrTimersBehind)
{
    const int nSensors = TGameClock::SensorCount();
    std::vector<std::unique_ptr<TAsteroid>> vecRocks;
    for (int i = 0; i < 40; ++i)
        vecRocks.push_back(std::make_unique<TAsteroid>(m_pRoot, s_pSM, s_pDB, SbVec3f(0, 0, 0), SbVec3f(2, 3, 2), i % 3));
    EXPECT_EQ(m_pRoot->getNumChildren(), 40);
    vecRocks[0]->Explode(true);  // deleted while its explosion runs
    EXPECT_EQ(m_pRoot->getNumChildren(), 41);
    TGameClock::Advance(50);
    vecRocks.clear();
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(TGameClock::SensorCount(), nSensors);
    EXPECT_EQ(s_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK)->getRefCount(), 1);
    TGameClock::Advance(1000);
}

// ---------------------------------------------------------------------------------------------
// The player's ship

namespace {
class ShipTest : public BankTest
{
protected:
    void SetUp() override
    {
        BankTest::SetUp();
        TFxEngine::ResetSoundLimit();
        m_pMissiles = new SoSeparator;
        m_pRoot->addChild(m_pMissiles);
        m_pShip = std::make_unique<TManShip>(m_pRoot, s_pSM, s_pDB, SbVec3f(0, 0, 0), 2.0);
    }
    void TearDown() override
    {
        m_pShip.reset();
        BankTest::TearDown();
    }
    // Whether the ship is drawn; its explosion's box (empty while hidden); the ship's own box.
    bool ShipDrawn() const { return scene::IsDrawn(m_pRoot, m_pShip->GetRootNode()); }
    SbBox3f ExplosionBox() const
    {
        SoNode* pRoot = m_pShip->GetExplosion()->GetRootNode();
        return pRoot ? scene::WorldBox(pRoot) : SbBox3f();
    }
    SbBox3f ShipBox() const { return scene::WorldBox(m_pShip->GetRootNode()); }

    SoSeparator* m_pMissiles = nullptr;
    std::unique_ptr<TManShip> m_pShip;
};
}  // namespace

// The test model is a 0.6 x 0.2 x 1.0 cube; the ship turns it a quarter about x into the play
// plane and scales it by 2: 1.2 wide, 2 long, 0.4 high.
TEST_F(ShipTest, ShipIsTheTurnedModelWithItsFlameAndExplosionHidden)
{
    // The missiles' group and the ship; its explosion's nodes wait for its first start.
    ASSERT_EQ(m_pRoot->getNumChildren(), 2);
    EXPECT_EQ(m_pShip->GetExplosion()->GetRootNode(), nullptr);
    EXPECT_TRUE(ShipDrawn());
    const SbBox3f Box = scene::WorldBox(m_pRoot);  // the ship alone: flame and explosion hidden
    ExpectBox(Box, -0.6f, -1.0f, 0.6f, 1.0f);
    EXPECT_NEAR(Box.getMax()[2], 0.2f, 1e-5);
    EXPECT_TRUE(ExplosionBox().isEmpty());
    EXPECT_TRUE(m_pShip->GetEngine()->GetBoundingBox().isEmpty());
    EXPECT_TRUE(m_pShip->IsAlive());
    EXPECT_EQ(m_pShip->GetAngle(), 0.0);
    EXPECT_EQ(m_pShip->GetVelocity(), SbVec3f(0, 0, 0));

    // The flame, once started, a third of the ship's size behind its centre, in its own frame.
    m_pShip->Thrust(0.2);
    const SbBox3f Flame = m_pShip->GetEngine()->GetBoundingBox().project();
    EXPECT_NEAR(Flame.getCenter()[0], 0.0f, 1e-6);
    EXPECT_NEAR(Flame.getCenter()[1], -2.0f / 3, 1e-6);
}

TEST_F(ShipTest, ConstructionDrawsTwiceForItsExplosion)
{
    TRandom::Reset();
    TRandom::Draw();
    TRandom::Draw();
    const uint32_t nStateAfter = TRandom::GetState();
    TRandom::Reset();
    TManShip Ship(m_pRoot, s_pSM, s_pDB, SbVec3f(0, 0, 0), 2.0);
    EXPECT_EQ(TRandom::GetState(), nStateAfter);
}

TEST_F(ShipTest, RotateTurnsAboutZInDegreesWithoutWrapping)
{
    for (int i = 0; i < 45; ++i)
        m_pShip->Rotate(16.0);
    EXPECT_NEAR(m_pShip->GetAngle(), 4 * PI, 1e-12);  // two full turns, not reduced
    m_pShip->Present();
    ExpectBox(ShipBox(), -0.6f, -1.0f, 0.6f, 1.0f);  // drawn as it was built
    m_pShip->Rotate(16.0);
    m_pShip->Rotate(-16.0);
    EXPECT_NEAR(m_pShip->GetAngle(), 4 * PI, 1e-12);
    m_pShip->SetAngle(0.5);
    EXPECT_EQ(m_pShip->GetAngle(), 0.5);
    // A quarter turn counter-clockwise: the long model lies across the field, drawn so once
    // presented.
    m_pShip->SetAngle(PI / 2);
    ExpectBox(ShipBox(), -0.6f, -1.0f, 0.6f, 1.0f);
    m_pShip->Present();
    ExpectBox(ShipBox(), -1.0f, -0.6f, 1.0f, 0.6f);
}

TEST_F(ShipTest, ThrustAcceleratesAlongTheHeadingClampedPerComponent)
{
    const struct
    {
        double dDegrees;
        int nThrusts;
        SbVec3f vWant;
    } Cases[] = {
        {0, 3, SbVec3f(0, 0.6f, 0)},
        {0, 40, SbVec3f(0, 5, 0)},
        {-45, 40, SbVec3f(5, 5, 0)},  // a diagonal reaches about 7.07
        {180, 40, SbVec3f(0, -5, 0)},
        {90, 40, SbVec3f(-5, 0, 0)},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.dDegrees);
        m_pShip->SetVelocity(SbVec3f(0, 0, 0));
        m_pShip->SetAngle(Case.dDegrees * PI / 180);
        for (int i = 0; i < Case.nThrusts; ++i)
            m_pShip->Thrust(static_cast<double>(0.2f));
        const SbVec3f v = m_pShip->GetVelocity();
        EXPECT_NEAR(v[0], Case.vWant[0], 1e-5);
        EXPECT_NEAR(v[1], Case.vWant[1], 1e-5);
        EXPECT_EQ(v[2], 0.0f);
    }
    // Only thrust clamps: a faster velocity set from outside stays until the next thrust.
    m_pShip->SetAngle(0);
    m_pShip->SetVelocity(SbVec3f(8, -9, 0));
    m_pShip->Move(0.1);
    EXPECT_EQ(m_pShip->GetVelocity(), SbVec3f(8, -9, 0));
    m_pShip->Thrust(0.2);
    EXPECT_EQ(m_pShip->GetVelocity(), SbVec3f(5, -5, 0));
    EXPECT_TRUE(m_pShip->GetEngine()->IsActive());
    EXPECT_EQ(TFxEngine::GetSoundStarts(), 1);
}

TEST_F(ShipTest, MoveDriftsByVelocityTimesStep)
{
    m_pShip->SetPosition(SbVec3f(1, 2, 0));
    m_pShip->SetVelocity(SbVec3f(3, -4, 0));
    m_pShip->Move(0.1);
    EXPECT_NEAR(m_pShip->GetPosition()[0], 1.3, 1e-6);
    EXPECT_NEAR(m_pShip->GetPosition()[1], 1.6, 1e-6);
    m_pShip->Present();
    const SbVec3f vCentre = ShipBox().getCenter();
    EXPECT_NEAR(vCentre[0], 1.3, 1e-6);
    EXPECT_NEAR(vCentre[1], 1.6, 1e-6);
}

TEST_F(ShipTest, FireLaunchesFromTheCentreAlongTheHeadingAtDriftSpeedPlusTen)
{
    const struct
    {
        double dDegrees;
        SbVec3f vShipSpeed;
        SbVec2f vWant;
    } Cases[] = {
        {0, SbVec3f(0, 0, 0), SbVec2f(0, 10)},
        {90, SbVec3f(7, 0, 0), SbVec2f(-17, 0)},   // the drift adds its length, not its direction
        {-90, SbVec3f(0, -7, 0), SbVec2f(17, 0)},
        {180, SbVec3f(3, 4, 0), SbVec2f(0, -15)},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.dDegrees);
        m_pShip->SetAngle(Case.dDegrees * PI / 180);
        m_pShip->SetVelocity(Case.vShipSpeed);
        m_pShip->SetPosition(SbVec3f(-3, 4, 0));
        const int nPaused = Mix_Paused(-1);
        std::unique_ptr<TMissile> pMissile(m_pShip->Fire(m_pMissiles));
        ASSERT_TRUE(pMissile);
        EXPECT_LE(Mix_Paused(-1), nPaused);  // the shot sound was restarted and un-paused
        EXPECT_TRUE(pMissile->IsAlive());
        EXPECT_GE(m_pMissiles->findChild(pMissile->GetRootNode()), 0);
        pMissile->Present();
        ExpectBox(scene::WorldBox(m_pMissiles), -3.5f, 3.5f, -2.5f, 4.5f);  // shown where the ship is
        EXPECT_EQ(pMissile->GetPosition(), SbVec3f(-3, 4, 0));
        EXPECT_NEAR(pMissile->GetVelocity()[0], Case.vWant[0], 1e-4);
        EXPECT_NEAR(pMissile->GetVelocity()[1], Case.vWant[1], 1e-4);
    }
    EXPECT_EQ(m_pMissiles->getNumChildren(), 0);  // each deleted missile took its nodes along
}

TEST_F(ShipTest, ExplodingHidesTheShipAndOnlyReviveMakesItFlyAgain)
{
    // The explosion's place and scale, as drawn.
    auto FxPlace = [this](SbVec3f& vTranslation, SbVec3f& vScale) {
        SoGetBoundingBoxAction Action(REGION);
        Action.apply(m_pShip->GetExplosion()->GetRootNode());
        SbRotation Turn, ScaleTurn;
        Action.getXfBoundingBox().getTransform().getTransform(vTranslation, Turn, vScale, ScaleTurn);
    };
    SbVec3f vAt, vScale;
    m_pShip->SetPosition(SbVec3f(8, 9, 0));
    m_pShip->ExplodeAt(2.0f, SbVec3f(1, 2, 0));
    m_pShip->Present();
    EXPECT_FALSE(m_pShip->IsAlive());
    EXPECT_FALSE(ShipDrawn());
    EXPECT_TRUE(m_pShip->GetExplosion()->IsActive());
    EXPECT_FALSE(ExplosionBox().isEmpty());
    FxPlace(vAt, vScale);
    EXPECT_NEAR((vAt - SbVec3f(1, 2, 0)).length(), 0.0f, 1e-5);
    EXPECT_NEAR((vScale - SbVec3f(2, 2, 2)).length(), 0.0f, 1e-5);
    // The destroyed ship keeps its place, and its box still comes from the model.
    EXPECT_EQ(m_pShip->GetPosition(), SbVec3f(8, 9, 0));
    EXPECT_FALSE(m_pShip->GetBoundingBox().isEmpty());
    TGameClock::Advance(21 * 50);  // the ship's explosion takes 21 firings of 50 ms
    EXPECT_FALSE(m_pShip->GetExplosion()->IsActive());

    m_pShip->SetVisible(true);
    m_pShip->Present();
    EXPECT_TRUE(ShipDrawn());
    EXPECT_FALSE(m_pShip->IsAlive());

    // In place, keeping the scale last set.
    m_pShip->Explode();
    m_pShip->Present();
    FxPlace(vAt, vScale);
    EXPECT_NEAR((vAt - SbVec3f(8, 9, 0)).length(), 0.0f, 1e-5);
    EXPECT_NEAR((vScale - SbVec3f(2, 2, 2)).length(), 0.0f, 1e-5);
    EXPECT_FALSE(ShipDrawn());

    m_pShip->Revive();
    m_pShip->Present();
    EXPECT_TRUE(m_pShip->IsAlive());
    EXPECT_TRUE(ShipDrawn());
}

TEST_F(ShipTest, BoxIsTheShrunkModelAndCoversTheFlameWhileItShows)
{
    // The test model is a 0.6 x 0.2 x 1.0 cube turned a quarter about x, then scaled by 2.
    const SbBox3f Box = m_pShip->GetBoundingBox().project();
    EXPECT_NEAR(Box.getMin()[0], -0.45, 1e-5);
    EXPECT_NEAR(Box.getMax()[0], 0.45, 1e-5);
    EXPECT_NEAR(Box.getMin()[1], -0.75, 1e-5);
    EXPECT_NEAR(Box.getMax()[1], 0.75, 1e-5);
    EXPECT_NEAR(Box.getMax()[2], 0.15, 1e-5);

    m_pShip->Thrust(0.2);
    TGameClock::Advance(10);
    const SbBox3f WithFlame = m_pShip->GetBoundingBox().project();
    EXPECT_LT(WithFlame.getMin()[1], -1.5f);  // the flame reaches well behind the hull
}

TEST_F(ShipTest, DeletingTheShipLeavesNothingBehind)
{
    m_pShip->Thrust(0.2);
    m_pShip->ExplodeAt(2.0f, SbVec3f(0, 0, 0));
    TGameClock::Advance(30);
    m_pShip.reset();
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);  // only the missiles' group
    EXPECT_EQ(TGameClock::SensorCount(), 0);
    for (SoTexture2* pTex : *s_pDB->GetTextures(ID_PLAYLIST_XPLOSIONS))
        EXPECT_EQ(pTex->getRefCount(), 1);
}
