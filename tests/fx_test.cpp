// Effects and head-up display: banners, background, explosions and the engine flame, on the real
// scene graph, with the effects' timers stepped in virtual time and sounds on SDL's silent driver.
#include "base/GameClock.h"
#include "base/Random.h"
#include "fx/Backgrounds.h"
#include "fx/Banners.h"
#include "fx/GraphicFx.h"
#include "fx/SoundLoader.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"
#include "tests/support/HungAudioServer.h"
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

constexpr double PI = 3.14159265358979323846;

template <class T>
T* ChildAs(SoNode* pParent, int nIndex)
{
    auto* pGroup = static_cast<SoGroup*>(pParent);
    if (nIndex >= pGroup->getNumChildren())
        return nullptr;
    SoNode* pChild = pGroup->getChild(nIndex);
    return pChild->isOfType(T::getClassTypeId()) ? static_cast<T*>(pChild) : nullptr;
}

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

static TBannerParts PartsOf(SoGroup* pRoot, int nIndex)
{
    TBannerParts Parts;
    Parts.pBlinker = ChildAs<SoBlinker>(pRoot, nIndex);
    if (!Parts.pBlinker || Parts.pBlinker->getNumChildren() != 1)
        return Parts;
    Parts.pKit = ChildAs<SoShapeKit>(Parts.pBlinker, 0);
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
    TBannerParts Parts = PartsOf(m_pRoot, 0);
    ASSERT_TRUE(Parts.pBlinker && Parts.pKit && Parts.pFont && Parts.pXf);
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
    TBannerParts Parts = PartsOf(m_pRoot, 0);
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
    SoBlinker* pBlinker = PartsOf(m_pRoot, 0).pBlinker;
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
    EXPECT_EQ(PartsOf(m_pRoot, 0).pText->string[0], SbString(""));
}

// ---------------------------------------------------------------------------------------------
// Background

using BackgroundTest = SceneTest;

static TagTexture MakeRecord(int nWidth, int nHeight, int nComponents, uint8_t nFill)
{
    TagTexture Tex;
    Tex.nWidth = nWidth;
    Tex.nHeight = nHeight;
    Tex.nComponents = nComponents;
    Tex.nSize = nWidth * nHeight * nComponents;
    Tex.pTexture.reset(new uint8_t[Tex.nSize]);
    for (int i = 0; i < Tex.nSize; ++i)
        Tex.pTexture[i] = static_cast<uint8_t>(nFill + i % 7);
    return Tex;
}

static SoSeparator* BackgroundContents(SoGroup* pRoot)
{
    SoSeparator* pOwn = ChildAs<SoSeparator>(pRoot, 0);
    if (!pOwn)
        return nullptr;
    SoWrapperKit* pKit = ChildAs<SoWrapperKit>(pOwn, 0);
    return pKit ? static_cast<SoSeparator*>(pKit->getPart("contents", false)) : nullptr;
}

