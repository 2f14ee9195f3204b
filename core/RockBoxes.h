#pragma once
// The collision boxes of the rocks for one step of the game. The live rocks are listed once,
// each with bounds in the world made from its place and reach alone, so that most rocks are
// passed over by a comparison of numbers; a rock's exact box is made, once per step, only when
// its bounds are met. The answers are those of testing every rock's own box in list order: the
// bounds only rule out what the exact test would reject.

#include "objects/Asteroids.h"

#include <Inventor/SbBox3f.h>
#include <Inventor/SbXfBox3f.h>

#include <vector>

class TRockBoxes
{
public:
    // The list may grow while the boxes are in use (children of split rocks), and rocks in it
    // may die; they must not move.
    explicit TRockBoxes(const TVecPtrAsteroids& vecRocks) : m_vecRocks(vecRocks) {}

    // The first live rock in list order whose box holds the point, or -1.
    int FirstHolding(const SbVec3f& vPoint);
    // The first live rock in list order whose box meets the given box, or -1.
    int FirstMeeting(const SbXfBox3f& Box);
    // The box of a rock that FirstHolding or FirstMeeting has just given.
    const SbXfBox3f& BoxOf(size_t nIndex);

private:
    struct TEntry
    {
        const TAsteroid* pRock;
        size_t nIndex;   // in the list
        SbBox3f Bounds;  // holds the box in the world, a little widened against rounding
        int nBox;        // in m_vecBoxes once made, else -1
    };
    void ListNewRocks();
    const SbXfBox3f& ExactBox(TEntry& Entry);
    static SbBox3f Widened(const SbBox3f& Bounds);

    const TVecPtrAsteroids& m_vecRocks;
    std::vector<TEntry> m_vecLive;  // the rocks alive when listed, in list order
    size_t m_nListed = 0;           // how much of the list has been looked at
    std::vector<SbXfBox3f> m_vecBoxes;
};
