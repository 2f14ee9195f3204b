// The game objects' rules on their own, with no scene library: missiles, rock meshes, rocks and
// the player's ship, and the collision boxes they are tested by. Each case places objects at
// exact coordinates and checks an outcome.
#include "base/MathConstants.h"
#include "base/Random.h"
#include "objects/Asteroids.h"
#include "objects/CollisionBox.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace {
// The game's model box for these cases: a 0.6 x 0.2 x 1.0 model turned a quarter about x into
// the play plane (1.0 long along y, 0.2 high along z), before the ship's scale of 2.
const TBox3 MODEL_BOX(TFloat3(-0.3f, -0.5f, -0.1f), TFloat3(0.3f, 0.5f, 0.1f));

// A box as (min x, min y, max x, max y) to 1e-5.
void ExpectBounds(const TBox3& Box, float fMinX, float fMinY, float fMaxX, float fMaxY)
{
    ASSERT_FALSE(Box.IsEmpty());
    EXPECT_NEAR(Box.GetMin()[0], fMinX, 1e-5);
    EXPECT_NEAR(Box.GetMin()[1], fMinY, 1e-5);
    EXPECT_NEAR(Box.GetMax()[0], fMaxX, 1e-5);
    EXPECT_NEAR(Box.GetMax()[1], fMaxY, 1e-5);
}

std::vector<int32_t> MeshIndices()
{
    std::vector<int32_t> vec(TAsteroid::MESH_INDICES, 12345);
    TAsteroid::MakeMeshIndices(vec.data());
    return vec;
}

std::vector<TFloat3> MeshPoints(TRandom& Random, const TFloat3& vExtents)
{
    std::vector<TFloat3> vec(TAsteroid::MESH_POINTS, TFloat3(99, 99, 99));
    TAsteroid::MakeMeshPoints(Random, vExtents, vec.data());
    return vec;
}

uint32_t StateAfterDraws(int nDraws, uint32_t nStart = TRandom::START_STATE)
{
    TRandom Random(nStart);
    for (int i = 0; i < nDraws; ++i)
        Random.Draw();
    return Random.GetState();
}

double Dot(const TFloat3& a, const TFloat3& b)
{
    return double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2];
}

