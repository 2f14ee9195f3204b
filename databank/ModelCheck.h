#pragma once
// What a scene read from a model must be before the game draws it. Coin's drawing and bounding
// box code trusts a scene: it follows links without end, recurses as deep as the scene nests,
// divides by a switch's child count and indexes coordinate, normal, texture coordinate and
// colour arrays with whatever indices a shape holds, unchecked outside Coin's debug builds. A
// model from a data file gets none of that trust:
// - no node inside itself, nesting at most MAX_DEPTH deep, at most MAX_INSTANCES nodes drawn;
// - no switch that inherits its choice and has no child to choose;
// - every index and count of every shape within the arrays that the scene holds at that shape
//   when drawn (bindings per vertex, face and part, indexed or not), and no vertex properties
//   of a shape's own.

#include <string>

class SoNode;

class TModelCheck
{
public:
    static constexpr int MAX_DEPTH = 256;
    static constexpr int MAX_INSTANCES = 65536;

    // Empty when the scene may be drawn; otherwise what is wrong with it, naming the node.
    // A scene linked into itself is taken apart, so that it can be freed.
    static std::string Check(SoNode* pScene);
};
