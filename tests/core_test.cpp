// The shared helpers: the fatal assertion, the generator, the clocks.
#include "base/Assert.h"
#include "base/GameClock.h"
#include "base/Random.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoSceneManager.h>
#include <Inventor/fields/SoSFTime.h>
#include <Inventor/sensors/SoTimerSensor.h>

#include <gtest/gtest.h>

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
    TRandom::Reset();
    // state = state * 22695477 + 1, bits 16..30, from state 1.
    const std::vector<int32_t> vecExpected = {346, 130, 10982, 1090, 11656};
    for (int32_t nExpected : vecExpected)
        EXPECT_EQ(TRandom::Draw(), nExpected);
}

TEST(RandomTest, SeedingDiscardsOneDraw)
{
    TRandom::Seed(12345);
    EXPECT_EQ(TRandom::Draw(), 24996);
    TRandom::Seed(0);
    const uint32_t nAfterSeed = TRandom::GetState();
    EXPECT_EQ(nAfterSeed, 1u);  // 0 * a + 1: the discarded draw moved the state on
}

TEST(RandomTest, DrawsStayWithinRange)
{
    TRandom::Seed(0xdeadbeef);
    for (int i = 0; i < 100000; ++i) {
        const int32_t n = TRandom::Draw();
        ASSERT_GE(n, 0);
        ASSERT_LE(n, TRandom::MAX);
    }
}

namespace {
struct TFiring
{
    std::vector<std::pair<std::string, uint32_t>>* pLog;
    std::string strName;
    SoTimerSensor* pOther = nullptr;  // unscheduled by this sensor's first firing
};

void LogFiring(void* pData, SoSensor*)
{
    auto* pFiring = static_cast<TFiring*>(pData);
    pFiring->pLog->emplace_back(pFiring->strName, TGameClock::GetTickCount());
    if (pFiring->pOther) {
        TGameClock::Unschedule(pFiring->pOther);
        pFiring->pOther = nullptr;
    }
}
}  // namespace

class GameClockTest : public ::testing::Test
{
protected:
    void SetUp() override { SoDB::init(); }
};

TEST_F(GameClockTest, GameTimeFiresSensorsInTimeOrder)
{
    TGameClock::Reset(1000);
    std::vector<std::pair<std::string, uint32_t>> vecLog;
    TFiring Fast{&vecLog, "fast"}, Slow{&vecLog, "slow"};
    SoTimerSensor SensorFast(LogFiring, &Fast), SensorSlow(LogFiring, &Slow);
    SensorFast.setInterval(0.01);
    SensorSlow.setInterval(0.025);
    TGameClock::Schedule(&SensorSlow);
    TGameClock::Schedule(&SensorFast);

    TGameClock::Advance(30);
    const std::vector<std::pair<std::string, uint32_t>> vecExpected = {
        {"fast", 1010}, {"fast", 1020}, {"slow", 1025}, {"fast", 1030}};
    EXPECT_EQ(vecLog, vecExpected);
    EXPECT_EQ(TGameClock::GetTickCount(), 1030u);
    EXPECT_FALSE(SensorFast.isScheduled());  // the game's sensors stay out of the scene library's queue
    // The library's own clock, which its blinkers follow, shows game time.
    const auto* pRealTime = static_cast<const SoSFTime*>(SoDB::getGlobalField("realTime"));
    ASSERT_TRUE(pRealTime);
    EXPECT_DOUBLE_EQ(pRealTime->getValue().getValue(), 1.030);
    // Nor does a frame drawn set it back to the wall clock.
    EXPECT_FALSE(SoSceneManager::isRealTimeUpdateEnabled());
}

TEST_F(GameClockTest, SensorUnscheduledDuringAFiringDoesNotFire)
{
    TGameClock::Reset();
    std::vector<std::pair<std::string, uint32_t>> vecLog;
    TFiring Victim{&vecLog, "victim"};
    SoTimerSensor SensorVictim(LogFiring, &Victim);
    TFiring Killer{&vecLog, "killer", &SensorVictim};
    SoTimerSensor SensorKiller(LogFiring, &Killer);
    SensorKiller.setInterval(0.01);
    SensorVictim.setInterval(0.02);
    TGameClock::Schedule(&SensorKiller);
    TGameClock::Schedule(&SensorVictim);

    TGameClock::Advance(40);
    for (const auto& Firing : vecLog)
        EXPECT_EQ(Firing.first, "killer");
    EXPECT_EQ(vecLog.size(), 4u);
    EXPECT_EQ(TGameClock::SensorCount(), 1);
}

TEST_F(GameClockTest, TickCountWrapsAt32Bits)
{
    TGameClock::Reset(0xfffffff0u);
    TGameClock::Advance(0x20);
    EXPECT_EQ(TGameClock::GetTickCount(), 0x10u);
}
