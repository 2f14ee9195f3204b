#pragma once
// A pseudo-random generator: state = state * 22695477 + 1 (mod 2^32); a draw is bits 16..30 of
// the new state. A game owns one for its rules, drawn in an order the rules fix, so the same
// commands on the same ticks make the same draws wherever the game runs; the effects own
// another, so that how they look never moves the rules' draws.

#include <cstdint>

class TRandom
{
public:
    static constexpr int32_t MAX = 32767;
    // The start-up state is 1.
    static constexpr uint32_t START_STATE = 1;

    explicit TRandom(uint32_t nState = START_STATE) : m_nState(nState) {}

    // An integer from 0 to MAX.
    int32_t Draw();
    // A draw scaled to [0, 1].
    double DrawUnit() { return Draw() / static_cast<double>(MAX); }
    // Sets the state to s and discards one draw.
    void Seed(uint32_t s);
    uint32_t GetState() const { return m_nState; }

private:
    uint32_t m_nState;
};
