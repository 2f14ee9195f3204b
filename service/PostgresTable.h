#pragma once
// The world table on a PostgreSQL server, for a table that several service processes share. One
// connection a process, shared by its threads under a lock, its statements prepared once a
// connection. A connection that breaks (the server restarted or stopped) is made again at the
// next call; until then every call says the database is unavailable.

#include "service/ScoreTable.h"

#include <mutex>

struct pg_conn;
struct pg_result;

class TPostgresTable : public TScoreTable
{
public:
    // How long a connection attempt may take.
    static constexpr int CONNECT_SECONDS = 3;

    ~TPostgresTable() override;
    // Null with the reason when the server cannot be reached or the schema made.
    static std::unique_ptr<TPostgresTable> Open(const std::string& strUri, std::string& strError);

    TStore Add(const TNewScore& Score, int64_t& nId, int64_t& nRank, std::string& strError) override;
    std::optional<bool> HasKey(const TGameKey& Key, std::string& strError) override;
    bool List(int nLimit, std::vector<TScoreRow>& vecRows, std::string& strError) override;
    bool GetReplay(int64_t nId, std::vector<uint8_t>& Replay, std::string& strError) override;
    bool ListIds(std::vector<int64_t>& vecIds, std::string& strError) override;
    bool GetRow(int64_t nId, TScoreRow& Row, std::string& strError) override;
    bool SetAside(int64_t nId, const std::string& strReason, std::string& strError) override;

    // One parameter of a statement: text, or bytes sent as they are.
    struct TParam
    {
        std::string strText;
        const std::vector<uint8_t>* pBytes = nullptr;
    };

private:
    explicit TPostgresTable(std::string strUri) : m_strUri(std::move(strUri)) {}
    // A live connection with the statements prepared; false with the reason.
    bool Connect(std::string& strError);
    // The schema made if missing, and the statements prepared on the new connection.
    bool Prepare(std::string& strError);
    // Runs a prepared statement on the connection as it is (never one made anew in the middle of
    // a transaction); the result (to PQclear) or null with the reason. bBinary asks
    // for the columns' bytes as they are.
    pg_result* Run(const char* szName, const std::vector<TParam>& vecParams, std::string& strError,
                   bool bBinary = false);
    bool Command(const char* szSql, std::string& strError);
    std::string Reason(const char* szDoing, pg_result* pResult) const;

    std::string m_strUri;
    pg_conn* m_pConn = nullptr;
    std::mutex m_Lock;
};
