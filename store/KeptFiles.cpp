#include "store/KeptFiles.h"

#include "databank/RegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>

namespace {
// Enough free names for a file damaged again and again within one second.
constexpr int MAX_ASIDE_NAMES = 100;
const char* const TEMP_MARK = TAtomicFile::TEMP_MARK;
// An earlier version's temporary older than this had long been renamed or abandoned.
constexpr time_t OLD_LEFTOVER_SECONDS = 60;
constexpr int LOCK_POLL_MS = 10;

QByteArray Encode(const QString& strPath)
{
    return QFile::encodeName(strPath);
}

QString ErrnoText(int nErrno)
{
    return QString::fromLocal8Bit(std::strerror(nErrno));
}

bool IsInside(const QString& strPath, const QString& strFolder)
{
    return strPath == strFolder || strPath.startsWith(strFolder + '/');
}

// An XDG base folder: the variable when it holds an absolute path, else the folder under home.
QString BaseFolder(const char* szVariable, const char* szUnderHome, std::atomic<bool>& bSaid)
{
    const QString strSet = qEnvironmentVariable(szVariable);
    if (!strSet.isEmpty() && QDir::isAbsolutePath(strSet))
        return QDir::cleanPath(strSet);
    const QString strFolder = QDir::homePath() + '/' + szUnderHome;
    if (!strSet.isEmpty() && !bSaid.exchange(true))
        TKeptFiles::SayOnStandardError(std::string(szVariable) + "=" + strSet.toStdString() +
                                       " is not an absolute path: ignored, " + strFolder.toStdString() +
                                       " is used");
    return strFolder;
}

// What a path that cannot be opened is: damaged when the path itself is the fault (a link that
// leads nowhere or in a circle, a socket, a device without a driver), else unavailable.
TKeptFiles::TRead ClassifyOpenError(const QByteArray& Path, int nErrno, QString& strWhy)
{
    struct stat St;
    if (lstat(Path.constData(), &St) != 0) {
        // Nothing there, or no folder for it to be in.
        if (errno == ENOENT || errno == ENOTDIR)
            return TKeptFiles::READ_MISSING;
        strWhy = "cannot open it: " + ErrnoText(nErrno);
        return TKeptFiles::READ_UNAVAILABLE;
    }
    if (S_ISLNK(St.st_mode) && (nErrno == ENOENT || nErrno == ELOOP || nErrno == ENOTDIR)) {
        strWhy = "a link that leads nowhere (" + ErrnoText(nErrno) + ")";
        return TKeptFiles::READ_DAMAGED;
    }
    struct stat Target;
    const bool bTarget = stat(Path.constData(), &Target) == 0;
    if (bTarget && !S_ISREG(Target.st_mode)) {
        strWhy = QString("not a regular file (") + TRegularFile::DescribeType(Target.st_mode) + ")";
        return TKeptFiles::READ_DAMAGED;
    }
    strWhy = "cannot open it: " + ErrnoText(nErrno);
    return TKeptFiles::READ_UNAVAILABLE;
}

// Reads to the end or to nLimit bytes; false with errno on a read error.
bool ReadUpTo(int nFd, uint64_t nLimit, QByteArray& Bytes)
{
    Bytes.clear();
    char Buffer[16 * 1024];
    while (static_cast<uint64_t>(Bytes.size()) < nLimit) {
        const size_t nWant = static_cast<size_t>(std::min<uint64_t>(sizeof Buffer, nLimit - Bytes.size()));
        const ssize_t nGot = read(nFd, Buffer, nWant);
        if (nGot < 0 && errno == EINTR)
            continue;
        if (nGot < 0)
            return false;
        if (nGot == 0)
            break;
        Bytes.append(Buffer, static_cast<int>(nGot));
    }
    return true;
}

bool IsAlive(pid_t nPid)
{
    return nPid == getpid() || kill(nPid, 0) == 0 || errno != ESRCH;
}

// A name QSaveFile gave its temporary: NAME. and six letters or digits. One of them is upper
// case or a digit, so that a player's own "scores.backup" is never taken for one.
bool IsOldTemporary(const QString& strEntry, const QStringList& vecOldNames)
{
    static const QRegularExpression Suffix("^[A-Za-z0-9]{6}$");
    static const QRegularExpression Marked("[A-Z0-9]");
    for (const QString& strName : vecOldNames) {
        if (!strEntry.startsWith(strName + '.'))
            continue;
        const QString strSuffix = strEntry.mid(strName.size() + 1);
        if (Suffix.match(strSuffix).hasMatch() && Marked.match(strSuffix).hasMatch())
            return true;
    }
    return false;
}

// The PID in a temporary's name (NAME.drelk2-temp-PID or NAME.drelk2-temp-PID-N), or 0.
pid_t TemporaryWriter(const QString& strEntry)
{
    static const QRegularExpression Pattern(QString("\\") + TEMP_MARK + "([0-9]{1,9})(-[0-9]+)?$");
    const QRegularExpressionMatch Match = Pattern.match(strEntry);
    return Match.hasMatch() ? static_cast<pid_t>(Match.captured(1).toLong()) : 0;
}

// Removes the regular files of a folder that pIsLeftover takes for leftovers, given their name
// and age in seconds.
void RemoveMatching(const QByteArray& Folder, const std::function<bool(const QString&, time_t)>& pIsLeftover)
{
    DIR* pDir = opendir(Folder.constData());
    if (!pDir)
        return;
    const time_t nNow = std::time(nullptr);
    while (const dirent* pEntry = readdir(pDir)) {
        const QByteArray Path = Folder + '/' + pEntry->d_name;
        struct stat St;
        if (lstat(Path.constData(), &St) == 0 && S_ISREG(St.st_mode) &&
            pIsLeftover(QFile::decodeName(pEntry->d_name), nNow - St.st_mtime))
            unlink(Path.constData());
    }
    closedir(pDir);
}
}  // namespace

