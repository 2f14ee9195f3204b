#include "service/ScorePage.h"

#include <nlohmann/json.hpp>

#include <ctime>

namespace {
// Small screens first: the table fills the width, a long name wraps instead of widening it, and
// the level gives way on the narrowest.
constexpr const char* STYLE = R"(
body { margin: 0; padding: 1rem; background: #000; color: #e8e8e8; font: 16px/1.4 "DejaVu Sans", sans-serif; }
h1 { font-size: 1.4rem; margin: 0 0 .25rem; color: #ffd24a; letter-spacing: .05em; }
p { margin: 0 0 1rem; color: #a0a0a0; font-size: .9rem; }
table { width: 100%; max-width: 48rem; border-collapse: collapse; }
th, td { padding: .45rem .4rem; text-align: left; border-bottom: 1px solid #333; }
th { color: #ffd24a; font-weight: normal; font-size: .85rem; text-transform: uppercase; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
td.name { overflow-wrap: anywhere; word-break: break-word; max-width: 12rem; }
td.date { white-space: nowrap; }
a { color: #7cc4ff; }
@media (max-width: 30rem) { .level { display: none; } body { padding: .5rem; font-size: 15px; } }
)";

std::string FormatDate(int64_t nDate, const char* szFormat)
{
    const std::time_t nTime = static_cast<std::time_t>(nDate);
    std::tm Tm{};
    gmtime_r(&nTime, &Tm);
    char szDate[32];
    std::strftime(szDate, sizeof szDate, szFormat, &Tm);
    return szDate;
}
}  // namespace

std::string TScorePage::IsoDate(int64_t nDate)
{
    return FormatDate(nDate, "%Y-%m-%dT%H:%M:%SZ");
}

std::string TScorePage::EscapeHtml(const std::string& strText)
{
    std::string strOut;
    strOut.reserve(strText.size());
    for (const char c : strText) {
        switch (c) {
        case '&': strOut += "&amp;"; break;
        case '<': strOut += "&lt;"; break;
        case '>': strOut += "&gt;"; break;
        case '"': strOut += "&quot;"; break;
        case '\'': strOut += "&#39;"; break;
        default: strOut += c;
        }
    }
    return strOut;
}

std::string TScorePage::Json(const std::vector<TScoreRow>& vecRows)
{
    nlohmann::json Rows = nlohmann::json::array();
    for (const TScoreRow& Row : vecRows)
        Rows.push_back({{"rank", Row.nRank}, {"id", Row.nId}, {"name", Row.strName}, {"score", Row.nScore},
                        {"level", Row.nLevel}, {"ticks", Row.nTicks}, {"date", IsoDate(Row.nDate)}});
    // Names are checked UTF-8; anything else would be replaced rather than thrown over.
    return Rows.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string TScorePage::Html(const std::vector<TScoreRow>& vecRows)
{
    std::string strPage =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Drelk II: the world table</title>\n<style>";
    strPage += STYLE;
    strPage +=
        "</style>\n</head>\n<body>\n<h1>Drelk II: the world table</h1>\n"
        "<p>Every score here was reached again by the service from the game's own replay.</p>\n";
    if (vecRows.empty()) {
        strPage += "<p>No game yet.</p>\n</body>\n</html>\n";
        return strPage;
    }
    strPage +=
        "<table>\n<thead><tr><th class=\"n\">#</th><th>Name</th><th class=\"n\">Score</th>"
        "<th class=\"n level\">Level</th><th>Date</th><th>Replay</th></tr></thead>\n<tbody>\n";
    for (const TScoreRow& Row : vecRows) {
        const std::string strId = std::to_string(Row.nId);
        strPage += "<tr><td class=\"n\">" + std::to_string(Row.nRank) + "</td><td class=\"name\">" +
                   EscapeHtml(Row.strName) + "</td><td class=\"n\">" + std::to_string(Row.nScore) +
                   "</td><td class=\"n level\">" + std::to_string(Row.nLevel) + "</td><td class=\"date\">" + FormatDate(Row.nDate, "%Y-%m-%d") +
                   "</td><td><a href=\"/replays/" + strId + "\" download=\"" + strId +
                   ".drelk2-replay\">replay</a></td></tr>\n";
    }
    strPage += "</tbody>\n</table>\n</body>\n</html>\n";
    return strPage;
}
