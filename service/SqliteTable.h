#pragma once
// The world table in one SQLite file: write-ahead log, every commit synced (synchronous=FULL),
// one connection shared by the service's threads under a lock. Other processes on the same file
// wait up to BUSY_MS for its lock.

#include "service/ScoreTable.h"

#include <mutex>

struct sqlite3;
struct sqlite3_stmt;

class TSqliteTable : public TScoreTable
{
public:
    static constexpr int BUSY_MS = 5000;

    ~TSqliteTable() override;
    // Null with the reason when the file cannot be opened or made a table.
    static std::unique_ptr<TSqliteTable> Open(const std::string& strPath, std::string& strError);

    TStore Add(const TNewScore& Score, int64_t& nId, int64_t& nRank, std::string& strError) override;
    std::optional<bool> HasKey(const TGameKey& Key, std::string& strError) override;
    bool List(int nLimit, std::vector<TScoreRow>& vecRows, std::string& strError) override;
    bool GetReplay(int64_t nId, std::vector<uint8_t>& Replay, std::string& strError) override;
    bool ListIds(std::vector<int64_t>& vecIds, std::string& strError) override;
    bool GetRow(int64_t nId, TScoreRow& Row, std::string& strError) override;
    bool SetAside(int64_t nId, const std::string& strReason, std::string& strError) override;

private:
    TSqliteTable() = default;
    bool Exec(const char* szSql, std::string& strError);
    // A prepared statement for the text, made once; null with the reason.
    sqlite3_stmt* Statement(const char* szSql, std::string& strError);
    std::string Reason(const char* szDoing) const;
    // The statement for szSql with Bind's parameters, OnRow given each row it yields; false with
    // the reason (what was being done) when it could not be prepared or run to its end.
    template <typename TBind, typename TOnRow>
    bool Query(const char* szSql, const char* szDoing, TBind Bind, TOnRow OnRow, std::string& strError);

    sqlite3* m_pDb = nullptr;
    std::vector<std::pair<const char*, sqlite3_stmt*>> m_vStatements;
    std::mutex m_Lock;
};
