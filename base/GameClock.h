#pragma once
// The clocks of the game: the 32-bit millisecond tick count and the effects' timer sensors.
// In the game both follow the wall clock (timer sensors are scheduled with the scene library).
// Headless tools and tests switch to virtual time: the tick count starts where they say,
// moves only through Advance(), and Advance() fires the due timer sensors itself, in time
// order, so a headless run is reproducible.

#include <cstdint>
#include <vector>

class SoTimerSensor;

class TGameClock
{
public:
    static void UseVirtualTime(uint32_t nStartMs = 0);
    static void UseRealTime();
    static bool IsVirtual();

    // Milliseconds since an arbitrary start; wraps after 2^32.
    static uint32_t GetTickCount();

    // Virtual time only: moves the clock and fires every timer sensor that falls due.
    static void Advance(uint32_t nMs);

    // Timer sensors of the effects go through here instead of schedule()/unschedule().
    static void Schedule(SoTimerSensor* pSensor);
    static void Unschedule(SoTimerSensor* pSensor);
    static int VirtualSensorCount();

private:
    struct TEntry
    {
        SoTimerSensor* pSensor;
        uint64_t nDueMs;
        uint64_t nIntervalMs;
    };
    static bool s_bVirtual;
    static uint64_t s_nVirtualMs;
    static std::vector<TEntry> s_vecSensors;
};