TEST_F(BackgroundTest, QuadBehindTheFieldCopiesThePixelsOfEveryRecord)
{
    auto pList = std::make_unique<TVecTextures>();
    pList->push_back(MakeRecord(16, 8, 3, 10));
    pList->push_back(MakeRecord(4, 4, 4, 200));
    TBackground2D Background(m_pRoot, SbVec3f(0, 0, -20), SbVec2f(100, 100), pList.get());
    // The game frees its list at once; the background must not depend on it.
    const std::vector<TagTexture> vecCopies = [] {
        std::vector<TagTexture> v;
        v.push_back(MakeRecord(16, 8, 3, 10));
        v.push_back(MakeRecord(4, 4, 4, 200));
        return v;
    }();
    pList.reset();

    SoSeparator* pContents = BackgroundContents(m_pRoot);
    ASSERT_TRUE(pContents);
    ASSERT_EQ(pContents->getNumChildren(), 4);
    auto* pTexCoords = ChildAs<SoTextureCoordinate2>(pContents, 0);
    auto* pSwitch = ChildAs<SoSwitch>(pContents, 1);
    auto* pCoords = ChildAs<SoCoordinate3>(pContents, 2);
    auto* pFaceSet = ChildAs<SoFaceSet>(pContents, 3);
    ASSERT_TRUE(pTexCoords && pSwitch && pCoords && pFaceSet);

    const SbVec2f TexExpected[4] = {SbVec2f(0, 0), SbVec2f(1, 0), SbVec2f(1, 1), SbVec2f(0, 1)};
    const SbVec3f CornerExpected[4] = {SbVec3f(-50, -50, -20), SbVec3f(50, -50, -20), SbVec3f(50, 50, -20),
                                       SbVec3f(-50, 50, -20)};
    ASSERT_EQ(pTexCoords->point.getNum(), 4);
    ASSERT_EQ(pCoords->point.getNum(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pTexCoords->point[i], TexExpected[i]);
        EXPECT_EQ(pCoords->point[i], CornerExpected[i]);
    }

    EXPECT_EQ(pSwitch->whichChild.getValue(), 0);
    ASSERT_EQ(pSwitch->getNumChildren(), 2);
    for (int i = 0; i < 2; ++i) {
        auto* pTex = ChildAs<SoTexture2>(pSwitch, i);
        ASSERT_TRUE(pTex);
        EXPECT_EQ(pTex->wrapS.getValue(), SoTexture2::CLAMP);
        EXPECT_EQ(pTex->wrapT.getValue(), SoTexture2::CLAMP);
        SbVec2s Size;
        int nComponents = 0;
        const unsigned char* pPixels = pTex->image.getValue(Size, nComponents);
        const TagTexture& Want = vecCopies[i];
        ASSERT_EQ(Size, SbVec2s(short(Want.nWidth), short(Want.nHeight)));
        ASSERT_EQ(nComponents, Want.nComponents);
        EXPECT_EQ(std::vector<uint8_t>(pPixels, pPixels + Want.nSize),
                  std::vector<uint8_t>(Want.pTexture.get(), Want.pTexture.get() + Want.nSize));
    }
}

TEST_F(BackgroundTest, EmptyListDrawsTheQuadWithoutTexture)
{
    TVecTextures vecNone;
    TBackground2D Background(m_pRoot, SbVec3f(0, 0, -20), SbVec2f(100, 100), &vecNone);
    SoSeparator* pContents = BackgroundContents(m_pRoot);
    ASSERT_TRUE(pContents);
    auto* pSwitch = ChildAs<SoSwitch>(pContents, 1);
    ASSERT_TRUE(pSwitch);
    EXPECT_EQ(pSwitch->getNumChildren(), 0);
    EXPECT_TRUE(ChildAs<SoFaceSet>(pContents, 3));
}

TEST_F(BackgroundTest, RecordsThatDoNotFillTheirSizeGetNoImage)
{
    // Each is read past its end if taken at its word.
    TVecTextures vecBad;
    vecBad.push_back(MakeRecord(8, 8, 3, 1));
    vecBad.back().nSize -= 1;
    vecBad.push_back(MakeRecord(8, 8, 3, 1));
    vecBad.back().nWidth = 1024;
    vecBad.push_back(MakeRecord(8, 8, 3, 1));
    vecBad.back().pTexture.reset();
    vecBad.push_back(MakeRecord(8, 8, 3, 1));
    vecBad.back().nComponents = -3;
    vecBad.push_back(MakeRecord(2, 2, 3, 1));  // a good one after them keeps its place
    TBackground2D Background(m_pRoot, SbVec3f(0, 0, -20), SbVec2f(100, 100), &vecBad);

    auto* pSwitch = ChildAs<SoSwitch>(BackgroundContents(m_pRoot), 1);
    ASSERT_TRUE(pSwitch);
    ASSERT_EQ(pSwitch->getNumChildren(), 5);
    for (int i = 0; i < 5; ++i) {
        SbVec2s Size;
        int nComponents = 0;
        ChildAs<SoTexture2>(pSwitch, i)->image.getValue(Size, nComponents);
        EXPECT_EQ(Size, i < 4 ? SbVec2s(0, 0) : SbVec2s(2, 2)) << "record " << i;
    }
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
        TGameClock::UseVirtualTime(0);
        TRandom::Reset();
        TFxEngine::ResetSoundLimit();
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
        TGameClock::UseRealTime();
    }
    // A loaded sound, paused at its start as the effects get it from their owners.
    static TFModSoundSource* NewSound()
    {
        TFModSoundSource* pSnd = s_pSM->CreateSource();
        const std::vector<uint8_t> Wav = MakeToneWav(0.5, 440.0);
        EXPECT_TRUE(pSnd->LoadFromMemory(Wav.data(), static_cast<int32_t>(Wav.size()), false, false));
        return pSnd;
    }

    static TFModSoundManager* s_pSM;
    TVecPtrTextures m_vecFrames;
};
TFModSoundManager* EffectTest::s_pSM = nullptr;