TFloat3 Cross(const TFloat3& a, const TFloat3& b)
{
    return TFloat3(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Collision boxes

TEST(CollisionBoxTest, PointsInsideATurnedMovedBoxAndNothingInAnEmptyOne)
{
    // A 2 x 2 x 2 box turned 45 degrees about z and moved to (10, 0, 0); the 0.75 shrink is
    // undone by the unshrunk extents of 4/3.
    const float e = 4.0f / 3;
    const TCollisionBox Box(TBox3(TFloat3(-e, -e, -e), TFloat3(e, e, e)), TFrame::AboutZ(PI / 4, 1.0, TFloat3(10, 0, 0)));
    const struct
    {
        TFloat3 vPoint;
        bool bInside;
    } Cases[] = {
        {TFloat3(10, 0, 0), true},         // centre
        {TFloat3(11.3f, 0, 0), true},      // along the turned diagonal, inside
        {TFloat3(11.5f, 0, 0), false},     // beyond the corner at 10 + sqrt(2)
        {TFloat3(10.9f, 0.9f, 0), false},  // inside the unturned box only
        {TFloat3(10, 0, 1.0f), true},      // a face's height
        {TFloat3(10, 0, 1.01f), false},
        {TFloat3(0, 0, 0), false},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(Box.Holds(Case.vPoint), Case.bInside) << Case.vPoint[0] << ", " << Case.vPoint[1] << ", " << Case.vPoint[2];
    EXPECT_FALSE(TCollisionBox().Holds(TFloat3(0, 0, 0)));
    EXPECT_FALSE(TCollisionBox().Meets(Box));
    EXPECT_FALSE(Box.Meets(TCollisionBox()));
}

TEST(CollisionBoxTest, BoxesMeetAcrossTurnsFacesEdgesAndCornersTouchingIncluded)
{
    // Unit boxes (own extents 2/3 before the shrink, so 0.5 after) in the plane z = 0.
    const float h = 2.0f / 3;
    const TBox3 Unit(TFloat3(-h, -h, -h), TFloat3(h, h, h));
    const auto At = [&](float x, float y, double dAngle) { return TCollisionBox(Unit, TFrame::AboutZ(dAngle, 1.0, TFloat3(x, y, 0))); };
    const struct
    {
        const char* szCase;
        TCollisionBox A, B;
        bool bMeet;
    } Cases[] = {
        {"apart along x", At(0, 0, 0), At(1.01f, 0, 0), false},
        {"faces touching", At(0, 0, 0), At(1.0f, 0, 0), true},
        {"overlapping", At(0, 0, 0), At(0.5f, 0.5f, 0), true},
        {"a corner into a face", At(0, 0, 0), At(1.2f, 0, PI / 4), true},  // reaches 1.2 - 0.707
        {"a corner short of a face", At(0, 0, 0), At(1.25f, 0, PI / 4), false},
        {"two diamonds corner to corner apart", At(0, 0, PI / 4), At(1.45f, 0, PI / 4), false},
        {"two diamonds corner to corner", At(0, 0, PI / 4), At(1.4f, 0, PI / 4), true},
        {"diagonal neighbours apart", At(0, 0, 0), At(1.02f, 1.02f, PI / 8), false},
        {"a box inside another", TCollisionBox(Unit, TFrame::AboutZ(0.3, 4.0, TFloat3(0, 0, 0))), At(0.2f, 0, 1), true},
        {"one above the other", At(0, 0, 0), TCollisionBox(Unit, TFrame::AboutAxis(TFloat3(1, 0, 0), 0.0, TFloat3(0, 0, 1.1f))), false},
        {"tumbled into it", At(0, 0, 0), TCollisionBox(Unit, TFrame::AboutAxis(TFloat3(1, 1, 0), 0.8, TFloat3(0, 0, 1.05f))), true},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(Case.A.Meets(Case.B), Case.bMeet) << Case.szCase;
        EXPECT_EQ(Case.B.Meets(Case.A), Case.bMeet) << Case.szCase << ", the other way";
    }
}

TEST(CollisionBoxTest, WorldBoundsAndCentreFollowTheFrame)
{
    // A 2 x 1 x 1 box (before the shrink) scaled by 2, turned a quarter, at (5, -3).
    const TCollisionBox Box(TBox3(TFloat3(-1, -0.5f, -0.5f), TFloat3(1, 0.5f, 0.5f)), TFrame::AboutZ(PI / 2, 2.0, TFloat3(5, -3, 0)));
    ExpectBounds(Box.GetWorldBounds(), 5 - 0.75f, -3 - 1.5f, 5 + 0.75f, -3 + 1.5f);
    const TFloat3 vCentre = Box.GetCenter();
    EXPECT_NEAR(vCentre[0], 5, 1e-6);
    EXPECT_NEAR(vCentre[1], -3, 1e-6);
    EXPECT_TRUE(TCollisionBox().GetWorldBounds().IsEmpty());
    // An axis of no length turns nothing.
    const TFrame None = TFrame::AboutAxis(TFloat3(0, 0, 0), 1.0, TFloat3(1, 2, 3));
    EXPECT_EQ(None.dTurn[0][0], 1.0);
    EXPECT_EQ(None.dTurn[1][1], 1.0);
    EXPECT_EQ(None.dTurn[0][1], 0.0);
}

// ---------------------------------------------------------------------------------------------
// Missiles

TEST(MissileRulesTest, FliesStraightOnZeroAndDiesWhenKilled)
{
    TMissile Missile(TFloat3(1, 2, 7), 1.0, 5);
    EXPECT_EQ(Missile.GetPosition(), TFloat3(1, 2, 0));  // always in the play plane
    EXPECT_TRUE(Missile.IsAlive());
    EXPECT_FALSE(Missile.IsVisible());  // the ship shows it when it fires
    EXPECT_EQ(Missile.GetSerial(), 5u);
    Missile.SetVelocity(-12, 5);
    for (int i = 0; i < 10; ++i)
        Missile.Move(0.1);
    EXPECT_NEAR(Missile.GetPosition()[0], 1 - 12, 1e-4);
    EXPECT_NEAR(Missile.GetPosition()[1], 2 + 5, 1e-4);
    EXPECT_EQ(Missile.GetPosition()[2], 0.0f);
    Missile.SetVisible(true);
    Missile.SetVisible(false);
    EXPECT_TRUE(Missile.IsAlive());  // hiding is not killing
    Missile.SetVisible(true);
    Missile.Kill();
    EXPECT_FALSE(Missile.IsAlive());
    EXPECT_FALSE(Missile.IsVisible());
}

// ---------------------------------------------------------------------------------------------
// Asteroid mesh

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
    TRandom Random;
    const std::vector<TFloat3> vecPoints = MeshPoints(Random, TFloat3(6, 8, 5));
    for (int t = 0; t < 128; ++t) {
        const TFloat3& a = vecPoints[vecIndices[4 * t]];
        const TFloat3& b = vecPoints[vecIndices[4 * t + 1]];
        const TFloat3& c = vecPoints[vecIndices[4 * t + 2]];
        EXPECT_GT(Dot(Cross(b - a, c - a), a + b + c), 0.0) << "triangle " << t;
    }
}

TEST(AsteroidMeshTest, PointsArePolesAndEightJitteredRingsFromTheirOwnDraws)
{
    TRandom Random;
    const std::vector<TFloat3> vecPoints = MeshPoints(Random, TFloat3(2, 3, 2));
    EXPECT_EQ(Random.GetState(), StateAfterDraws(TAsteroid::MESH_DRAWS));

    EXPECT_EQ(vecPoints[0], TFloat3(0, -1.5f, 0));
    EXPECT_EQ(vecPoints[65], TFloat3(0, 1.5f, 0));
    const double Profile[8] = {0.65, 0.85, 0.95, 0.95, 0.95, 0.95, 0.85, 0.65};
    for (int k = 0; k < 8; ++k) {
        for (int j = 0; j < 8; ++j) {
            const TFloat3& v = vecPoints[1 + 8 * k + j];
            SCOPED_TRACE(testing::Message() << "ring " << k << " segment " << j);
            EXPECT_NEAR(v[1], -1.5 + (k + 1) / 3.0, 1e-5);
            const double dPhi = j * PI / 4;
            EXPECT_NEAR(v[0], std::cos(dPhi) * 1.0 * Profile[k], 0.05 * 2 + 1e-5);
            EXPECT_NEAR(v[2], std::sin(dPhi) * 1.0 * Profile[k], 0.04 * 2 + 1e-5);
        }
    }
    // Draws 1 and 2 jitter point 1 (ring 0, segment 0): z first, then x.
    TRandom Again;
    const int32_t d1 = Again.Draw(), d2 = Again.Draw();
    EXPECT_FLOAT_EQ(vecPoints[1][2], static_cast<float>(0.08 - d1 * 0.16 / 32767));
    EXPECT_FLOAT_EQ(vecPoints[1][0], static_cast<float>(0.65 + 0.1 - d2 * 0.2 / 32767));
}

TEST(AsteroidMeshTest, SameGeneratorStateSameMeshNextMeshDiffers)
{
    const TFloat3 vExtents(4, 5, 4);
    TRandom Random(777);
    const std::vector<TFloat3> vecFirst = MeshPoints(Random, vExtents);
    const std::vector<TFloat3> vecNext = MeshPoints(Random, vExtents);
    TRandom Again(777);
    EXPECT_EQ(MeshPoints(Again, vExtents), vecFirst);
    EXPECT_NE(vecNext, vecFirst);
}

// ---------------------------------------------------------------------------------------------
// Asteroids

TEST(AsteroidRulesTest, ARockDrawsItsMeshThenItsExplosionsTurnAndSize)
{
    TRandom Random;
    TAsteroid Rock(Random, TFloat3(7, -3, 9), TFloat3(3.2f, 4.4f, 2.9f), 2, 1);
    EXPECT_EQ(Random.GetState(), StateAfterDraws(TAsteroid::MESH_DRAWS + 2));
    TRandom Again;
    const std::vector<TFloat3> vecPoints = MeshPoints(Again, TFloat3(3.2f, 4.4f, 2.9f));
    EXPECT_EQ(std::vector<TFloat3>(Rock.GetMeshPoints(), Rock.GetMeshPoints() + TAsteroid::MESH_POINTS), vecPoints);
    EXPECT_DOUBLE_EQ(Rock.GetBlastAngle(), Again.DrawUnit() * PI);
    EXPECT_FLOAT_EQ(Rock.GetBlastScale(), static_cast<float>(1.5 + 0.5 * Again.DrawUnit()));
    EXPECT_EQ(Rock.GetPosition(), TFloat3(7, -3, 0));  // z ignored
    EXPECT_TRUE(Rock.IsAlive());
    EXPECT_EQ(Rock.GetType(), 2);
    EXPECT_EQ(Rock.GetVelocity(), TFloat3(0, 0, 0));
}

TEST(AsteroidRulesTest, MoveDriftsAndTumblesOnlyWithASpin)
{
    TRandom Random;
    TAsteroid Rock(Random, TFloat3(0, 0, 0), TFloat3(2, 3, 2), 0, 1);
    Rock.SetVelocity(0.2f, -0.1f);
    for (int i = 0; i < 10; ++i)
        Rock.Move(0.1);
    EXPECT_EQ(Rock.GetSpinAngle(), 0.0);  // rate 0 never turns it
    EXPECT_NEAR(Rock.GetPosition()[0], 0.2, 1e-5);
    EXPECT_NEAR(Rock.GetPosition()[1], -0.1, 1e-5);
    EXPECT_EQ(Rock.GetPosition()[2], 0.0f);
    Rock.SetSpin(0.5, TFloat3(0, 0, 1));
    Rock.Move(0.1);
    Rock.Move(0.1);
    EXPECT_NEAR(Rock.GetSpinAngle(), 0.1, 1e-12);
    // A new spin starts again from angle 0.
    Rock.SetSpin(-0.25, TFloat3(0, 0, 1));
    Rock.Move(0.1);
    EXPECT_NEAR(Rock.GetSpinAngle(), -0.025, 1e-12);
}

TEST(AsteroidRulesTest, BoxIsTheMeshBoundsShrunkInItsOwnFrameAndEmptyOnceExploded)
{
    TRandom Random;
    TAsteroid Rock(Random, TFloat3(10, 5, 0), TFloat3(4, 5, 4), 1, 1);
    Rock.SetSpin(PI / 2, TFloat3(0, 0, 1));
    Rock.Move(1.0);  // a quarter turn: the rock's long y axis now lies along -x
    const TCollisionBox Box = Rock.GetBoundingBox();
    TBox3 Mesh;
    for (int i = 0; i < TAsteroid::MESH_POINTS; ++i)
        Mesh.ExtendBy(Rock.GetMeshPoints()[i]);
    EXPECT_EQ(Box.GetOwnBox(), Mesh.Scaled(0.75f));
    // Missiles along the rock's long axis: inside within 0.75 of its reach, outside beyond it.
    const float fReach = Mesh.GetMax()[1];  // 2.5 from the centre, along world -x after the turn
    EXPECT_TRUE(Box.Holds(TFloat3(10 - 0.7f * fReach, 5, 0)));
    EXPECT_FALSE(Box.Holds(TFloat3(10 - 0.8f * fReach, 5, 0)));
    EXPECT_FALSE(Box.Holds(TFloat3(10, 5 + 0.8f * fReach, 0)));  // the unturned long axis misses now
    // The bounds hold the box whatever the turn.
    const TBox3 Bounds = Rock.GetWorldBounds();
    const TBox3 Exact = Box.GetWorldBounds();
    for (int i = 0; i < 3; ++i) {
        EXPECT_LE(Bounds.GetMin()[i], Exact.GetMin()[i]);
        EXPECT_GE(Bounds.GetMax()[i], Exact.GetMax()[i]);
    }
    Rock.Explode(true);
    EXPECT_FALSE(Rock.IsAlive());
    EXPECT_TRUE(Rock.GetBoundingBox().IsEmpty());
    EXPECT_TRUE(Rock.GetWorldBounds().IsEmpty());
}

TEST(AsteroidRulesTest, OnlyAShotSmallRockShowsItsExplosion)
{
    const struct
    {
        int nType;
        bool bShot;
        bool bShows;
    } Cases[] = {{0, true, true}, {1, true, false}, {2, true, false}, {0, false, false}, {2, false, false}};
    TRandom Random;
    for (const auto& Case : Cases) {
        const TAsteroid Rock(Random, TFloat3(), TFloat3(2, 3, 2), Case.nType, 1);
        EXPECT_EQ(Rock.ShowsExplosion(Case.bShot), Case.bShows) << Case.nType << " " << Case.bShot;
    }
}

// ---------------------------------------------------------------------------------------------
// The player's ship

namespace {
class ShipRulesTest : public ::testing::Test
{
protected:
    TRandom m_Random;
    TManShip m_Ship{m_Random, MODEL_BOX, TFloat3(0, 0, 0), 2.0};
};
}  // namespace

TEST_F(ShipRulesTest, ConstructionDrawsTwiceForItsExplosion)
{
    EXPECT_EQ(m_Random.GetState(), StateAfterDraws(2));
    EXPECT_TRUE(m_Ship.IsAlive());
    EXPECT_TRUE(m_Ship.IsVisible());
    EXPECT_EQ(m_Ship.GetAngle(), 0.0);
    EXPECT_EQ(m_Ship.GetVelocity(), TFloat3(0, 0, 0));
    EXPECT_FALSE(m_Ship.IsFlameShown());
}

TEST_F(ShipRulesTest, RotateTurnsInDegreesWithoutWrapping)
{
    for (int i = 0; i < 45; ++i)
        m_Ship.Rotate(16.0);
    EXPECT_NEAR(m_Ship.GetAngle(), 4 * PI, 1e-12);  // two full turns, not reduced
    m_Ship.Rotate(16.0);
    m_Ship.Rotate(-16.0);
    EXPECT_NEAR(m_Ship.GetAngle(), 4 * PI, 1e-12);
    // One step is 16 degrees in radians, rounded once.
    TManShip Fresh(m_Random, MODEL_BOX, TFloat3(), 2.0);
    Fresh.Rotate(16.0);
    EXPECT_EQ(Fresh.GetAngle(), 0x1.1df46a2529d39p-2);
}

TEST_F(ShipRulesTest, ThrustAcceleratesAlongTheHeadingClampedPerComponent)
{
    const struct
    {
        double dDegrees;
        int nThrusts;
        TFloat3 vWant;
    } Cases[] = {
        {0, 3, TFloat3(0, 0.6f, 0)},
        {0, 40, TFloat3(0, 5, 0)},
        {-45, 40, TFloat3(5, 5, 0)},  // a diagonal reaches about 7.07
        {180, 40, TFloat3(0, -5, 0)},
        {90, 40, TFloat3(-5, 0, 0)},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.dDegrees);
        m_Ship.SetVelocity(TFloat3(0, 0, 0));
        m_Ship.SetAngle(Case.dDegrees * PI / 180);
        for (int i = 0; i < Case.nThrusts; ++i)
            m_Ship.Thrust(static_cast<double>(0.2f));
        const TFloat3 v = m_Ship.GetVelocity();
        EXPECT_NEAR(v[0], Case.vWant[0], 1e-5);
        EXPECT_NEAR(v[1], Case.vWant[1], 1e-5);
        EXPECT_EQ(v[2], 0.0f);
    }
    // Only thrust clamps: a faster velocity set from outside stays until the next thrust.
    m_Ship.SetAngle(0);
    m_Ship.SetVelocity(TFloat3(8, -9, 0));
    m_Ship.Move(0.1);
    EXPECT_EQ(m_Ship.GetVelocity(), TFloat3(8, -9, 0));
    m_Ship.Thrust(0.2);
    EXPECT_EQ(m_Ship.GetVelocity(), TFloat3(5, -5, 0));
}

TEST_F(ShipRulesTest, MoveDriftsByVelocityTimesStep)
{
    m_Ship.SetPosition(TFloat3(1, 2, 0));
    m_Ship.SetVelocity(TFloat3(3, -4, 0));
    m_Ship.Move(0.1);
    EXPECT_NEAR(m_Ship.GetPosition()[0], 1.3, 1e-6);
    EXPECT_NEAR(m_Ship.GetPosition()[1], 1.6, 1e-6);
}

TEST_F(ShipRulesTest, FireLaunchesFromTheCentreAlongTheHeadingAtDriftSpeedPlusTen)
{
    const struct
    {
        double dDegrees;
        TFloat3 vShipSpeed;
        float fWantX, fWantY;
    } Cases[] = {
        {0, TFloat3(0, 0, 0), 0, 10},
        {90, TFloat3(7, 0, 0), -17, 0},  // the drift adds its length, not its direction
        {-90, TFloat3(0, -7, 0), 17, 0},
        {180, TFloat3(3, 4, 0), 0, -15},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.dDegrees);
        m_Ship.SetAngle(Case.dDegrees * PI / 180);
        m_Ship.SetVelocity(Case.vShipSpeed);
        m_Ship.SetPosition(TFloat3(-3, 4, 0));
        std::unique_ptr<TMissile> pMissile(m_Ship.Fire(42));
        ASSERT_TRUE(pMissile);
        EXPECT_TRUE(pMissile->IsAlive());
        EXPECT_TRUE(pMissile->IsVisible());
        EXPECT_EQ(pMissile->GetSerial(), 42u);
        EXPECT_EQ(pMissile->GetPosition(), TFloat3(-3, 4, 0));
        EXPECT_NEAR(pMissile->GetVelocity()[0], Case.fWantX, 1e-4);
        EXPECT_NEAR(pMissile->GetVelocity()[1], Case.fWantY, 1e-4);
    }
}

