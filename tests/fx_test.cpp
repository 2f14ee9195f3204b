// Effects and head-up display: banners, background, explosions and the engine flame, on the real
// scene graph, with the effects' timers stepped in virtual time and sounds on SDL's silent driver.
#include "base/MathConstants.h"
#include "fx/Backgrounds.h"
#include "fx/Banners.h"
#include "fx/Debris.h"
#include "fx/FxTimers.h"
#include "fx/GraphicFx.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"
#include "tests/support/SceneSearch.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SoDB.h>
#include <Inventor/fields/SoSFTime.h>
#include <Inventor/nodekits/SoAppearanceKit.h>
#include <Inventor/nodekits/SoShapeKit.h>
#include <Inventor/nodekits/SoWrapperKit.h>
#include <Inventor/nodes/SoBlinker.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoFont.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoText3.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTextureCoordinate2.h>
#include <Inventor/nodes/SoTransform.h>
#include <Inventor/sensors/SoSensorManager.h>

#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <vector>

namespace {

void ExpectQuad(const SoCoordinate3* pCoords, float w, float h)
{
    ASSERT_TRUE(pCoords);
    ASSERT_EQ(pCoords->point.getNum(), 4);
    const SbVec3f Expected[4] = {SbVec3f(w / 2, -h / 2, 0), SbVec3f(w / 2, h / 2, 0), SbVec3f(-w / 2, h / 2, 0),
                                 SbVec3f(-w / 2, -h / 2, 0)};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(pCoords->point[i], Expected[i]) << "point " << i;
}

double RotationAboutZ(const SoTransform* pXf)
{
    SbVec3f vAxis;
    float fAngle = 0;
    pXf->rotation.getValue().getValue(vAxis, fAngle);
    return vAxis[2] < 0 ? -fAngle : fAngle;
}

// Lets the scene library run its pending sensors (the blinker resets itself through one).
void ProcessSensors()
{
    SoDB::getSensorManager()->processDelayQueue(false);
    SoDB::getSensorManager()->processImmediateQueue();
}

class SceneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SoDB::init();
        m_pRoot = new SoSeparator;
        m_pRoot->ref();
    }
    void TearDown() override { m_pRoot->unref(); }
    SoSeparator* m_pRoot = nullptr;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Banners

using BannerTest = SceneTest;

struct TBannerParts
{
    SoBlinker* pBlinker = nullptr;
    SoShapeKit* pKit = nullptr;
    SoText3* pText = nullptr;
    SoFont* pFont = nullptr;
    SoTransform* pXf = nullptr;
};

// The banner's nodes, found where the scene library finds them.
static TBannerParts PartsOf(SoNode* pRoot)
{
    TBannerParts Parts;
    Parts.pBlinker = scene::Find<SoBlinker>(pRoot);
    Parts.pKit = scene::Find<SoShapeKit>(pRoot);
    if (!Parts.pKit)
        return Parts;
    Parts.pText = static_cast<SoText3*>(Parts.pKit->getPart("shape", false));
    Parts.pFont = static_cast<SoFont*>(Parts.pKit->getPart("appearance.font", false));
    Parts.pXf = static_cast<SoTransform*>(Parts.pKit->getPart("transform", false));
    return Parts;
}

