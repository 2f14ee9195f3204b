#pragma once
// Short animations in the scene, each on a timer sensor of its own that fires while the effect
// runs (from its start to its stop), so idle effects cost nothing.
//  - TFxExplosion: a flip-book quad stepping through frame textures, fading over the second half,
//    with an explosion sound at each start.
//  - TFxEngine: the ship's flame, a quad whose size flickers for a short burst after each start;
//    the engine sound is restarted at most once every 150 ms across all flames.
// The timers go through TGameClock, so headless runs step them in virtual time.

#include "base/SceneHook.h"
#include "databank/DataBanker.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SbXfBox3f.h>

#include <cstdint>

class SoGroup;
class TDigest;
class SoMaterial;
class SoSensor;
class SoSeparator;
class SoSwitch;
class SoTexture2;
class SoTimerSensor;
class SoTransform;
class TFModSoundSource;

class TFxExplosion
{
public:
    // Takes ownership of pSnd. The frames stay the bank's; there must be at least one. The
    // effect is hidden until the first Start, and its nodes are made then. Makes two draws now
    // (rotation, then base scale).
    TFxExplosion(SoGroup* pRoot, TFModSoundSource* pSnd, const TVecPtrTextures* pTextures,
                 const SbVec3f& vPosition, const SbVec2f& vSize, double dInterval);
    // Stops the timer, deletes the sound and takes the effect's nodes out of the parent.
    ~TFxExplosion();
    TFxExplosion(const TFxExplosion&) = delete;
    TFxExplosion& operator=(const TFxExplosion&) = delete;

    void Start();
    void Stop();
    void Show(bool bShow);
    void SetPosition(const SbVec3f& vPosition);
    // Replaces the random base scale for good.
    void SetScale(float fScale);

    // One step of the flip-book; the timer calls it.
    void OnTimer();

    bool IsActive() const { return m_bActive; }
    int GetFrame() const { return m_nFrame; }
    // What the next firings depend on: running or not, the frame.
    void AddToDigest(TDigest& Digest) const;
    // Null until the first Start.
    SoSeparator* GetRootNode() const { return m_pThisRoot; }

private:
    static void TimerCallback(void* pData, SoSensor* pSensor);
    void Build();
    void SetRunning(bool bRun);

    SoGroup* m_pRoot = nullptr;
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
    // Takes ownership of pSnd; pTex is added to the flame's subtree. Hidden until started.
    TFxEngine(SoGroup* pRoot, TFModSoundSource* pSnd, SoTexture2* pTex, const SbVec3f& vPosition,
              const SbVec2f& vSize, double dInterval);
    // Stops the timer, empties and unhooks the flame's nodes, deletes the sound.
    ~TFxEngine();
    TFxEngine(const TFxEngine&) = delete;
    TFxEngine& operator=(const TFxEngine&) = delete;

    // Shows the flame for a fresh burst; restarts the engine sound unless one was started less
    // than SOUND_GAP_MS ago.
    void Start();
    void Stop();
    void Show(bool bShow);

    // One flicker of the burst; the timer calls it. Makes two draws (height, then width).
    void OnTimer();

    bool IsActive() const { return m_bActive; }
    int GetSteps() const { return m_nSteps; }
    // What the next firings and the ship's box depend on: running, steps, the flicker, shown.
    void AddToDigest(TDigest& Digest) const;
    // The flame's box in its parent's frame, as a bounding-box traversal of the parent finds it
    // below the flame's switch; empty while the flame is hidden.
    SbXfBox3f GetBoundingBox() const;

    static constexpr uint32_t SOUND_GAP_MS = 150;
    static constexpr int BURST_STEPS = 16;
    // How many times any flame has restarted its sound since the last reset.
    static int GetSoundStarts() { return s_nSoundStarts; }
    // Back to the program's start: the next start plays its sound. For tools and tests.
    static void ResetSoundLimit();

private:
    static void TimerCallback(void* pData, SoSensor* pSensor);
    void Build(SoTexture2* pTex, const SbVec3f& vPosition);
    void SetRunning(bool bRun);
    bool TakeSoundTurn();

    SoGroup* m_pRoot = nullptr;
    SoSeparator* m_pThisRoot = nullptr;
    SoSwitch* m_pSwitch = nullptr;
    TSceneHook m_Hook;  // takes the switch down with the flame
    TFModSoundSource* m_pSnd = nullptr;
    double m_dInterval = 0;
    SoTimerSensor* m_pTimer = nullptr;
    bool m_bActive = false;
    int m_nSteps = 0;
    SbVec2f m_vSize;
    SoTransform* m_pXf = nullptr;
    // What the nodes show, for the box: the place, the flicker's scale, shown or not.
    SbVec3f m_vPosition;
    SbVec3f m_vScale{1, 1, 1};
    bool m_bShown = false;

    // A quarter turn clockwise about z.
    static const SbRotation FLAME_TURN;
    static uint32_t s_nLastSoundTick;
    static bool s_bSoundStarted;
    static int s_nSoundStarts;
};
