// The shared helpers: the fatal assertion, the generator, the clocks, the effects' timers, the
// rules' own arithmetic and the floating-point environment they expect.
#include "base/Assert.h"
#include "base/FloatEnvironment.h"
#include "base/GameClock.h"
#include "base/PortableMath.h"
#include "base/Random.h"
#include "fx/FxTimers.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoSceneManager.h>
#include <Inventor/fields/SoSFTime.h>
#include <Inventor/sensors/SoTimerSensor.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>

#include <string>
#include <vector>

TEST(AssertTest, MessageNamesExpressionFileAndLine)
{
    EXPECT_EQ(TAssert::FormatMessage("m_pSM", "/src/core/TFormMain.cpp", 42),
              "Assertion failed: m_pSM, file TFormMain.cpp, line 42");
}

TEST(AssertDeathTest, FailedAssertionWritesMessageAndAborts)
{
    const int* pMissing = nullptr;
    EXPECT_DEATH(DRELK_ASSERT(pMissing), "Assertion failed: pMissing, file core_test.cpp, line [0-9]+");
}

TEST(RandomTest, DrawsFollowTheGeneratorFromStateOne)
{
    TRandom Random;
    // state = state * 22695477 + 1, bits 16..30, from state 1.
    const std::vector<int32_t> vecExpected = {346, 130, 10982, 1090, 11656};
    for (int32_t nExpected : vecExpected)
        EXPECT_EQ(Random.Draw(), nExpected);
}

TEST(RandomTest, SeedingDiscardsOneDraw)
{
    TRandom Random;
    Random.Seed(12345);
    EXPECT_EQ(Random.Draw(), 24996);
    Random.Seed(0);
    EXPECT_EQ(Random.GetState(), 1u);  // 0 * a + 1: the discarded draw moved the state on
}

TEST(RandomTest, DrawsStayWithinRangeAndTwoGeneratorsKeepApart)
{
    TRandom Random(0xdeadbeef), Other;
    for (int i = 0; i < 100000; ++i) {
        const int32_t n = Random.Draw();
        ASSERT_GE(n, 0);
        ASSERT_LE(n, TRandom::MAX);
    }
    EXPECT_EQ(Other.Draw(), 346);  // untouched by the draws of the first
}

namespace {
// The digest of the rules' arithmetic over its sweep, recorded once: every build must give it.
constexpr uint64_t PORTABLE_MATH_DIGEST = 10429646053335482300ull;

struct TFiring
{
    std::vector<std::pair<std::string, uint32_t>>* pLog;
    std::string strName;
    TFxTimers* pTimers;
    SoTimerSensor* pOther = nullptr;  // unscheduled by this sensor's first firing
};

void LogFiring(void* pData, SoSensor*)
{
    auto* pFiring = static_cast<TFiring*>(pData);
    pFiring->pLog->emplace_back(pFiring->strName, static_cast<uint32_t>(pFiring->pTimers->GetMs()));
    if (pFiring->pOther) {
        pFiring->pTimers->Unschedule(pFiring->pOther);
        pFiring->pOther = nullptr;
    }
}
}  // namespace

TEST(FxTimersTest, GameTimeFiresSensorsInTimeOrder)
{
    TFxTimers Timers(1000);
    std::vector<std::pair<std::string, uint32_t>> vecLog;
    TFiring Fast{&vecLog, "fast", &Timers}, Slow{&vecLog, "slow", &Timers};
    SoTimerSensor SensorFast(LogFiring, &Fast), SensorSlow(LogFiring, &Slow);
    SensorFast.setInterval(0.01);
    SensorSlow.setInterval(0.025);
    Timers.Schedule(&SensorSlow);
    Timers.Schedule(&SensorFast);

    Timers.AdvanceTo(1030);
    const std::vector<std::pair<std::string, uint32_t>> vecExpected = {
        {"fast", 1010}, {"fast", 1020}, {"slow", 1025}, {"fast", 1030}};
    EXPECT_EQ(vecLog, vecExpected);
    EXPECT_EQ(Timers.GetMs(), 1030u);
    EXPECT_FALSE(SensorFast.isScheduled());  // the game's sensors stay out of the scene library's queue
    // The library's own clock, which its blinkers follow, shows game time.
    Timers.SetSceneTime();
    const auto* pRealTime = static_cast<const SoSFTime*>(SoDB::getGlobalField("realTime"));
    ASSERT_TRUE(pRealTime);
    EXPECT_DOUBLE_EQ(pRealTime->getValue().getValue(), 1.030);
    // Nor does a frame drawn set it back to the wall clock.
    EXPECT_FALSE(SoSceneManager::isRealTimeUpdateEnabled());
}

TEST(FxTimersTest, SensorUnscheduledDuringAFiringDoesNotFireAndTwoGamesKeepTheirOwnTime)
{
    TFxTimers Timers, Other(5000);
    std::vector<std::pair<std::string, uint32_t>> vecLog;
    TFiring Victim{&vecLog, "victim", &Timers};
    SoTimerSensor SensorVictim(LogFiring, &Victim);
    TFiring Killer{&vecLog, "killer", &Timers, &SensorVictim};
    SoTimerSensor SensorKiller(LogFiring, &Killer);
    SensorKiller.setInterval(0.01);
    SensorVictim.setInterval(0.02);
    Timers.Schedule(&SensorKiller);
    Timers.Schedule(&SensorVictim);

    Timers.AdvanceTo(40);
    for (const auto& Firing : vecLog)
        EXPECT_EQ(Firing.first, "killer");
    EXPECT_EQ(vecLog.size(), 4u);
    EXPECT_EQ(Timers.SensorCount(), 1);
    EXPECT_EQ(Other.SensorCount(), 0);
    Other.AdvanceTo(6000);
    EXPECT_EQ(vecLog.size(), 4u);
    EXPECT_EQ(Timers.GetMs(), 40u);
}