TEST_F(BannerTest, NewBannerIsSteadyTextInAShapeKitUnderABlinker)
{
    TBanner Banner(m_pRoot, SbVec3f(-20, -16, 10), "", 0.75f);
    ProcessSensors();
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    TBannerParts Parts = PartsOf(m_pRoot);
    ASSERT_TRUE(Parts.pBlinker && Parts.pKit && Parts.pFont && Parts.pXf);
    // The text under the blinker: what the blinker shows is the banner.
    EXPECT_EQ(scene::Find<SoShapeKit>(Parts.pBlinker), Parts.pKit);
    ASSERT_TRUE(Parts.pText && Parts.pText->isOfType(SoText3::getClassTypeId()));
    EXPECT_FALSE(Parts.pBlinker->on.getValue());
    EXPECT_EQ(Parts.pBlinker->whichChild.getValue(), SO_SWITCH_ALL);
    EXPECT_EQ(Parts.pXf->translation.getValue(), SbVec3f(-20, -16, 10));
    EXPECT_FLOAT_EQ(Parts.pFont->size.getValue(), 0.75f);
    // An empty font name leaves the library's default name alone.
    EXPECT_EQ(Parts.pFont->name.getValue(), SbName("defaultFont"));
    EXPECT_EQ(Parts.pText->string.getNum(), 1);
    EXPECT_EQ(Parts.pText->string[0], SbString(""));

    Banner.SetText("ships: 3");
    ProcessSensors();
    EXPECT_EQ(Parts.pText->string.getNum(), 1);
    EXPECT_EQ(Parts.pText->string[0], SbString("ships: 3"));
    EXPECT_EQ(Parts.pBlinker->whichChild.getValue(), SO_SWITCH_ALL);
    EXPECT_FALSE(Parts.pBlinker->on.getValue());
}

TEST_F(BannerTest, FontNameAndColourAreSetWhenGiven)
{
    TBanner Banner(m_pRoot, SbVec3f(-4.75f, 0, 10), "DejaVu Sans", 2.0f);
    Banner.SetColor(SbColor(1, 0, 0));
    TBannerParts Parts = PartsOf(m_pRoot);
    ASSERT_TRUE(Parts.pFont);
    EXPECT_EQ(Parts.pFont->name.getValue(), SbName("DejaVu Sans"));
    auto* pMat = static_cast<SoMaterial*>(Parts.pKit->getPart("appearance.material", false));
    ASSERT_TRUE(pMat);
    ASSERT_EQ(pMat->diffuseColor.getNum(), 1);
    EXPECT_EQ(pMat->diffuseColor[0], SbColor(1, 0, 0));
}

TEST_F(BannerTest, HiddenStaysHiddenAndBlinkingAlternatesOverTime)
{
    SoSFTime* pRealTime = static_cast<SoSFTime*>(SoDB::getGlobalField("realTime"));
    ASSERT_TRUE(pRealTime);
    pRealTime->setValue(SbTime(1000.0));
    TBanner Banner(m_pRoot, SbVec3f(0, 0, 10), "", 2.0f);
    Banner.SetText("Game Over");
    SoBlinker* pBlinker = PartsOf(m_pRoot).pBlinker;
    ASSERT_TRUE(pBlinker);

    // Samples whichChild over two seconds of the scene library's clock.
    auto Observe = [&](double dFrom) {
        std::set<int> setSeen;
        for (int i = 0; i <= 16; ++i) {
            pRealTime->setValue(SbTime(dFrom + i * 0.125));
            ProcessSensors();
            setSeen.insert(pBlinker->whichChild.getValue());
        }
        return setSeen;
    };

    Banner.SetBlink(false);
    ProcessSensors();
    EXPECT_FALSE(pBlinker->on.getValue());
    EXPECT_EQ(Observe(1000.0), std::set<int>({SO_SWITCH_NONE}));

    Banner.SetBlink(true);
    ProcessSensors();
    EXPECT_TRUE(pBlinker->on.getValue());
    // The one child is shown and hidden in turn.
    EXPECT_EQ(Observe(1010.0), std::set<int>({SO_SWITCH_NONE, 0}));

    // An empty text keeps the banner blinking.
    Banner.SetText("");
    EXPECT_TRUE(pBlinker->on.getValue());
    EXPECT_EQ(PartsOf(m_pRoot).pText->string[0], SbString(""));
}

// ---------------------------------------------------------------------------------------------
// Background

using BackgroundTest = SceneTest;

namespace {
// What the wrapper kit holds: the background's drawing.
SoNode* BackgroundContents(SoNode* pRoot)
{
    SoWrapperKit* pKit = scene::Find<SoWrapperKit>(pRoot);
    return pKit ? pKit->getPart("contents", false) : nullptr;
}

SoTexture2* NewTexture(short nSide)
{
    SoTexture2* pTex = new SoTexture2;
    const std::vector<uint8_t> vecPixels(static_cast<size_t>(nSide) * nSide * 3, 0x55);
    pTex->image.setValue(SbVec2s(nSide, nSide), 3, vecPixels.data());
    pTex->ref();  // held as the bank holds its textures
    return pTex;
}
}  // namespace