void TKeptFiles::SayOnStandardError(const std::string& strLine)
{
    std::fprintf(stderr, "drelk2: %s\n", strLine.c_str());
}

QString TKeptFiles::DataFolder()
{
    static std::atomic<bool> s_bSaid{false};
    return BaseFolder("XDG_DATA_HOME", ".local/share", s_bSaid) + "/drelk2";
}

QString TKeptFiles::ConfigFolder()
{
    static std::atomic<bool> s_bSaid{false};
    return BaseFolder("XDG_CONFIG_HOME", ".config", s_bSaid) + "/drelk2";
}

bool TKeptFiles::PrepareFolder(const QString& strFolder, QString& strError)
{
    const QString strHome = QDir::homePath();
    if (!QFileInfo(strFolder).isDir()) {
        if (!QFileInfo(strHome).isDir() && IsInside(QDir::cleanPath(strFolder), QDir::cleanPath(strHome))) {
            strError = "the home folder " + strHome + " is missing";
            return false;
        }
        if (!QDir().mkpath(strFolder)) {
            strError = "cannot create " + strFolder;
            return false;
        }
    }
    if (access(Encode(strFolder).constData(), W_OK) != 0) {
        strError = strFolder + " cannot be written (" + ErrnoText(errno) + ")";
        return false;
    }
    return true;
}

TKeptFiles::TRead TKeptFiles::Read(const QString& strPath, uint64_t nMaxBytes, uint64_t nSalvageBytes,
                                   QByteArray& Bytes, QString& strError)
{
    Bytes.clear();
    const QByteArray Path = Encode(strPath);
    // Non-blocking, so that a FIFO opens at once and can be refused.
    const int nFd = open(Path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (nFd < 0) {
        QString strWhy;
        const TRead nRead = ClassifyOpenError(Path, errno, strWhy);
        strError = strPath + ": " + strWhy;
        return nRead;
    }
    struct stat St;
    if (fstat(nFd, &St) != 0) {
        strError = strPath + ": cannot read it: " + ErrnoText(errno);
        close(nFd);
        return READ_UNAVAILABLE;
    }
    if (!S_ISREG(St.st_mode)) {
        strError = strPath + ": not a regular file (" + TRegularFile::DescribeType(St.st_mode) + ")";
        close(nFd);
        return READ_DAMAGED;
    }
    const int nFlags = fcntl(nFd, F_GETFL);
    if (nFlags >= 0)
        fcntl(nFd, F_SETFL, nFlags & ~O_NONBLOCK);
    // One byte more than allowed tells a file too large, whatever its size claims.
    const uint64_t nLimit = std::max(nMaxBytes, nSalvageBytes) + 1;
    const bool bRead = ReadUpTo(nFd, nLimit, Bytes);
    const int nErrno = errno;
    close(nFd);
    if (!bRead) {
        strError = strPath + ": cannot read it: " + ErrnoText(nErrno);
        Bytes.clear();
        return READ_UNAVAILABLE;
    }
    if (static_cast<uint64_t>(Bytes.size()) > nMaxBytes) {
        strError = strPath + QString(": %1 bytes, more than the %2 allowed")
                                 .arg(std::max<qint64>(St.st_size, Bytes.size()))
                                 .arg(nMaxBytes);
        Bytes.truncate(static_cast<int>(std::min<uint64_t>(nSalvageBytes, Bytes.size())));
        return READ_DAMAGED;
    }
    return READ_OK;
}

QString TKeptFiles::SetAside(const QString& strPath, QString& strError)
{
    const QString strBase = strPath + ".damaged-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    for (int i = 1; i <= MAX_ASIDE_NAMES; ++i) {
        const QString strAside = i == 1 ? strBase : strBase + '-' + QString::number(i);
        const QByteArray Aside = Encode(strAside);
        // A name taken meanwhile is never replaced; without the flag, lstat decides.
        int nResult = renameat2(AT_FDCWD, Encode(strPath).constData(), AT_FDCWD, Aside.constData(), RENAME_NOREPLACE);
        if (nResult != 0 && (errno == EINVAL || errno == ENOSYS)) {
            struct stat St;
            if (lstat(Aside.constData(), &St) == 0)
                continue;
            nResult = std::rename(Encode(strPath).constData(), Aside.constData());
        }
        if (nResult == 0)
            return strAside;
        if (errno == EEXIST)
            continue;
        strError = "cannot move it aside: " + ErrnoText(errno);
        return QString();
    }
    strError = "no free name to move it aside";
    return QString();
}

