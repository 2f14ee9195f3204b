#include "objects/ShapeFrame.h"

#include "base/TickBlend.h"

#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>

TShapeFrame::TShapeFrame(TObjectFrame::TOrder nOrder, int nWhichChild, const TFloat3& vPlace)
{
    m_pContent = TObjectFrame::Make(nOrder, nWhichChild, ToScene(vPlace), m_pThisRoot, m_pSwitch, m_pXf, m_Hook);
    // The notice goes from the node that hangs under the parent.
    m_pTop = nOrder == TObjectFrame::SWITCH_INSIDE ? static_cast<SoNode*>(m_pThisRoot) : static_cast<SoNode*>(m_pSwitch);
}

bool TShapeFrame::Present(const TTickBlend& Blend, const TFloat3& vPlace, double dAngle, const SbVec3f& vAxis,
                          bool bShown, double dAlpha)
{
    const double dShownAngle = Blend.Angle(dAngle, dAlpha);
    const SbRotation Turn = dShownAngle == 0.0 ? SbRotation::identity()
                                               : SbRotation(vAxis, static_cast<float>(dShownAngle));
    return TObjectFrame::Write(m_pTop, m_pXf, m_pSwitch, ToScene(Blend.Place(vPlace, dAlpha)), Turn, bShown);
}
