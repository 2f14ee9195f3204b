#include "service/PostgresTable.h"

#include "service/TableSql.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr const char* SCHEMA_FOR_POSTGRES =
    "CREATE TABLE IF NOT EXISTS scores ("
    " id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
    " name TEXT NOT NULL,"
    " score INTEGER NOT NULL,"
    " level INTEGER NOT NULL,"
    " ticks BIGINT NOT NULL,"
    " submitted BIGINT NOT NULL,"
    " rules_version BIGINT NOT NULL,"
    " game_key BYTEA NOT NULL UNIQUE,"
    " replay BYTEA NOT NULL,"
    " set_aside TEXT)";
// Two processes starting together would race on the catalog making the same table: the first
// makes it under this lock, the second finds it made.
constexpr const char* SCHEMA_LOCK = "SELECT pg_advisory_lock(722651)";
constexpr const char* SCHEMA_UNLOCK = "SELECT pg_advisory_unlock(722651)";
constexpr const char* UNIQUE_VIOLATION = "23505";

struct TPrepared
{
    const char* szName;
    const char* szSql;
    int nParams;
};
const TPrepared STATEMENTS[] = {
    {"insert", TableSql::INSERT, 8}, {"rank", TableSql::RANK, 2}, {"has_key", TableSql::HAS_KEY, 1},
    {"list", TableSql::LIST, 1},     {"replay", TableSql::REPLAY, 1}, {"ids", TableSql::IDS, 0},
    {"row", TableSql::ROW, 1},       {"set_aside", TableSql::SET_ASIDE, 2},
};

// libpq's messages end in a newline and may hold several lines: a log takes one.
std::string OneLine(std::string strText)
{
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == ' '))
        strText.pop_back();
    for (char& c : strText)
        if (c == '\n')
            c = ' ';
    return strText;
}

int64_t Number(pg_result* pResult, int nRow, int nColumn)
{
    return std::strtoll(PQgetvalue(pResult, nRow, nColumn), nullptr, 10);
}

void ReadRow(pg_result* pResult, int nRow, TScoreRow& Row)
{
    Row.nId = Number(pResult, nRow, 0);
    Row.strName.assign(PQgetvalue(pResult, nRow, 1), static_cast<size_t>(PQgetlength(pResult, nRow, 1)));
    Row.nScore = static_cast<int32_t>(Number(pResult, nRow, 2));
    Row.nLevel = static_cast<int32_t>(Number(pResult, nRow, 3));
    Row.nTicks = static_cast<uint32_t>(Number(pResult, nRow, 4));
    Row.nDate = Number(pResult, nRow, 5);
}

// The result freed however the caller leaves.
struct TResult
{
    pg_result* p;
    explicit TResult(pg_result* pResult) : p(pResult) {}
    ~TResult() { PQclear(p); }
    TResult(const TResult&) = delete;
    TResult& operator=(const TResult&) = delete;
};
}  // namespace

TPostgresTable::~TPostgresTable()
{
    PQfinish(m_pConn);
}

std::unique_ptr<TPostgresTable> TPostgresTable::Open(const std::string& strUri, std::string& strError)
{
    std::unique_ptr<TPostgresTable> pTable(new TPostgresTable(strUri));
    std::lock_guard<std::mutex> Guard(pTable->m_Lock);
    if (!pTable->Connect(strError))
        return nullptr;
    return pTable;
}