bool TKeptFiles::Write(const QString& strPath, const QByteArray& Bytes, QString& strError)
{
    TAtomicFile File;
    std::string strWhy;
    if (File.Open(Encode(strPath).toStdString(), strWhy, TAtomicFile::LINKS_FOLLOWED)) {
        File.Write(Bytes.constData(), static_cast<size_t>(Bytes.size()));
        if (File.Commit(strWhy))
            return true;
    }
    strError = QFile::decodeName(QByteArray::fromStdString(strWhy));
    return false;
}

void TKeptFiles::RemoveLeftovers(const QString& strFolder, const QStringList& vecKeptNames)
{
    RemoveMatching(Encode(strFolder), [&](const QString& strEntry, time_t nAge) {
        const pid_t nWriter = TemporaryWriter(strEntry);
        if (nWriter != 0)
            return !IsAlive(nWriter);
        return IsOldTemporary(strEntry, vecKeptNames) && nAge >= OLD_LEFTOVER_SECONDS;
    });
    // A kept file that is a link is written beside the file it leads to.
    for (const QString& strName : vecKeptNames) {
        const QByteArray Path = Encode(strFolder + '/' + strName);
        struct stat St;
        if (lstat(Path.constData(), &St) != 0 || !S_ISLNK(St.st_mode))
            continue;
        std::unique_ptr<char, decltype(&std::free)> pReal(realpath(Path.constData(), nullptr), &std::free);
        if (!pReal)
            continue;
        const QFileInfo Target(QFile::decodeName(pReal.get()));
        const QString strMark = Target.fileName() + TEMP_MARK;
        RemoveMatching(Encode(Target.path()), [&](const QString& strEntry, time_t) {
            const pid_t nWriter = TemporaryWriter(strEntry);
            return strEntry.startsWith(strMark) && nWriter != 0 && !IsAlive(nWriter);
        });
    }
}

TKeptFiles::TLock::TLock(const QString& strFolder, int nWaitMs)
{
    // The folder itself: a directory opens at once, and anything else put in its place fails.
    m_nFd = open(Encode(strFolder).constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (m_nFd < 0) {
        m_strError = "cannot open " + strFolder + " to lock it: " + ErrnoText(errno);
        return;
    }
    timespec Start;
    clock_gettime(CLOCK_MONOTONIC, &Start);
    for (;;) {
        if (flock(m_nFd, LOCK_EX | LOCK_NB) == 0) {
            m_bHeld = true;
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            m_strError = "cannot lock " + strFolder + ": " + ErrnoText(errno);
            return;
        }
        timespec Now;
        clock_gettime(CLOCK_MONOTONIC, &Now);
        const long nWaitedMs = (Now.tv_sec - Start.tv_sec) * 1000 + (Now.tv_nsec - Start.tv_nsec) / 1000000;
        if (nWaitedMs >= nWaitMs) {
            m_strError = QString("another game has held the lock on %1 for over %2 s").arg(strFolder).arg(nWaitMs / 1000.0);
            return;
        }
        const timespec Pause{0, LOCK_POLL_MS * 1000000L};
        nanosleep(&Pause, nullptr);
    }
}

TKeptFiles::TLock::~TLock()
{
    if (m_nFd >= 0)
        close(m_nFd);
}