TEST_F(BackgroundTest, QuadBehindTheFieldShowsTheFirstTextureClamped)
{
    TVecPtrTextures vecTextures = {NewTexture(16), NewTexture(4)};
    TBackground2D Background(m_pRoot, SbVec3f(0, 0, -20), SbVec2f(100, 100), &vecTextures);

    // A 100 x 100 quad centred on the position, its corners counter-clockwise seen from the
    // camera, each with its corner of the texture.
    const SbBox3f Box = scene::WorldBox(m_pRoot);
    EXPECT_EQ(Box.getMin(), SbVec3f(-50, -50, -20));
    EXPECT_EQ(Box.getMax(), SbVec3f(50, 50, -20));
    SoNode* pContents = BackgroundContents(m_pRoot);
    ASSERT_TRUE(pContents);
    auto* pCoords = scene::Find<SoCoordinate3>(pContents);
    auto* pTexCoords = scene::Find<SoTextureCoordinate2>(pContents);
    ASSERT_TRUE(pCoords && pTexCoords);
    const SbVec3f CornerExpected[4] = {SbVec3f(-50, -50, -20), SbVec3f(50, -50, -20), SbVec3f(50, 50, -20),
                                       SbVec3f(-50, 50, -20)};
    const SbVec2f TexExpected[4] = {SbVec2f(0, 0), SbVec2f(1, 0), SbVec2f(1, 1), SbVec2f(0, 1)};
    ASSERT_EQ(pCoords->point.getNum(), 4);
    ASSERT_EQ(pTexCoords->point.getNum(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pCoords->point[i], CornerExpected[i]);
        EXPECT_EQ(pTexCoords->point[i], TexExpected[i]);
    }

    // Only the first texture is drawn; both are the caller's nodes, clamped at the edges.
    EXPECT_EQ(scene::Drawn<SoTexture2>(pContents), vecTextures[0]);
    EXPECT_EQ(scene::FindAll<SoTexture2>(pContents), vecTextures);
    for (SoTexture2* pTex : vecTextures) {
        EXPECT_EQ(pTex->wrapS.getValue(), SoTexture2::CLAMP);
        EXPECT_EQ(pTex->wrapT.getValue(), SoTexture2::CLAMP);
        pTex->unref();
    }
}

TEST_F(BackgroundTest, EmptyListDrawsTheQuadWithoutTexture)
{
    TVecPtrTextures vecNone;
    TBackground2D Background(m_pRoot, SbVec3f(0, 0, -20), SbVec2f(100, 100), &vecNone);
    SoNode* pContents = BackgroundContents(m_pRoot);
    ASSERT_TRUE(pContents);
    EXPECT_EQ(scene::Find<SoTexture2>(pContents), nullptr);
    EXPECT_TRUE(scene::Drawn<SoFaceSet>(pContents));
    EXPECT_EQ(scene::WorldBox(m_pRoot).getMax(), SbVec3f(50, 50, -20));
}

// ---------------------------------------------------------------------------------------------
// Explosions and the engine flame

