#pragma once
// One line of JSON with the game's state: counters, the ship, and every rock and missile in
// list order (purged entries left out), with numbers as the game holds them: the shortest text
// that reads back as the same single-precision value, whole numbers without a point.

#include <string>

class TGame;

std::string FormatStateJson(const TGame& Game, long nTick);
