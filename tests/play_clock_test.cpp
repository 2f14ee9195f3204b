// When the window's ticks fall due and where its frames lie between them, worked out on the play
// clock from wall-clock times given in, with no display: a pause holds play, a resume goes on
// from it, a faster replay runs more ticks, a late frame runs the missed ones (a few), and a
// jump of the wall clock drops what it cannot run.
#include "core/PlayClock.h"

#include <gtest/gtest.h>

namespace {
constexpr int64_t MS = 1000;  // microseconds
}  // namespace

TEST(PlayClockTest, TicksFallDueEvery10MsOfPlayAndFramesLieBetween)
{
    TPlayClock Clock;
    Clock.Run(true, 5 * MS);
    Clock.RestartSchedule(Clock.PlayUs(5 * MS));
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(14 * MS)), 0);
    EXPECT_DOUBLE_EQ(Clock.AlphaAt(Clock.PlayUs(14 * MS)), 0.9);
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(15 * MS)), 1);
    EXPECT_DOUBLE_EQ(Clock.AlphaAt(Clock.PlayUs(15 * MS)), 0.0);
    EXPECT_DOUBLE_EQ(Clock.AlphaAt(Clock.PlayUs(17500)), 0.25);
    // A frame late by three ticks runs them all at once.
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(47 * MS)), 3);
    EXPECT_DOUBLE_EQ(Clock.AlphaAt(Clock.PlayUs(47 * MS)), 0.2);
    EXPECT_EQ(Clock.GetDroppedTicks(), 0u);
    // A frame after the next tick is due shows it, and no further.
    EXPECT_DOUBLE_EQ(Clock.AlphaAt(Clock.PlayUs(70 * MS)), 1.0);
}

TEST(PlayClockTest, APauseHoldsPlayAndTheResumeGoesOnFromThere)
{
    TPlayClock Clock;
    Clock.Run(true, 0);
    Clock.RestartSchedule(0);
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(25 * MS)), 2);
    Clock.Run(false, 25 * MS);
    // Ten seconds of pause: play stands at 25 ms, nothing falls due, frames stay put.
    EXPECT_EQ(Clock.PlayUs(10025 * MS), static_cast<uint64_t>(25 * MS));
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(10025 * MS)), 0);
    EXPECT_DOUBLE_EQ(Clock.AlphaAt(Clock.PlayUs(10025 * MS)), 0.5);
    Clock.Run(true, 10025 * MS);
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(10030 * MS)), 1);
    EXPECT_EQ(Clock.GetDroppedTicks(), 0u);  // no catching up on the pause
    // Running twice or stopping twice changes nothing.
    Clock.Run(true, 10030 * MS);
    EXPECT_EQ(Clock.PlayUs(10031 * MS), static_cast<uint64_t>(31 * MS));
}

TEST(PlayClockTest, AFasterReplayRunsMoreTicksAndMayRunMoreLateOnes)
{
    TPlayClock Clock;
    Clock.Run(true, 0);
    Clock.RestartSchedule(0);
    Clock.SetSpeed(4, 0);
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(10 * MS)), 4);
    // Four times the speed, four times the ticks a late event may run before any are dropped.
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(20 * MS)), 4);
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(70 * MS)), 20);
    EXPECT_EQ(Clock.GetDroppedTicks(), 0u);
    // Back to the replay's own speed from where play stands.
    Clock.SetSpeed(1, 70 * MS);
    EXPECT_EQ(Clock.PlayUs(80 * MS), static_cast<uint64_t>(290 * MS));
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(80 * MS)), 1);
}

TEST(PlayClockTest, AJumpOfTheWallClockDropsWhatCannotBeRun)
{
    TPlayClock Clock;
    Clock.Run(true, 0);
    Clock.RestartSchedule(0);
    // The machine slept for a minute: five ticks run, the other 5,995 are dropped, and the
    // game goes on from the new now.
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(60000 * MS)), TPlayClock::MAX_DUE_TICKS);
    EXPECT_EQ(Clock.GetDroppedTicks(), 5995u);
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(60000 * MS)), 0);
    EXPECT_EQ(Clock.TakeDueTicks(Clock.PlayUs(60010 * MS)), 1);
    // A wall clock read before the last start holds play where it was.
    Clock.Run(false, 60010 * MS);
    Clock.Run(true, 60020 * MS);
    EXPECT_EQ(Clock.PlayUs(60015 * MS), static_cast<uint64_t>(60010 * MS));
}
