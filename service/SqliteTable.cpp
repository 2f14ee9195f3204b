#include "service/SqliteTable.h"

#include "service/TableSql.h"

#include <sqlite3.h>

namespace {
constexpr const char* SCHEMA_FOR_SQLITE =
    "CREATE TABLE IF NOT EXISTS scores ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL,"
    " score INTEGER NOT NULL,"
    " level INTEGER NOT NULL,"
    " ticks INTEGER NOT NULL,"
    " submitted INTEGER NOT NULL,"
    " rules_version INTEGER NOT NULL,"
    " game_key BLOB NOT NULL UNIQUE,"
    " replay BLOB NOT NULL,"
    " set_aside TEXT)";

// A statement's parameters bound by name, and the statement reset for its next use however the
// caller leaves.
class TBinding
{
public:
    explicit TBinding(sqlite3_stmt* pStatement) : m_pStatement(pStatement) {}
    ~TBinding()
    {
        sqlite3_reset(m_pStatement);
        sqlite3_clear_bindings(m_pStatement);
    }
    TBinding(const TBinding&) = delete;
    TBinding& operator=(const TBinding&) = delete;

    void Int(const char* szName, int64_t nValue) { sqlite3_bind_int64(m_pStatement, Index(szName), nValue); }
    void Text(const char* szName, const std::string& strValue)
    {
        sqlite3_bind_text(m_pStatement, Index(szName), strValue.data(), static_cast<int>(strValue.size()),
                          SQLITE_TRANSIENT);
    }
    void Blob(const char* szName, const std::vector<uint8_t>& Bytes)
    {
        sqlite3_bind_blob(m_pStatement, Index(szName), Bytes.data(), static_cast<int>(Bytes.size()), SQLITE_TRANSIENT);
    }
    int Step() { return sqlite3_step(m_pStatement); }
    sqlite3_stmt* Get() const { return m_pStatement; }

private:
    int Index(const char* szName) const { return sqlite3_bind_parameter_index(m_pStatement, szName); }
    sqlite3_stmt* m_pStatement;
};

std::string ColumnText(sqlite3_stmt* pStatement, int nColumn)
{
    const unsigned char* szText = sqlite3_column_text(pStatement, nColumn);
    return szText ? std::string(reinterpret_cast<const char*>(szText),
                                static_cast<size_t>(sqlite3_column_bytes(pStatement, nColumn)))
                  : std::string();
}

void ReadRow(sqlite3_stmt* pStatement, TScoreRow& Row)
{
    Row.nId = sqlite3_column_int64(pStatement, 0);
    Row.strName = ColumnText(pStatement, 1);
    Row.nScore = static_cast<int32_t>(sqlite3_column_int64(pStatement, 2));
    Row.nLevel = static_cast<int32_t>(sqlite3_column_int64(pStatement, 3));
    Row.nTicks = static_cast<uint32_t>(sqlite3_column_int64(pStatement, 4));
    Row.nDate = sqlite3_column_int64(pStatement, 5);
}
}  // namespace

TSqliteTable::~TSqliteTable()
{
    for (auto& Statement : m_vStatements)
        sqlite3_finalize(Statement.second);
    sqlite3_close(m_pDb);
}