bool TPostgresTable::Connect(std::string& strError)
{
    if (m_pConn && PQstatus(m_pConn) == CONNECTION_OK)
        return true;
    PQfinish(m_pConn);
    const std::string strTimeout = std::to_string(CONNECT_SECONDS);
    const char* vKeys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* vValues[] = {m_strUri.c_str(), strTimeout.c_str(), "drelk2-scores", nullptr};
    // expand_dbname: the URI is the connection string, the other keys add to it.
    m_pConn = PQconnectdbParams(vKeys, vValues, 1);
    if (!m_pConn || PQstatus(m_pConn) != CONNECTION_OK) {
        strError = "cannot connect: " + OneLine(m_pConn ? PQerrorMessage(m_pConn) : "out of memory");
        PQfinish(m_pConn);
        m_pConn = nullptr;
        return false;
    }
    // Notices (a table that exists already) are not worth a log line.
    PQsetNoticeProcessor(m_pConn, [](void*, const char*) {}, nullptr);
    if (Prepare(strError))
        return true;
    // A connection without its statements is no connection.
    PQfinish(m_pConn);
    m_pConn = nullptr;
    return false;
}

bool TPostgresTable::Prepare(std::string& strError)
{
    if (!Command(SCHEMA_LOCK, strError))
        return false;
    const bool bMade = Command(SCHEMA_FOR_POSTGRES, strError) && Command(TableSql::INDEX, strError);
    std::string strUnlock;
    Command(SCHEMA_UNLOCK, strUnlock);
    if (!bMade)
        return false;
    for (const TPrepared& Statement : STATEMENTS) {
        TResult Result(PQprepare(m_pConn, Statement.szName, Statement.szSql, Statement.nParams, nullptr));
        if (PQresultStatus(Result.p) != PGRES_COMMAND_OK) {
            strError = Reason("preparing a statement", Result.p);
            return false;
        }
    }
    return true;
}

bool TPostgresTable::Command(const char* szSql, std::string& strError)
{
    TResult Result(PQexec(m_pConn, szSql));
    const ExecStatusType nStatus = PQresultStatus(Result.p);
    if (nStatus == PGRES_COMMAND_OK || nStatus == PGRES_TUPLES_OK)
        return true;
    strError = Reason("running a command", Result.p);
    return false;
}

std::string TPostgresTable::Reason(const char* szDoing, pg_result* pResult) const
{
    std::string strText = pResult ? PQresultErrorMessage(pResult) : "";
    if (strText.empty() && m_pConn)
        strText = PQerrorMessage(m_pConn);
    strText = OneLine(strText);
    return std::string(szDoing) + ": " + (strText.empty() ? "the connection is lost" : strText);
}

pg_result* TPostgresTable::Run(const char* szName, const std::vector<TParam>& vecParams, std::string& strError,
                               bool bBinary)
{
    std::vector<const char*> vValues;
    std::vector<int> vLengths, vFormats;
    for (const TParam& Param : vecParams) {
        if (Param.pBytes) {
            vValues.push_back(reinterpret_cast<const char*>(Param.pBytes->data()));
            vLengths.push_back(static_cast<int>(Param.pBytes->size()));
            vFormats.push_back(1);
        } else {
            vValues.push_back(Param.strText.c_str());
            vLengths.push_back(0);
            vFormats.push_back(0);
        }
    }
    pg_result* pResult = PQexecPrepared(m_pConn, szName, static_cast<int>(vecParams.size()), vValues.data(),
                                        vLengths.data(), vFormats.data(), bBinary ? 1 : 0);
    const ExecStatusType nStatus = PQresultStatus(pResult);
    if (nStatus == PGRES_TUPLES_OK || nStatus == PGRES_COMMAND_OK)
        return pResult;
    strError = Reason(szName, pResult);
    const char* szState = PQresultErrorField(pResult, PG_DIAG_SQLSTATE);
    if (szState && std::strcmp(szState, UNIQUE_VIOLATION) == 0)
        strError = UNIQUE_VIOLATION;
    PQclear(pResult);
    return nullptr;
}

