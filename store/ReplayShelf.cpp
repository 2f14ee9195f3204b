#include "store/ReplayShelf.h"

#include "store/KeptFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <set>

namespace {
// Only files named as the shelf names them are ever listed or removed.
const QRegularExpression NAME_PATTERN(R"(^\d{8}-\d{6}-score-\d{1,10}-level-\d{1,10}\.drelk2-replay$)");
}  // namespace

QString TReplayShelf::DefaultFolder()
{
    return TBestScores::DefaultFolder() + "/replays";
}

TReplayShelf::TReplayShelf(const QString& strFolder) : m_strFolder(strFolder)
{
}

QString TReplayShelf::NameFor(const QDateTime& When, int32_t nScore, int32_t nLevel)
{
    return When.toUTC().toString("yyyyMMdd-hhmmss") + QString("-score-%1-level-%2").arg(nScore).arg(nLevel) + SUFFIX;
}

QString TReplayShelf::PathOf(const TBestScores::TEntry& Entry) const
{
    const QString strPath = m_strFolder + '/' + NameFor(Entry.When, Entry.nScore, Entry.nLevel);
    return QFileInfo(strPath).isFile() ? strPath : QString();
}

bool TReplayShelf::Keep(const QDateTime& When, int32_t nScore, int32_t nLevel, const QByteArray& Bytes,
                        const std::vector<TBestScores::TEntry>& vecBest, QString& strError)
{
    if (!TKeptFiles::PrepareFolder(m_strFolder, strError))
        return false;
    if (!TKeptFiles::Write(m_strFolder + '/' + NameFor(When, nScore, nLevel), Bytes, strError))
        return false;
    Prune(vecBest);
    return true;
}

QStringList TReplayShelf::Names() const
{
    QStringList vecNames = QDir(m_strFolder).entryList({QString("*") + SUFFIX}, QDir::Files, QDir::Name | QDir::Reversed);
    vecNames.erase(std::remove_if(vecNames.begin(), vecNames.end(),
                                  [](const QString& strName) { return !NAME_PATTERN.match(strName).hasMatch(); }),
                   vecNames.end());
    return vecNames;
}

void TReplayShelf::Prune(const std::vector<TBestScores::TEntry>& vecBest) const
{
    std::set<QString> setListed;
    for (const TBestScores::TEntry& Entry : vecBest)
        setListed.insert(NameFor(Entry.When, Entry.nScore, Entry.nLevel));
    const QStringList vecNames = Names();
    for (int i = KEEP_LAST; i < vecNames.size(); ++i)
        if (!setListed.count(vecNames[i]))
            QFile::remove(m_strFolder + '/' + vecNames[i]);
}

QString TReplayShelf::Last() const
{
    const QStringList vecNames = Names();
    return vecNames.isEmpty() ? QString() : m_strFolder + '/' + vecNames.front();
}

QString TReplayShelf::Best(const std::vector<TBestScores::TEntry>& vecBest) const
{
    for (const TBestScores::TEntry& Entry : vecBest) {
        const QString strPath = PathOf(Entry);
        if (!strPath.isEmpty())
            return strPath;
    }
    return QString();
}
