#include "objects/Ships.h"

#include "base/Assert.h"
#include "databank/DataBanker.h"
#include "fx/GraphicFx.h"
#include "fx/SoundLoader.h"
#include "objects/CollisionBox.h"
#include "objects/Weapons.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>

#include <cmath>

namespace {

constexpr long double PI_L = 3.141592653589793238462643383279502884L;
constexpr double PI = 3.14159265358979323846;

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
    : TShip(pRoot, pSM, pDB), m_dAngle(0), m_dSize(dSize), m_vSpeed(0, 0, 0)
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
    m_pSwitch = new SoSwitch;
    DRELK_ASSERT(m_pSwitch);
    m_Hook.Hold(m_pSwitch);
    m_pSwitch->whichChild.setValue(SO_SWITCH_ALL);
    m_Hook.AttachTo(pRoot);

    m_pThisRoot = new SoSeparator;
    DRELK_ASSERT(m_pThisRoot);
    m_pSwitch->addChild(m_pThisRoot);

    m_pXf = new SoTransform;
    DRELK_ASSERT(m_pXf);
    m_pXf->translation.setValue(vPosition);
    m_pThisRoot->addChild(m_pXf);

    SoSeparator* pSep = new SoSeparator;
    DRELK_ASSERT(pSep);
    m_pThisRoot->addChild(pSep);

    const float s = static_cast<float>(m_dSize);
    m_pXf->scaleFactor.setValue(s, s, s);

    // The quarter turn about x lays the model, built upright, into the play plane.
    SoSeparator* pModel = m_pDB->LoadShapeFromBin(ID_PLAYLIST_MODELS, true);
    DRELK_ASSERT(pModel);
    pSep->addChild(pModel);
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
    const TVecPtrTextures* pVecTex = m_pDB->GetTextures("EXPLOSION");
    DRELK_ASSERT(pVecTex);
    // A sibling of the ship, not part of it: it stays where it is placed.
    m_pFxXplosion = new TFxExplosion(m_pRoot, pSnd, pVecTex, SbVec3f(0, 0, 0),
                                     SbVec2f(EXPLOSION_SIZE, EXPLOSION_SIZE), EXPLOSION_INTERVAL);
    DRELK_ASSERT(m_pFxXplosion);

    pSnd = NewSource(ID_SOUND_ENGINE);
    TagTexture TexData;
    DRELK_ASSERT(m_pDB->LoadTextureFromBin(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE, TexData));
    TexData.nWidth = SHAPE_BMP_ENGINE.nWidth;
    TexData.nHeight = SHAPE_BMP_ENGINE.nHeight;
    TexData.nComponents = SHAPE_BMP_ENGINE.nComponents;
    SoTexture2* pTex = m_pDB->CreateTexture(TexData);
    DRELK_ASSERT(pTex);
    // Under the ship's own root after its transform: the flame moves, turns and scales with the
    // ship, a third of the ship's size behind its centre.
    const SbVec3f vFlame = vPosition + SbVec3f(0, static_cast<float>(-m_dSize / 3), 0);
    m_pFxEngine = new TFxEngine(m_pThisRoot, pSnd, pTex, vFlame, SbVec2f(ENGINE_SIZE, ENGINE_SIZE), ENGINE_INTERVAL);
    DRELK_ASSERT(m_pFxEngine);
    pTex->unref();  // the flame's subtree holds it now
}

TMissile* TManShip::Fire(SoGroup* pRoot)
{
    DRELK_ASSERT(m_pDB);
    DRELK_ASSERT(m_pSndShot);
    DRELK_ASSERT(pRoot);
    const SbVec3f p = GetPosition();
    const SbVec3f v = GetVelocity();

    SoTexture2* pTex = m_pDB->GetTexture("MISSILE");
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
    DRELK_ASSERT(m_pFxXplosion);
    m_pFxXplosion->SetPosition(vPosition);
    m_pFxXplosion->SetScale(fScale);
    m_pFxXplosion->Start();
}

void TManShip::Explode()
{
    m_bAlive = false;
    SetVisible(false);
    DRELK_ASSERT(m_pFxXplosion);
    m_pFxXplosion->SetPosition(GetPosition());
    m_pFxXplosion->Start();
}

void TManShip::Revive()
{
    SetVisible(true);
    m_bAlive = true;
}

void TManShip::SetVisible(bool bVisible)
{
    DRELK_ASSERT(m_pSwitch);
    m_pSwitch->whichChild.setValue(bVisible ? SO_SWITCH_ALL : SO_SWITCH_NONE);
}

void TManShip::Rotate(double dDegrees)
{
    m_dAngle = static_cast<double>(m_dAngle + static_cast<long double>(dDegrees) * PI_L * (1.0L / 180));
    DRELK_ASSERT(m_pXf);
    m_pXf->rotation.setValue(SbVec3f(0, 0, 1), static_cast<float>(m_dAngle));
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
    SbVec3f q = GetPosition();
    for (int i = 0; i < 3; ++i)
        q[i] = static_cast<float>(q[i] + m_vSpeed[i] * dt);
    SetPosition(q);
}

SbVec3f TManShip::GetPosition() const
{
    DRELK_ASSERT(m_pXf);
    return m_pXf->translation.getValue();
}

void TManShip::SetPosition(const SbVec3f& vPosition)
{
    DRELK_ASSERT(m_pXf);
    m_pXf->translation.setValue(vPosition);
}

void TManShip::SetAngle(double dAngle)
{
    m_dAngle = dAngle;
    DRELK_ASSERT(m_pXf);
    m_pXf->rotation.setValue(SbVec3f(0, 0, 1), static_cast<float>(m_dAngle));
}

SbXfBox3f TManShip::GetBoundingBox(const SbViewportRegion& Region) const
{
    // Below the switch: the box does not depend on whether the ship is shown.
    return ComputeCollisionBox(m_pThisRoot, Region);
}
