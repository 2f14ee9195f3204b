#pragma once
// The one pseudo-random generator of the game. Every draw comes from here, in an order the
// game code fixes: the rules draw during a tick, the effects' timers between ticks on the game
// clock, and a new level reseeds it from game time. So the same commands on the same ticks make
// the same draws, in the window as in a headless run.
// state = state * 22695477 + 1 (mod 2^32); a draw is bits 16..30 of the new state.

#include <cstdint>

class TRandom
{
public:
    static constexpr int32_t MAX = 32767;

    // An integer from 0 to MAX.
    static int32_t Draw();
    // Sets the state to s and discards one draw.
    static void Seed(uint32_t s);
    // Back to the start-up state (1), as at program start; for tools and tests.
    static void Reset();
    static uint32_t GetState();

private:
    static uint32_t s_nState;
};
