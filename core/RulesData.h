#pragma once
// What the rules read from the data file: the ship model's box, in the ship's own frame (the
// quarter turn that lays the model into the play plane made). Nothing else the file holds
// (pictures, sounds, music) reaches the rules, so a replay names exactly this: two data files
// whose bytes differ (art made anew, music rendered on another machine) play the same game as
// long as their ships have the same box.

#include "objects/CollisionBox.h"

#include <array>
#include <cstdint>
#include <string>

struct TRulesData
{
    static constexpr size_t BYTES = 32;
    using TBytes = std::array<uint8_t, BYTES>;

    TBox3 ShipBox;

    // As a replay stores it: the box's six floats, little-endian (minimum x, y, z, then
    // maximum), then zero bytes.
    TBytes ToBytes() const;
    static TRulesData FromBytes(const TBytes& Bytes);
    // "ship box (-0.3 -0.5 -0.1)-(0.3 0.5 0.1)", for a person to compare.
    static std::string Describe(const TBytes& Bytes);
};
