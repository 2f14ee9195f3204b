#pragma once
// The numbers the game's rules are made of, each named once. The rules, the window's and the
// simulator's options and the tests read them from here.

#include <cstdint>

struct TRules
{
    // Raised whenever a change makes the same commands play another game (a draw, an order, a
    // rounding, a number below, what a digest covers): a replay recorded under other rules is
    // refused, not misplayed. Only the rules raise it; a new release with the same rules plays
    // every replay of the last. 2: the rules' own arithmetic, the same on every machine.
    static constexpr uint32_t VERSION = 2;

    // The play field: x from -30 to 30, y from -20 to 20 in the plane z = 0.
    static constexpr float FIELD_HALF_WIDTH = 30.0f;
    static constexpr float FIELD_HALF_HEIGHT = 20.0f;
    // The fixed step of a tick: the single-precision 0.1, widened; and the game clock's step,
    // 10 ms, whether the game ticks or not.
    static constexpr double TICK_DT = static_cast<double>(0.1f);
    static constexpr uint32_t TICK_MS = 10;

    // A key tick of left or right turns the ship this far; up thrusts with this amount, the
    // single-precision value widened to double when applied.
    static constexpr double TURN_STEP_DEGREES = 16.0;
    static constexpr float THRUST = 0.2f;

    // Level n starts with n times this many large rocks.
    static constexpr int ASTEROIDS_PER_LEVEL = 8;
    // The highest level a game may be started at (--level): its 80,000 rocks still start.
    static constexpr int MAX_LEVEL = 10000;
    // Playing ticks without a rock before the next level starts.
    static constexpr int LEVEL_END_TICKS = 100;
    // Ticks a lost ship waits, at least, before it comes back.
    static constexpr int RESPAWN_TICKS = 200;
    // A new level's rock is moved to a fresh place at most this often when it overlaps
    // another; after that it stays where it is, so a crowded level still starts.
    static constexpr int MAX_PLACEMENT_ATTEMPTS = 100;
    static constexpr int32_t SHIPS = 3;
    static constexpr float MUSIC_VOLUME = 0.2f;
};
