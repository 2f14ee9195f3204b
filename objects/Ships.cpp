#include "objects/Ships.h"

#include "base/Assert.h"
#include "base/Digest.h"
#include "base/MathConstants.h"
#include "base/ObjectFrame.h"
#include "databank/DataBanker.h"
#include "fx/GraphicFx.h"
#include "media/SoundLoader.h"
#include "objects/CollisionBox.h"
#include "objects/Weapons.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>

#include <cmath>

namespace {

constexpr float EXPLOSION_SIZE = 4.0f;
constexpr double EXPLOSION_INTERVAL = 0.05;
constexpr float ENGINE_SIZE = 1.0f;
constexpr double ENGINE_INTERVAL = 0.01;
constexpr double MISSILE_SIZE = 1.0;

// Only thrust limits the speed, and per component: a diagonal can reach about 7.07.
float ClampComponent(float f)
{
    if (f > TManShip::MAX_SPEED_COMPONENT)
        return TManShip::MAX_SPEED_COMPONENT;
    if (!(f >= -TManShip::MAX_SPEED_COMPONENT))
        return -TManShip::MAX_SPEED_COMPONENT;
    return f;
}

}  // namespace

TShip::TShip(SoGroup* pRoot, TFModSoundManager* pSM, TDataBanker* pDB) : m_pRoot(pRoot), m_pDB(pDB), m_pSM(pSM)
{
    DRELK_ASSERT(m_pRoot);
    DRELK_ASSERT(m_pSM);
    DRELK_ASSERT(m_pDB);
}

TManShip::TManShip(SoGroup* pRoot, TFModSoundManager* pSM, TDataBanker* pDB, const SbVec3f& vPosition, double dSize)
    : TShip(pRoot, pSM, pDB), m_dAngle(0), m_dSize(dSize), m_vSpeed(0, 0, 0), m_vPosition(vPosition)
{
    BuildSubtree(pRoot, vPosition);
    BuildEffects(vPosition);
}

TManShip::~TManShip()
{
    DRELK_ASSERT(m_pRoot);
    m_pThisRoot->removeAllChildren();
    DRELK_ASSERT(m_pSndShot);
    delete m_pSndShot;
    DRELK_ASSERT(m_pFxEngine);
    delete m_pFxEngine;
    DRELK_ASSERT(m_pFxXplosion);
    delete m_pFxXplosion;
    // The hook then takes the switch down.
}

void TManShip::BuildSubtree(SoGroup* pRoot, const SbVec3f& vPosition)
{
    DRELK_ASSERT(pRoot);
    TObjectFrame::Make(TObjectFrame::SWITCH_OUTSIDE, SO_SWITCH_ALL, vPosition, m_pThisRoot, m_pSwitch, m_pXf, m_Hook);

    SoSeparator* pSep = new SoSeparator;
    DRELK_ASSERT(pSep);
    m_pThisRoot->addChild(pSep);

    const float s = static_cast<float>(m_dSize);
    m_pXf->scaleFactor.setValue(s, s, s);

    // The quarter turn about x lays the model, built upright, into the play plane.
    SoSeparator* pModel = m_pDB->LoadShapeFromBin(ID_PLAYLIST_MODELS, true);
    DRELK_ASSERT(pModel);
    pSep->addChild(pModel);

    // The model never changes: its box in the ship's frame is taken once. No part of it depends
    // on a viewport.
    SoGetBoundingBoxAction Action{SbViewportRegion()};
    Action.apply(pSep);
    m_ModelBox = Action.getXfBoundingBox();
    m_Hook.AttachTo(pRoot);
}

TFModSoundSource* TManShip::NewSource(int32_t nIdSound)
{
    TFModSoundSource* pSnd = TSoundLoader::CreateSource(m_pSM, m_pDB, ID_PLAYLIST_SOUNDS, nIdSound, false);
    DRELK_ASSERT(pSnd);
    return pSnd;
}

void TManShip::BuildEffects(const SbVec3f& vPosition)
{
    m_pSndShot = NewSource(ID_SOUND_LASER);
    TFModSoundSource* pSnd = NewSource(ID_SOUND_EXPLOSION_10);
    const TVecPtrTextures* pVecTex = m_pDB->GetTextures(ID_PLAYLIST_XPLOSIONS);
    DRELK_ASSERT(pVecTex);
    // A sibling of the ship, not part of it: it stays where it is placed.
    m_pFxXplosion = new TFxExplosion(m_pRoot, pSnd, pVecTex, SbVec3f(0, 0, 0),
                                     SbVec2f(EXPLOSION_SIZE, EXPLOSION_SIZE), EXPLOSION_INTERVAL);
    DRELK_ASSERT(m_pFxXplosion);

    pSnd = NewSource(ID_SOUND_ENGINE);
    SoTexture2* pTex = m_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE);
    DRELK_ASSERT(pTex);
    // Under the ship's own root after its transform: the flame moves, turns and scales with the
    // ship, a third of the ship's size behind its centre.
    const SbVec3f vFlame = vPosition + SbVec3f(0, static_cast<float>(-m_dSize / 3), 0);
    m_pFxEngine = new TFxEngine(m_pThisRoot, pSnd, pTex, vFlame, SbVec2f(ENGINE_SIZE, ENGINE_SIZE), ENGINE_INTERVAL);
    DRELK_ASSERT(m_pFxEngine);
}

