#include "objects/Weapons.h"

#include "base/Assert.h"
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
    : m_dSize(dSize), m_vSpeed(0, 0, 0), m_pRoot(pRoot)
{
    DRELK_ASSERT(pRoot);
    Build(pTex, vPosition);
}

TMissile::~TMissile() = default;

void TMissile::Build(SoTexture2* pTex, const SbVec2f& vPosition)
{
    DRELK_ASSERT(pTex);
    const TObjectFrame Frame = TObjectFrame::Make(SO_SWITCH_NONE, SbVec3f(vPosition[0], vPosition[1], 0));
    m_pThisRoot = Frame.pThisRoot;
    m_pSwitch = Frame.pSwitch;
    m_pXf = Frame.pXf;
    m_Hook.Hold(m_pThisRoot);
    SoSeparator* pSep = Frame.pSep;
    pSep->addChild(pTex);

    const float s = static_cast<float>(m_dSize) / 2;
    // Counter-clockwise seen from the camera above; no texture coordinates, the default mapping
    // covers the square.
    const SbVec3f Points[4] = {SbVec3f(s, -s, 0), SbVec3f(s, s, 0), SbVec3f(-s, s, 0), SbVec3f(-s, -s, 0)};
    SoCoordinate3* pCoords = new SoCoordinate3;
    DRELK_ASSERT(pCoords);
    pCoords->point.setValues(0, 4, Points);
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
    SbVec3f q = GetPosition();
    q[0] = static_cast<float>(m_vSpeed[0] * dt + q[0]);
    q[1] = static_cast<float>(m_vSpeed[1] * dt + q[1]);
    SetPosition(SbVec2f(q[0], q[1]));
}

SbVec3f TMissile::GetPosition() const
{
    DRELK_ASSERT(m_pXf);
    return m_pXf->translation.getValue();
}

void TMissile::SetPosition(const SbVec3f& vPosition)
{
    DRELK_ASSERT(m_pXf);
    m_pXf->translation.setValue(vPosition);
}

void TMissile::SetPosition(const SbVec2f& vPosition)
{
    SetPosition(SbVec3f(vPosition[0], vPosition[1], 0));
}

void TMissile::SetVisible(bool bVisible)
{
    DRELK_ASSERT(m_pSwitch);
    m_bAlive = bVisible;
    m_pSwitch->whichChild.setValue(bVisible ? SO_SWITCH_ALL : SO_SWITCH_NONE);
}

bool TMissile::Hits(const SbXfBox3f& Box) const
{
    return Box.intersect(GetPosition());
}