TEST_F(ShipRulesTest, ExplodingLeavesTheShipWhereItWasAndOnlyReviveMakesItFlyAgain)
{
    m_Ship.SetPosition(TFloat3(8, 9, 0));
    m_Ship.ExplodeAt(2.0f, TFloat3(1, 2, 0));
    EXPECT_FALSE(m_Ship.IsAlive());
    EXPECT_FALSE(m_Ship.IsVisible());
    EXPECT_EQ(m_Ship.GetBlastPlace(), TFloat3(1, 2, 0));
    EXPECT_EQ(m_Ship.GetBlastScale(), 2.0f);
    // The destroyed ship keeps its place, and its box still comes from the model.
    EXPECT_EQ(m_Ship.GetPosition(), TFloat3(8, 9, 0));
    EXPECT_FALSE(m_Ship.GetBoundingBox().IsEmpty());
    m_Ship.SetVisible(true);
    EXPECT_FALSE(m_Ship.IsAlive());
    // In place, keeping the size last set.
    m_Ship.Explode();
    EXPECT_EQ(m_Ship.GetBlastPlace(), TFloat3(8, 9, 0));
    EXPECT_EQ(m_Ship.GetBlastScale(), 2.0f);
    m_Ship.Revive();
    EXPECT_TRUE(m_Ship.IsAlive());
    EXPECT_TRUE(m_Ship.IsVisible());
}

