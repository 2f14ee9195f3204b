#include "base/ObjectFrame.h"

#include "base/Assert.h"

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTransform.h>

TObjectFrame TObjectFrame::Make(int nWhichChild, const SbVec3f& vTranslation)
{
    TObjectFrame Frame;
    Frame.pThisRoot = new SoSeparator;
    DRELK_ASSERT(Frame.pThisRoot);
    Frame.pSwitch = new SoSwitch;
    DRELK_ASSERT(Frame.pSwitch);
    Frame.pSwitch->whichChild.setValue(nWhichChild);
    Frame.pThisRoot->addChild(Frame.pSwitch);
    Frame.pSep = new SoSeparator;
    DRELK_ASSERT(Frame.pSep);
    Frame.pSwitch->addChild(Frame.pSep);
    Frame.pXf = new SoTransform;
    DRELK_ASSERT(Frame.pXf);
    Frame.pXf->translation.setValue(vTranslation);
    Frame.pSep->addChild(Frame.pXf);
    return Frame;
}
