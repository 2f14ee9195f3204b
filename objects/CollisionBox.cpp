#include "objects/CollisionBox.h"

#include "base/Assert.h"

#include <Inventor/actions/SoGetBoundingBoxAction.h>

SbXfBox3f ComputeCollisionBox(SoNode* pNode, const SbViewportRegion& Region)
{
    DRELK_ASSERT(pNode);
    SoGetBoundingBoxAction Action(Region);
    Action.apply(pNode);
    SbXfBox3f Box = Action.getXfBoundingBox();
    // The corners are in the object's own frame; the matrix to the world stays as it is. An
    // empty box (a hidden object) stays empty: its minimum stays above its maximum.
    SbVec3f vMin, vMax;
    Box.getBounds(vMin, vMax);
    Box.setBounds(vMin * COLLISION_BOX_FACTOR, vMax * COLLISION_BOX_FACTOR);
    return Box;
}