TEST_F(ShipRulesTest, BoxIsTheShrunkModelAndCoversTheFlameWhileItShows)
{
    ExpectBounds(m_Ship.GetBoundingBox().GetWorldBounds(), -0.45f, -0.75f, 0.45f, 0.75f);
    EXPECT_NEAR(m_Ship.GetBoundingBox().GetWorldBounds().GetMax()[2], 0.15, 1e-6);
    // Turned a quarter, moved: the box goes along.
    m_Ship.SetAngle(PI / 2);
    m_Ship.SetPosition(TFloat3(5, 5, 0));
    ExpectBounds(m_Ship.GetBoundingBox().GetWorldBounds(), 5 - 0.75f, 5 - 0.45f, 5 + 0.75f, 5 + 0.45f);
    m_Ship.SetAngle(0);
    m_Ship.SetPosition(TFloat3(0, 0, 0));

    // The flame shows from the thrust; its first flicker comes with the next clock step.
    m_Ship.Thrust(0.2);
    EXPECT_TRUE(m_Ship.IsFlameShown());
    // The 1 x 1 flame square, a third of the size (2/3 in the ship's frame) behind the centre,
    // scaled by 2 and shrunk: it reaches back to 0.75 x 2 x (2/3 + 1/2), and is wider than the
    // model.
    ExpectBounds(m_Ship.GetBoundingBox().GetWorldBounds(), -0.75f, -1.75f, 0.75f, 0.75f);
    m_Ship.StepFlame(m_Random);
    const float fBack = 0.75f * 2 * (2.0f / 3 + m_Ship.GetFlameWidth() / 2);
    EXPECT_NEAR(m_Ship.GetBoundingBox().GetWorldBounds().GetMin()[1], -fBack, 1e-5);
}

