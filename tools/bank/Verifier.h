#pragma once
// Checks a data file against what the game asks of it: every list whole and readable, then the
// game's own check of its assets (every problem, not just the first), then what the game finds
// only in play: sounds that SDL2_mixer decodes. One line per problem.

#include <string>
#include <vector>

class TBankVerifier
{
public:
    // The problems found; empty when the file serves the game.
    static std::vector<std::string> Verify(const std::string& strDataFile);
};