// The explosion's nodes: own separator, switch, inner separator and its five children.
struct TExplosionParts
{
    SoSwitch* pSwitch = nullptr;
    SoTransform* pXf = nullptr;
    SoMaterial* pMat = nullptr;
    SoSwitch* pFrames = nullptr;
    SoCoordinate3* pCoords = nullptr;
    SoFaceSet* pSet = nullptr;
};

TExplosionParts ExplosionParts(SoSeparator* pThisRoot)
{
    TExplosionParts Parts;
    Parts.pSwitch = ChildAs<SoSwitch>(pThisRoot, 0);
    if (!Parts.pSwitch)
        return Parts;
    SoSeparator* pSep = ChildAs<SoSeparator>(Parts.pSwitch, 0);
    if (!pSep || pSep->getNumChildren() != 5)
        return Parts;
    Parts.pXf = ChildAs<SoTransform>(pSep, 0);
    Parts.pMat = ChildAs<SoMaterial>(pSep, 1);
    Parts.pFrames = ChildAs<SoSwitch>(pSep, 2);
    Parts.pCoords = ChildAs<SoCoordinate3>(pSep, 3);
    Parts.pSet = ChildAs<SoFaceSet>(pSep, 4);
    return Parts;
}

}  // namespace

using ExplosionTest = EffectTest;

TEST_F(ExplosionTest, NewExplosionIsHiddenWithRandomTurnAndScaleDrawnInOrder)
{
    const double r1 = TRandom::Draw() / 32767.0, r2 = TRandom::Draw() / 32767.0;
    const uint32_t nStateAfter = TRandom::GetState();
    TRandom::Reset();
    TFxExplosion Fx(m_pRoot, NewSound(), &m_vecFrames, SbVec3f(1, 2, 3), SbVec2f(4, 4), 0.05);
    EXPECT_EQ(TRandom::GetState(), nStateAfter);

    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    EXPECT_EQ(m_pRoot->getChild(0), Fx.GetRootNode());
    TExplosionParts Parts = ExplosionParts(Fx.GetRootNode());
    ASSERT_TRUE(Parts.pSwitch && Parts.pXf && Parts.pMat && Parts.pFrames && Parts.pSet);
    EXPECT_EQ(Parts.pSwitch->whichChild.getValue(), SO_SWITCH_NONE);
    EXPECT_EQ(Parts.pXf->translation.getValue(), SbVec3f(1, 2, 3));
    EXPECT_NEAR(RotationAboutZ(Parts.pXf), r1 * PI, 1e-5);
    const float s = static_cast<float>(1.5 + 0.5 * r2);
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(s, s, s));
    ExpectQuad(Parts.pCoords, 4, 4);
    // The bank's frames themselves, shared, in order.
    ASSERT_EQ(Parts.pFrames->getNumChildren(), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(Parts.pFrames->getChild(i), m_vecFrames[i]);
    EXPECT_EQ(Parts.pFrames->whichChild.getValue(), 0);

    // The timer runs idle until a start.
    TGameClock::Advance(1000);
    EXPECT_EQ(Parts.pSwitch->whichChild.getValue(), SO_SWITCH_NONE);
    EXPECT_EQ(Fx.GetFrame(), 0);
}

