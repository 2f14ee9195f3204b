#pragma once
// The game's one clock: game time, in milliseconds since the game started, moved only by the
// driver's tick (10 ms a tick), in the window as in headless runs. The effects' timer sensors,
// the engine sound's spacing, the level seed and the banners' blinking all run on it, so a game
// is a function of its commands: the same commands on the same ticks give the same game.
//
// The effects' timers are the scene library's timer sensors, but they are scheduled here, not
// with the library (which fires them by the wall clock): Advance fires the due ones itself, in
// time order. The library's global "realTime" field, which its blinkers follow, is set to game
// time too and no longer follows the wall clock.

#include <cstdint>
#include <vector>

class SoTimerSensor;

class TGameClock
{
public:
    // Game time back to nStartMs, with no timer scheduled: a fresh game's clock.
    static void Reset(uint32_t nStartMs = 0);

    // Milliseconds of game time; wraps after 2^32.
    static uint32_t GetTickCount();

    // Moves game time on and fires every timer sensor that falls due on the way.
    static void Advance(uint32_t nMs);

    // The effects' timer sensors go through here instead of schedule()/unschedule().
    static void Schedule(SoTimerSensor* pSensor);
    static void Unschedule(SoTimerSensor* pSensor);
    static int SensorCount();

private:
    static void SetSceneTime();

    struct TEntry
    {
        SoTimerSensor* pSensor;
        uint64_t nDueMs;
        uint64_t nIntervalMs;
    };
    static uint64_t s_nMs;
    static std::vector<TEntry> s_vecSensors;
};
