#include "objects/CollisionBox.h"

SbXfBox3f ShrinkToCollisionBox(const SbXfBox3f& Box)
{
    SbXfBox3f Shrunk = Box;
    SbVec3f vMin, vMax;
    Shrunk.getBounds(vMin, vMax);
    Shrunk.setBounds(vMin * COLLISION_BOX_FACTOR, vMax * COLLISION_BOX_FACTOR);
    return Shrunk;
}
