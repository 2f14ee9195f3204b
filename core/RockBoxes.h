#pragma once
// The collision boxes of the rocks for one step of the game. The live rocks are listed once,
// each with bounds in the world made from its place and reach alone, so that most rocks are
// passed over by a comparison of numbers; a rock's exact box is made, once per step, only when
// its bounds are met. The answers are those of testing every rock's own box in list order: the
// bounds only rule out what the exact test would reject.

#include "objects/Asteroids.h"
#include "objects/CollisionBox.h"

#include <vector>

class TRockBoxes
{
public:
    // The list may grow while the boxes are in use (children of split rocks), and rocks in it
    // may die; they must not move.
    explicit TRockBoxes(const TVecPtrAsteroids& vecRocks) : m_vecRocks(vecRocks) {}

    // The first live rock in list order whose box holds the point, or -1.
    int FirstHolding(const TFloat3& vPoint);
    // The first live rock in list order whose box meets the given box, or -1.
    int FirstMeeting(const TCollisionBox& Box);
    // The box of a rock that FirstHolding or FirstMeeting has just given.
    const TCollisionBox& BoxOf(size_t nIndex);

private:
    struct TEntry
    {
        const TAsteroid* pRock;
        size_t nIndex;  // in the list
        TBox3 Bounds;   // holds the box in the world, a little widened against rounding
        int nBox;       // in m_vecBoxes once made, else -1
    };
    void ListNewRocks();
    const TCollisionBox& ExactBox(TEntry& Entry);
    static TBox3 Widened(const TBox3& Bounds);

    const TVecPtrAsteroids& m_vecRocks;
    std::vector<TEntry> m_vecLive;  // the rocks alive when listed, in list order
    size_t m_nListed = 0;           // how much of the list has been looked at
    std::vector<TCollisionBox> m_vecBoxes;
};
