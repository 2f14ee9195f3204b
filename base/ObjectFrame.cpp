#include "base/ObjectFrame.h"

#include "base/Assert.h"
#include "base/SceneHook.h"

#include <Inventor/SbBox3f.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTransform.h>

namespace {
constexpr int QUAD_POINTS = 4;

void QuadPoints(const SbVec2f& vSize, SbVec3f* pPoints)
{
    const float w = vSize[0] / 2, h = vSize[1] / 2;
    pPoints[0].setValue(w, -h, 0);
    pPoints[1].setValue(w, h, 0);
    pPoints[2].setValue(-w, h, 0);
    pPoints[3].setValue(-w, -h, 0);
}
}  // namespace

namespace {
// A frame's separators are told nothing when its transform moves (Write): they must not keep
// a picture or a box of their children from before.
void KeepNoCaches(SoSeparator* pSep)
{
    pSep->renderCaching.setValue(SoSeparator::OFF);
    pSep->boundingBoxCaching.setValue(SoSeparator::OFF);
}
}  // namespace

SoGroup* TObjectFrame::Make(TOrder nOrder, int nWhichChild, const SbVec3f& vTranslation, SoSeparator*& pThisRoot,
                            SoSwitch*& pSwitch, SoTransform*& pXf, TSceneHook& Hook)
{
    pThisRoot = new SoSeparator;
    DRELK_ASSERT(pThisRoot);
    KeepNoCaches(pThisRoot);
    pSwitch = new SoSwitch;
    DRELK_ASSERT(pSwitch);
    pSwitch->whichChild.setValue(nWhichChild);
    SoGroup* pContent = pThisRoot;
    if (nOrder == SWITCH_INSIDE) {
        SoSeparator* pSep = new SoSeparator;
        DRELK_ASSERT(pSep);
        KeepNoCaches(pSep);
        pThisRoot->addChild(pSwitch);
        pSwitch->addChild(pSep);
        pContent = pSep;
        Hook.Hold(pThisRoot);
    } else {
        pSwitch->addChild(pThisRoot);
        Hook.Hold(pSwitch);
    }
    pXf = new SoTransform;
    DRELK_ASSERT(pXf);
    pXf->translation.setValue(vTranslation);
    pContent->addChild(pXf);
    return pContent;
}

bool TObjectFrame::Write(SoNode* pTop, SoTransform* pXf, SoSwitch* pSwitch, const SbVec3f& vTranslation,
                         const SbRotation& Rotation, bool bShown)
{
    DRELK_ASSERT(pTop);
    DRELK_ASSERT(pXf);
    DRELK_ASSERT(pSwitch);
    const int nWhichChild = bShown ? SO_SWITCH_ALL : SO_SWITCH_NONE;
    const bool bSwitched = pSwitch->whichChild.getValue() != nWhichChild;
    const bool bMoved = pXf->translation.getValue() != vTranslation;
    const bool bTurned = !(pXf->rotation.getValue() == Rotation);
    if (!bSwitched && !bMoved && !bTurned)
        return false;
    const SbBool bSwitchNotify = pSwitch->whichChild.enableNotify(FALSE);
    const SbBool bTranslationNotify = pXf->translation.enableNotify(FALSE);
    const SbBool bRotationNotify = pXf->rotation.enableNotify(FALSE);
    if (bSwitched)
        pSwitch->whichChild.setValue(nWhichChild);
    if (bMoved)
        pXf->translation.setValue(vTranslation);
    if (bTurned)
        pXf->rotation.setValue(Rotation);
    pSwitch->whichChild.enableNotify(bSwitchNotify);
    pXf->translation.enableNotify(bTranslationNotify);
    pXf->rotation.enableNotify(bRotationNotify);
    pTop->touch();
    return true;
}

SoCoordinate3* TObjectFrame::NewQuad(const SbVec2f& vSize)
{
    SoCoordinate3* pCoords = new SoCoordinate3;
    DRELK_ASSERT(pCoords);
    SbVec3f Points[QUAD_POINTS];
    QuadPoints(vSize, Points);
    pCoords->point.setValues(0, QUAD_POINTS, Points);
    return pCoords;
}

SbBox3f TObjectFrame::QuadBox(const SbVec2f& vSize)
{
    SbVec3f Points[QUAD_POINTS];
    QuadPoints(vSize, Points);
    SbBox3f Box;
    for (const SbVec3f& vPoint : Points)
        Box.extendBy(vPoint);
    return Box;
}
