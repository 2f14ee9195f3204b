#include "fx/GraphicFx.h"

#include "base/Assert.h"
#include "base/MathConstants.h"
#include "base/ObjectFrame.h"
#include "fx/FxTimers.h"
#include "sound/FModSoundManager.h"

#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTransform.h>
#include <Inventor/sensors/SoTimerSensor.h>

// ---------------------------------------------------------------------------------------------
// TFxExplosion

TFxExplosion::TFxExplosion(SoGroup* pRoot, TFxTimers& Timers, TFModSoundSource* pSnd,
                           const TVecPtrTextures* pTextures, const SbVec3f& vPosition, const SbVec2f& vSize,
                           double dInterval, double dAngle, float fScale)
    : m_pRoot(pRoot), m_Timers(Timers), m_pSnd(pSnd), m_dInterval(dInterval), m_pTextures(pTextures),
      m_vPosition(vPosition), m_vSize(vSize), m_Turn(SbVec3f(0, 0, 1), static_cast<float>(dAngle)), m_fScale(fScale)
{
    DRELK_ASSERT(m_pRoot);
    DRELK_ASSERT(pSnd);
    m_pTimer = new SoTimerSensor(TimerCallback, this);
    DRELK_ASSERT(m_pTimer);
    m_pTimer->setInterval(SbTime(m_dInterval));
    DRELK_ASSERT(pTextures);
    m_nTextures = static_cast<int>(pTextures->size());
    DRELK_ASSERT(m_nTextures);
}

std::unique_ptr<TFxExplosion> TFxExplosion::FromBank(SoGroup* pRoot, TFxTimers& Timers, TFModSoundSource* pSnd,
                                                     const TDataBanker* pDB, double dInterval, double dAngle, float fScale)
{
    constexpr float SIZE = 4.0f;
    const TVecPtrTextures* pTextures = pDB->GetTextures(ID_PLAYLIST_XPLOSIONS);
    DRELK_ASSERT(pTextures);
    return std::make_unique<TFxExplosion>(pRoot, Timers, pSnd, pTextures, SbVec3f(0, 0, 0), SbVec2f(SIZE, SIZE),
                                          dInterval, dAngle, fScale);
}

TFxExplosion::~TFxExplosion()
{
    DRELK_ASSERT(m_pTimer);
    m_Timers.Unschedule(m_pTimer);
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

// An effect's timer fires only while the effect runs: a field of idle effects costs nothing,
// paused or not, however many rocks it holds.
void TFxExplosion::SetRunning(bool bRun)
{
    if (bRun == m_bActive)
        return;
    m_bActive = bRun;
    if (bRun)
        m_Timers.Schedule(m_pTimer);
    else
        m_Timers.Unschedule(m_pTimer);
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

const SbRotation TFxEngine::FLAME_TURN(SbVec3f(0, 0, 1), static_cast<float>(-PI / 2));

TFxEngine::TFxEngine(SoGroup* pRoot, TFModSoundSource* pSnd, SoTexture2* pTex, const SbVec3f& vPosition,
                     const SbVec2f& vSize)
    : m_pRoot(pRoot), m_pSnd(pSnd), m_vSize(vSize)
{
    DRELK_ASSERT(m_pRoot);
    DRELK_ASSERT(m_pSnd);
    Build(pTex, vPosition);
}

TFxEngine::~TFxEngine()
{
    DRELK_ASSERT(m_pThisRoot);
    m_pThisRoot->removeAllChildren();
    delete m_pSnd;
    // The hook, held since the switch was made, then takes it down even if the owner has
    // emptied its own subtree first.
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

void TFxEngine::Present(bool bShown, float fWidth, float fHeight)
{
    DRELK_ASSERT(m_pSwitch);
    m_bShown = bShown;
    const int nWhich = bShown ? SO_SWITCH_ALL : SO_SWITCH_NONE;
    if (m_pSwitch->whichChild.getValue() != nWhich)
        m_pSwitch->whichChild.setValue(nWhich);
    const SbVec3f vScale(fWidth, fHeight, 1.0f);
    if (bShown && m_pXf->scaleFactor.getValue() != vScale)
        m_pXf->scaleFactor.setValue(vScale);
}

// The elapsed time is taken modulo 2^32, so the gap holds at any time and across its wrap.
void TFxEngine::Restart(uint32_t nNowMs)
{
    const uint32_t nElapsed = nNowMs - m_nLastSoundMs;
    if (m_bSoundStarted && nElapsed <= SOUND_GAP_MS)
        return;
    m_nLastSoundMs = nNowMs;
    m_bSoundStarted = true;
    ++m_nSoundStarts;
    DRELK_ASSERT(m_pSnd);
    m_pSnd->Play();
    m_pSnd->SetPlaying(true);
}
