#include "objects/Weapons.h"

#include "base/Assert.h"
#include "base/Digest.h"
#include "base/ObjectFrame.h"

#include <Inventor/SbXfBox3f.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>

TMissile::TMissile(SoGroup* pRoot, const SbVec2f& vPosition, double dSize, SoTexture2* pTex)
    : m_dSize(dSize), m_vSpeed(0, 0, 0), m_pRoot(pRoot), m_vPosition(vPosition[0], vPosition[1], 0)
{
    DRELK_ASSERT(pRoot);
    Build(pTex);
}

TMissile::~TMissile() = default;

void TMissile::Build(SoTexture2* pTex)
{
    DRELK_ASSERT(pTex);
    SoGroup* pSep = TObjectFrame::Make(TObjectFrame::SWITCH_INSIDE, SO_SWITCH_NONE, m_vPosition, m_pThisRoot,
                                       m_pSwitch, m_pXf, m_Hook);
    pSep->addChild(pTex);
    SoCoordinate3* pCoords = TObjectFrame::NewQuad(SbVec2f(static_cast<float>(m_dSize), static_cast<float>(m_dSize)));
    pSep->addChild(pCoords);
    SoFaceSet* pFaceSet = new SoFaceSet;
    DRELK_ASSERT(pFaceSet);
    pSep->addChild(pFaceSet);
    m_Hook.AttachTo(m_pRoot);
}

void TMissile::SetVelocity(const SbVec2f& v)
{
    m_vSpeed.setValue(v[0], v[1], 0);
}

void TMissile::Move(double dt)
{
    m_vPosition[0] = static_cast<float>(m_vSpeed[0] * dt + m_vPosition[0]);
    m_vPosition[1] = static_cast<float>(m_vSpeed[1] * dt + m_vPosition[1]);
    m_vPosition[2] = 0;
    m_bChanged = true;
}

SbVec3f TMissile::GetShownPosition() const
{
    return m_pXf->translation.getValue();
}

void TMissile::SetPosition(const SbVec3f& vPosition)
{
    m_vPosition = vPosition;
    m_Blend.Jump();
    m_bChanged = true;
}

void TMissile::SetVisible(bool bVisible)
{
    m_bVisible = bVisible;
    m_bChanged = true;
}

void TMissile::Kill()
{
    m_bAlive = false;
    SetVisible(false);
    // It moves no more: frames show it where it is, not between ticks it no longer has.
    m_Blend.Jump();
}

bool TMissile::Hits(const SbXfBox3f& Box) const
{
    return Box.intersect(m_vPosition);
}

void TMissile::AddToDigest(TDigest& Digest) const
{
    for (int i = 0; i < 3; ++i) {
        Digest.Add(m_vPosition[i]);
        Digest.Add(m_vSpeed[i]);
    }
    Digest.Add(m_bAlive);
    Digest.Add(m_bVisible);
}

bool TMissile::Present(double dAlpha)
{
    // A missile in flight is somewhere else at every frame; a spent one, hidden, is not.
    if (!m_bChanged && !m_bVisible)
        return false;
    m_bChanged = false;
    return TObjectFrame::Write(m_pThisRoot, m_pXf, m_pSwitch, m_Blend.Place(m_vPosition, dAlpha), SbRotation::identity(),
                               m_bVisible);
}
