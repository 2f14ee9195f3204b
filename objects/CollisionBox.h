#pragma once
// The collision box every game object uses: the bounding box of its own subtree in its own frame,
// shrunk to three quarters towards that frame's origin, so that grazing contacts do not count.

#include <Inventor/SbXfBox3f.h>

class SbViewportRegion;
class SoNode;

constexpr float COLLISION_BOX_FACTOR = 0.75f;

SbXfBox3f ComputeCollisionBox(SoNode* pNode, const SbViewportRegion& Region);
