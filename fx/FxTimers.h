#pragma once
// The effects' timers, on one game's clock. The effects' timer sensors are the scene library's,
// but they are scheduled here, not with the library (which fires them by the wall clock):
// AdvanceTo fires the due ones itself, in time order, as the game's clock moves. Each game's
// scene owns its own, so two games keep their own effects' time. The library's global
// "realTime" field, which its blinkers follow, is set to the game's time too: a game drawn is
// shown at its own time.

#include <cstdint>
#include <vector>

class SoTimerSensor;

class TFxTimers
{
public:
    // Game time at nStartMs, nothing scheduled; the library's wall-clock updaters are switched
    // off for good.
    explicit TFxTimers(uint64_t nStartMs = 0);

    uint64_t GetMs() const { return m_nMs; }
    // Moves on to nMs of game time, firing every sensor that falls due on the way.
    void AdvanceTo(uint64_t nMs);
    // Sets the library's "realTime" to this game's time.
    void SetSceneTime() const;

    // The effects' timer sensors go through here instead of schedule()/unschedule().
    void Schedule(SoTimerSensor* pSensor);
    void Unschedule(SoTimerSensor* pSensor);
    int SensorCount() const { return static_cast<int>(m_vecSensors.size()); }

private:
    struct TEntry
    {
        SoTimerSensor* pSensor;
        uint64_t nDueMs;
        uint64_t nIntervalMs;
    };
    uint64_t m_nMs;
    std::vector<TEntry> m_vecSensors;
};
