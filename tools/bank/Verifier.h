#pragma once
// Checks a data file against what the game asks of it: every list and item present with its
// kind, textures holding exactly width x height x components bytes, sounds that SDL2_mixer
// decodes, pictures that decode, a model list with a readable scene. One line per problem.

#include <string>
#include <vector>

class TBankVerifier
{
public:
    // The problems found; empty when the file serves the game.
    static std::vector<std::string> Verify(const std::string& strDataFile);
};