std::unique_ptr<TSqliteTable> TSqliteTable::Open(const std::string& strPath, std::string& strError)
{
    std::unique_ptr<TSqliteTable> pTable(new TSqliteTable());
    // No URI, no following of a name into memory: a path is a path.
    const int nResult = sqlite3_open_v2(strPath.c_str(), &pTable->m_pDb,
                                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (nResult != SQLITE_OK) {
        strError = strPath + ": " + (pTable->m_pDb ? sqlite3_errmsg(pTable->m_pDb) : sqlite3_errstr(nResult));
        return nullptr;
    }
    sqlite3_busy_timeout(pTable->m_pDb, BUSY_MS);
    sqlite3_extended_result_codes(pTable->m_pDb, 1);
    // A kept answer is a synced commit; the log keeps readers and the writer apart.
    if (!pTable->Exec("PRAGMA journal_mode=WAL", strError) || !pTable->Exec("PRAGMA synchronous=FULL", strError) ||
        !pTable->Exec(SCHEMA_FOR_SQLITE, strError) || !pTable->Exec(TableSql::INDEX, strError)) {
        strError = strPath + ": " + strError;
        return nullptr;
    }
    return pTable;
}

bool TSqliteTable::Exec(const char* szSql, std::string& strError)
{
    char* szError = nullptr;
    if (sqlite3_exec(m_pDb, szSql, nullptr, nullptr, &szError) == SQLITE_OK)
        return true;
    strError = szError ? szError : sqlite3_errmsg(m_pDb);
    sqlite3_free(szError);
    return false;
}

sqlite3_stmt* TSqliteTable::Statement(const char* szSql, std::string& strError)
{
    for (const auto& Statement : m_vStatements)
        if (Statement.first == szSql)
            return Statement.second;
    sqlite3_stmt* pStatement = nullptr;
    if (sqlite3_prepare_v3(m_pDb, szSql, -1, SQLITE_PREPARE_PERSISTENT, &pStatement, nullptr) != SQLITE_OK) {
        strError = Reason("preparing a statement");
        return nullptr;
    }
    m_vStatements.emplace_back(szSql, pStatement);
    return pStatement;
}

std::string TSqliteTable::Reason(const char* szDoing) const
{
    return std::string(szDoing) + ": " + sqlite3_errmsg(m_pDb);
}

TScoreTable::TStore TSqliteTable::Add(const TNewScore& Score, int64_t& nId, int64_t& nRank, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    sqlite3_stmt* pInsert = Statement(TableSql::INSERT, strError);
    sqlite3_stmt* pRank = pInsert ? Statement(TableSql::RANK, strError) : nullptr;
    if (!pRank)
        return STORE_UNAVAILABLE;
    // The writer's lock at once: the rank is read in the same transaction as the row is added.
    if (!Exec("BEGIN IMMEDIATE", strError))
        return STORE_UNAVAILABLE;
    TStore nStore = STORE_UNAVAILABLE;
    {
        TBinding Insert(pInsert);
        Insert.Text("$1", Score.strName);
        Insert.Int("$2", Score.nScore);
        Insert.Int("$3", Score.nLevel);
        Insert.Int("$4", Score.nTicks);
        Insert.Int("$5", Score.nDate);
        Insert.Int("$6", Score.nRulesVersion);
        Insert.Blob("$7", Score.Key);
        Insert.Blob("$8", Score.Replay);
        const int nResult = Insert.Step();
        if (nResult == SQLITE_ROW) {
            nId = sqlite3_column_int64(pInsert, 0);
            nStore = STORE_ADDED;
        } else if (nResult == SQLITE_CONSTRAINT_UNIQUE) {
            nStore = STORE_DUPLICATE;
        } else {
            strError = Reason("adding the score");
        }
    }
    if (nStore == STORE_ADDED) {
        TBinding Rank(pRank);
        Rank.Int("$1", Score.nScore);
        Rank.Int("$2", nId);
        if (Rank.Step() == SQLITE_ROW) {
            nRank = sqlite3_column_int64(pRank, 0);
        } else {
            strError = Reason("ranking the score");
            nStore = STORE_UNAVAILABLE;
        }
    }
    if (nStore == STORE_ADDED && !Exec("COMMIT", strError))
        nStore = STORE_UNAVAILABLE;
    // A failed commit (a full disk) leaves the transaction open: nothing of it stays.
    if (nStore != STORE_ADDED && !sqlite3_get_autocommit(m_pDb)) {
        std::string strIgnored;
        Exec("ROLLBACK", strIgnored);
    }
    return nStore;
}

template <typename TBind, typename TOnRow>
bool TSqliteTable::Query(const char* szSql, const char* szDoing, TBind Bind, TOnRow OnRow, std::string& strError)
{
    sqlite3_stmt* pStatement = Statement(szSql, strError);
    if (!pStatement)
        return false;
    TBinding Binding(pStatement);
    Bind(Binding);
    int nResult;
    while ((nResult = Binding.Step()) == SQLITE_ROW)
        OnRow(pStatement);
    if (nResult == SQLITE_DONE)
        return true;
    strError = Reason(szDoing);
    return false;
}

std::optional<bool> TSqliteTable::HasKey(const TGameKey& Key, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    bool bFound = false;
    if (!Query(
            TableSql::HAS_KEY, "looking the game up", [&](TBinding& Binding) { Binding.Blob("$1", Key); },
            [&](sqlite3_stmt*) { bFound = true; }, strError))
        return std::nullopt;
    return bFound;
}

bool TSqliteTable::List(int nLimit, std::vector<TScoreRow>& vecRows, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    vecRows.clear();
    return Query(
        TableSql::LIST, "listing the scores", [&](TBinding& Binding) { Binding.Int("$1", nLimit); },
        [&](sqlite3_stmt* pStatement) {
            TScoreRow Row;
            ReadRow(pStatement, Row);
            Row.nRank = static_cast<int64_t>(vecRows.size()) + 1;
            vecRows.push_back(std::move(Row));
        },
        strError);
}

bool TSqliteTable::GetReplay(int64_t nId, std::vector<uint8_t>& Replay, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    strError.clear();
    bool bFound = false;
    return Query(
               TableSql::REPLAY, "reading the replay", [&](TBinding& Binding) { Binding.Int("$1", nId); },
               [&](sqlite3_stmt* pStatement) {
                   const auto* pBytes = static_cast<const uint8_t*>(sqlite3_column_blob(pStatement, 0));
                   Replay.assign(pBytes, pBytes + sqlite3_column_bytes(pStatement, 0));
                   bFound = true;
               },
               strError) &&
           bFound;
}

bool TSqliteTable::ListIds(std::vector<int64_t>& vecIds, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    vecIds.clear();
    return Query(
        TableSql::IDS, "listing the games", [](TBinding&) {},
        [&](sqlite3_stmt* pStatement) { vecIds.push_back(sqlite3_column_int64(pStatement, 0)); }, strError);
}

bool TSqliteTable::GetRow(int64_t nId, TScoreRow& Row, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    strError.clear();
    bool bFound = false;
    return Query(
               TableSql::ROW, "reading the game", [&](TBinding& Binding) { Binding.Int("$1", nId); },
               [&](sqlite3_stmt* pStatement) {
                   ReadRow(pStatement, Row);
                   bFound = true;
               },
               strError) &&
           bFound;
}

bool TSqliteTable::SetAside(int64_t nId, const std::string& strReason, std::string& strError)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    return Query(
        TableSql::SET_ASIDE, "setting the game aside",
        [&](TBinding& Binding) {
            Binding.Int("$1", nId);
            Binding.Text("$2", strReason);
        },
        [](sqlite3_stmt*) {}, strError);
}
