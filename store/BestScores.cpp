#include "store/BestScores.h"

#include <QList>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

namespace {
const char HEADER[] = "drelk2 best scores 1";
const char FILE_NAME[] = "scores";
const char BACKUP_NAME[] = "scores.bak";
// The longest number a field may hold: 2^31 - 1 has ten digits.
constexpr int MAX_DIGITS = 10;

// A whole number from 0 to 2^31 - 1 in plain digits; -1 for anything else.
int64_t ParseCount(const QByteArray& Field)
{
    if (Field.isEmpty() || Field.size() > MAX_DIGITS)
        return -1;
    int64_t nValue = 0;
    for (const char c : Field) {
        if (c < '0' || c > '9')
            return -1;
        nValue = nValue * 10 + (c - '0');
    }
    return nValue <= std::numeric_limits<int32_t>::max() ? nValue : -1;
}

bool ParseEntry(const QByteArray& Line, TBestScores::TEntry& Entry)
{
    const QList<QByteArray> vecFields = Line.split(' ');
    if (vecFields.size() != 3)
        return false;
    const int64_t nScore = ParseCount(vecFields[0]);
    const int64_t nLevel = ParseCount(vecFields[1]);
    const QDateTime When = QDateTime::fromString(QString::fromLatin1(vecFields[2]), Qt::ISODate);
    if (nScore < 0 || nLevel < 1 || !When.isValid())
        return false;
    Entry.nScore = static_cast<int32_t>(nScore);
    Entry.nLevel = static_cast<int32_t>(nLevel);
    Entry.When = When.toUTC();
    return true;
}
}  // namespace

QString TBestScores::DefaultFolder()
{
    return TKeptFiles::DataFolder();
}

TBestScores::TBestScores(const QString& strFolder, TKeptFiles::TSay pSay, TAccess nAccess)
    : m_strFolder(strFolder),
      m_strPath(strFolder + '/' + FILE_NAME),
      m_strBackup(strFolder + '/' + BACKUP_NAME),
      m_pSay(std::move(pSay)),
      m_nAccess(nAccess)
{
    QString strError;
    m_bWritable = m_nAccess == ACCESS_RECORD && TKeptFiles::PrepareFolder(m_strFolder, strError);
    if (!m_bWritable) {
        if (m_nAccess == ACCESS_RECORD)
            NotKept(strError);
        m_bKept = false;
        Load(LOAD_READ);
        if (!m_strDamaged.isEmpty())
            m_pSay("best scores: " + m_strDamaged.toStdString() + "; shown as far as it can be read");
        if (!m_strUnreadable.isEmpty())
            m_pSay("best scores: " + m_strUnreadable.toStdString());
        return;
    }
    TKeptFiles::RemoveLeftovers(m_strFolder, {FILE_NAME, BACKUP_NAME});
    if (Load(LOAD_READ)) {
        TKeptFiles::TLock Lock(m_strFolder);
        SayIfNotLocked(Lock);
        Load(LOAD_REWRITE);
    }
    if (!m_strUnreadable.isEmpty())
        m_pSay("best scores: " + m_strUnreadable.toStdString() + "; the table is left as it is");
}

void TBestScores::NotKept(const QString& strReason)
{
    if (m_bKept)
        m_pSay("best scores are not kept: " + strReason.toStdString());
    m_bKept = false;
}

void TBestScores::SayIfNotLocked(const TKeptFiles::TLock& Lock)
{
    if (!Lock.IsHeld())
        m_pSay("best scores: " + Lock.GetError().toStdString() + "; written without the lock");
}

// Best first; of equal scores the earlier game first.
void TBestScores::Rank(std::vector<TEntry>& vecEntries)
{
    std::stable_sort(vecEntries.begin(), vecEntries.end(), [](const TEntry& a, const TEntry& b) {
        return a.nScore != b.nScore ? a.nScore > b.nScore : a.When < b.When;
    });
    if (vecEntries.size() > static_cast<size_t>(MAX_ENTRIES))
        vecEntries.resize(MAX_ENTRIES);
}

