// The rules make the ship's and each rock's box from their plain state, without traversing the
// scene, and the collision pass rules rocks out by their bounds first. Here both are held
// against the plain way, a bounding-box traversal of the nodes the objects wrote, on the same
// scenes: the same boxes, the same hits.
#include "tests/support/GameFixture.h"
#include "tests/support/GameTestAccess.h"

#include "base/GameClock.h"
#include "core/RockBoxes.h"
#include "fx/GraphicFx.h"
#include "objects/Asteroids.h"
#include "objects/CollisionBox.h"
#include "objects/Ships.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>

#include <random>

namespace {
class CollisionTest : public GameFixture
{
protected:
    // A field of rocks of every size, tumbled and moved a while, their nodes written.
    void MakeField(int nRocks, unsigned nSeed)
    {
        ClearField();
        std::mt19937 Random(nSeed);
        std::uniform_real_distribution<float> X(-30.0f, 30.0f), Y(-20.0f, 20.0f), Unit(-1.0f, 1.0f);
        for (int i = 0; i < nRocks; ++i) {
            TAsteroid* pRock = TGameTestAccess::AddRock(*m_pGame, i % 3, SbVec3f(X(Random), Y(Random), 0.0f),
                                                        SbVec2f(Unit(Random), Unit(Random)),
                                                        SbVec3f(Unit(Random), Unit(Random), Unit(Random) + 1.5f),
                                                        Unit(Random));
            for (int nMoves = static_cast<int>(Random() % 50); nMoves > 0; --nMoves)
                pRock->Move(0.1);
        }
        PresentRocks();
    }

    void PresentRocks()
    {
        for (TAsteroid* pRock : m_pGame->GetAsteroids())
            pRock->Present();
    }

    // The collision box of a subtree the plain way: a bounding-box traversal, shrunk.
    static SbXfBox3f TraversedBox(SoNode* pNode)
    {
        SoGetBoundingBoxAction Action{SbViewportRegion(800, 600)};
        Action.apply(pNode);
        return ShrinkToCollisionBox(Action.getXfBoundingBox());
    }

    // The first live rock whose box, made by a traversal, holds the point.
    int PlainFirstHolding(const SbVec3f& vPoint) const
    {
        const TVecPtrAsteroids& vecRocks = m_pGame->GetAsteroids();
        for (size_t i = 0; i < vecRocks.size(); ++i)
            if (vecRocks[i]->IsAlive() && TraversedBox(vecRocks[i]->GetRootNode()).intersect(vPoint))
                return static_cast<int>(i);
        return -1;
    }

    int PlainFirstMeeting(const SbXfBox3f& Box) const
    {
        const TVecPtrAsteroids& vecRocks = m_pGame->GetAsteroids();
        for (size_t i = 0; i < vecRocks.size(); ++i)
            if (vecRocks[i]->IsAlive() && Box.intersect(TraversedBox(vecRocks[i]->GetRootNode())))
                return static_cast<int>(i);
        return -1;
    }
};
}  // namespace

TEST_F(CollisionTest, RockBoxWithoutTraversalIsTheTraversalsBox)
{
    MakeField(300, 1);
    int nCompared = 0;
    for (const TAsteroid* pRock : m_pGame->GetAsteroids()) {
        if (!pRock->IsAlive())
            continue;
        EXPECT_TRUE(pRock->GetBoundingBox() == TraversedBox(pRock->GetRootNode()));
        ++nCompared;
    }
    EXPECT_EQ(nCompared, 300);

    TAsteroid* pRock = m_pGame->GetAsteroids().back();
    pRock->Explode(false);
    pRock->Present();
    EXPECT_TRUE(pRock->GetBoundingBox().isEmpty());
    EXPECT_TRUE(TraversedBox(pRock->GetRootNode()).isEmpty());
}