TMissile* TManShip::Fire(SoGroup* pRoot)
{
    DRELK_ASSERT(m_pDB);
    DRELK_ASSERT(m_pSndShot);
    DRELK_ASSERT(pRoot);
    const SbVec3f p = GetPosition();
    const SbVec3f v = GetVelocity();

    SoTexture2* pTex = m_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE);
    DRELK_ASSERT(pTex);
    TMissile* pMissile = new TMissile(pRoot, SbVec2f(p[0], p[1]), MISSILE_SIZE, pTex);
    DRELK_ASSERT(pMissile);

    // Along the heading; the ship's drift adds its speed but not its direction.
    const double a = m_dAngle + PI / 2;
    const double dSpeed = v.length() + MISSILE_SPEED;
    pMissile->SetVelocity(SbVec2f(static_cast<float>(std::cos(a) * dSpeed), static_cast<float>(std::sin(a) * dSpeed)));

    m_pSndShot->Play();
    m_pSndShot->SetPlaying(true);
    pMissile->SetVisible(true);
    return pMissile;
}

void TManShip::ExplodeAt(float fScale, const SbVec3f& vPosition)
{
    m_bAlive = false;
    SetVisible(false);
    m_Blend.Jump();
    DRELK_ASSERT(m_pFxXplosion);
    m_pFxXplosion->SetPosition(vPosition);
    m_pFxXplosion->SetScale(fScale);
    m_pFxXplosion->Start();
}

void TManShip::Explode()
{
    m_bAlive = false;
    SetVisible(false);
    // It moves no more: frames show it where it is, not between ticks it no longer has.
    m_Blend.Jump();
    DRELK_ASSERT(m_pFxXplosion);
    m_pFxXplosion->SetPosition(GetPosition());
    m_pFxXplosion->Start();
}

void TManShip::Revive()
{
    SetVisible(true);
    m_bAlive = true;
}

void TManShip::Rotate(double dDegrees)
{
    m_dAngle = static_cast<double>(m_dAngle + static_cast<long double>(dDegrees) * PI_L * (1.0L / 180));
}

void TManShip::Thrust(double dAmount)
{
    const double a = m_dAngle + PI / 2;
    m_vSpeed[0] = ClampComponent(static_cast<float>(m_vSpeed[0] + std::cos(a) * dAmount));
    m_vSpeed[1] = ClampComponent(static_cast<float>(m_vSpeed[1] + std::sin(a) * dAmount));
    DRELK_ASSERT(m_pFxEngine);
    m_pFxEngine->Start();
}

void TManShip::Move(double dt)
{
    for (int i = 0; i < 3; ++i)
        m_vPosition[i] = static_cast<float>(m_vPosition[i] + m_vSpeed[i] * dt);
}

SbVec3f TManShip::GetShownPosition() const
{
    return m_pXf->translation.getValue();
}

double TManShip::GetShownAngle() const
{
    SbVec3f vAxis;
    float fAngle = 0;
    m_pXf->rotation.getValue().getValue(vAxis, fAngle);
    return vAxis[2] < 0 ? -fAngle : fAngle;
}

void TManShip::SetPosition(const SbVec3f& vPosition)
{
    m_vPosition = vPosition;
    m_Blend.Jump();
}

void TManShip::SetAngle(double dAngle)
{
    m_dAngle = dAngle;
    m_Blend.Jump();
}

SbRotation TManShip::GetRotation() const
{
    return SbRotation(SbVec3f(0, 0, 1), static_cast<float>(m_dAngle));
}

SbXfBox3f TManShip::GetBoundingBox() const
{
    DRELK_ASSERT(m_pFxEngine);
    // The steps of a traversal of the ship's own root: the transform's matrix multiplied into
    // the root's identity, the model's box under it, then the flame's.
    const float s = static_cast<float>(m_dSize);
    SbMatrix Matrix, Local = SbMatrix::identity();
    Matrix.setTransform(m_vPosition, GetRotation(), SbVec3f(s, s, s), SbRotation::identity(), SbVec3f(0, 0, 0));
    if (Matrix != SbMatrix::identity())
        Local.multLeft(Matrix);
    SbXfBox3f Box = m_ModelBox;
    Box.transform(Local);
    SbXfBox3f Flame = m_pFxEngine->GetBoundingBox();
    if (!Flame.isEmpty()) {
        Flame.transform(Local);
        Box.extendBy(Flame);
    }
    return ShrinkToCollisionBox(Box);
}

void TManShip::AddToDigest(TDigest& Digest) const
{
    for (int i = 0; i < 3; ++i) {
        Digest.Add(m_vPosition[i]);
        Digest.Add(m_vSpeed[i]);
    }
    Digest.Add(m_dAngle);
    Digest.Add(m_bAlive);
    Digest.Add(m_bVisible);
    m_pFxEngine->AddToDigest(Digest);
    m_pFxXplosion->AddToDigest(Digest);
}

bool TManShip::Present(double dAlpha)
{
    const SbRotation Heading(SbVec3f(0, 0, 1), static_cast<float>(m_Blend.Angle(m_dAngle, dAlpha)));
    return TObjectFrame::Write(m_pSwitch, m_pXf, m_pSwitch, m_Blend.Place(m_vPosition, dAlpha), Heading, m_bVisible);
}
