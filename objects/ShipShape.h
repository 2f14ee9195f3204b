#pragma once
// How the player's ship is drawn and heard: the data file's model (turned a quarter about x into
// the play plane) under its frame, scaled to the ship's size; its flame under the same frame, a
// third of the ship's size behind its centre; its explosion beside it; its shot, engine and
// explosion sounds.

#include "objects/ShapeFrame.h"

#include <memory>

class SoGroup;
class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
class TFxEngine;
class TFxExplosion;
class TFxTimers;
class TManShip;

class TShipShape
{
public:
    TShipShape(SoGroup* pRoot, TFModSoundManager* pSM, const TDataBanker* pDB, TFxTimers& Timers, const TManShip& Ship);
    ~TShipShape();
    TShipShape(const TShipShape&) = delete;
    TShipShape& operator=(const TShipShape&) = delete;

    // The ship and its flame dAlpha of the way from the last tick to now; true when anything
    // changed.
    bool Present(const TManShip& Ship, double dAlpha);
    void OnFired();
    // A thrust at game time nNowMs.
    void OnThrust(uint32_t nNowMs);
    // The ship's explosion at vPlace, at fScale from now on.
    void Explode(const TFloat3& vPlace, float fScale);

    SoSeparator* GetRootNode() const { return m_Frame.GetRootNode(); }
    SoTransform* GetTransform() const { return m_Frame.GetTransform(); }
    SoSwitch* GetSwitch() const { return m_Frame.GetSwitch(); }
    TFxEngine* GetEngine() const { return m_pEngine.get(); }
    TFxExplosion* GetExplosion() const { return m_pExplosion.get(); }

private:
    TFModSoundSource* NewSource(TFModSoundManager* pSM, const TDataBanker* pDB, int32_t nIdSound);

    TShapeFrame m_Frame;
    std::unique_ptr<TFModSoundSource> m_pSndShot;
    std::unique_ptr<TFxEngine> m_pEngine;
    std::unique_ptr<TFxExplosion> m_pExplosion;
};