TEST_F(ExplosionTest, RunShowsEveryFrameFadesTheSecondHalfThenHoldsTheFirstFrame)
{
    TFxExplosion Fx(m_pRoot, NewSound(), &m_vecFrames, SbVec3f(0, 0, 0), SbVec2f(4, 4), 0.05);
    TExplosionParts Parts = ExplosionParts(Fx.GetRootNode());
    ASSERT_TRUE(Parts.pFrames && Parts.pMat);

    Fx.Start();
    EXPECT_EQ(Parts.pSwitch->whichChild.getValue(), SO_SWITCH_ALL);
    for (int nFrame = 0; nFrame < 20; ++nFrame) {
        TGameClock::Advance(50);
        ASSERT_TRUE(Fx.IsActive());
        EXPECT_EQ(Parts.pFrames->whichChild.getValue(), nFrame);
        const float fWant = nFrame > 10 ? nFrame / 20.0f : 0.0f;
        EXPECT_FLOAT_EQ(Parts.pMat->transparency[0], fWant) << "frame " << nFrame;
    }
    // The 21st firing ends the run: first frame, opaque, still on show.
    TGameClock::Advance(50);
    EXPECT_FALSE(Fx.IsActive());
    EXPECT_EQ(Parts.pFrames->whichChild.getValue(), 0);
    EXPECT_FLOAT_EQ(Parts.pMat->transparency[0], 0.0f);
    EXPECT_EQ(Parts.pSwitch->whichChild.getValue(), SO_SWITCH_ALL);
    EXPECT_EQ(Fx.GetFrame(), 1);
    TGameClock::Advance(500);
    EXPECT_EQ(Parts.pFrames->whichChild.getValue(), 0);

    // A finished explosion starts its next run at frame 1.
    Fx.Start();
    TGameClock::Advance(50);
    EXPECT_EQ(Parts.pFrames->whichChild.getValue(), 1);
}

TEST_F(ExplosionTest, StartWhileRunningContinuesAndRestartsTheSound)
{
    TFxExplosion Fx(m_pRoot, NewSound(), &m_vecFrames, SbVec3f(0, 0, 0), SbVec2f(4, 4), 0.025);
    TExplosionParts Parts = ExplosionParts(Fx.GetRootNode());
    const int nPausedBefore = Mix_Paused(-1);
    Fx.Start();
    EXPECT_EQ(Mix_Paused(-1), nPausedBefore - 1);  // the explosion's own sound now plays
    TGameClock::Advance(5 * 25);
    EXPECT_EQ(Parts.pFrames->whichChild.getValue(), 4);
    Fx.Start();
    TGameClock::Advance(25);
    EXPECT_EQ(Parts.pFrames->whichChild.getValue(), 5);
    EXPECT_TRUE(Fx.IsActive());
}

TEST_F(ExplosionTest, SetScaleReplacesTheBaseScaleAndKeepsTheTurn)
{
    TFxExplosion Fx(m_pRoot, NewSound(), &m_vecFrames, SbVec3f(0, 0, 0), SbVec2f(4, 4), 0.05);
    TExplosionParts Parts = ExplosionParts(Fx.GetRootNode());
    const SbRotation Turn = Parts.pXf->rotation.getValue();
    Fx.SetScale(2.0f);
    Fx.SetPosition(SbVec3f(5, -6, 0));
    Fx.Start();
    TGameClock::Advance(21 * 50);
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(2, 2, 2));
    EXPECT_EQ(Parts.pXf->translation.getValue(), SbVec3f(5, -6, 0));
    EXPECT_TRUE(Parts.pXf->rotation.getValue() == Turn);
}

TEST_F(ExplosionTest, TheTimerRunsOnlyWhileTheExplosionRuns)
{
    const int nSensors = TGameClock::VirtualSensorCount();
    TFxExplosion Fx(m_pRoot, NewSound(), &m_vecFrames, SbVec3f(0, 0, 0), SbVec2f(4, 4), 0.05);
    EXPECT_EQ(TGameClock::VirtualSensorCount(), nSensors);  // idle effects cost nothing
    Fx.Start();
    Fx.Start();  // a restart keeps the one timer
    EXPECT_EQ(TGameClock::VirtualSensorCount(), nSensors + 1);
    TGameClock::Advance(21 * 50);
    EXPECT_FALSE(Fx.IsActive());
    EXPECT_EQ(TGameClock::VirtualSensorCount(), nSensors);
}

