#pragma once
// The world table's storage: one row a verified game (the player's name, the score, level and
// ticks the checker reached, when it came, the replay itself and the key that tells one game
// from another), in an SQLite file or on a PostgreSQL server. Every statement is prepared, every
// value bound. A row is stored by one committed transaction: once Add has said STORE_ADDED it is
// on disk, and a process killed before leaves no part of it.
//
// Ranks count the rows not set aside, best score first, the earlier of two equal scores first.
// A database that cannot serve (a server stopped, a full disk) gives STORE_UNAVAILABLE with the
// reason; the next call tries again, so the table comes back by itself when the database does.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using TGameKey = std::vector<uint8_t>;

struct TNewScore
{
    std::string strName;
    int32_t nScore = 0;
    int32_t nLevel = 1;
    uint32_t nTicks = 0;
    int64_t nDate = 0;  // seconds since 1970, UTC
    uint32_t nRulesVersion = 0;
    TGameKey Key;
    std::vector<uint8_t> Replay;
};

struct TScoreRow
{
    int64_t nRank = 0;
    int64_t nId = 0;
    std::string strName;
    int32_t nScore = 0;
    int32_t nLevel = 1;
    uint32_t nTicks = 0;
    int64_t nDate = 0;
};

class TScoreTable
{
public:
    enum TStore { STORE_ADDED, STORE_DUPLICATE, STORE_UNAVAILABLE };
    // Most rows one listing returns.
    static constexpr int MAX_LIST = 1000;

    virtual ~TScoreTable() = default;

    // The table a target names: "postgresql://..." or "postgres://..." (a connection URI, as
    // libpq reads it) is a PostgreSQL server, anything else an SQLite file, made when missing.
    // Null with the reason when it cannot be opened or its schema made.
    static std::unique_ptr<TScoreTable> Open(const std::string& strTarget, std::string& strError);
    // What to show of a target in a log: the URI without its password.
    static std::string Describe(const std::string& strTarget);

    // Stores the game; nId and nRank of the new row are set when it is added.
    virtual TStore Add(const TNewScore& Score, int64_t& nId, int64_t& nRank, std::string& strError) = 0;
    // Whether a game with this key is in the table (set aside or not); nullopt when the
    // database cannot tell.
    virtual std::optional<bool> HasKey(const TGameKey& Key, std::string& strError) = 0;
    // The best nLimit rows, best first, ranked; false when the database cannot serve.
    virtual bool List(int nLimit, std::vector<TScoreRow>& vecRows, std::string& strError) = 0;
    // A stored replay's bytes; false with an empty reason when there is no row nId (or it is
    // set aside), with the reason when the database cannot serve.
    virtual bool GetReplay(int64_t nId, std::vector<uint8_t>& Replay, std::string& strError) = 0;

    // For re-verification: the ids of every row not set aside, in id order.
    virtual bool ListIds(std::vector<int64_t>& vecIds, std::string& strError) = 0;
    // The row as stored (the rank left 0).
    virtual bool GetRow(int64_t nId, TScoreRow& Row, std::string& strError) = 0;
    // Takes the row out of the table, keeping it with the reason.
    virtual bool SetAside(int64_t nId, const std::string& strReason, std::string& strError) = 0;
};