TBestScores::TCopy TBestScores::ReadCopy(const QString& strPath)
{
    TCopy Copy;
    QByteArray Bytes;
    Copy.nRead = TKeptFiles::Read(strPath, MAX_FILE_BYTES, TKeptFiles::MAX_SALVAGE_BYTES, Bytes, Copy.strReason);
    if (Copy.nRead != TKeptFiles::READ_OK && Copy.nRead != TKeptFiles::READ_DAMAGED)
        return Copy;
    QString strError;
    if (!Parse(Bytes, Copy.vecEntries, strError) && Copy.nRead == TKeptFiles::READ_OK) {
        Copy.nRead = TKeptFiles::READ_DAMAGED;
        Copy.strReason = strPath + ": " + strError;
    }
    return Copy;
}

bool TBestScores::Load(TLoad nLoad)
{
    const TCopy Table = ReadCopy(m_strPath);
    const TCopy Backup = ReadCopy(m_strBackup);
    m_vecEntries = Table.vecEntries;
    if (Table.nRead != TKeptFiles::READ_OK)
        for (const TEntry& Entry : Backup.vecEntries)
            if (std::find(m_vecEntries.begin(), m_vecEntries.end(), Entry) == m_vecEntries.end())
                m_vecEntries.push_back(Entry);
    Rank(m_vecEntries);
    m_bTableOnDisk = Table.nRead == TKeptFiles::READ_OK;
    m_strDamaged = Table.nRead == TKeptFiles::READ_DAMAGED ? Table.strReason : QString();
    m_strUnreadable = Table.nRead == TKeptFiles::READ_UNAVAILABLE ? Table.strReason : QString();
    const bool bBackupDamaged = Backup.nRead == TKeptFiles::READ_DAMAGED;
    const bool bTableDamaged = Table.nRead == TKeptFiles::READ_DAMAGED;
    const bool bRestore = Table.nRead == TKeptFiles::READ_MISSING && !m_vecEntries.empty();
    if (nLoad == LOAD_READ)
        return bBackupDamaged || bTableDamaged || bRestore;

    if (bBackupDamaged)
        SetAside(m_strBackup, Backup, "the best scores' backup");
    if (bTableDamaged && !SetAside(m_strPath, Table, "best scores")) {
        // Nothing is written over a table that could not be moved out of the way.
        m_strUnreadable = Table.strReason;
        return true;
    }
    if ((bTableDamaged || bRestore) && nLoad == LOAD_REWRITE) {
        QString strError;
        m_bTableOnDisk = TKeptFiles::Write(m_strPath, Serialize(m_vecEntries), strError);
        if (!m_bTableOnDisk)
            m_pSay("best scores could not be written again: " + strError.toStdString());
        else if (!bTableDamaged && Backup.nRead == TKeptFiles::READ_OK)
            m_pSay("best scores restored from " + m_strBackup.toStdString());
    }
    return true;
}

// Moves a copy that cannot serve out of the way; its good lines are in the table already.
bool TBestScores::SetAside(const QString& strPath, const TCopy& Copy, const char* szWhat)
{
    QString strError;
    const QString strAside = TKeptFiles::SetAside(strPath, strError);
    if (strAside.isEmpty()) {
        m_pSay(std::string(szWhat) + " cannot be set aside: " + Copy.strReason.toStdString() + "; " +
               strError.toStdString());
        return false;
    }
    m_pSay(std::string(szWhat) + " set aside as " + strAside.toStdString() + ": " + Copy.strReason.toStdString());
    return true;
}

