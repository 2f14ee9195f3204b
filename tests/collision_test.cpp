// The collision pass rules rocks out by their bounds before it tests their exact boxes; here it is
// held against testing every rock's own box in list order, on crowded fields. The rules' own
// box-against-box test is held against the scene library's, away from the boundary cases where
// rounding decides, and the rules' boxes against the boxes of what is drawn.
#include "tests/support/GameFixture.h"
#include "tests/support/GameTestAccess.h"

#include "core/GameScene.h"
#include "core/RockBoxes.h"
#include "objects/AsteroidShape.h"
#include "objects/Asteroids.h"
#include "objects/CollisionBox.h"
#include "objects/ShipShape.h"
#include "objects/Ships.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <random>

namespace {
class CollisionTest : public GameFixture
{
protected:
    // A field of rocks of every size, tumbled and moved a while.
    void MakeField(int nRocks, unsigned nSeed)
    {
        ClearField();
        std::mt19937 Random(nSeed);
        std::uniform_real_distribution<float> X(-30.0f, 30.0f), Y(-20.0f, 20.0f), Unit(-1.0f, 1.0f);
        for (int i = 0; i < nRocks; ++i) {
            TAsteroid* pRock = TGameTestAccess::AddRock(*m_pGame, i % 3, TFloat3(X(Random), Y(Random), 0.0f), Unit(Random),
                                                        Unit(Random), TFloat3(Unit(Random), Unit(Random), Unit(Random) + 1.5f),
                                                        Unit(Random));
            for (int nMoves = static_cast<int>(Random() % 50); nMoves > 0; --nMoves)
                pRock->Move(0.1);
        }
    }

    // The first live rock whose own box holds the point, or meets the box: no bounds first.
    int PlainFirstHolding(const TFloat3& vPoint) const
    {
        const TVecPtrAsteroids& vecRocks = m_pGame->GetAsteroids();
        for (size_t i = 0; i < vecRocks.size(); ++i)
            if (vecRocks[i]->IsAlive() && vecRocks[i]->GetBoundingBox().Holds(vPoint))
                return static_cast<int>(i);
        return -1;
    }
    int PlainFirstMeeting(const TCollisionBox& Box) const
    {
        const TVecPtrAsteroids& vecRocks = m_pGame->GetAsteroids();
        for (size_t i = 0; i < vecRocks.size(); ++i)
            if (vecRocks[i]->IsAlive() && Box.Meets(vecRocks[i]->GetBoundingBox()))
                return static_cast<int>(i);
        return -1;
    }
};

// A collision box as the scene library holds one: the shrunk box in the own frame, and the
// frame's matrix.
SbXfBox3f ToScene(const TCollisionBox& Box)
{
    const TBox3& Own = Box.GetOwnBox();
    SbXfBox3f Xf(SbVec3f(Own.GetMin().GetValue()), SbVec3f(Own.GetMax().GetValue()));
    const TFrame& F = Box.GetFrame();
    // The scene library multiplies row vectors: the turn's transpose, scaled, then the place.
    const SbMat Values = {{float(F.dTurn[0][0] * F.dScale), float(F.dTurn[1][0] * F.dScale), float(F.dTurn[2][0] * F.dScale), 0},
                     {float(F.dTurn[0][1] * F.dScale), float(F.dTurn[1][1] * F.dScale), float(F.dTurn[2][1] * F.dScale), 0},
                     {float(F.dTurn[0][2] * F.dScale), float(F.dTurn[1][2] * F.dScale), float(F.dTurn[2][2] * F.dScale), 0},
                          {float(F.dPlace[0]), float(F.dPlace[1]), float(F.dPlace[2]), 1}};
    Xf.setTransform(SbMatrix(Values));
    return Xf;
}

// The same box grown or shrunk about its middle in its own frame.
TCollisionBox Grown(const TCollisionBox& Box, float fFactor)
{
    const TBox3& Own = Box.GetOwnBox();
    const TFloat3 vMiddle = (Own.GetMin() + Own.GetMax()) / 2.0f;
    const TBox3 Scaled(vMiddle + (Own.GetMin() - vMiddle) * fFactor, vMiddle + (Own.GetMax() - vMiddle) * fFactor);
    return TCollisionBox(Scaled.Scaled(1.0f / COLLISION_BOX_FACTOR), Box.GetFrame());
}
}  // namespace

