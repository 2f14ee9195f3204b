#pragma once
// A player for headless runs: before each tick it looks at the game as a player sees it and
// gives the commands a steady player would (turn towards the nearest rock, fire when it lies
// ahead, thrust away when one comes too close). It makes long games with thousands of commands
// for the replays the checks and the measurements use, and demo games; what it decides is
// recorded like any player's commands, so a replay never needs it.

#include "core/Commands.h"

#include <vector>

class TGame;

class TAutopilot
{
public:
    // The commands to give before the next tick of this game.
    std::vector<TCommand> Decide(const TGame& Game);

private:
    int m_nSinceShot = 0;
    int m_nSinceThrust = 0;
};
