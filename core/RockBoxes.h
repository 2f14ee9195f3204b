#pragma once
// The collision boxes of the rocks for one step of the game. Each rock's box is made once per
// step, without a traversal of the scene, and kept with its bounds in the world, so that most
// rocks are passed over by a comparison of numbers. The answers are those of testing every
// rock's own box in list order: the bounds only rule out what the exact test would reject.

#include "objects/Asteroids.h"

#include <Inventor/SbBox3f.h>
#include <Inventor/SbXfBox3f.h>

#include <vector>

class TRockBoxes
{
public:
    // The list may grow while the boxes are in use (children of split rocks); the rocks in it
    // must not move.
    explicit TRockBoxes(const TVecPtrAsteroids& vecRocks) : m_vecRocks(vecRocks) {}

    // The first live rock in list order whose box holds the point, or -1.
    int FirstHolding(const SbVec3f& vPoint);
    // The first live rock in list order whose box meets the given box, or -1.
    int FirstMeeting(const SbXfBox3f& Box);
    const SbXfBox3f& BoxOf(size_t nIndex);

private:
    struct TEntry
    {
        SbXfBox3f Box;
        SbBox3f Bounds;  // the box's extent in the world, a little widened against rounding
    };
    const TEntry* EntryOf(size_t nIndex);
    static SbBox3f WorldBounds(const SbXfBox3f& Box);

    const TVecPtrAsteroids& m_vecRocks;
    std::vector<TEntry> m_vecEntries;
    std::vector<bool> m_vecMade;
};