TEST_F(ExplosionTest, DeletingTakesTheNodesOutAndStopsTheTimer)
{
    const int nSensors = TGameClock::VirtualSensorCount();
    auto* pFx = new TFxExplosion(m_pRoot, NewSound(), &m_vecFrames, SbVec3f(0, 0, 0), SbVec2f(4, 4), 0.05);
    pFx->Start();
    TGameClock::Advance(100);
    EXPECT_EQ(TGameClock::VirtualSensorCount(), nSensors + 1);
    delete pFx;  // while running
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(TGameClock::VirtualSensorCount(), nSensors);
    TGameClock::Advance(1000);
    // The shared frames are still the bank's.
    EXPECT_EQ(m_vecFrames[0]->getRefCount(), 1);
}

TEST_F(ExplosionTest, AnEmptyFrameListIsRefused)
{
    TVecPtrTextures vecNone;
    EXPECT_DEATH(TFxExplosion(m_pRoot, NewSound(), &vecNone, SbVec3f(0, 0, 0), SbVec2f(4, 4), 0.05),
                 "Assertion failed: m_nTextures");
}

// ---------------------------------------------------------------------------------------------

namespace {
struct TEngineParts
{
    SoSwitch* pSwitch = nullptr;
    SoSeparator* pSep = nullptr;
    SoTransform* pXf = nullptr;
    SoCoordinate3* pCoords = nullptr;
    SoTexture2* pTex = nullptr;
    SoFaceSet* pSet = nullptr;
};

TEngineParts EngineParts(SoGroup* pRoot, int nIndex)
{
    TEngineParts Parts;
    Parts.pSwitch = ChildAs<SoSwitch>(pRoot, nIndex);
    if (!Parts.pSwitch)
        return Parts;
    Parts.pSep = ChildAs<SoSeparator>(Parts.pSwitch, 0);
    if (!Parts.pSep || Parts.pSep->getNumChildren() != 4)
        return Parts;
    Parts.pXf = ChildAs<SoTransform>(Parts.pSep, 0);
    Parts.pCoords = ChildAs<SoCoordinate3>(Parts.pSep, 1);
    Parts.pTex = ChildAs<SoTexture2>(Parts.pSep, 2);
    Parts.pSet = ChildAs<SoFaceSet>(Parts.pSep, 3);
    return Parts;
}
}  // namespace

using EngineTest = EffectTest;

TEST_F(EngineTest, NewFlameIsHiddenQuadTurnedAQuarterClockwise)
{
    const uint32_t nState = TRandom::GetState();
    TFxEngine Fx(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, -2.0f / 3, 0), SbVec2f(1, 1), 0.01);
    EXPECT_EQ(TRandom::GetState(), nState);  // building draws nothing
    ASSERT_EQ(m_pRoot->getNumChildren(), 1);
    TEngineParts Parts = EngineParts(m_pRoot, 0);
    ASSERT_TRUE(Parts.pXf && Parts.pCoords && Parts.pTex && Parts.pSet);
    EXPECT_EQ(Parts.pSwitch, Fx.GetSwitchNode());
    EXPECT_EQ(Parts.pSwitch->whichChild.getValue(), SO_SWITCH_NONE);
    EXPECT_EQ(Parts.pTex, m_vecFrames[0]);
    EXPECT_EQ(Parts.pXf->translation.getValue(), SbVec3f(0, -2.0f / 3, 0));
    EXPECT_NEAR(RotationAboutZ(Parts.pXf), -PI / 2, 1e-6);
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(1, 1, 1));
    ExpectQuad(Parts.pCoords, 1, 1);
}

