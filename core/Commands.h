#pragma once
// What a player can ask, whatever asked it: a key, a gamepad button, a replay. The input side
// turns its events into these through one binding table; the driver hands the game's to the
// game at a tick boundary and records them with the tick they came before.

#include <cstdint>

enum TCommand : uint8_t {
    // The game's: the steering ones latch until the next tick samples them; pause and music act
    // at once, in any state. These are what a replay holds.
    CMD_TURN_LEFT,
    CMD_TURN_RIGHT,
    CMD_THRUST,
    CMD_FIRE,
    CMD_PAUSE,
    CMD_MUSIC,
    CMD_GAME_COUNT,
    // The window's: they change how the game is shown, never the game.
    CMD_LEAVE = CMD_GAME_COUNT,
    CMD_FULL_SCREEN,
    CMD_FASTER,  // a replay plays faster, round to the normal speed again
    CMD_COUNT
};

constexpr bool IsGameCommand(int nCommand)
{
    return nCommand >= 0 && nCommand < CMD_GAME_COUNT;
}
