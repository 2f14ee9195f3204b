#include "store/BestScores.h"

#include <QList>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <limits>

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
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/drelk2";
}

TBestScores::TBestScores(const QString& strFolder, TKeptFiles::TSay pSay)
    : m_strFolder(strFolder),
      m_strPath(strFolder + '/' + FILE_NAME),
      m_strBackup(strFolder + '/' + BACKUP_NAME),
      m_pSay(std::move(pSay))
{
    QString strError;
    if (!TKeptFiles::PrepareFolder(m_strFolder, strError)) {
        NotKept(strError);
        return;
    }
    Load();
}

void TBestScores::NotKept(const QString& strReason)
{
    if (m_bKept)
        m_pSay("best scores are not kept: " + strReason.toStdString());
    m_bKept = false;
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

void TBestScores::Load()
{
    m_vecEntries.clear();
    m_bHaveFile = false;
    QByteArray Bytes;
    QString strError;
    std::vector<TEntry> vecEntries;
    switch (TKeptFiles::Read(m_strPath, MAX_FILE_BYTES, Bytes, strError)) {
    case TKeptFiles::READ_MISSING: return;
    case TKeptFiles::READ_REFUSED: break;
    case TKeptFiles::READ_OK:
        if (Parse(Bytes, vecEntries, strError)) {
            m_vecEntries = vecEntries;
            m_bHaveFile = true;
            return;
        }
        strError = m_strPath + ": " + strError;
        break;
    }
    Recover(vecEntries, strError);
}

// The damaged table goes aside; its good lines and the backup's become the table.
void TBestScores::Recover(const std::vector<TEntry>& vecSalvaged, const QString& strReason)
{
    QString strError;
    const QString strAside = TKeptFiles::SetAside(m_strPath, strError);
    if (strAside.isEmpty()) {
        NotKept(strReason + "; " + strError);
        m_vecEntries = vecSalvaged;
        Rank(m_vecEntries);
        return;
    }
    m_pSay("best scores set aside as " + strAside.toStdString() + ": " + strReason.toStdString());
    std::vector<TEntry> vecEntries = vecSalvaged;
    QByteArray Bytes;
    std::vector<TEntry> vecBackup;
    if (TKeptFiles::Read(m_strBackup, MAX_FILE_BYTES, Bytes, strError) == TKeptFiles::READ_OK) {
        Parse(Bytes, vecBackup, strError);
        for (const TEntry& Entry : vecBackup)
            if (std::find(vecEntries.begin(), vecEntries.end(), Entry) == vecEntries.end())
                vecEntries.push_back(Entry);
    }
    Rank(vecEntries);
    m_vecEntries = vecEntries;
    if (!m_vecEntries.empty())
        Save({}, false);
}

int TBestScores::Record(int32_t nScore, int32_t nLevel, const QDateTime& When)
{
    if (nScore <= 0)
        return 0;
    if (m_bKept)
        Load();
    const std::vector<TEntry> vecBefore = m_vecEntries;
    const TEntry Game{nScore, std::max(nLevel, 1), When.toUTC()};
    m_vecEntries.push_back(Game);
    Rank(m_vecEntries);
    const auto it = std::find(m_vecEntries.begin(), m_vecEntries.end(), Game);
    if (it == m_vecEntries.end())
        return 0;
    if (m_bKept)
        Save(vecBefore, m_bHaveFile);
    return static_cast<int>(it - m_vecEntries.begin()) + 1;
}

// The table as it was goes to the backup first, then the new one over the table: a crash
// between the two leaves the old table in place.
bool TBestScores::Save(const std::vector<TEntry>& vecBefore, bool bHadFile)
{
    QString strError;
    if ((bHadFile && !TKeptFiles::Write(m_strBackup, Serialize(vecBefore), strError)) ||
        !TKeptFiles::Write(m_strPath, Serialize(m_vecEntries), strError)) {
        NotKept(strError);
        return false;
    }
    m_bHaveFile = true;
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
