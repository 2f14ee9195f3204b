#include "store/KeptFiles.h"

#include "databank/RegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
// Enough free names for a file damaged again and again within one second.
constexpr int MAX_ASIDE_NAMES = 100;

bool IsInside(const QString& strPath, const QString& strFolder)
{
    return strPath == strFolder || strPath.startsWith(strFolder + '/');
}
}  // namespace

void TKeptFiles::SayOnStandardError(const std::string& strLine)
{
    std::fprintf(stderr, "drelk2: %s\n", strLine.c_str());
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
    if (!QFileInfo(strFolder).isWritable()) {
        strError = strFolder + " cannot be written";
        return false;
    }
    return true;
}

TKeptFiles::TRead TKeptFiles::Read(const QString& strPath, uint64_t nMaxBytes, QByteArray& Bytes, QString& strError)
{
    struct stat St;
    if (lstat(QFile::encodeName(strPath).constData(), &St) != 0 && errno == ENOENT)
        return READ_MISSING;
    std::vector<uint8_t> vecBytes;
    std::string strWhy;
    if (!TRegularFile::Read(QFile::encodeName(strPath).toStdString(), nMaxBytes, vecBytes, strWhy)) {
        strError = QString::fromStdString(strWhy);
        return READ_REFUSED;
    }
    Bytes = QByteArray(reinterpret_cast<const char*>(vecBytes.data()), static_cast<int>(vecBytes.size()));
    return READ_OK;
}

QString TKeptFiles::SetAside(const QString& strPath, QString& strError)
{
    const QString strBase = strPath + ".damaged-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    for (int i = 1; i <= MAX_ASIDE_NAMES; ++i) {
        const QString strAside = i == 1 ? strBase : strBase + '-' + QString::number(i);
        struct stat St;
        if (lstat(QFile::encodeName(strAside).constData(), &St) == 0)
            continue;
        // rename() moves any kind of file and never replaces a folder by a file.
        if (std::rename(QFile::encodeName(strPath).constData(), QFile::encodeName(strAside).constData()) == 0)
            return strAside;
        strError = QString("cannot move it aside: ") + std::strerror(errno);
        return QString();
    }
    strError = "no free name to move it aside";
    return QString();
}

bool TKeptFiles::Write(const QString& strPath, const QByteArray& Bytes, QString& strError)
{
    // A FIFO or a device there would be written in place, or block: left alone.
    struct stat St;
    if (lstat(QFile::encodeName(strPath).constData(), &St) == 0 && !S_ISREG(St.st_mode)) {
        strError = strPath + " is " + TRegularFile::DescribeType(St.st_mode) + ", not a file";
        return false;
    }
    QSaveFile File(strPath);
    if (File.open(QIODevice::WriteOnly)) {
        // A failed write is kept by the file and fails the commit.
        File.write(Bytes);
        if (File.commit())
            return true;
    }
    strError = strPath + ": " + File.errorString();
    return false;
}
