#pragma once
// How a rock is drawn and heard: its mesh (the rules' points, each its own normal, the bank's
// rock texture) under its frame, and its explosion beside it with the rock's sound, which stays
// on show after the rock is hidden. Made when the rules make the rock, gone when they purge it.

#include "objects/ShapeFrame.h"

#include <memory>

class SoGroup;
class TAsteroid;
class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
class TFxExplosion;
class TFxTimers;

class TAsteroidShape
{
public:
    TAsteroidShape(SoGroup* pRoot, TFModSoundManager* pSM, const TDataBanker* pDB, TFxTimers& Timers,
                   const TAsteroid& Rock);
    ~TAsteroidShape();
    TAsteroidShape(const TAsteroidShape&) = delete;
    TAsteroidShape& operator=(const TAsteroidShape&) = delete;

    // The rock dAlpha of the way from its last tick to now; true when anything changed.
    bool Present(const TAsteroid& Rock, double dAlpha);
    // The rock has exploded at vPlace: its sound, and its animation when bWithEffect.
    void Explode(const TFloat3& vPlace, bool bWithEffect);

    SoSeparator* GetRootNode() const { return m_Frame.GetRootNode(); }
    SoTransform* GetTransform() const { return m_Frame.GetTransform(); }
    TFxExplosion* GetExplosion() const { return m_pExplosion.get(); }

private:
    void BuildMesh(const TDataBanker* pDB, const TAsteroid& Rock);

    TShapeFrame m_Frame;
    // The explosion owns the rock's sound.
    TFModSoundSource* m_pSnd = nullptr;
    std::unique_ptr<TFxExplosion> m_pExplosion;
};