int TBestScores::Record(int32_t nScore, int32_t nLevel, const QDateTime& When)
{
    if (nScore <= 0)
        return 0;
    std::unique_ptr<TKeptFiles::TLock> pLock;
    if (m_bWritable) {
        pLock = std::make_unique<TKeptFiles::TLock>(m_strFolder);
        // The table is written below, with this game.
        Load(LOAD_SET_ASIDE);
    }
    const std::vector<TEntry> vecBefore = m_vecEntries;
    const TEntry Game{nScore, std::max(nLevel, 1), When.toUTC()};
    m_vecEntries.push_back(Game);
    Rank(m_vecEntries);
    const auto it = std::find(m_vecEntries.begin(), m_vecEntries.end(), Game);
    if (it == m_vecEntries.end())
        return 0;
    const int nPlace = static_cast<int>(it - m_vecEntries.begin()) + 1;
    if (!m_bWritable)
        return nPlace;
    if (!m_strUnreadable.isEmpty()) {
        m_pSay("best scores are not kept: " + m_strUnreadable.toStdString() + "; the table is left as it is");
        m_bKept = false;
        return nPlace;
    }
    SayIfNotLocked(*pLock);
    m_bKept = Save(vecBefore);
    return nPlace;
}

// The table as it was goes to the backup first, then the new one over the table: a crash
// between the two leaves the old table in place. Without a table on disk the backup may be
// the only good copy, and is left alone.
bool TBestScores::Save(const std::vector<TEntry>& vecBefore)
{
    QString strError;
    if ((m_bTableOnDisk && !TKeptFiles::Write(m_strBackup, Serialize(vecBefore), strError)) ||
        !TKeptFiles::Write(m_strPath, Serialize(m_vecEntries), strError)) {
        m_pSay("best scores are not kept: " + strError.toStdString());
        return false;
    }
    m_bTableOnDisk = true;
    return true;
}

QByteArray TBestScores::Serialize(const std::vector<TEntry>& vecEntries)
{
    QByteArray Bytes = QByteArray(HEADER) + '\n';
    for (const TEntry& Entry : vecEntries)
        Bytes += QByteArray::number(Entry.nScore) + ' ' + QByteArray::number(Entry.nLevel) + ' ' +
                 Entry.When.toUTC().toString(Qt::ISODate).toLatin1() + '\n';
    return Bytes;
}

bool TBestScores::Parse(const QByteArray& Bytes, std::vector<TEntry>& vecEntries, QString& strError)
{
    vecEntries.clear();
    strError.clear();
    QList<QByteArray> vecLines = Bytes.split('\n');
    // What follows the last line feed: nothing in a whole file.
    const QByteArray Tail = vecLines.takeLast();
    if (vecLines.isEmpty() || vecLines.front() != HEADER) {
        strError = "not a table of best scores";
        return false;
    }
    for (int i = 1; i < vecLines.size(); ++i) {
        TEntry Entry;
        if (ParseEntry(vecLines[i], Entry))
            vecEntries.push_back(Entry);
        else if (strError.isEmpty())
            strError = QString("line %1 is not \"SCORE LEVEL DATE\"").arg(i + 1);
    }
    if (!Tail.isEmpty() && strError.isEmpty())
        strError = "its last line is cut short";
    if (vecEntries.size() > static_cast<size_t>(MAX_ENTRIES) && strError.isEmpty())
        strError = QString("more than %1 games").arg(MAX_ENTRIES);
    Rank(vecEntries);
    return strError.isEmpty();
}

std::string TBestScores::ToText() const
{
    if (m_vecEntries.empty())
        return "No best scores yet.\n";
    std::string strText;
    char szLine[128];
    for (size_t i = 0; i < m_vecEntries.size(); ++i) {
        const TEntry& Entry = m_vecEntries[i];
        std::snprintf(szLine, sizeof(szLine), "%2zu. %10d  level %-5d  %s\n", i + 1, Entry.nScore, Entry.nLevel,
                      qPrintable(Entry.When.toLocalTime().toString("yyyy-MM-dd hh:mm")));
        strText += szLine;
    }
    return strText;
}