TEST_F(ShipRulesTest, TheFlameFlickersSixteenStepsAfterTheLastThrustDrawingHeightThenWidth)
{
    m_Ship.StepFlame(m_Random);  // not burning: no draws
    EXPECT_EQ(m_Random.GetState(), StateAfterDraws(2));
    m_Ship.Thrust(0.2);
    for (int nStep = 1; nStep <= TManShip::FLAME_BURST_STEPS; ++nStep) {
        EXPECT_TRUE(m_Ship.IsFlameShown()) << nStep;
        TRandom Expected(m_Random.GetState());
        const double dHeight = 1.0 + Expected.DrawUnit() * 0.1;
        const double dWidth = 1.0 + Expected.DrawUnit() * 0.5;
        m_Ship.StepFlame(m_Random);
        EXPECT_EQ(m_Ship.GetFlameHeight(), static_cast<float>(dHeight));
        EXPECT_EQ(m_Ship.GetFlameWidth(), static_cast<float>(dWidth));
        if (nStep == 8)
            m_Ship.Thrust(0.2);  // a fresh burst from here
    }
    EXPECT_TRUE(m_Ship.IsFlameShown());
    for (int nStep = 0; nStep < 8; ++nStep)
        m_Ship.StepFlame(m_Random);
    EXPECT_FALSE(m_Ship.IsFlameShown());
    EXPECT_FALSE(m_Ship.IsFlameBurning());
    ExpectBounds(m_Ship.GetBoundingBox().GetWorldBounds(), -0.45f, -0.75f, 0.45f, 0.75f);
}
