#include "fx/GraphicFx.h"

#include "base/Assert.h"
#include "base/Digest.h"
#include "base/GameClock.h"
#include "base/MathConstants.h"
#include "base/ObjectFrame.h"
#include "base/Random.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SbRotation.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>
#include <Inventor/sensors/SoTimerSensor.h>

#include <cmath>

namespace {

// An effect's timer fires only while the effect runs: a field of idle effects costs nothing,
// paused or not, however many rocks it holds.
void SwitchTimer(SoTimerSensor* pTimer, bool& bRunning, bool bRun)
{
    if (bRun == bRunning)
        return;
    bRunning = bRun;
    if (bRun)
        TGameClock::Schedule(pTimer);
    else
        TGameClock::Unschedule(pTimer);
}

// A draw scaled to [0, 1].
double DrawUnit()
{
    return TRandom::Draw() / double(TRandom::MAX);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TFxExplosion

TFxExplosion::TFxExplosion(SoGroup* pRoot, TFModSoundSource* pSnd, const TVecPtrTextures* pTextures,
                           const SbVec3f& vPosition, const SbVec2f& vSize, double dInterval)
    : m_pRoot(pRoot), m_pSnd(pSnd), m_dInterval(dInterval), m_pTextures(pTextures), m_vPosition(vPosition),
      m_vSize(vSize)
{
    DRELK_ASSERT(m_pRoot);
    DRELK_ASSERT(pSnd);
    m_pTimer = new SoTimerSensor(TimerCallback, this);
    DRELK_ASSERT(m_pTimer);
    m_pTimer->setInterval(SbTime(m_dInterval));
    DRELK_ASSERT(pTextures);
    m_nTextures = static_cast<int>(pTextures->size());
    DRELK_ASSERT(m_nTextures);
    // Orientation and base scale are chosen once per effect, angle first, when it is made:
    // the draws keep their place in the game's sequence whenever the nodes are built.
    const double dAngle = DrawUnit() * PI;
    m_Turn.setValue(SbVec3f(0, 0, 1), static_cast<float>(dAngle));
    m_fScale = static_cast<float>(1.5 + 0.5 * DrawUnit());
}

TFxExplosion::~TFxExplosion()
{
    DRELK_ASSERT(m_pTimer);
    TGameClock::Unschedule(m_pTimer);
    delete m_pTimer;
    DRELK_ASSERT(m_pSnd);
    delete m_pSnd;
}

void TFxExplosion::TimerCallback(void* pData, SoSensor*)
{
    if (pData)
        static_cast<TFxExplosion*>(pData)->OnTimer();
}

// The nodes are made at the first start: most rocks never show their explosion.
void TFxExplosion::Build()
{
    if (m_pThisRoot)
        return;
    SoGroup* pRoot = m_pRoot;
    DRELK_ASSERT(pRoot);
    // Hidden until shown.
    SoGroup* pSep = TObjectFrame::Make(TObjectFrame::SWITCH_INSIDE, SO_SWITCH_NONE, m_vPosition, m_pThisRoot,
                                       m_pSwitch, m_pXf, m_Hook);
    m_pXf->rotation.setValue(m_Turn);
    m_pXf->scaleFactor.setValue(m_fScale, m_fScale, m_fScale);

    m_pMat = new SoMaterial;
    DRELK_ASSERT(m_pMat);
    pSep->addChild(m_pMat);

    m_pSwTextures = new SoSwitch;
    DRELK_ASSERT(m_pSwTextures);
    pSep->addChild(m_pSwTextures);
    for (SoTexture2* pTex : *m_pTextures)
        m_pSwTextures->addChild(pTex);
    m_pSwTextures->whichChild.setValue(0);

    pSep->addChild(TObjectFrame::NewQuad(m_vSize));
    SoFaceSet* pSet = new SoFaceSet;
    DRELK_ASSERT(pSet);
    pSep->addChild(pSet);

    m_Hook.AttachTo(pRoot);
}

void TFxExplosion::OnTimer()
{
    if (m_nTextures == 0 || !m_bActive)
        return;
    if (m_nFrame < m_nTextures) {
        m_pSwTextures->whichChild.setValue(m_nFrame);
        // The second half of the frames fades out.
        if (m_nFrame > m_nTextures * 0.5)
            m_pMat->transparency.setValue(static_cast<float>(m_nFrame) / static_cast<float>(m_nTextures));
    } else {
        Stop();
    }
    // Also after a stop: a finished explosion starts its next run from frame 1.
    ++m_nFrame;
}

void TFxExplosion::AddToDigest(TDigest& Digest) const
{
    Digest.Add(m_bActive);
    Digest.Add(m_nFrame);
}

void TFxExplosion::Stop()
{
    SetRunning(false);
    m_nFrame = 0;
    if (!m_pThisRoot)
        return;
    m_pMat->transparency.setValue(0.0f);
    m_pSwTextures->whichChild.setValue(0);
}

void TFxExplosion::Start()
{
    Show(true);
    DRELK_ASSERT(m_pSnd);
    m_pSnd->Play();
    m_pSnd->SetPlaying(true);
    SetRunning(true);
}

void TFxExplosion::SetRunning(bool bRun)
{
    SwitchTimer(m_pTimer, m_bActive, bRun);
}

void TFxExplosion::Show(bool bShow)
{
    if (m_nTextures == 0 || (!bShow && !m_pThisRoot))
        return;
    Build();
    DRELK_ASSERT(m_pSwitch);
    m_pSwitch->whichChild.setValue(bShow ? SO_SWITCH_ALL : SO_SWITCH_NONE);
}

void TFxExplosion::SetPosition(const SbVec3f& vPosition)
{
    m_vPosition = vPosition;
    if (m_pXf)
        m_pXf->translation.setValue(vPosition);
}

void TFxExplosion::SetScale(float fScale)
{
    m_fScale = fScale;
    if (m_pXf)
        m_pXf->scaleFactor.setValue(fScale, fScale, fScale);
}

// ---------------------------------------------------------------------------------------------
// TFxEngine

uint32_t TFxEngine::s_nLastSoundTick = 0;
bool TFxEngine::s_bSoundStarted = false;
int TFxEngine::s_nSoundStarts = 0;

const SbRotation TFxEngine::FLAME_TURN(SbVec3f(0, 0, 1), static_cast<float>(-PI / 2));

TFxEngine::TFxEngine(SoGroup* pRoot, TFModSoundSource* pSnd, SoTexture2* pTex, const SbVec3f& vPosition,
                     const SbVec2f& vSize, double dInterval)
    : m_pRoot(pRoot), m_pSnd(pSnd), m_dInterval(dInterval), m_vSize(vSize), m_vPosition(vPosition)
{
    DRELK_ASSERT(m_pRoot);
    DRELK_ASSERT(m_pSnd);
    m_pTimer = new SoTimerSensor(TimerCallback, this);
    DRELK_ASSERT(m_pTimer);
    m_pTimer->setInterval(SbTime(m_dInterval));
    Build(pTex, vPosition);
}

TFxEngine::~TFxEngine()
{
    DRELK_ASSERT(m_pTimer);
    TGameClock::Unschedule(m_pTimer);
    delete m_pTimer;
    DRELK_ASSERT(m_pThisRoot);
    m_pThisRoot->removeAllChildren();
    delete m_pSnd;
    // The hook, held since the switch was made, then takes it down even if the owner has
    // emptied its own subtree first.
}

void TFxEngine::TimerCallback(void* pData, SoSensor*)
{
    if (pData)
        static_cast<TFxEngine*>(pData)->OnTimer();
}

void TFxEngine::Build(SoTexture2* pTex, const SbVec3f& vPosition)
{
    SoGroup* pRoot = m_pRoot;
    DRELK_ASSERT(pRoot);
    DRELK_ASSERT(pTex);
    TObjectFrame::Make(TObjectFrame::SWITCH_OUTSIDE, SO_SWITCH_NONE, vPosition, m_pThisRoot, m_pSwitch, m_pXf, m_Hook);
    // The transform scales before it turns: the quad's x axis (the flicker's width) ends up
    // along the ship's y axis.
    m_pXf->rotation.setValue(FLAME_TURN);
    m_pThisRoot->addChild(TObjectFrame::NewQuad(m_vSize));
    m_pThisRoot->addChild(pTex);
    SoFaceSet* pSet = new SoFaceSet;
    DRELK_ASSERT(pSet);
    m_pThisRoot->addChild(pSet);
    m_Hook.AttachTo(pRoot);
}

void TFxEngine::Start()
{
    m_nSteps = 0;
    SetRunning(true);
    Show(true);
    DRELK_ASSERT(m_pSnd);
    if (TakeSoundTurn()) {
        m_pSnd->Play();
        m_pSnd->SetPlaying(true);
    }
}

// True when the engine sound may be restarted now; then the restart is recorded. The elapsed
// time is taken modulo 2^32, so the limit holds at any tick count and across its wrap.
bool TFxEngine::TakeSoundTurn()
{
    const uint32_t nNow = TGameClock::GetTickCount();
    const uint32_t nElapsed = nNow - s_nLastSoundTick;
    if (s_bSoundStarted && nElapsed <= SOUND_GAP_MS)
        return false;
    s_nLastSoundTick = nNow;
    s_bSoundStarted = true;
    ++s_nSoundStarts;
    return true;
}

void TFxEngine::ResetSoundLimit()
{
    s_nLastSoundTick = 0;
    s_bSoundStarted = false;
    s_nSoundStarts = 0;
}

void TFxEngine::OnTimer()
{
    if (!m_bActive)
        return;
    const double w = m_vSize[0], h = m_vSize[1];
    // The height is drawn first.
    const double sy = h + DrawUnit() * h * 0.1;
    const double sx = w + DrawUnit() * w * 0.5;
    DRELK_ASSERT(m_pXf);
    m_vScale.setValue(static_cast<float>(sx), static_cast<float>(sy), 1.0f);
    m_pXf->scaleFactor.setValue(m_vScale);
    if (++m_nSteps >= BURST_STEPS)
        Stop();
}

void TFxEngine::AddToDigest(TDigest& Digest) const
{
    Digest.Add(m_bActive);
    Digest.Add(m_nSteps);
    Digest.Add(m_bShown);
    for (int i = 0; i < 3; ++i)
        Digest.Add(m_vScale[i]);
}

void TFxEngine::Stop()
{
    m_nSteps = 0;
    SetRunning(false);
    Show(false);
}

void TFxEngine::SetRunning(bool bRun)
{
    SwitchTimer(m_pTimer, m_bActive, bRun);
}

void TFxEngine::Show(bool bShow)
{
    DRELK_ASSERT(m_pSwitch);
    m_bShown = bShow;
    m_pSwitch->whichChild.setValue(bShow ? SO_SWITCH_ALL : SO_SWITCH_NONE);
}

SbXfBox3f TFxEngine::GetBoundingBox() const
{
    if (!m_bShown)
        return SbXfBox3f();
    // As a traversal finds it: the quad's box under the transform, the matrix multiplied into
    // the flame's own identity the way the traversal does.
    SbMatrix Matrix, Local = SbMatrix::identity();
    Matrix.setTransform(m_vPosition, FLAME_TURN, m_vScale, SbRotation::identity(), SbVec3f(0, 0, 0));
    Local.multLeft(Matrix);
    SbXfBox3f Box(TObjectFrame::QuadBox(m_vSize));
    Box.transform(Local);
    return Box;
}
