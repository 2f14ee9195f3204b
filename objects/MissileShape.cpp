#include "objects/MissileShape.h"

#include "base/Assert.h"
#include "objects/Weapons.h"

#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>

TMissileShape::TMissileShape(SoGroup* pRoot, SoTexture2* pTex, double dSize)
    : m_Frame(TObjectFrame::SWITCH_INSIDE, SO_SWITCH_NONE, TFloat3())
{
    DRELK_ASSERT(pRoot);
    DRELK_ASSERT(pTex);
    SoGroup* pSep = m_Frame.GetContent();
    pSep->addChild(pTex);
    pSep->addChild(TObjectFrame::NewQuad(SbVec2f(static_cast<float>(dSize), static_cast<float>(dSize))));
    SoFaceSet* pFaceSet = new SoFaceSet;
    DRELK_ASSERT(pFaceSet);
    pSep->addChild(pFaceSet);
    m_Frame.AttachTo(pRoot);
}

bool TMissileShape::Present(const TMissile& Missile, double dAlpha)
{
    return m_Frame.Present(Missile.GetBlend(), Missile.GetPosition(), 0.0, SbVec3f(0, 0, 1), Missile.IsVisible(),
                           dAlpha);
}

void TMissileShape::Hide()
{
    if (m_Frame.GetSwitch()->whichChild.getValue() != SO_SWITCH_NONE)
        m_Frame.GetSwitch()->whichChild.setValue(SO_SWITCH_NONE);
}
