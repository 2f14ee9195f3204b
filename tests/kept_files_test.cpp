// The store under every kept file: writes that a full or failing disk cannot tear, links
// written through, files that cannot serve told from files that cannot be read, temporaries of
// dead writers removed, the folder's lock with its bounded wait, and the XDG folders.
#include "store/KeptFiles.h"
#include "support/StoreFixture.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {
class KeptFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Dir.isValid());
        m_strFolder = m_Dir.path() + "/data";
        ASSERT_TRUE(QDir().mkpath(m_strFolder));
    }
    void TearDown() override { TKeptFiles::RestoreSystemCalls(); }
    QString Path(const QString& strName) const { return m_strFolder + '/' + strName; }

    QTemporaryDir m_Dir;
    QString m_strFolder;
};

int FailWith(int nErrno)
{
    errno = nErrno;
    return -1;
}

double SecondsSince(const timespec& Start)
{
    timespec Now;
    clock_gettime(CLOCK_MONOTONIC, &Now);
    return static_cast<double>(Now.tv_sec - Start.tv_sec) + static_cast<double>(Now.tv_nsec - Start.tv_nsec) / 1e9;
}
}  // namespace

TEST_F(KeptFilesTest, AFaultAnywhereBeforeTheRenameKeepsTheOldFileAndLeavesNoTemporary)
{
    const QByteArray Old = "the old file\n";
    const QByteArray New = QByteArray(10000, 'n');
    // Each fault -> whether the new bytes are kept, and what the reason names. The old file is
    // what the player keeps whenever the write fails.
    const struct
    {
        const char* szName;
        std::function<void(TKeptFiles::TSystemCalls&)> pInject;
        bool bWritten;
        const char* szReason;
    } CASES[] = {
        {"a full disk", [](TKeptFiles::TSystemCalls& c) { c.pWrite = [](int, const void*, size_t) -> ssize_t { return FailWith(ENOSPC); }; },
         false, "No space left on device"},
        {"a short write, then a full disk",
         [](TKeptFiles::TSystemCalls& c) {
             c.pWrite = [nCalls = 0](int nFd, const void* p, size_t n) mutable -> ssize_t {
                 return ++nCalls == 1 ? write(nFd, p, n / 3) : FailWith(ENOSPC);
             };
         },
         false, "No space left on device"},
        {"an I/O error on write", [](TKeptFiles::TSystemCalls& c) { c.pWrite = [](int, const void*, size_t) -> ssize_t { return FailWith(EIO); }; },
         false, "Input/output error"},
        {"a write that writes nothing", [](TKeptFiles::TSystemCalls& c) { c.pWrite = [](int, const void*, size_t) -> ssize_t { return 0; }; },
         false, "nothing could be written"},
        {"an I/O error on the sync", [](TKeptFiles::TSystemCalls& c) { c.pFsync = [](int) { return FailWith(EIO); }; },
         false, "cannot sync it: Input/output error"},
        {"a full disk on the sync", [](TKeptFiles::TSystemCalls& c) { c.pFsync = [](int) { return FailWith(ENOSPC); }; },
         false, "No space left on device"},
        {"an I/O error on the rename", [](TKeptFiles::TSystemCalls& c) { c.pRename = [](const char*, const char*) { return FailWith(EIO); }; },
         false, "cannot rename the temporary over it: Input/output error"},
        // Short writes and interruptions are the system's right: the rest follows.
        {"writes of 7 bytes, one interrupted",
         [](TKeptFiles::TSystemCalls& c) {
             c.pWrite = [nCalls = 0](int nFd, const void* p, size_t n) mutable -> ssize_t {
                 return ++nCalls == 3 ? FailWith(EINTR) : write(nFd, p, std::min<size_t>(n, 7));
             };
         },
         true, ""},
        // A file system that cannot sync folders has nothing more to do.
        {"a folder that cannot be synced", [](TKeptFiles::TSystemCalls& c) {
             c.pFsync = [nCalls = 0](int nFd) mutable { return ++nCalls == 2 ? FailWith(EINVAL) : fsync(nFd); };
         }, true, ""},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szName);
        WriteFileAt(Path("kept"), Old);
        TKeptFiles::RestoreSystemCalls();
        Case.pInject(TKeptFiles::SystemCalls());
        QString strError;
        EXPECT_EQ(TKeptFiles::Write(Path("kept"), New, strError), Case.bWritten) << qPrintable(strError);
        TKeptFiles::RestoreSystemCalls();
        EXPECT_EQ(ReadFileAt(Path("kept")), Case.bWritten ? New : Old);
        EXPECT_EQ(FolderEntries(m_strFolder), QStringList{"kept"});
        if (!Case.bWritten) {
            EXPECT_TRUE(strError.startsWith(Path("kept") + ": ")) << qPrintable(strError);
            EXPECT_TRUE(strError.contains(Case.szReason)) << qPrintable(strError);
        }
    }
}

