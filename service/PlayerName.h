#pragma once
// A player's name in the world table: 1 to MAX_CHARACTERS characters of printable UTF-8. Names
// are shown on pages and in terminals: no control characters, no characters that change the
// direction or join of the text around them, no invisible ones, no spaces at either end.

#include <string>

class TPlayerName
{
public:
    static constexpr size_t MAX_CHARACTERS = 24;

    // Empty when the name serves; otherwise why not, in a few words.
    static std::string WhyNot(const std::string& strName);
};