TEST_F(CollisionTest, SameHitsAsEachRocksOwnBoxInListOrder)
{
    for (unsigned nSeed = 1; nSeed <= 5; ++nSeed) {
        SCOPED_TRACE(nSeed);
        MakeField(60, nSeed);
        // Some rocks are dead, as in play.
        for (size_t i = 0; i < m_pGame->GetAsteroids().size(); i += 7)
            m_pGame->GetAsteroids()[i]->Explode(false);
        TRockBoxes Boxes(m_pGame->GetAsteroids());

        std::mt19937 Random(nSeed * 100);
        std::uniform_real_distribution<float> X(-31.0f, 31.0f), Y(-21.0f, 21.0f), Z(-1.0f, 1.0f), Tiny(-1e-5f, 1e-5f);
        int nHits = 0;
        for (int i = 0; i < 3000; ++i) {
            const TFloat3 vPoint(X(Random), Y(Random), i % 2 ? 0.0f : Z(Random));
            const int nExpected = PlainFirstHolding(vPoint);
            EXPECT_EQ(Boxes.FirstHolding(vPoint), nExpected);
            nHits += nExpected >= 0;
        }
        EXPECT_GT(nHits, 100);  // the points do land in rocks

        // Points on and just around the corners of every box, where rounding decides.
        for (const TAsteroid* pRock : m_pGame->GetAsteroids()) {
            const TCollisionBox Box = pRock->GetBoundingBox();
            if (Box.IsEmpty())
                continue;
            for (int nCorner = 0; nCorner < 8; ++nCorner) {
                const TBox3& Own = Box.GetOwnBox();
                const double dOwn[3] = {nCorner & 1 ? Own.GetMax()[0] : Own.GetMin()[0],
                                        nCorner & 2 ? Own.GetMax()[1] : Own.GetMin()[1],
                                        nCorner & 4 ? Own.GetMax()[2] : Own.GetMin()[2]};
                double dWorld[3];
                Box.GetFrame().ToWorld(dOwn, dWorld);
                const TFloat3 vPoint(float(dWorld[0]) + Tiny(Random), float(dWorld[1]) + Tiny(Random),
                                     float(dWorld[2]) + Tiny(Random));
                EXPECT_EQ(Boxes.FirstHolding(vPoint), PlainFirstHolding(vPoint));
            }
        }

        // Box against box: every live rock's box against the rest, as a new rock or the ship.
        int nMeetings = 0;
        for (const TAsteroid* pRock : m_pGame->GetAsteroids()) {
            const TCollisionBox Box = pRock->GetBoundingBox();
            const int nExpected = PlainFirstMeeting(Box);
            EXPECT_EQ(Boxes.FirstMeeting(Box), nExpected);
            nMeetings += nExpected >= 0;
        }
        EXPECT_GT(nMeetings, 10);
    }
}

// The rules decide meetings with their own arithmetic; where a box's growing or shrinking by
// half a percent would not change the answer, the scene library's test agrees with it.
TEST_F(CollisionTest, BoxesMeetWhereTheSceneLibrarySaysTheyMeet)
{
    MakeField(120, 9);
    const TVecPtrAsteroids& vecRocks = m_pGame->GetAsteroids();
    int nCompared = 0, nMeetings = 0;
    for (size_t i = 0; i < vecRocks.size(); ++i) {
        for (size_t j = i + 1; j < vecRocks.size(); ++j) {
            const TCollisionBox A = vecRocks[i]->GetBoundingBox(), B = vecRocks[j]->GetBoundingBox();
            if (A.IsEmpty() || B.IsEmpty())
                continue;
            const bool bMeet = A.Meets(B);
            if (Grown(A, 1.005f).Meets(Grown(B, 1.005f)) != bMeet || Grown(A, 0.995f).Meets(Grown(B, 0.995f)) != bMeet)
                continue;  // on the boundary
            EXPECT_EQ(static_cast<bool>(ToScene(A).intersect(ToScene(B))), bMeet) << i << " and " << j;
            ++nCompared;
            nMeetings += bMeet;
        }
    }
    EXPECT_GT(nCompared, 5000);
    EXPECT_GT(nMeetings, 20);
}

// The ship's box covers its drawn model and, while the flame shows, the flickering flame: over
// places, headings and every stage of a burst, it is the box of what is drawn, shrunk.
TEST_F(CollisionTest, TheShipsBoxIsTheBoxOfWhatIsDrawnWithTheFlameOrWithout)
{
    TManShip& Ship = *m_pGame->GetShip();
    TShipShape& Shape = *s_pDriver->GetGameScene()->GetShipShape();
    TRandom Flicker(11);
    std::mt19937 Random(11);
    std::uniform_real_distribution<float> X(-30.0f, 30.0f), Y(-20.0f, 20.0f);
    std::uniform_real_distribution<double> Angle(-20.0, 20.0);
    int nWithFlame = 0, nWithout = 0;
    for (int i = 0; i < 500; ++i) {
        Ship.SetPosition(TFloat3(X(Random), Y(Random), 0.0f));
        Ship.SetAngle(Angle(Random));
        if (Random() % 4 == 0)
            Ship.Thrust(0.2);
        for (int nStep = static_cast<int>(Random() % 25); nStep > 0; --nStep)
            Ship.StepFlame(Flicker);
        Shape.Present(Ship, 1.0);
        SoGetBoundingBoxAction Action{SbViewportRegion(800, 600)};
        Action.apply(Shape.GetRootNode());
        const SbBox3f Drawn = Action.getBoundingBox();
        const TBox3 Rules = Ship.GetBoundingBox().GetWorldBounds();
        const TFloat3 vAt = Ship.GetPosition();
        for (int k = 0; k < 2; ++k) {
            // Shrunk towards the ship's centre: three quarters of the drawn reach.
            ASSERT_NEAR(Rules.GetMin()[k] - vAt[k], (Drawn.getMin()[k] - vAt[k]) * 0.75f, 2e-4) << "case " << i;
            ASSERT_NEAR(Rules.GetMax()[k] - vAt[k], (Drawn.getMax()[k] - vAt[k]) * 0.75f, 2e-4) << "case " << i;
        }
        (Ship.IsFlameShown() ? nWithFlame : nWithout)++;
    }
    EXPECT_GT(nWithFlame, 50);
    EXPECT_GT(nWithout, 50);
}
