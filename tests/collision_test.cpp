// The collision pass makes each rock's box without traversing the scene and rules rocks out by
// their bounds first. Here both are held against the plain way, a traversal per test, on the
// same scenes: the same boxes, the same hits.
#include "tests/support/GameFixture.h"

#include "core/RockBoxes.h"
#include "objects/Asteroids.h"

#include <Inventor/SbViewportRegion.h>

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
            TAsteroid* pRock = m_pGame->AddRock(i % 3, SbVec3f(X(Random), Y(Random), 0.0f),
                                                       SbVec2f(Unit(Random), Unit(Random)),
                                                       SbVec3f(Unit(Random), Unit(Random), Unit(Random) + 1.5f),
                                                       Unit(Random));
            for (int nMoves = static_cast<int>(Random() % 50); nMoves > 0; --nMoves)
                pRock->Move(0.1);
        }
    }

    // The first live rock whose box, made by a traversal, holds the point.
    int PlainFirstHolding(const SbVec3f& vPoint) const
    {
        const TVecPtrAsteroids& vecRocks = m_pGame->GetAsteroids();
        for (size_t i = 0; i < vecRocks.size(); ++i)
            if (vecRocks[i]->IsAlive() && vecRocks[i]->GetBoundingBox(m_Region).intersect(vPoint))
                return static_cast<int>(i);
        return -1;
    }

    int PlainFirstMeeting(const SbXfBox3f& Box) const
    {
        const TVecPtrAsteroids& vecRocks = m_pGame->GetAsteroids();
        for (size_t i = 0; i < vecRocks.size(); ++i)
            if (vecRocks[i]->IsAlive() && Box.intersect(vecRocks[i]->GetBoundingBox(m_Region)))
                return static_cast<int>(i);
        return -1;
    }

    SbViewportRegion m_Region;
};
}  // namespace

TEST_F(CollisionTest, RockBoxWithoutTraversalIsTheTraversalsBox)
{
    MakeField(300, 1);
    int nCompared = 0;
    for (const TAsteroid* pRock : m_pGame->GetAsteroids()) {
        if (!pRock->IsAlive())
            continue;
        EXPECT_TRUE(pRock->GetCollisionBox() == pRock->GetBoundingBox(m_Region));
        ++nCompared;
    }
    EXPECT_EQ(nCompared, 300);

    TAsteroid* pRock = m_pGame->GetAsteroids().back();
    pRock->Explode(false);
    EXPECT_TRUE(pRock->GetCollisionBox().isEmpty());
    EXPECT_TRUE(pRock->GetBoundingBox(m_Region).isEmpty());
}

TEST_F(CollisionTest, SameHitsAsEachRocksOwnBox)
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
            const SbVec3f vPoint(X(Random), Y(Random), i % 2 ? 0.0f : Z(Random));
            const int nExpected = PlainFirstHolding(vPoint);
            EXPECT_EQ(Boxes.FirstHolding(vPoint), nExpected);
            nHits += nExpected >= 0;
        }
        EXPECT_GT(nHits, 100);  // the points do land in rocks

        // Points on and just around the corners of every box, where rounding decides.
        for (const TAsteroid* pRock : m_pGame->GetAsteroids()) {
            const SbXfBox3f Box = pRock->GetBoundingBox(m_Region);
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
            const SbXfBox3f Box = pRock->GetBoundingBox(m_Region);
            const int nExpected = PlainFirstMeeting(Box);
            EXPECT_EQ(Boxes.FirstMeeting(Box), nExpected);
            nMeetings += nExpected >= 0;
        }
        EXPECT_GT(nMeetings, 10);
    }
}