namespace {

class EffectTest : public SceneTest
{
protected:
    static void SetUpTestSuite()
    {
        SoDB::init();
        s_pSM = new TFModSoundManager;
    }
    static void TearDownTestSuite()
    {
        delete s_pSM;
        s_pSM = nullptr;
    }
    void SetUp() override
    {
        SceneTest::SetUp();
        for (int i = 0; i < 20; ++i) {
            m_vecFrames.push_back(new SoTexture2);
            m_vecFrames.back()->ref();  // as the bank holds its frames
        }
    }
    void TearDown() override
    {
        for (SoTexture2* pTex : m_vecFrames)
            pTex->unref();
        SceneTest::TearDown();
    }
    // A loaded sound, paused at its start as the effects get it from their owners.
    static TFModSoundSource* NewSound()
    {
        TFModSoundSource* pSnd = s_pSM->CreateSource();
        const std::vector<uint8_t> Wav = MakeToneWav(0.5, 440.0);
        EXPECT_TRUE(pSnd->LoadFromMemory(Wav.data(), static_cast<int32_t>(Wav.size()), false, false));
        return pSnd;
    }
    // An explosion turned 0.3 about z at scale 1.7, as the rules would have drawn them.
    TFxExplosion* NewExplosion(double dInterval = 0.05)
    {
        return new TFxExplosion(m_pRoot, m_Timers, NewSound(), &m_vecFrames, SbVec3f(1, 2, 3), SbVec2f(4, 4), dInterval,
                                0.3, 1.7f);
    }
    void Advance(uint64_t nMs) { m_Timers.AdvanceTo(m_Timers.GetMs() + nMs); }

    static TFModSoundManager* s_pSM;
    TVecPtrTextures m_vecFrames;
    TFxTimers m_Timers;
};
TFModSoundManager* EffectTest::s_pSM = nullptr;

// The explosion's nodes, found where the scene library finds them.
struct TExplosionParts
{
    SoTransform* pXf = nullptr;
    SoMaterial* pMat = nullptr;
    SoCoordinate3* pCoords = nullptr;
};

TExplosionParts ExplosionParts(SoSeparator* pThisRoot)
{
    return {scene::Find<SoTransform>(pThisRoot), scene::Find<SoMaterial>(pThisRoot),
            scene::Find<SoCoordinate3>(pThisRoot)};
}

}  // namespace

using ExplosionTest = EffectTest;

TEST_F(ExplosionTest, NewExplosionShowsNothingUntilStartedThenItsTurnAndScale)
{
    std::unique_ptr<TFxExplosion> pFx(NewExplosion());
    // Nothing in the scene, and the timer idle, until a start.
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(pFx->GetRootNode(), nullptr);
    Advance(1000);
    EXPECT_EQ(pFx->GetFrame(), 0);

    pFx->Start();
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    EXPECT_EQ(m_pRoot->findChild(pFx->GetRootNode()), 0);
    TExplosionParts Parts = ExplosionParts(pFx->GetRootNode());
    ASSERT_TRUE(Parts.pXf && Parts.pMat);
    EXPECT_FALSE(scene::WorldBox(m_pRoot).isEmpty());
    EXPECT_EQ(Parts.pXf->translation.getValue(), SbVec3f(1, 2, 3));
    EXPECT_NEAR(RotationAboutZ(Parts.pXf), 0.3, 1e-6);
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(1.7f, 1.7f, 1.7f));
    ExpectQuad(Parts.pCoords, 4, 4);
    // The bank's frames themselves, shared, in order.
    EXPECT_EQ(scene::FindAll<SoTexture2>(pFx->GetRootNode()), m_vecFrames);
}

TEST_F(ExplosionTest, RunShowsEveryFrameFadesTheSecondHalfThenHoldsTheFirstFrame)
{
    std::unique_ptr<TFxExplosion> pFx(NewExplosion());
    pFx->Start();
    TExplosionParts Parts = ExplosionParts(pFx->GetRootNode());
    ASSERT_TRUE(Parts.pMat);
    EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), m_vecFrames[0]);
    for (int nFrame = 0; nFrame < 20; ++nFrame) {
        Advance(50);
        ASSERT_TRUE(pFx->IsActive());
        EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), m_vecFrames[nFrame]);
        const float fWant = nFrame > 10 ? nFrame / 20.0f : 0.0f;
        EXPECT_FLOAT_EQ(Parts.pMat->transparency[0], fWant) << "frame " << nFrame;
    }
    // The 21st firing ends the run: first frame, opaque, still on show.
    Advance(50);
    EXPECT_FALSE(pFx->IsActive());
    EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), m_vecFrames[0]);
    EXPECT_FLOAT_EQ(Parts.pMat->transparency[0], 0.0f);
    EXPECT_EQ(pFx->GetFrame(), 1);
    Advance(500);
    EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), m_vecFrames[0]);

    // A finished explosion starts its next run at frame 1.
    pFx->Start();
    Advance(50);
    EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), m_vecFrames[1]);
}

