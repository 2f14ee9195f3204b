#pragma once
// How a missile is drawn: a small textured square under its frame, hidden while no missile in
// flight needs it. The game's scene keeps these and hands a free one to each new missile, so a
// level of held fire makes no new nodes once the first few are made.

#include "objects/ShapeFrame.h"

class SoGroup;
class SoTexture2;
class TMissile;

class TMissileShape
{
public:
    // Hidden, under pRoot; pTex is shared, not owned.
    TMissileShape(SoGroup* pRoot, SoTexture2* pTex, double dSize);

    // The missile dAlpha of the way from its last tick to now; true when anything changed.
    bool Present(const TMissile& Missile, double dAlpha);
    // Free again: hidden until the next missile takes it.
    void Hide();

    SoSeparator* GetRootNode() const { return m_Frame.GetRootNode(); }
    SoTransform* GetTransform() const { return m_Frame.GetTransform(); }

private:
    TShapeFrame m_Frame;
};