TEST_F(EngineTest, BurstFlickersFromTwoDrawsAndHidesSixteenFiringsAfterTheLastStart)
{
    TFxEngine Fx(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, 0, 0), SbVec2f(2, 3), 0.01);
    TEngineParts Parts = EngineParts(m_pRoot, 0);
    ASSERT_TRUE(Parts.pXf);
    TGameClock::Advance(100);  // idle firings leave the flame alone
    EXPECT_EQ(Parts.pXf->scaleFactor.getValue(), SbVec3f(1, 1, 1));

    // A thrust held down starts the flame on every game tick: it stays on show.
    for (int nTick = 0; nTick < 50; ++nTick) {
        Fx.Start();
        TRandom::Reset();
        TGameClock::Advance(10);
        ASSERT_EQ(Parts.pSwitch->whichChild.getValue(), SO_SWITCH_ALL);
    }
    // The height's draw comes first: first draws from state 1 are 346 then 130.
    const SbVec3f vScale = Parts.pXf->scaleFactor.getValue();
    EXPECT_FLOAT_EQ(vScale[1], static_cast<float>(3 + 346 / 32767.0 * 3 * 0.1));
    EXPECT_FLOAT_EQ(vScale[0], static_cast<float>(2 + 130 / 32767.0 * 2 * 0.5));
    EXPECT_FLOAT_EQ(vScale[2], 1.0f);

    // One firing has passed since the last start; the burst ends at the 16th.
    for (int nFiring = 2; nFiring <= 15; ++nFiring) {
        TGameClock::Advance(10);
        ASSERT_EQ(Parts.pSwitch->whichChild.getValue(), SO_SWITCH_ALL) << "firing " << nFiring;
        const SbVec3f v = Parts.pXf->scaleFactor.getValue();
        ASSERT_TRUE(v[0] >= 2 && v[0] <= 3 && v[1] >= 3 && v[1] <= 3.3f);
    }
    TGameClock::Advance(10);
    EXPECT_EQ(Parts.pSwitch->whichChild.getValue(), SO_SWITCH_NONE);
    EXPECT_FALSE(Fx.IsActive());
    // The hidden flame keeps its last size and draws nothing more.
    const uint32_t nState = TRandom::GetState();
    TGameClock::Advance(200);
    EXPECT_EQ(TRandom::GetState(), nState);
}

TEST_F(EngineTest, SoundRestartsAtMostOnceEvery150MsAtAnyTickCountAndAcrossTheWrap)
{
    // Near 2^31 a signed difference from a stored 0 goes negative; near 2^32 the count wraps.
    for (uint32_t nStart : {0u, 0x7fffffceu, 0xffffff9cu}) {
        SCOPED_TRACE(nStart);
        TGameClock::UseVirtualTime(nStart);
        TFxEngine::ResetSoundLimit();
        TFxEngine Fx(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, 0, 0), SbVec2f(1, 1), 0.01);

        const struct
        {
            uint32_t nAdvance;
            int nStarts;
        } Steps[] = {
            {0, 1},    // the very first start plays
            {100, 1},  // too soon
            {51, 2},   // 151 ms after the first
            {150, 2},  // exactly 150 ms is not enough
            {1, 3},
        };
        for (const auto& Step : Steps) {
            TGameClock::Advance(Step.nAdvance);
            Fx.Start();
            EXPECT_EQ(TFxEngine::GetSoundStarts(), Step.nStarts) << "at +" << TGameClock::GetTickCount() - nStart;
        }
    }
}

TEST_F(EngineTest, HeldThrustRestartsTheSoundEvery160MsAndTheSoundIsHeard)
{
    TFxEngine Fx(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, 0, 0), SbVec2f(1, 1), 0.01);
    const int nPausedBefore = Mix_Paused(-1);
    Fx.Start();
    EXPECT_EQ(Mix_Paused(-1), nPausedBefore - 1);  // the engine's sound is playing

    // Starts on every 10 ms tick for one second: sounds at 0, 160, 320, ... 960.
    for (int nTick = 1; nTick < 100; ++nTick) {
        TGameClock::Advance(10);
        Fx.Start();
    }
    EXPECT_EQ(TFxEngine::GetSoundStarts(), 7);
}