TEST_F(ExplosionTest, StartWhileRunningContinuesAndRestartsTheSound)
{
    std::unique_ptr<TFxExplosion> pFx(NewExplosion(0.025));
    const int nPausedBefore = Mix_Paused(-1);
    pFx->Start();
    EXPECT_EQ(Mix_Paused(-1), nPausedBefore - 1);  // the explosion's own sound now plays
    Advance(5 * 25);
    EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), m_vecFrames[4]);
    pFx->Start();
    Advance(25);
    EXPECT_EQ(scene::Drawn<SoTexture2>(m_pRoot), m_vecFrames[5]);
    EXPECT_TRUE(pFx->IsActive());
}

TEST_F(ExplosionTest, SetScaleReplacesTheBaseScaleAndKeepsTheTurn)
{
    std::unique_ptr<TFxExplosion> pFx(NewExplosion());
    // Placed before its nodes exist, and after.
    pFx->SetScale(2.0f);
    pFx->SetPosition(SbVec3f(5, -6, 0));
    pFx->Start();
    TExplosionParts Parts = ExplosionParts(pFx->GetRootNode());
    ASSERT_TRUE(Parts.pXf);
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(2, 2, 2));
    EXPECT_EQ(Parts.pXf->translation.getValue(), SbVec3f(5, -6, 0));
    EXPECT_NEAR(RotationAboutZ(Parts.pXf), 0.3, 1e-6);
    Advance(21 * 50);
    pFx->SetPosition(SbVec3f(7, 8, 0));
    pFx->SetScale(3.0f);
    EXPECT_EQ(Parts.pXf->translation.getValue(), SbVec3f(7, 8, 0));
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(3, 3, 3));
    EXPECT_NEAR(RotationAboutZ(Parts.pXf), 0.3, 1e-6);
}

TEST_F(ExplosionTest, TheTimerRunsOnlyWhileTheExplosionRunsAndGoesWithIt)
{
    std::unique_ptr<TFxExplosion> pFx(NewExplosion());
    EXPECT_EQ(m_Timers.SensorCount(), 0);  // idle effects cost nothing
    pFx->Start();
    pFx->Start();  // a restart keeps the one timer
    EXPECT_EQ(m_Timers.SensorCount(), 1);
    Advance(21 * 50);
    EXPECT_FALSE(pFx->IsActive());
    EXPECT_EQ(m_Timers.SensorCount(), 0);

    pFx->Start();
    Advance(100);
    pFx.reset();  // while running
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(m_Timers.SensorCount(), 0);
    Advance(1000);
    // The shared frames are still the bank's.
    EXPECT_EQ(m_vecFrames[0]->getRefCount(), 1);
}

TEST_F(ExplosionTest, AnEmptyFrameListIsRefused)
{
    TVecPtrTextures vecNone;
    EXPECT_DEATH(TFxExplosion(m_pRoot, m_Timers, NewSound(), &vecNone, SbVec3f(0, 0, 0), SbVec2f(4, 4), 0.05, 0.0, 1.0f),
                 "Assertion failed: m_nTextures");
}

// ---------------------------------------------------------------------------------------------

namespace {
// The flame's nodes, found where the scene library finds them.
struct TEngineParts
{
    SoTransform* pXf = nullptr;
    SoCoordinate3* pCoords = nullptr;
    SoTexture2* pTex = nullptr;
};

TEngineParts EngineParts(SoNode* pRoot)
{
    return {scene::Find<SoTransform>(pRoot), scene::Find<SoCoordinate3>(pRoot), scene::Find<SoTexture2>(pRoot)};
}

bool IsDrawn(SoNode* pRoot)
{
    return scene::Drawn<SoFaceSet>(pRoot) != nullptr;
}
}  // namespace