TEST_F(KeptFilesTest, AFolderThatCannotBeSyncedAfterTheRenameIsAFailure)
{
    // The new file is in place, but whether it would survive a power cut is not known: the
    // caller must not say it was kept.
    TKeptFiles::SystemCalls().pFsync = [nCalls = 0](int nFd) mutable { return ++nCalls == 2 ? FailWith(EIO) : fsync(nFd); };
    QString strError;
    EXPECT_FALSE(TKeptFiles::Write(Path("kept"), "new\n", strError));
    EXPECT_TRUE(strError.contains("its folder could not be synced: Input/output error")) << qPrintable(strError);
    EXPECT_EQ(FolderEntries(m_strFolder), QStringList{"kept"});
}

TEST_F(KeptFilesTest, AWriteKeepsThePlayersPermissions)
{
    WriteFileAt(Path("kept"), "old\n");
    ASSERT_EQ(chmod(QFile::encodeName(Path("kept")).constData(), 0600), 0);
    QString strError;
    ASSERT_TRUE(TKeptFiles::Write(Path("kept"), "new\n", strError)) << qPrintable(strError);
    struct stat St;
    ASSERT_EQ(stat(QFile::encodeName(Path("kept")).constData(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, 0600u);
}

TEST_F(KeptFilesTest, ALinkIsWrittenThroughAndWhatCannotServeIsLeftAlone)
{
    const QString strElsewhere = m_Dir.path() + "/elsewhere";
    ASSERT_TRUE(QDir().mkpath(strElsewhere));
    WriteFileAt(strElsewhere + "/real", "old\n");
    // An absolute link and a relative one: the file they lead to is replaced, the link stays.
    for (const QString& strLink : {strElsewhere + "/real", QString("../elsewhere/real")}) {
        SCOPED_TRACE(qPrintable(strLink));
        QFile::remove(Path("kept"));
        ASSERT_EQ(symlink(QFile::encodeName(strLink).constData(), QFile::encodeName(Path("kept")).constData()), 0);
        QString strError;
        ASSERT_TRUE(TKeptFiles::Write(Path("kept"), "new " + strLink.toUtf8(), strError)) << qPrintable(strError);
        EXPECT_TRUE(QFileInfo(Path("kept")).isSymLink());
        EXPECT_EQ(ReadFileAt(strElsewhere + "/real"), "new " + strLink.toUtf8());
        EXPECT_EQ(FolderEntries(strElsewhere), QStringList{"real"});
        EXPECT_EQ(FolderEntries(m_strFolder), QStringList{"kept"});
    }

    // What lies there -> refused with this reason, and left as it was.
    ASSERT_EQ(mkfifo(QFile::encodeName(strElsewhere + "/fifo").constData(), 0644), 0);
    const struct
    {
        const char* szName;
        std::function<void(const QByteArray&)> pMake;
        const char* szReason;
    } REFUSED[] = {
        {"a link to nowhere", [&](const QByteArray& p) { symlink("gone", p.constData()); }, "a link that leads nowhere"},
        {"a link to itself", [&](const QByteArray& p) { symlink(p.constData(), p.constData()); }, "a link that leads nowhere"},
        {"a link to a folder", [&](const QByteArray& p) { symlink(QFile::encodeName(strElsewhere).constData(), p.constData()); },
         "is a directory, not a file"},
        {"a link to a FIFO", [&](const QByteArray& p) { symlink(QFile::encodeName(strElsewhere + "/fifo").constData(), p.constData()); },
         "is a FIFO, not a file"},
        {"a FIFO", [&](const QByteArray& p) { mkfifo(p.constData(), 0644); }, "is a FIFO, not a file"},
        {"a folder", [&](const QByteArray& p) { mkdir(p.constData(), 0755); }, "is a directory, not a file"},
    };
    for (const auto& Case : REFUSED) {
        SCOPED_TRACE(Case.szName);
        QFile::remove(Path("kept"));
        QDir().rmdir(Path("kept"));
        Case.pMake(QFile::encodeName(Path("kept")));
        QString strError;
        EXPECT_FALSE(TKeptFiles::Write(Path("kept"), "new\n", strError));
        EXPECT_TRUE(strError.contains(Case.szReason)) << qPrintable(strError);
        EXPECT_EQ(FolderEntries(m_strFolder), QStringList{"kept"});
        EXPECT_EQ(FolderEntries(strElsewhere), (QStringList{"fifo", "real"}));
    }
}

TEST_F(KeptFilesTest, AFileThatCannotServeIsToldFromOneThatCannotBeRead)
{
    const QByteArray Small = "small\n";
    const QByteArray Large = QByteArray(3000, 'x');
    // What lies there -> how it reads, and the bytes handed back.
    const struct
    {
        const char* szName;
        std::function<void(const QByteArray&)> pMake;
        TKeptFiles::TRead nRead;
        QByteArray Bytes;
    } CASES[] = {
        {"nothing", [](const QByteArray&) {}, TKeptFiles::READ_MISSING, ""},
        {"a file", [&](const QByteArray& p) { WriteFileAt(QFile::decodeName(p), Small); }, TKeptFiles::READ_OK, Small},
        {"an empty file", [&](const QByteArray& p) { WriteFileAt(QFile::decodeName(p), ""); }, TKeptFiles::READ_OK, ""},
        // Of a file too large, as much as may be salvaged.
        {"a file too large", [&](const QByteArray& p) { WriteFileAt(QFile::decodeName(p), Large); }, TKeptFiles::READ_DAMAGED,
         Large.left(2000)},
        {"a folder", [](const QByteArray& p) { mkdir(p.constData(), 0755); }, TKeptFiles::READ_DAMAGED, ""},
        {"a FIFO", [](const QByteArray& p) { mkfifo(p.constData(), 0644); }, TKeptFiles::READ_DAMAGED, ""},
        {"a link to nowhere", [](const QByteArray& p) { symlink("gone", p.constData()); }, TKeptFiles::READ_DAMAGED, ""},
        {"a link to itself", [](const QByteArray& p) { symlink(p.constData(), p.constData()); }, TKeptFiles::READ_DAMAGED, ""},
        {"a device", [](const QByteArray& p) { symlink("/dev/zero", p.constData()); }, TKeptFiles::READ_DAMAGED, ""},
        {"a socket",
         [](const QByteArray& p) {
             sockaddr_un Address{};
             Address.sun_family = AF_UNIX;
             std::snprintf(Address.sun_path, sizeof Address.sun_path, "%s", p.constData());
             const int nFd = socket(AF_UNIX, SOCK_STREAM, 0);
             bind(nFd, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
             close(nFd);
         },
         TKeptFiles::READ_DAMAGED, ""},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szName);
        QDir(m_strFolder).removeRecursively();
        QDir().mkpath(m_strFolder);
        Case.pMake(QFile::encodeName(Path("kept")));
        QByteArray Bytes = "stale";
        QString strError;
        EXPECT_EQ(TKeptFiles::Read(Path("kept"), 2500, 2000, Bytes, strError), Case.nRead) << qPrintable(strError);
        EXPECT_EQ(Bytes, Case.Bytes);
        if (Case.nRead == TKeptFiles::READ_DAMAGED) {
            EXPECT_TRUE(strError.startsWith(Path("kept") + ": ")) << qPrintable(strError);
        }
    }

    // Without a descriptor left, a good file cannot be read, and is not called damaged.
    WriteFileAt(Path("good"), Small);
    const std::string strFailures = RunInChild([&](std::string& strFailures) {
        const int nFree = dup(0);
        close(nFree);
        const rlimit Limit{static_cast<rlim_t>(nFree), static_cast<rlim_t>(nFree)};
        setrlimit(RLIMIT_NOFILE, &Limit);
        QByteArray Bytes;
        QString strError;
        CHILD_EXPECT(TKeptFiles::Read(Path("good"), 2500, 2000, Bytes, strError) == TKeptFiles::READ_UNAVAILABLE,
                     strFailures);
        CHILD_EXPECT(strError.contains("Too many open files"), strFailures);
    });
    EXPECT_EQ(strFailures, "");
}

TEST_F(KeptFilesTest, TheTemporariesOfDeadWritersAndOfEarlierVersionsAreRemoved)
{
    // A writer that has ended, and one still running.
    const pid_t nDead = fork();
    if (nDead == 0)
        _exit(0);
    waitpid(nDead, nullptr, 0);
    const pid_t nLive = fork();
    if (nLive == 0) {
        pause();
        _exit(0);
    }
    const QString strDead = QString(".drelk2-temp-%1").arg(nDead);
    const QString strLive = QString(".drelk2-temp-%1").arg(nLive);
    const timeval OLD[2] = {{std::time(nullptr) - 120, 0}, {std::time(nullptr) - 120, 0}};
    // Name -> whether it is gone afterwards.
    const struct
    {
        QString strName;
        bool bOld;
        bool bGone;
    } ENTRIES[] = {
        {"scores" + strDead, false, true},
        {"scores" + strDead + "-2", false, true},
        {"replay-7" + strDead, false, true},
        {"scores" + strLive, true, false},                                         // its writer may still rename it
        {QString("scores.drelk2-temp-%1").arg(getpid()), true, false},             // ours
        {"scores.Ab3xYz", true, true},                                             // QSaveFile's, long abandoned
        {"scores.bak.K9mQ2p", true, true},
        {"scores.Ab3xYq", false, false},                                           // perhaps being written right now
        {"scores.backup", true, false},                                            // the player's own copy
        {"scores.damaged-20240501-123000", true, false},
        {"scores", true, false},
        {"other.Ab3xYz", true, false},
    };
    for (const auto& Entry : ENTRIES) {
        WriteFileAt(Path(Entry.strName), "x");
        if (Entry.bOld)
            utimes(QFile::encodeName(Path(Entry.strName)).constData(), OLD);
    }
    // A folder under a temporary's name is nobody's temporary.
    ASSERT_TRUE(QDir().mkpath(Path("settings" + strDead)));
    // A kept file that is a link was written beside the file it leads to; the rest of that
    // folder is not the game's.
    const QString strElsewhere = m_Dir.path() + "/elsewhere";
    ASSERT_TRUE(QDir().mkpath(strElsewhere));
    WriteFileAt(strElsewhere + "/real", "x");
    ASSERT_TRUE(QFile::link(strElsewhere + "/real", Path("linked")));
    for (const QString& strName : {"real" + strDead, "real" + strLive, "other" + strDead})
        WriteFileAt(strElsewhere + '/' + strName, "x");

    TKeptFiles::RemoveLeftovers(m_strFolder, {"scores", "scores.bak", "linked"});
    kill(nLive, SIGKILL);
    waitpid(nLive, nullptr, 0);
    for (const auto& Entry : ENTRIES)
        EXPECT_EQ(!QFileInfo::exists(Path(Entry.strName)), Entry.bGone) << qPrintable(Entry.strName);
    EXPECT_TRUE(QFileInfo(Path("settings" + strDead)).isDir());
    EXPECT_EQ(FolderEntries(strElsewhere), (QStringList{"other" + strDead, "real", "real" + strLive}));
}

TEST_F(KeptFilesTest, ALockHeldByAnotherGameIsWaitedForThenTaken)
{
    // The other game lets go after its own write: this one's lock comes after it.
    const QString strMarker = Path("the other game wrote");
    TLockHolder Other(m_strFolder, [&] {
        const timespec Pause{0, 300 * 1000 * 1000};
        nanosleep(&Pause, nullptr);
        WriteFileAt(strMarker, "done");
    });
    ASSERT_TRUE(Other.IsHolding());
    Other.Release();
    TKeptFiles::TLock Lock(m_strFolder);
    EXPECT_TRUE(Lock.IsHeld()) << qPrintable(Lock.GetError());
    EXPECT_TRUE(QFileInfo::exists(strMarker));
}

TEST_F(KeptFilesTest, ALockThatCannotBeHadCostsABoundedWaitAndSaysWhy)
{
    // A hung game holding the lock: the wait ends, and says so.
    TLockHolder Hung(m_strFolder);
    ASSERT_TRUE(Hung.IsHolding());
    timespec Start;
    clock_gettime(CLOCK_MONOTONIC, &Start);
    {
        TKeptFiles::TLock Lock(m_strFolder);
        EXPECT_FALSE(Lock.IsHeld());
        EXPECT_TRUE(Lock.GetError().contains("another game has held the lock on " + m_strFolder)) << qPrintable(Lock.GetError());
    }
    EXPECT_LT(SecondsSince(Start), 5.0);  // a guard against a hang, not a measure

    // Something else where the folder should be: refused at once, a FIFO never opened for good.
    const QString strFifo = m_Dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(QFile::encodeName(strFifo).constData(), 0644), 0);
    for (const QString& strNoFolder : {strFifo, m_Dir.path() + "/gone"}) {
        TKeptFiles::TLock Lock(strNoFolder);
        EXPECT_FALSE(Lock.IsHeld());
        EXPECT_TRUE(Lock.GetError().startsWith("cannot open " + strNoFolder + " to lock it: ")) << qPrintable(Lock.GetError());
    }
}

TEST_F(KeptFilesTest, TheFoldersFollowTheXdgRules)
{
    const char* const VARIABLES[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    std::vector<std::pair<bool, QByteArray>> vecSaved;
    for (const char* szVariable : VARIABLES)
        vecSaved.emplace_back(qEnvironmentVariableIsSet(szVariable), qgetenv(szVariable));
    qputenv("HOME", "/home/player");
    // XDG_DATA_HOME and XDG_CONFIG_HOME as set (null: unset) -> the game's folders.
    const struct
    {
        const char* szValue;
        const char* szData;
        const char* szConfig;
    } CASES[] = {
        {nullptr, "/home/player/.local/share/drelk2", "/home/player/.config/drelk2"},
        {"", "/home/player/.local/share/drelk2", "/home/player/.config/drelk2"},
        {"/srv/xdg/", "/srv/xdg/drelk2", "/srv/xdg/drelk2"},
        // Relative: not a base folder at all, by the XDG rules.
        {"relative/xdg", "/home/player/.local/share/drelk2", "/home/player/.config/drelk2"},
        {".", "/home/player/.local/share/drelk2", "/home/player/.config/drelk2"},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szValue ? Case.szValue : "unset");
        for (const char* szVariable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            if (Case.szValue)
                qputenv(szVariable, Case.szValue);
            else
                qunsetenv(szVariable);
        }
        EXPECT_EQ(TKeptFiles::DataFolder(), Case.szData);
        EXPECT_EQ(TKeptFiles::ConfigFolder(), Case.szConfig);
    }
    for (size_t i = 0; i < vecSaved.size(); ++i) {
        if (vecSaved[i].first)
            qputenv(VARIABLES[i], vecSaved[i].second);
        else
            qunsetenv(VARIABLES[i]);
    }
}