// The ship's box covers its model and, while the flame shows, the flickering flame: over
// places, headings and every stage of a burst, shown or destroyed, it is the traversal's box.
TEST_F(CollisionTest, ShipBoxWithoutTraversalIsTheTraversalsBoxWithTheFlameOrWithout)
{
    TManShip& Ship = *m_pGame->GetShip();
    std::mt19937 Random(11);
    std::uniform_real_distribution<float> X(-30.0f, 30.0f), Y(-20.0f, 20.0f);
    std::uniform_real_distribution<double> Angle(-20.0, 20.0);
    int nWithFlame = 0, nWithout = 0;
    for (int i = 0; i < 1000; ++i) {
        Ship.SetPosition(SbVec3f(X(Random), Y(Random), 0.0f));
        if (i % 3 == 0)
            Ship.Rotate(16.0);
        else
            Ship.SetAngle(Angle(Random));
        if (Random() % 4 == 0)
            Ship.Thrust(0.2);
        // Anywhere in a burst and past it: the flame flickers, then hides.
        TGameClock::Advance(static_cast<uint32_t>(Random() % 25) * 10);
        Ship.SetVisible(Random() % 5 != 0);
        Ship.Present();
        const SbXfBox3f Box = Ship.GetBoundingBox();
        ASSERT_TRUE(Box == TraversedBox(Ship.GetRootNode())) << "case " << i;
        (Ship.GetEngine()->IsActive() ? nWithFlame : nWithout)++;
    }
    EXPECT_GT(nWithFlame, 100);
    EXPECT_GT(nWithout, 100);
}

TEST_F(CollisionTest, SameHitsAsEachRocksOwnBox)
{
    for (unsigned nSeed = 1; nSeed <= 5; ++nSeed) {
        SCOPED_TRACE(nSeed);
        MakeField(60, nSeed);
        // Some rocks are dead, as in play.
        for (size_t i = 0; i < m_pGame->GetAsteroids().size(); i += 7)
            m_pGame->GetAsteroids()[i]->Explode(false);
        PresentRocks();
        TRockBoxes Boxes(m_pGame->GetAsteroids());

        std::mt19937 Random(nSeed * 100);
        std::uniform_real_distribution<float> X(-31.0f, 31.0f), Y(-21.0f, 21.0f), Z(-1.0f, 1.0f), Tiny(-1e-5f, 1e-5f);
        int nHits = 0;
        for (int i = 0; i < 3000; ++i) {
            const SbVec3f vPoint(X(Random), Y(Random), i % 2 ? 0.0f : Z(Random));
            const int nExpected = PlainFirstHolding(vPoint);
            EXPECT_EQ(Boxes.FirstHolding(vPoint), nExpected);
            nHits += nExpected >= 0;
        }
        EXPECT_GT(nHits, 100);  // the points do land in rocks

        // Points on and just around the corners of every box, where rounding decides.
        for (const TAsteroid* pRock : m_pGame->GetAsteroids()) {
            const SbXfBox3f Box = TraversedBox(pRock->GetRootNode());
            if (Box.isEmpty())
                continue;
            SbVec3f vMin, vMax;
            Box.getBounds(vMin, vMax);
            for (int nCorner = 0; nCorner < 8; ++nCorner) {
                const SbVec3f vLocal(nCorner & 1 ? vMax[0] : vMin[0], nCorner & 2 ? vMax[1] : vMin[1],
                                     nCorner & 4 ? vMax[2] : vMin[2]);
                SbVec3f vWorld;
                Box.getTransform().multVecMatrix(vLocal, vWorld);
                const SbVec3f vPoint = vWorld + SbVec3f(Tiny(Random), Tiny(Random), Tiny(Random));
                EXPECT_EQ(Boxes.FirstHolding(vPoint), PlainFirstHolding(vPoint));
            }
        }

        // Box against box: every live rock's box against the rest, as a new rock or the ship.
        int nMeetings = 0;
        for (const TAsteroid* pRock : m_pGame->GetAsteroids()) {
            const SbXfBox3f Box = TraversedBox(pRock->GetRootNode());
            const int nExpected = PlainFirstMeeting(Box);
            EXPECT_EQ(Boxes.FirstMeeting(Box), nExpected);
            nMeetings += nExpected >= 0;
        }
        EXPECT_GT(nMeetings, 10);
    }
}
