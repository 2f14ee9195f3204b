#pragma once
// Short animations in the scene.
//  - TFxExplosion: a flip-book quad stepping through frame textures, fading over the second half,
//    with an explosion sound at each start, on a timer sensor that fires only while it runs.
//  - TFxEngine: the ship's flame, a quad whose flicker the rules decide (it is part of the
//    ship's box), and the engine sound, restarted at most once every 150 ms.
// The timers run on the game's clock (TFxTimers), so headless runs step them in game time.

#include "base/SceneHook.h"
#include "databank/DataBanker.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>

#include <cstdint>
#include <memory>

class SoGroup;
class SoMaterial;
class SoSensor;
class SoSeparator;
class SoSwitch;
class SoTexture2;
class SoTimerSensor;
class SoTransform;
class TFModSoundSource;
class TFxTimers;

class TFxExplosion
{
public:
    // Takes ownership of pSnd. The frames stay the bank's; there must be at least one. The
    // effect is hidden until the first Start, and its nodes are made then. It lies turned by
    // dAngle about z at a base scale of fScale.
    TFxExplosion(SoGroup* pRoot, TFxTimers& Timers, TFModSoundSource* pSnd, const TVecPtrTextures* pTextures,
                 const SbVec3f& vPosition, const SbVec2f& vSize, double dInterval, double dAngle, float fScale);
    // The game's explosion at the origin: the bank's frames on a 4 x 4 quad.
    static std::unique_ptr<TFxExplosion> FromBank(SoGroup* pRoot, TFxTimers& Timers, TFModSoundSource* pSnd,
                                                  const TDataBanker* pDB, double dInterval, double dAngle, float fScale);
    // Stops the timer, deletes the sound and takes the effect's nodes out of the parent.
    ~TFxExplosion();
    TFxExplosion(const TFxExplosion&) = delete;
    TFxExplosion& operator=(const TFxExplosion&) = delete;

    void Start();
    void Stop();
    void Show(bool bShow);
    void SetPosition(const SbVec3f& vPosition);
    // Replaces the base scale for good.
    void SetScale(float fScale);

    // One step of the flip-book; the timer calls it.
    void OnTimer();

    bool IsActive() const { return m_bActive; }
    int GetFrame() const { return m_nFrame; }
    // Null until the first Start.
    SoSeparator* GetRootNode() const { return m_pThisRoot; }

private:
    static void TimerCallback(void* pData, SoSensor* pSensor);
    void Build();
    void SetRunning(bool bRun);

    SoGroup* m_pRoot = nullptr;
    TFxTimers& m_Timers;
    SoSeparator* m_pThisRoot = nullptr;
    SoTransform* m_pXf = nullptr;
    SoSwitch* m_pSwitch = nullptr;
    TSceneHook m_Hook;  // takes the subtree down with the explosion
    SoSwitch* m_pSwTextures = nullptr;
    SoMaterial* m_pMat = nullptr;
    int m_nTextures = 0;
    int m_nFrame = 0;
    TFModSoundSource* m_pSnd = nullptr;
    SoTimerSensor* m_pTimer = nullptr;
    bool m_bActive = false;
    double m_dInterval = 0;
    // What the nodes are made from, and kept as, before and after they exist.
    const TVecPtrTextures* m_pTextures = nullptr;
    SbVec3f m_vPosition;
    SbVec2f m_vSize;
    SbRotation m_Turn;
    float m_fScale = 1;
};

class TFxEngine
{
public:
    static constexpr uint32_t SOUND_GAP_MS = 150;

    // Takes ownership of pSnd; pTex is added to the flame's subtree. Hidden until shown. The
    // flame lies at vPosition in pRoot's frame, turned a quarter clockwise.
    TFxEngine(SoGroup* pRoot, TFModSoundSource* pSnd, SoTexture2* pTex, const SbVec3f& vPosition, const SbVec2f& vSize);
    // Empties and unhooks the flame's nodes, deletes the sound.
    ~TFxEngine();
    TFxEngine(const TFxEngine&) = delete;
    TFxEngine& operator=(const TFxEngine&) = delete;

    // The flame as the rules have it: shown or not, and the flicker's scale of its square.
    void Present(bool bShown, float fWidth, float fHeight);
    // A thrust at game time nNowMs: the engine sound restarts unless it did less than
    // SOUND_GAP_MS ago.
    void Restart(uint32_t nNowMs);

    bool IsShown() const { return m_bShown; }
    // How many times the sound has restarted.
    int GetSoundStarts() const { return m_nSoundStarts; }
    SoTransform* GetTransform() const { return m_pXf; }

private:
    void Build(SoTexture2* pTex, const SbVec3f& vPosition);

    SoGroup* m_pRoot = nullptr;
    SoSeparator* m_pThisRoot = nullptr;
    SoSwitch* m_pSwitch = nullptr;
    TSceneHook m_Hook;  // takes the switch down with the flame
    TFModSoundSource* m_pSnd = nullptr;
    SbVec2f m_vSize;
    SoTransform* m_pXf = nullptr;
    bool m_bShown = false;
    uint32_t m_nLastSoundMs = 0;
    bool m_bSoundStarted = false;
    int m_nSoundStarts = 0;

    // A quarter turn clockwise about z.
    static const SbRotation FLAME_TURN;
};
