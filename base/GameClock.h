#pragma once
// A game's one clock: game time, in milliseconds since the game started, moved only by the
// driver's steps (10 ms a step), in the window as in headless runs. The level seed, the engine
// flame's flicker, the effects' timers, the engine sound's spacing and the banners' blinking all
// run on it, so a game is a function of its commands. Each game owns its clock: two games in one
// process keep their own time.

#include <cstdint>

class TGameClock
{
public:
    explicit TGameClock(uint64_t nStartMs = 0) : m_nMs(nStartMs) {}

    // Milliseconds of game time as a 32-bit count; wraps after 2^32.
    uint32_t GetTickCount() const { return static_cast<uint32_t>(m_nMs); }
    // The same, unwrapped.
    uint64_t GetMs() const { return m_nMs; }
    void Advance(uint32_t nMs) { m_nMs += nMs; }

private:
    uint64_t m_nMs;
};