using EngineTest = EffectTest;

TEST_F(EngineTest, NewFlameIsAHiddenQuadTurnedAQuarterClockwiseShownAsTheRulesSay)
{
    TFxEngine Fx(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, -2.0f / 3, 0), SbVec2f(1, 1));
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    TEngineParts Parts = EngineParts(m_pRoot);
    ASSERT_TRUE(Parts.pXf && Parts.pCoords && Parts.pTex);
    EXPECT_FALSE(IsDrawn(m_pRoot));
    EXPECT_EQ(Parts.pTex, m_vecFrames[0]);
    EXPECT_EQ(Parts.pXf->translation.getValue(), SbVec3f(0, -2.0f / 3, 0));
    EXPECT_NEAR(RotationAboutZ(Parts.pXf), -PI / 2, 1e-6);
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(1, 1, 1));
    ExpectQuad(Parts.pCoords, 1, 1);

    Fx.Present(true, 1.3f, 1.05f);
    EXPECT_TRUE(IsDrawn(m_pRoot));
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(1.3f, 1.05f, 1));
    Fx.Present(false, 1.4f, 1.0f);
    EXPECT_FALSE(IsDrawn(m_pRoot));
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(1.3f, 1.05f, 1));  // hidden, it keeps its size
}

TEST_F(EngineTest, SoundRestartsAtMostOnceEvery150MsAtAnyTimeAndAcrossTheWrap)
{
    // Near 2^31 a signed difference from a stored 0 goes negative; near 2^32 the count wraps.
    for (uint32_t nStart : {0u, 0x7fffffceu, 0xffffff9cu}) {
        SCOPED_TRACE(nStart);
        TFxEngine Fx(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, 0, 0), SbVec2f(1, 1));
        const struct
        {
            uint32_t nAfter;
            int nStarts;
        } Steps[] = {
            {0, 1},    // the very first start plays
            {100, 1},  // too soon
            {151, 2},  // 151 ms after the first
            {301, 2},  // exactly 150 ms is not enough
            {302, 3},
        };
        for (const auto& Step : Steps) {
            Fx.Restart(nStart + Step.nAfter);
            EXPECT_EQ(Fx.GetSoundStarts(), Step.nStarts) << "at +" << Step.nAfter;
        }
    }
}

TEST_F(EngineTest, HeldThrustRestartsTheSoundEvery160MsAndTheSoundIsHeard)
{
    TFxEngine Fx(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, 0, 0), SbVec2f(1, 1));
    const int nPausedBefore = Mix_Paused(-1);
    Fx.Restart(0);
    EXPECT_EQ(Mix_Paused(-1), nPausedBefore - 1);  // the engine's sound is playing
    // A restart on every 10 ms tick for one second: sounds at 0, 160, 320, ... 960.
    for (uint32_t nTick = 1; nTick < 100; ++nTick)
        Fx.Restart(nTick * 10);
    EXPECT_EQ(Fx.GetSoundStarts(), 7);
}

TEST_F(EngineTest, DeletingTakesTheFlameOut)
{
    auto* pFx = new TFxEngine(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, 0, 0), SbVec2f(1, 1));
    pFx->Present(true, 1, 1);
    delete pFx;
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(m_vecFrames[0]->getRefCount(), 1);
}

// ---------------------------------------------------------------------------------------------
// Sparks and fragments

namespace {
class DebrisTest : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        m_pTex = new SoTexture2;
        m_pTex->ref();
    }
    void TearDown() override
    {
        m_pTex->unref();
        SceneTest::TearDown();
    }
    // How far the drawn pieces reach from a point in the plane.
    static float Reach(const SoCoordinate3* pCoords, float x, float y)
    {
        float fFar = 0;
        for (int i = 0; i < pCoords->point.getNum(); ++i)
            fFar = std::max(fFar, std::hypot(pCoords->point[i][0] - x, pCoords->point[i][1] - y));
        return fFar;
    }
    SoTexture2* m_pTex = nullptr;
};
}  // namespace

