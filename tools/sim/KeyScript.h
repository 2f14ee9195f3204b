#pragma once
// A key script for headless play: lines "TICK KEY [KEY...]", each key a key-down that arrives
// before that tick. Keys: left right up space p m. Blank lines and lines starting with # are
// skipped.

#include "core/Game.h"

#include <map>
#include <string>
#include <vector>

class TKeyScript
{
public:
    // False with a one-line message naming the line.
    bool Load(const std::string& strPath, std::string& strError);
    bool Parse(const std::string& strText, std::string& strError);
    // The key-downs before the given tick, in script order.
    const std::vector<TGame::TKey>& KeysBefore(long nTick) const;

private:
    std::map<long, std::vector<TGame::TKey>> m_mapKeys;
};
