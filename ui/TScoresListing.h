#pragma once
// drelk2 --scores: the best scores for a person to read, each marked when its replay is kept.
// Only read: nothing is made, moved or written.

#include <string>

class TScoresListing
{
public:
    static std::string Text();
};