TEST_F(DebrisTest, HowManyPiecesFlyIsThePlayersChoice)
{
    const struct
    {
        TEffectsDetail nDetail;
        int nLargeSparks, nLargeChips, nShipSparks;
    } Cases[] = {{TEffectsDetail::LOW, 9, 0, 16}, {TEffectsDetail::NORMAL, 22, 8, 40}, {TEffectsDetail::HIGH, 44, 16, 80}};
    for (const auto& Case : Cases) {
        SCOPED_TRACE(TFxDebris::NameOf(Case.nDetail));
        TFxDebris Debris(m_pRoot, m_pTex, Case.nDetail);
        EXPECT_EQ(Debris.GetSparks() + Debris.GetFragments(), 0);
        Debris.RockBurst(TFloat3(1, 2, 0), 2, 1000);
        EXPECT_EQ(Debris.GetSparks(), Case.nLargeSparks);
        EXPECT_EQ(Debris.GetFragments(), Case.nLargeChips);
        Debris.ShipBurst(TFloat3(0, 0, 0), 1000);
        EXPECT_EQ(Debris.GetSparks(), Case.nLargeSparks + Case.nShipSparks);
        // Smaller rocks throw less.
        TFxDebris Small(m_pRoot, m_pTex, Case.nDetail);
        Small.RockBurst(TFloat3(1, 2, 0), 0, 1000);
        EXPECT_LT(Small.GetSparks(), Case.nLargeSparks);
    }
}

TEST_F(DebrisTest, PiecesFlyOutSlowAndAreGoneWithinTheirLife)
{
    TFxDebris Debris(m_pRoot, m_pTex, TEffectsDetail::NORMAL);
    Debris.Present(500);
    EXPECT_TRUE(scene::WorldBox(m_pRoot).isEmpty());  // nothing until a burst
    Debris.RockBurst(TFloat3(5, -3, 0), 1, 1000);
    Debris.Present(1000);
    const std::vector<SoCoordinate3*> vecCoords = scene::FindAll<SoCoordinate3>(m_pRoot);
    ASSERT_EQ(vecCoords.size(), 2u);  // sparks, then chips
    const float fStart = Reach(vecCoords[0], 5, -3);
    EXPECT_LT(fStart, 0.5f);
    Debris.Present(1100);
    const float fAt100 = Reach(vecCoords[0], 5, -3);
    Debris.Present(1300);
    const float fAt300 = Reach(vecCoords[0], 5, -3);
    EXPECT_GT(fAt100, fStart + 0.3f);
    EXPECT_GT(fAt300, fAt100);
    EXPECT_LT(fAt300 - fAt100, 2 * (fAt100 - fStart));  // slowing down
    EXPECT_GT(Reach(vecCoords[1], 5, -3), 0.2f);
    EXPECT_FALSE(scene::WorldBox(m_pRoot).isEmpty());
    // A frame drawn again at the same game time draws the same: a pause holds the pieces.
    const SbVec3f vFirst = vecCoords[0]->point[0];
    Debris.Present(1300);
    EXPECT_EQ(vecCoords[0]->point[0], vFirst);
    Debris.Present(2600);
    EXPECT_EQ(Debris.GetSparks() + Debris.GetFragments(), 0);
    EXPECT_TRUE(scene::WorldBox(m_pRoot).isEmpty());
}

TEST(DebrisSettingTest, OnlyTheThreeWordsAreTaken)
{
    const struct
    {
        const char* szWord;
        bool bTaken;
    } Cases[] = {{"low", true}, {"normal", true}, {"high", true}, {"", false}, {"LOW", false}, {"medium", false}, {"low ", false}};
    for (const auto& Case : Cases) {
        TEffectsDetail nDetail = TEffectsDetail::HIGH;
        EXPECT_EQ(TFxDebris::ParseDetail(Case.szWord, nDetail), Case.bTaken) << "'" << Case.szWord << "'";
        if (Case.bTaken) {
            EXPECT_STREQ(TFxDebris::NameOf(nDetail), Case.szWord);
        }
    }
}
