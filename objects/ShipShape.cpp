#include "objects/ShipShape.h"

#include "base/Assert.h"
#include "databank/DataBanker.h"
#include "fx/GraphicFx.h"
#include "media/SoundLoader.h"
#include "objects/Ships.h"
#include "sound/FModSoundManager.h"

#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>

namespace {
constexpr double SHIP_EXPLOSION_INTERVAL = 0.05;
}  // namespace

TShipShape::TShipShape(SoGroup* pRoot, TFModSoundManager* pSM, const TDataBanker* pDB, TFxTimers& Timers,
                       const TManShip& Ship)
    : m_Frame(TObjectFrame::SWITCH_OUTSIDE, SO_SWITCH_ALL, Ship.GetPosition())
{
    DRELK_ASSERT(pRoot);
    DRELK_ASSERT(pSM);
    DRELK_ASSERT(pDB);
    SoSeparator* pSep = new SoSeparator;
    DRELK_ASSERT(pSep);
    m_Frame.GetContent()->addChild(pSep);
    const float s = static_cast<float>(Ship.GetSize());
    m_Frame.GetTransform()->scaleFactor.setValue(s, s, s);
    // The quarter turn about x lays the model, built upright, into the play plane.
    SoSeparator* pModel = pDB->LoadShapeFromBin(ID_PLAYLIST_MODELS, true);
    DRELK_ASSERT(pModel);
    pSep->addChild(pModel);
    m_Frame.AttachTo(pRoot);

    m_pSndShot.reset(NewSource(pSM, pDB, ID_SOUND_LASER));
    // A sibling of the ship, not part of it: it stays where it is placed.
    m_pExplosion = TFxExplosion::FromBank(pRoot, Timers, NewSource(pSM, pDB, ID_SOUND_EXPLOSION_10), pDB,
                                          SHIP_EXPLOSION_INTERVAL, Ship.GetBlastAngle(), Ship.GetBlastScale());
    SoTexture2* pTex = pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ENGINE);
    DRELK_ASSERT(pTex);
    // Under the ship's own root after its transform: the flame moves, turns and scales with the
    // ship.
    m_pEngine = std::make_unique<TFxEngine>(m_Frame.GetRootNode(), NewSource(pSM, pDB, ID_SOUND_ENGINE), pTex,
                                            TShapeFrame::ToScene(Ship.GetFlamePlace()),
                                            SbVec2f(TManShip::FLAME_SIZE, TManShip::FLAME_SIZE));
}

TShipShape::~TShipShape()
{
    m_pEngine.reset();
    m_pExplosion.reset();
}

TFModSoundSource* TShipShape::NewSource(TFModSoundManager* pSM, const TDataBanker* pDB, int32_t nIdSound)
{
    TFModSoundSource* pSnd = TSoundLoader::CreateSource(pSM, pDB, ID_PLAYLIST_SOUNDS, nIdSound, false);
    DRELK_ASSERT(pSnd);
    return pSnd;
}

bool TShipShape::Present(const TManShip& Ship, double dAlpha)
{
    m_pEngine->Present(Ship.IsFlameShown(), Ship.GetFlameWidth(), Ship.GetFlameHeight());
    return m_Frame.Present(Ship.GetBlend(), Ship.GetPosition(), Ship.GetAngle(), SbVec3f(0, 0, 1), Ship.IsVisible(),
                           dAlpha);
}

void TShipShape::OnFired()
{
    m_pSndShot->Play();
    m_pSndShot->SetPlaying(true);
}

void TShipShape::OnThrust(uint32_t nNowMs)
{
    m_pEngine->Restart(nNowMs);
}

void TShipShape::Explode(const TFloat3& vPlace, float fScale)
{
    m_pExplosion->SetPosition(TShapeFrame::ToScene(vPlace));
    m_pExplosion->SetScale(fScale);
    m_pExplosion->Start();
}