TScoreTable::TStore TPostgresTable::Add(const TNewScore& Score, int64_t& nId, int64_t& nRank, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    if (!Connect(strError) || !Command("BEGIN", strError))
        return STORE_UNAVAILABLE;
    TStore nStore = STORE_UNAVAILABLE;
    {
        TResult Insert(Run("insert",
                           {{Score.strName}, {std::to_string(Score.nScore)}, {std::to_string(Score.nLevel)},
                            {std::to_string(Score.nTicks)}, {std::to_string(Score.nDate)},
                            {std::to_string(Score.nRulesVersion)}, {"", &Score.Key}, {"", &Score.Replay}},
                           strError));
        if (Insert.p && PQntuples(Insert.p) == 1) {
            nId = Number(Insert.p, 0, 0);
            nStore = STORE_ADDED;
        } else if (strError == UNIQUE_VIOLATION) {
            nStore = STORE_DUPLICATE;
        }
    }
    if (nStore == STORE_ADDED) {
        TResult Rank(Run("rank", {{std::to_string(Score.nScore)}, {std::to_string(nId)}}, strError));
        if (Rank.p && PQntuples(Rank.p) == 1)
            nRank = Number(Rank.p, 0, 0);
        else
            nStore = STORE_UNAVAILABLE;
    }
    // The commit returns once the server has flushed it (synchronous_commit, on by default).
    if (nStore == STORE_ADDED && !Command("COMMIT", strError))
        nStore = STORE_UNAVAILABLE;
    if (nStore != STORE_ADDED && m_pConn && PQtransactionStatus(m_pConn) != PQTRANS_IDLE) {
        std::string strIgnored;
        Command("ROLLBACK", strIgnored);
    }
    return nStore;
}

std::optional<bool> TPostgresTable::HasKey(const TGameKey& Key, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    if (!Connect(strError))
        return std::nullopt;
    TResult Result(Run("has_key", {{"", &Key}}, strError));
    if (!Result.p)
        return std::nullopt;
    return PQntuples(Result.p) > 0;
}

bool TPostgresTable::List(int nLimit, std::vector<TScoreRow>& vecRows, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    vecRows.clear();
    if (!Connect(strError))
        return false;
    TResult Result(Run("list", {{std::to_string(nLimit)}}, strError));
    if (!Result.p)
        return false;
    for (int nRow = 0; nRow < PQntuples(Result.p); ++nRow) {
        TScoreRow Row;
        ReadRow(Result.p, nRow, Row);
        Row.nRank = nRow + 1;
        vecRows.push_back(std::move(Row));
    }
    return true;
}

bool TPostgresTable::GetReplay(int64_t nId, std::vector<uint8_t>& Replay, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    strError.clear();
    if (!Connect(strError))
        return false;
    TResult Result(Run("replay", {{std::to_string(nId)}}, strError, true));
    if (!Result.p || PQntuples(Result.p) != 1)
        return false;
    const auto* pBytes = reinterpret_cast<const uint8_t*>(PQgetvalue(Result.p, 0, 0));
    Replay.assign(pBytes, pBytes + PQgetlength(Result.p, 0, 0));
    return true;
}

bool TPostgresTable::ListIds(std::vector<int64_t>& vecIds, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    vecIds.clear();
    if (!Connect(strError))
        return false;
    TResult Result(Run("ids", {}, strError));
    if (!Result.p)
        return false;
    for (int nRow = 0; nRow < PQntuples(Result.p); ++nRow)
        vecIds.push_back(Number(Result.p, nRow, 0));
    return true;
}

bool TPostgresTable::GetRow(int64_t nId, TScoreRow& Row, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    strError.clear();
    if (!Connect(strError))
        return false;
    TResult Result(Run("row", {{std::to_string(nId)}}, strError));
    if (!Result.p || PQntuples(Result.p) != 1)
        return false;
    ReadRow(Result.p, 0, Row);
    return true;
}

bool TPostgresTable::SetAside(int64_t nId, const std::string& strReason, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    if (!Connect(strError))
        return false;
    TResult Result(Run("set_aside", {{std::to_string(nId)}, {strReason}}, strError));
    return Result.p != nullptr;
}