TEST_F(EngineTest, DeletingTakesTheFlameOutAndStopsTheTimer)
{
    const int nSensors = TGameClock::VirtualSensorCount();
    auto* pFx = new TFxEngine(m_pRoot, NewSound(), m_vecFrames[0], SbVec3f(0, 0, 0), SbVec2f(1, 1), 0.01);
    pFx->Start();
    TGameClock::Advance(30);
    delete pFx;
    EXPECT_EQ(m_pRoot->getNumChildren(), 0);
    EXPECT_EQ(TGameClock::VirtualSensorCount(), nSensors);
    EXPECT_EQ(m_vecFrames[0]->getRefCount(), 1);
    TGameClock::Advance(100);
}

// ---------------------------------------------------------------------------------------------
// Sounds of the data file

namespace {
// A test data file with one sound damaged, and the bank on it.
std::unique_ptr<TDataBanker> BankWithGarbledSound(int32_t nItem)
{
    SoDB::init();
    TTestLists vecLists = MakeTestLists();
    GarbleItem(vecLists, ID_PLAYLIST_SOUNDS, nItem);
    const std::string strPath = MakeTempDir() + "/Drelk_II.bin";
    WriteTestDataFile(strPath, vecLists);
    return std::make_unique<TDataBanker>(strPath);
}
}  // namespace

TEST(SoundLoaderTest, AnUndecodableSoundIsNamedOnceAndLeftSilent)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::unique_ptr<TDataBanker> pBank = BankWithGarbledSound(ID_SOUND_LASER);
    TFModSoundManager SM;
    struct TCase
    {
        const char* szWhat;
        int32_t nPlaylist;
        int32_t nItem;
        bool bLoop;
        bool bHasSound;
        const char* szSaid;  // on standard error; null for nothing
    };
    const TCase CASES[] = {
        {"a good sound", ID_PLAYLIST_SOUNDS, ID_SOUND_ENGINE, false, true, nullptr},
        {"music, looping", ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, true, true, nullptr},
        {"the damaged sound", ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, false, false,
         "Drelk_II.bin: sound 235 of list 200 does not decode; playing without it\n"},
        {"the damaged sound again: said once", ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, false, false, nullptr},
        {"an item the file does not hold", ID_PLAYLIST_SOUNDS, 999, false, false, nullptr},
        {"a list the file does not hold", 777, ID_SOUND_ENGINE, false, false, nullptr},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        testing::internal::CaptureStderr();
        std::unique_ptr<TFModSoundSource> pSource(
            TSoundLoader::CreateSource(&SM, pBank.get(), Case.nPlaylist, Case.nItem, Case.bLoop));
        const std::string strSaid = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(pSource);
        EXPECT_EQ(pSource->HasSound(), Case.bHasSound);
        if (Case.szSaid) {
            EXPECT_NE(strSaid.find(Case.szSaid), std::string::npos) << strSaid;
            EXPECT_EQ(std::count(strSaid.begin(), strSaid.end(), '\n'), 1) << strSaid;
        } else {
            EXPECT_EQ(strSaid, "");
        }
        // What the game does with a source, with or without a sound.
        pSource->Play();
        pSource->SetPlaying(true);
        pSource->SetVolume(0.2f);
    }
}

// Without a device no sound decodes, and that is no fault of the file.
TEST(SoundLoaderTest, WithoutADeviceNothingIsBlamedOnTheFile)
{
    std::unique_ptr<TDataBanker> pBank = BankWithGarbledSound(ID_SOUND_ROCK_EXPLOSION_0);
    THungAudioServer Server;
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    setenv("PULSE_SERVER", Server.Address().c_str(), 1);
    TFModSoundManager SM;
    ASSERT_FALSE(SM.HasDevice());
    testing::internal::CaptureStderr();
    for (int32_t nItem : {ID_SOUND_ENGINE, ID_SOUND_ROCK_EXPLOSION_0}) {
        std::unique_ptr<TFModSoundSource> pSource(
            TSoundLoader::CreateSource(&SM, pBank.get(), ID_PLAYLIST_SOUNDS, nItem, false));
        EXPECT_FALSE(pSource->HasSound());
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
