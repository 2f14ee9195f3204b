#pragma once
// The nodes a missile, an asteroid and an explosion start their subtrees with: the object's
// own separator, its show/hide switch, an inner separator and the transform first in it.

#include <Inventor/SbVec3f.h>

class SoSeparator;
class SoSwitch;
class SoTransform;

struct TObjectFrame
{
    SoSeparator* pThisRoot = nullptr;
    SoSwitch* pSwitch = nullptr;
    SoSeparator* pSep = nullptr;
    SoTransform* pXf = nullptr;

    // Not yet hung anywhere; the switch set to nWhichChild, the transform to vTranslation.
    static TObjectFrame Make(int nWhichChild, const SbVec3f& vTranslation);
};
