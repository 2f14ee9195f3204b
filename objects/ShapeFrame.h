#pragma once
// The nodes a game object is drawn under (its own separator, show/hide switch and transform,
// made by TObjectFrame) and the one way every object is drawn between two ticks: its place
// blended from the last tick to now, its turn the short way round, a jump shown where it lands,
// and only what changed written, with one notice up the scene.

#include "base/Float3.h"
#include "base/ObjectFrame.h"
#include "base/SceneHook.h"

#include <Inventor/SbVec3f.h>

class SoGroup;
class SoSeparator;
class SoSwitch;
class SoTransform;
class TTickBlend;

class TShapeFrame
{
public:
    TShapeFrame(TObjectFrame::TOrder nOrder, int nWhichChild, const TFloat3& vPlace);
    TShapeFrame(const TShapeFrame&) = delete;
    TShapeFrame& operator=(const TShapeFrame&) = delete;

    // The group the drawing goes in, after the transform.
    SoGroup* GetContent() const { return m_pContent; }
    SoSeparator* GetRootNode() const { return m_pThisRoot; }
    SoSwitch* GetSwitch() const { return m_pSwitch; }
    SoTransform* GetTransform() const { return m_pXf; }
    // Hangs the built subtree under its parent, for the frame's life.
    void AttachTo(SoGroup* pParent) { m_Hook.AttachTo(pParent); }

    // The object dAlpha of the way from its last tick (Blend) to where it is now (vPlace, turned
    // dAngle about vAxis); true when anything changed.
    bool Present(const TTickBlend& Blend, const TFloat3& vPlace, double dAngle, const SbVec3f& vAxis, bool bShown,
                 double dAlpha);

    static SbVec3f ToScene(const TFloat3& v) { return SbVec3f(v[0], v[1], v[2]); }

private:
    SoSeparator* m_pThisRoot = nullptr;
    SoSwitch* m_pSwitch = nullptr;
    SoTransform* m_pXf = nullptr;
    SoGroup* m_pContent = nullptr;
    TSceneHook m_Hook;  // takes the subtree down with the object
    SoNode* m_pTop = nullptr;
};
