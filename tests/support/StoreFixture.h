#pragma once
// What the store's tests share: a folder of the test's own with files written and read whole,
// another process holding a folder's lock, checks run in a forked child (for what must not
// touch the test process: a lower descriptor limit, another user), and a disk that fails.

#include "store/KeptFiles.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

inline void WriteFileAt(const QString& strPath, const QByteArray& Bytes)
{
    QFile File(strPath);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly)) << qPrintable(strPath);
    ASSERT_EQ(File.write(Bytes), Bytes.size());
}

// The file's bytes; "<none>" when it cannot be read as a file.
inline QByteArray ReadFileAt(const QString& strPath)
{
    QFile File(strPath);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<none>");
}

// Every entry of a folder, hidden ones and FIFOs included, by name.
inline QStringList FolderEntries(const QString& strFolder)
{
    return QDir(strFolder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs pCheck in a forked child; what it appended to its text of failures (empty when all
// held), or why the child did not end well.
inline std::string RunInChild(const std::function<void(std::string& strFailures)>& pCheck)
{
    int vPipe[2];
    if (pipe(vPipe) != 0)
        return "no pipe";
    const pid_t nChild = fork();
    if (nChild == 0) {
        close(vPipe[0]);
        std::string strFailures;
        pCheck(strFailures);
        const char* p = strFailures.data();
        size_t nLeft = strFailures.size();
        while (nLeft > 0) {
            const ssize_t n = write(vPipe[1], p, nLeft);
            if (n <= 0)
                break;
            p += n;
            nLeft -= static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(vPipe[1]);
    std::string strFailures;
    char Buffer[4096];
    ssize_t n;
    while ((n = read(vPipe[0], Buffer, sizeof Buffer)) > 0 || (n < 0 && errno == EINTR))
        strFailures.append(Buffer, n > 0 ? static_cast<size_t>(n) : 0);
    close(vPipe[0]);
    int nStatus = 0;
    waitpid(nChild, &nStatus, 0);
    if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0)
        strFailures += "the child ended with status " + std::to_string(nStatus);
    return strFailures;
}

#define CHILD_EXPECT(cond, strFailures) \
    ((cond) ? static_cast<void>(0) : static_cast<void>((strFailures) += std::string("failed: ") + #cond + "\n"))

// Another game holding a folder's lock: a child that takes it and holds it until Release (or
// until it is destroyed), doing pBeforeRelease just before it lets go.
class TLockHolder
{
public:
    explicit TLockHolder(const QString& strFolder, std::function<void()> pBeforeRelease = {})
    {
        int vTaken[2];
        if (pipe(vTaken) != 0 || pipe(m_vRelease) != 0)
            return;
        m_nChild = fork();
        if (m_nChild == 0) {
            close(vTaken[0]);
            close(m_vRelease[1]);
            TKeptFiles::TLock Lock(strFolder);
            const char c = Lock.IsHeld() ? '1' : '0';
            if (write(vTaken[1], &c, 1) != 1)
                _exit(1);
            char cGo;
            while (read(m_vRelease[0], &cGo, 1) < 0 && errno == EINTR) {
            }
            if (pBeforeRelease)
                pBeforeRelease();
            _exit(0);
        }
        close(vTaken[1]);
        close(m_vRelease[0]);
        char c = 0;
        m_bHolding = read(vTaken[0], &c, 1) == 1 && c == '1';
        close(vTaken[0]);
    }
    ~TLockHolder()
    {
        if (m_nChild > 0) {
            kill(m_nChild, SIGKILL);
            Wait();
        }
        close(m_vRelease[1]);
    }
    TLockHolder(const TLockHolder&) = delete;
    TLockHolder& operator=(const TLockHolder&) = delete;

    bool IsHolding() const { return m_bHolding; }
    // Tells the child to let go, without waiting for it.
    void Release()
    {
        close(m_vRelease[1]);
        m_vRelease[1] = -1;
    }
    void Wait()
    {
        int nStatus = 0;
        if (m_nChild > 0)
            waitpid(m_nChild, &nStatus, 0);
        m_nChild = -1;
    }

private:
    pid_t m_nChild = -1;
    int m_vRelease[2] = {-1, -1};
    bool m_bHolding = false;
};

// A disk with nFree bytes left: writes beyond them fail with ENOSPC, after a short write of
// what still fits. The real calls come back when it goes.
class TFullDisk
{
public:
    explicit TFullDisk(size_t nFree) : m_nFree(nFree)
    {
        TKeptFiles::SystemCalls().pWrite = [this](int nFd, const void* pBytes, size_t nBytes) -> ssize_t {
            if (m_nFree == 0) {
                errno = ENOSPC;
                return -1;
            }
            const size_t nDone = std::min(nBytes, m_nFree);
            m_nFree -= nDone;
            return write(nFd, pBytes, nDone);
        };
    }
    ~TFullDisk() { TKeptFiles::RestoreSystemCalls(); }
    TFullDisk(const TFullDisk&) = delete;
    TFullDisk& operator=(const TFullDisk&) = delete;

private:
    size_t m_nFree;
};