TEST(GameClockTest, TickCountWrapsAt32BitsAndEachGameHasItsOwn)
{
    TGameClock Clock(0xfffffff0u), Other;
    Clock.Advance(0x20);
    EXPECT_EQ(Clock.GetTickCount(), 0x10u);
    EXPECT_EQ(Clock.GetMs(), 0x100000010ull);
    EXPECT_EQ(Other.GetMs(), 0u);
}

// ---------------------------------------------------------------------------------------------
// The rules' own arithmetic

namespace {
// The distance from |x| to the next double up: a unit in the last place.
double Ulp(double x)
{
    const double a = std::fabs(x);
    return std::nextafter(a, INFINITY) - a;
}
}  // namespace

TEST(PortableMathTest, SineAndCosineWithinAnUlpOfTheLibrarysAcrossTheAnglesPlayReaches)
{
    // The C library's values are the yardstick only for nearness: ours are the ones that must be
    // the same bits everywhere, which the replays' checks across builds hold.
    for (int i = -200000; i <= 200000; ++i) {
        const double x = i * 0.0123456789;  // past the 2,400 radians a day of turning reaches
        double s, c;
        TPortableMath::SinCos(x, s, c);
        ASSERT_LE(std::fabs(s - std::sin(x)), Ulp(std::sin(x))) << x;
        ASSERT_LE(std::fabs(c - std::cos(x)), Ulp(std::cos(x))) << x;
        ASSERT_EQ(TPortableMath::Sin(x), s);
        ASSERT_EQ(TPortableMath::Cos(x), c);
    }
}

TEST(PortableMathTest, KnownValuesSignsAndNonNumbers)
{
    const double dHalfPi = 1.5707963267948966;
    EXPECT_EQ(TPortableMath::Sin(0.0), 0.0);
    EXPECT_TRUE(std::signbit(TPortableMath::Sin(-0.0)));
    EXPECT_EQ(TPortableMath::Cos(0.0), 1.0);
    EXPECT_EQ(TPortableMath::Sin(dHalfPi), 1.0);
    // cos of the double nearest pi/2 is not zero: a rock's child thrown along y keeps a trace
    // of x speed, as the rules have it.
    EXPECT_EQ(TPortableMath::Cos(dHalfPi), 6.123233995736766e-17);
    EXPECT_EQ(TPortableMath::Sin(1e-300), 1e-300);
    for (double x : {INFINITY, -INFINITY, NAN}) {
        EXPECT_TRUE(std::isnan(TPortableMath::Sin(x)));
        EXPECT_TRUE(std::isnan(TPortableMath::Cos(x)));
    }
    // Far beyond play the results stay bounded and the same from call to call.
    for (double x : {1e9, -3e15, 1e22, 1.7e308}) {
        EXPECT_LE(std::fabs(TPortableMath::Sin(x)), 1.0) << x;
        EXPECT_EQ(TPortableMath::Sin(x), TPortableMath::Sin(x)) << x;
    }
}

// Pinned bits: any compiler, optimisation or processor that builds the rules must give exactly
// these (the values of this implementation, not of any C library).
TEST(PortableMathTest, BitsPinnedForEveryBuild)
{
    EXPECT_EQ(TPortableMath::SweepDigest(), PORTABLE_MATH_DIGEST);
}

TEST(PortableMathTest, DegreesAddedInExtendedPrecisionAndNothingFused)
{
    EXPECT_EQ(TPortableMath::AddDegrees(0.0, 16.0), 0x1.1df46a2529d39p-2);
    EXPECT_EQ(TPortableMath::AddDegrees(0.0, 180.0), 3.141592653589793);
    // Within half an ulp of the sum worked out in double-double, for headings play reaches.
    for (int i = 0; i < 20000; ++i) {
        const double a = i * 0.27925268031909273;
        const double d = TPortableMath::AddDegrees(a, 16.0);
        EXPECT_LE(std::fabs(d - (a + 0.27925268031909273)), Ulp(d)) << a;
    }
    EXPECT_FALSE(TPortableMath::FusesMultiplyAdd());
}

TEST(FloatEnvironmentTest, RoundingAndSubnormalsAsTheRulesExpectThenAsTheyWere)
{
    ASSERT_TRUE(TFloatEnvironment::IsStandard());
    std::fesetround(FE_UPWARD);
    EXPECT_FALSE(TFloatEnvironment::IsStandard());
    {
        const TFloatEnvironment Environment;
        EXPECT_TRUE(TFloatEnvironment::IsStandard());
        volatile double dThird = 1.0;
        EXPECT_EQ(dThird / 3.0, 0x1.5555555555555p-2);  // to nearest, not up
        volatile double dTiny = 0x1p-1060;
        EXPECT_GT(dTiny * 0.5, 0.0);  // a subnormal kept, not flushed
    }
    EXPECT_EQ(std::fegetround(), FE_UPWARD);
    std::fesetround(FE_TONEAREST);
    EXPECT_TRUE(TFloatEnvironment::IsStandard());
}
