#pragma once
// When the window's ticks are due and where its frames lie between them, on one clock: the play
// clock, microseconds of play. It runs only while the game's ticks are due, so a resumed game
// goes on from where it stopped instead of catching up on the pause, and it runs faster while a
// replay plays faster. A tick is due every 10 ms of play; a frame drawn between two ticks shows
// the game that far (alpha) from the last tick to the next. Times come in from the caller's wall
// clock, so all of it is worked out, and tested, without a display.

#include <cstdint>

class TPlayClock
{
public:
    static constexpr uint64_t TICK_US = 10000;
    // The most ticks one late timer event runs at the normal speed; older due ticks are dropped,
    // so that a slow frame (or a suspended machine) slows the game a little instead of making
    // it jump.
    static constexpr int MAX_DUE_TICKS = 5;

    // Runs the play clock from the wall clock's nWallUs on, or holds it there.
    void Run(bool bRun, int64_t nWallUs);
    bool IsRunning() const { return m_bRunning; }
    // Play runs nSpeed times as fast as the wall clock from nWallUs on.
    void SetSpeed(int nSpeed, int64_t nWallUs);
    int GetSpeed() const { return m_nSpeed; }
    // The play clock at the wall clock's nWallUs.
    uint64_t PlayUs(int64_t nWallUs) const;

    // From now on one tick is due every 10 ms of play after nPlayUs.
    void RestartSchedule(uint64_t nPlayUs);
    // The ticks due by nPlayUs, at most MAX_DUE_TICKS times the speed of them, counted as run;
    // the rest of those due are dropped.
    int TakeDueTicks(uint64_t nPlayUs);
    // How far a frame at nPlayUs lies from the last tick taken to the next: 0 at the last, 1 at
    // the next or later.
    double AlphaAt(uint64_t nPlayUs) const;
    uint64_t GetDroppedTicks() const { return m_nDropped; }

private:
    uint64_t m_nPlayBaseUs = 0;  // the play clock when it last started, stopped or changed speed
    int64_t m_nWallBaseUs = 0;   // the wall clock then
    bool m_bRunning = false;
    int m_nSpeed = 1;
    uint64_t m_nNextDueUs = TICK_US;
    uint64_t m_nDropped = 0;
};
