#include "store/ReplayShelf.h"

#include "store/KeptFiles.h"

#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <set>
#include <string>

namespace {
// Takes nMin to nMax digits from the front of the name; false when they are not there.
bool TakeDigits(const char*& p, size_t nMin, size_t nMax)
{
    size_t n = 0;
    while (n < nMax && std::isdigit(static_cast<unsigned char>(p[n])))
        ++n;
    p += n;
    return n >= nMin;
}

bool TakeText(const char*& p, const char* szText)
{
    const size_t n = std::strlen(szText);
    if (std::strncmp(p, szText, n) != 0)
        return false;
    p += n;
    return true;
}

// Only files named as the shelf names them, DATE-TIME-score-S-level-L.drelk2-replay, are ever
// listed or removed. Read without Qt's pattern matching, which may be gone when the program's
// exit keeps a game's replay.
bool IsReplayName(const char* szName)
{
    const char* p = szName;
    return TakeDigits(p, 8, 8) && TakeText(p, "-") && TakeDigits(p, 6, 6) && TakeText(p, "-score-") &&
           TakeDigits(p, 1, 10) && TakeText(p, "-level-") && TakeDigits(p, 1, 10) &&
           TakeText(p, TReplayShelf::SUFFIX) && *p == '\0';
}
}  // namespace

QString TReplayShelf::DefaultFolder()
{
    return TKeptFiles::DataFolder() + "/replays";
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
    if (!m_bTidied) {
        TKeptFiles::RemoveLeftovers(m_strFolder);
        m_bTidied = true;
    }
    if (!TKeptFiles::Write(m_strFolder + '/' + NameFor(When, nScore, nLevel), Bytes, strError))
        return false;
    // Another game pruning at the same time could remove what this one keeps.
    const TKeptFiles::TLock Lock(m_strFolder);
    Prune(vecBest);
    return true;
}

QStringList TReplayShelf::Names() const
{
    std::vector<std::string> vecNames;
    const QByteArray Folder = QFile::encodeName(m_strFolder);
    if (DIR* pDir = opendir(Folder.constData())) {
        while (const dirent* pEntry = readdir(pDir)) {
            struct stat St;
            if (IsReplayName(pEntry->d_name) && fstatat(dirfd(pDir), pEntry->d_name, &St, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(St.st_mode))
                vecNames.emplace_back(pEntry->d_name);
        }
        closedir(pDir);
    }
    // The time leads the name: the newest first.
    std::sort(vecNames.begin(), vecNames.end(), std::greater<std::string>());
    QStringList Names;
    for (const std::string& strName : vecNames)
        Names << QString::fromLatin1(strName.c_str());
    return Names;
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

QString TReplayShelf::Resolve(const QString& strName, QString& strError) const
{
    if (strName.isEmpty())
        strError = "no replay named";
    if (strName != "last" && strName != "best")
        return strName;
    const QString strPath = strName == "last" ? Last() : Best();
    if (strPath.isEmpty())
        strError = "no replay kept in " + m_strFolder + (strName == "best" ? " for a listed best score" : "");
    return strPath;
}

QString TReplayShelf::Best() const
{
    return Best(TBestScores(TBestScores::DefaultFolder(), TKeptFiles::SayOnStandardError, TBestScores::ACCESS_SHOW)
                    .GetEntries());
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
