#pragma once
// The world table as its readers get it: a JSON array for programs (the game's --world), and an
// HTML page for people, phones first. Every name is escaped wherever it goes.

#include "service/ScoreTable.h"

#include <string>
#include <vector>

class TScorePage
{
public:
    // [{"rank", "id", "name", "score", "level", "ticks", "date"}, ...], dates in ISO 8601 UTC.
    static std::string Json(const std::vector<TScoreRow>& vecRows);
    // The whole page: rank, name, score, level, date and a link to each replay.
    static std::string Html(const std::vector<TScoreRow>& vecRows);

    // Text made safe inside an HTML element or a quoted attribute.
    static std::string EscapeHtml(const std::string& strText);
    // "2026-12-11T08:02:20Z"
    static std::string IsoDate(int64_t nDate);
};
