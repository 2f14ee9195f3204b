#pragma once
// The collision box every game object uses: the bounding box of its drawing in its own frame,
// shrunk to three quarters towards that frame's origin, so that grazing contacts do not count.

#include <Inventor/SbXfBox3f.h>

constexpr float COLLISION_BOX_FACTOR = 0.75f;

// The corners shrunk in the box's own frame, the matrix to the world kept. An empty box (a
// hidden object) stays empty: its minimum stays above its maximum.
SbXfBox3f ShrinkToCollisionBox(const SbXfBox3f& Box);
