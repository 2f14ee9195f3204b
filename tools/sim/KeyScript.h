#pragma once
// A key script for headless play: lines "TICK KEY [KEY...]", each key a key-down that arrives
// before that tick, which gives the game its command. Keys: left right up space p m. Blank lines and lines starting with # are
// skipped. Scripts come from outside: only a regular file of bounded size is read, and a line
// that is too long or holds a NUL byte is refused.

#include "core/Commands.h"

#include <map>
#include <string>
#include <vector>

class TKeyScript
{
public:
    // Enough for a key on every tick of a three-hour game.
    static constexpr long MAX_FILE_BYTES = 64L * 1024 * 1024;
    static constexpr size_t MAX_LINE_BYTES = 1024;

    // False with a one-line message naming the file and, for its text, the line.
    bool Load(const std::string& strPath, std::string& strError);
    bool Parse(const std::string& strText, std::string& strError);
    // A key-down before the tick, after those the script has for it.
    void Add(long nTick, TCommand nKey) { m_mapKeys[nTick].push_back(nKey); }
    // The key-downs before the given tick, in script order.
    const std::vector<TCommand>& KeysBefore(long nTick) const;

private:
    bool ParseLine(const std::string& strLine, std::string& strError);

    std::map<long, std::vector<TCommand>> m_mapKeys;
};
