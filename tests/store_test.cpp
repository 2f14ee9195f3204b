// What the game keeps for the player: the table of best scores written and read back, damaged
// tables and backups set aside without losing the other games, writes that a crash or a full
// disk cannot tear, games ending together, folders that cannot be written, the remembered
// choices, and what a session ending from outside keeps first.
#include "store/BestScores.h"
#include "store/PlayerSettings.h"
#include "store/SessionEnd.h"
#include "support/StoreFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {
using TEntry = TBestScores::TEntry;

QDateTime Day(int nDay)
{
    return QDateTime(QDate(2024, 5, nDay), QTime(12, 30), Qt::UTC);
}

class StoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Dir.isValid());
        m_strFolder = m_Dir.path() + "/data/drelk2";
        ASSERT_TRUE(QDir().mkpath(m_strFolder));
    }
    // A table over the test's folder that notes what it says.
    TBestScores Open() { return TBestScores(m_strFolder, [this](const std::string& s) { m_vecSaid.push_back(s); }); }
    QString Path(const QString& strName) const { return m_strFolder + '/' + strName; }
    void WriteFile(const char* szName, const QByteArray& Bytes) const { WriteFileAt(Path(szName), Bytes); }
    QByteArray ReadFile(const char* szName) const
    {
        QFile File(Path(szName));
        return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
    }
    QStringList SetAside() const { return QDir(m_strFolder).entryList({"scores.damaged-*"}, QDir::AllEntries | QDir::System); }
    // An empty folder and nothing said yet, for the next case of a table.
    void StartAfresh()
    {
        QDir(m_strFolder).removeRecursively();
        QDir().mkpath(m_strFolder);
        m_vecSaid.clear();
    }

    QTemporaryDir m_Dir;
    QString m_strFolder;
    std::vector<std::string> m_vecSaid;
};

std::vector<int32_t> Scores(const TBestScores& Table)
{
    std::vector<int32_t> vecScores;
    for (const TEntry& Entry : Table.GetEntries())
        vecScores.push_back(Entry.nScore);
    return vecScores;
}
}  // namespace

TEST_F(StoreTest, GamesAreRankedKeptTenAndReadBack)
{
    {
        TBestScores Table = Open();
        EXPECT_TRUE(Table.IsKept());
        EXPECT_EQ(Table.GetBest(), 0);
        EXPECT_EQ(Table.Record(120, 3, Day(1)), 1);
        EXPECT_EQ(Table.Record(80, 2, Day(2)), 2);
        EXPECT_EQ(Table.Record(300, 5, Day(3)), 1);
        EXPECT_EQ(Table.Record(120, 4, Day(4)), 3);  // a tie goes after the earlier game
        EXPECT_EQ(Table.Record(0, 1, Day(5)), 0);    // a game that scored nothing is no best game
        EXPECT_EQ(Scores(Table), (std::vector<int32_t>{300, 120, 120, 80}));
        EXPECT_EQ(Table.GetEntries()[2].nLevel, 4);
        for (int i = 0; i < 7; ++i)
            Table.Record(100 + i, 2, Day(10 + i));
        EXPECT_EQ(Table.GetEntries().size(), 10u);
        EXPECT_EQ(Table.Record(50, 1, Day(20)), 0);  // not among the ten
        EXPECT_EQ(Table.GetEntries().back().nScore, 100);
    }
    TBestScores Again = Open();
    EXPECT_EQ(Scores(Again), (std::vector<int32_t>{300, 120, 120, 106, 105, 104, 103, 102, 101, 100}));
    EXPECT_EQ(Again.GetEntries()[0].When, Day(3));
    EXPECT_EQ(Again.GetBest(), 300);
    // The backup holds the table before the last change.
    std::vector<TEntry> vecBackup;
    QString strError;
    ASSERT_TRUE(TBestScores::Parse(ReadFile("scores.bak"), vecBackup, strError)) << qPrintable(strError);
    EXPECT_EQ(vecBackup.size(), 10u);
    EXPECT_EQ(vecBackup.back().nScore, 80);  // the ten before 106 came and 80 went out
    EXPECT_TRUE(m_vecSaid.empty());
    EXPECT_NE(Again.ToText().find(" 1.        300  level 5"), std::string::npos) << Again.ToText();
}

TEST_F(StoreTest, AnotherGameRecordedMeanwhileIsKept)
{
    TBestScores First = Open();
    TBestScores Second = Open();
    First.Record(100, 1, Day(1));
    Second.Record(200, 2, Day(2));
    EXPECT_EQ(Scores(Second), (std::vector<int32_t>{200, 100}));
    EXPECT_EQ(Scores(Open()), (std::vector<int32_t>{200, 100}));
}

TEST_F(StoreTest, ADamagedTableIsSetAsideAndItsGoodLinesAndTheBackupKept)
{
    const QByteArray Good = TBestScores::Serialize({{500, 4, Day(1)}, {70, 2, Day(2)}});
    const QByteArray Backup = TBestScores::Serialize({{500, 4, Day(1)}, {90, 3, Day(3)}});
    const QByteArray Header = "drelk2 best scores 1\n";
    // What lies where the table should be -> the scores kept afterwards.
    const struct
    {
        const char* szName;
        std::function<void(const QString&)> pMake;
        std::vector<int32_t> vecKept;
    } CASES[] = {
        {"foreign bytes", [&](const QString& p) { WriteFileAt(p, QByteArray("\x89PNG\r\n\x1a\n\0\0", 10)); }, {500, 90}},
        {"empty", [&](const QString& p) { WriteFileAt(p, ""); }, {500, 90}},
        {"cut short", [&](const QString& p) { WriteFileAt(p, Good.left(Good.size() - 5)); }, {500, 90}},
        {"a bad line", [&](const QString& p) { WriteFileAt(p, Header + "70 2 yesterday\n" + Good.mid(Header.size())); },
         {500, 90, 70}},
        {"a score too large", [&](const QString& p) { WriteFileAt(p, Header + "99999999999 1 2024-05-01T12:30:00Z\n"); },
         {500, 90}},
        {"a negative score", [&](const QString& p) { WriteFileAt(p, Header + "-5 1 2024-05-01T12:30:00Z\n"); }, {500, 90}},
        {"line ends of another system", [&](const QString& p) { WriteFileAt(p, QByteArray(Good).replace("\n", "\r\n")); },
         {500, 90}},
        {"eleven games", [&](const QString& p) {
             std::vector<TEntry> vecMany;
             for (int i = 1; i <= 11; ++i)
                 vecMany.push_back({i * 10, 1, Day(i)});
             WriteFileAt(p, TBestScores::Serialize(vecMany));
         }, {500, 110, 100, 90, 90, 80, 70, 60, 50, 40}},
        // Too large to be a table: its start is still read for the games it holds.
        {"huge", [&](const QString& p) { WriteFileAt(p, Good + QByteArray(100 * 1024, '\n')); }, {500, 90, 70}},
        {"a folder", [&](const QString& p) { QDir().mkpath(p + "/inside"); }, {500, 90}},
        {"a FIFO", [&](const QString& p) { mkfifo(QFile::encodeName(p).constData(), 0644); }, {500, 90}},
        {"a link to nowhere", [&](const QString& p) { QFile::link(p + ".gone", p); }, {500, 90}},
        {"a link to itself", [&](const QString& p) { QFile::link(p, p); }, {500, 90}},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szName);
        StartAfresh();
        WriteFile("scores.bak", Backup);
        Case.pMake(Path("scores"));
        TBestScores Table = Open();
        EXPECT_TRUE(Table.IsKept());
        EXPECT_EQ(Scores(Table), Case.vecKept);
        ASSERT_EQ(m_vecSaid.size(), 1u);
        EXPECT_NE(m_vecSaid[0].find("best scores set aside as " + Path("scores.damaged-").toStdString()), std::string::npos)
            << m_vecSaid[0];
        EXPECT_EQ(SetAside().size(), 1);
        // The recovered table is the table now: read again, it is whole and says nothing.
        m_vecSaid.clear();
        EXPECT_EQ(Scores(Open()), Case.vecKept);
        EXPECT_TRUE(m_vecSaid.empty());
    }
}

TEST_F(StoreTest, ACrashBeforeTheRenameLeavesTheOldTable)
{
    Open().Record(100, 1, Day(1));
    const QByteArray Old = ReadFile("scores");
    const pid_t nChild = fork();
    ASSERT_GE(nChild, 0);
    if (nChild == 0) {
        // The new table written and synced, then the process dies before the rename.
        QSaveFile File(Path("scores"));
        File.open(QIODevice::WriteOnly);
        File.write(TBestScores::Serialize({{900, 9, Day(2)}}));
        File.flush();
        fsync(File.handle());
        _exit(0);
    }
    int nStatus = 0;
    waitpid(nChild, &nStatus, 0);
    EXPECT_EQ(ReadFile("scores"), Old);
    TBestScores Table = Open();
    EXPECT_EQ(Scores(Table), std::vector<int32_t>{100});
    EXPECT_TRUE(m_vecSaid.empty());
    EXPECT_EQ(Table.Record(50, 1, Day(3)), 2);
    EXPECT_EQ(Scores(Open()), (std::vector<int32_t>{100, 50}));
}

TEST_F(StoreTest, KilledAtAnyMomentOfARecordTheTableIsOldOrNew)
{
    // A child records a game and is killed at a random moment of its work, from before its
    // first write to after its last rename.
    auto RecordInChild = [this](int32_t nScore, long nKillAfterUs) {
        const pid_t nChild = fork();
        if (nChild == 0) {
            TBestScores Table(m_strFolder, [](const std::string&) {});
            Table.Record(nScore, 2, Day(2));
            _exit(0);
        }
        if (nKillAfterUs >= 0) {
            const timespec Wait{nKillAfterUs / 1000000, (nKillAfterUs % 1000000) * 1000};
            nanosleep(&Wait, nullptr);
            kill(nChild, SIGKILL);
        }
        int nStatus = 0;
        waitpid(nChild, &nStatus, 0);
    };
    Open().Record(100, 1, Day(1));
    timespec Start, End;
    clock_gettime(CLOCK_MONOTONIC, &Start);
    RecordInChild(101, -1);
    clock_gettime(CLOCK_MONOTONIC, &End);
    const long nWholeUs = (End.tv_sec - Start.tv_sec) * 1000000 + (End.tv_nsec - Start.tv_nsec) / 1000;
    std::srand(12345);
    int nNew = 0;
    for (int nRun = 0; nRun < 100; ++nRun) {
        const std::vector<int32_t> vecBefore = Scores(Open());
        RecordInChild(1000 + nRun, std::rand() % (nWholeUs + nWholeUs / 4 + 1));
        m_vecSaid.clear();
        const std::vector<int32_t> vecAfter = Scores(Open());
        EXPECT_TRUE(m_vecSaid.empty()) << "run " << nRun << ": " << m_vecSaid.front();
        std::vector<int32_t> vecNew = vecBefore;
        vecNew.insert(vecNew.begin(), 1000 + nRun);
        vecNew.resize(std::min<size_t>(vecNew.size(), TBestScores::MAX_ENTRIES));
        EXPECT_TRUE(vecAfter == vecBefore || vecAfter == vecNew) << "run " << nRun;
        // The killed writer's temporary went when the table was opened again.
        EXPECT_EQ(FolderEntries(m_strFolder).filter(".drelk2-temp-"), QStringList()) << "run " << nRun;
        nNew += vecAfter == vecNew;
    }
    // The kills fell both before and after the table was replaced.
    EXPECT_GT(nNew, 0);
    EXPECT_LT(nNew, 100);
}

TEST_F(StoreTest, WithoutAFolderToWriteTheGamePlaysAndSaysSoOnce)
{
    const QByteArray Home = qgetenv("HOME");
    const QString strMissingHome = m_Dir.path() + "/gone";
    const QString strFile = m_Dir.path() + "/a file";
    WriteFileAt(strFile, "x");
    // Folder for the table -> nothing may be created there.
    const QString FOLDERS[] = {
        strMissingHome + "/.local/share/drelk2",  // under a home folder that is missing
        "/proc/drelk2-test/drelk2",               // on a file system that cannot be written
        strFile + "/drelk2",                      // under a file
    };
    qputenv("HOME", QFile::encodeName(strMissingHome));
    for (const QString& strFolder : FOLDERS) {
        SCOPED_TRACE(qPrintable(strFolder));
        m_vecSaid.clear();
        TBestScores Table(strFolder, [this](const std::string& s) { m_vecSaid.push_back(s); });
        EXPECT_FALSE(Table.IsKept());
        EXPECT_EQ(Table.Record(100, 1, Day(1)), 1);
        EXPECT_EQ(Table.Record(200, 1, Day(2)), 1);
        ASSERT_EQ(m_vecSaid.size(), 1u);
        EXPECT_EQ(m_vecSaid[0].rfind("best scores are not kept: ", 0), 0u) << m_vecSaid[0];
        EXPECT_FALSE(QFileInfo::exists(strFolder));
    }
    EXPECT_FALSE(QFileInfo::exists(strMissingHome));
    qputenv("HOME", Home);
}

TEST_F(StoreTest, ChoicesAreRememberedAndAnUnusableFileSetAside)
{
    const QString strFile = m_Dir.path() + "/config/drelk2/drelk2.conf";
    auto Say = [this](const std::string& s) { m_vecSaid.push_back(s); };
    {
        TPlayerSettings Settings(strFile, Say);
        EXPECT_TRUE(Settings.IsMusicOn());  // a new player hears the music, in a window
        EXPECT_FALSE(Settings.IsFullScreen());
        Settings.SetMusicOn(false);
        Settings.SetFullScreen(true);
    }
    TPlayerSettings Again(strFile, Say);
    EXPECT_FALSE(Again.IsMusicOn());
    EXPECT_TRUE(Again.IsFullScreen());
    EXPECT_TRUE(m_vecSaid.empty());

    // A value that is no choice is no choice; a file that is not one goes aside.
    WriteFileAt(strFile, "[General]\nmusic=perhaps\nfullscreen=true\n");
    EXPECT_TRUE(TPlayerSettings(strFile, Say).IsMusicOn());
    QFile::remove(strFile);
    ASSERT_EQ(mkfifo(QFile::encodeName(strFile).constData(), 0644), 0);
    TPlayerSettings AfterFifo(strFile, Say);
    EXPECT_TRUE(AfterFifo.IsMusicOn());
    ASSERT_EQ(m_vecSaid.size(), 1u);
    EXPECT_EQ(m_vecSaid[0].rfind("settings set aside as ", 0), 0u) << m_vecSaid[0];
    AfterFifo.SetMusicOn(false);
    EXPECT_FALSE(TPlayerSettings(strFile, Say).IsMusicOn());
}

namespace {
// Names in the folder that are set-aside copies of strName.
QStringList AsideOf(const QString& strFolder, const QString& strName)
{
    return QDir(strFolder).entryList({strName + ".damaged-*"}, QDir::AllEntries | QDir::System);
}
}  // namespace

TEST_F(StoreTest, EveryShapeOfADamagedBackupIsSetAsideAndRecordingGoesOn)
{
    const QByteArray Table = TBestScores::Serialize({{500, 4, Day(1)}, {70, 2, Day(2)}});
    // What lies where the backup should be. The player keeps the table, and the new game.
    const struct
    {
        const char* szName;
        std::function<void(const QByteArray&)> pMake;
    } CASES[] = {
        {"a folder", [](const QByteArray& p) { mkdir(p.constData(), 0755); }},
        {"a FIFO", [](const QByteArray& p) { mkfifo(p.constData(), 0644); }},
        {"a link to nowhere", [](const QByteArray& p) { symlink("gone", p.constData()); }},
        {"a link to itself", [](const QByteArray& p) { symlink(p.constData(), p.constData()); }},
        {"a link to a device", [](const QByteArray& p) { symlink("/dev/null", p.constData()); }},
        {"garbage", [](const QByteArray& p) { WriteFileAt(QFile::decodeName(p), QByteArray("\x7f" "ELF\x02\x01", 6)); }},
        {"empty", [](const QByteArray& p) { WriteFileAt(QFile::decodeName(p), ""); }},
        {"huge", [](const QByteArray& p) { WriteFileAt(QFile::decodeName(p), QByteArray(200 * 1024, 'z')); }},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szName);
        StartAfresh();
        WriteFile("scores", Table);
        Case.pMake(QFile::encodeName(Path("scores.bak")));
        TBestScores Best = Open();
        ASSERT_EQ(m_vecSaid.size(), 1u);
        EXPECT_EQ(m_vecSaid[0].rfind("the best scores' backup set aside as " + Path("scores.bak.damaged-").toStdString(), 0), 0u)
            << m_vecSaid[0];
        EXPECT_EQ(AsideOf(m_strFolder, "scores.bak").size(), 1);
        EXPECT_EQ(Best.Record(300, 3, Day(3)), 2);
        EXPECT_TRUE(Best.IsKept());
        EXPECT_EQ(Scores(Open()), (std::vector<int32_t>{500, 300, 70}));
        EXPECT_EQ(ReadFile("scores.bak"), Table);
        EXPECT_EQ(m_vecSaid.size(), 1u);
    }
}

TEST_F(StoreTest, ALoneBackupIsRestoredAndNeverWrittenOver)
{
    const QByteArray Backup = TBestScores::Serialize({{500, 4, Day(1)}, {90, 3, Day(2)}});
    WriteFile("scores.bak", Backup);
    {
        TBestScores Best = Open();
        EXPECT_EQ(Scores(Best), (std::vector<int32_t>{500, 90}));
        EXPECT_EQ(m_vecSaid, std::vector<std::string>{"best scores restored from " + Path("scores.bak").toStdString()});
        EXPECT_EQ(ReadFile("scores"), Backup);
        EXPECT_EQ(Best.Record(100, 2, Day(3)), 2);
        EXPECT_EQ(Best.Record(50, 1, Day(4)), 4);
    }
    EXPECT_EQ(Scores(Open()), (std::vector<int32_t>{500, 100, 90, 50}));
    EXPECT_EQ(ReadFile("scores.bak"), TBestScores::Serialize({{500, 4, Day(1)}, {100, 2, Day(3)}, {90, 3, Day(2)}}));

    // When the table cannot even be restored (a full disk), the lone backup is left alone.
    QFile::remove(Path("scores"));
    WriteFile("scores.bak", Backup);
    m_vecSaid.clear();
    TFullDisk Full(0);
    TBestScores Best = Open();
    EXPECT_EQ(Best.Record(700, 5, Day(5)), 1);
    EXPECT_FALSE(Best.IsKept());
    EXPECT_EQ(ReadFile("scores.bak"), Backup);
    EXPECT_FALSE(QFileInfo::exists(Path("scores")));
    ASSERT_EQ(m_vecSaid.size(), 2u);
    EXPECT_NE(m_vecSaid[0].find("could not be written again"), std::string::npos) << m_vecSaid[0];
    EXPECT_NE(m_vecSaid[1].find("best scores are not kept: "), std::string::npos) << m_vecSaid[1];
}

TEST_F(StoreTest, AFullDiskKeepsTheTableAndItsBackupAndSaysTheGameIsNotKept)
{
    const std::vector<TEntry> vecTable = {{500, 4, Day(1)}, {70, 2, Day(2)}};
    const QByteArray Table = TBestScores::Serialize(vecTable);
    const QByteArray Backup = TBestScores::Serialize({{500, 4, Day(1)}});
    // Bytes left on the disk -> the backup afterwards. The table is the old one in every case.
    const struct
    {
        size_t nFree;
        QByteArray BackupAfter;
    } CASES[] = {
        {0, Backup},                                           // full: nothing changes
        {10, Backup},                                          // part of the backup: it is left as it was
        {static_cast<size_t>(Table.size()), Table},            // the backup, renewed; not the table
        {static_cast<size_t>(Table.size()) + 30, Table},       // part of the table too
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.nFree);
        WriteFile("scores", Table);
        WriteFile("scores.bak", Backup);
        m_vecSaid.clear();
        TBestScores Best = Open();
        {
            TFullDisk Full(Case.nFree);
            EXPECT_EQ(Best.Record(300, 3, Day(3)), 2);  // shown in its place at the end
        }
        EXPECT_FALSE(Best.IsKept());
        ASSERT_EQ(m_vecSaid.size(), 1u);
        EXPECT_EQ(m_vecSaid[0].rfind("best scores are not kept: ", 0), 0u);
        EXPECT_NE(m_vecSaid[0].find("No space left on device"), std::string::npos) << m_vecSaid[0];
        EXPECT_EQ(ReadFile("scores"), Table);
        EXPECT_EQ(ReadFile("scores.bak"), Case.BackupAfter);
        EXPECT_EQ(FolderEntries(m_strFolder), (QStringList{"scores", "scores.bak"}));
        // Room again: the next game is kept.
        EXPECT_EQ(Best.Record(200, 3, Day(4)), 2);
        EXPECT_TRUE(Best.IsKept());
        EXPECT_EQ(Scores(Open()), (std::vector<int32_t>{500, 200, 70}));
    }
}

TEST_F(StoreTest, GamesEndingTogetherKeepEveryEntry)
{
    constexpr int GAMES = 8;
    for (int nRound = 0; nRound < 5; ++nRound) {
        SCOPED_TRACE(nRound);
        StartAfresh();
        // Every game waits at the start line until the pipe closes, then records at once.
        int vStart[2];
        ASSERT_EQ(pipe(vStart), 0);
        std::vector<pid_t> vecGames;
        for (int i = 0; i < GAMES; ++i) {
            const pid_t nGame = fork();
            if (nGame == 0) {
                close(vStart[1]);
                TBestScores Best(m_strFolder, [](const std::string&) {});
                char c;
                while (read(vStart[0], &c, 1) < 0 && errno == EINTR) {
                }
                _exit(Best.Record(100 + i, 1, Day(1 + i)) > 0 && Best.IsKept() ? 0 : 1);
            }
            vecGames.push_back(nGame);
        }
        close(vStart[0]);
        close(vStart[1]);
        for (const pid_t nGame : vecGames) {
            int nStatus = 0;
            waitpid(nGame, &nStatus, 0);
            EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
        }
        EXPECT_EQ(Scores(Open()), (std::vector<int32_t>{107, 106, 105, 104, 103, 102, 101, 100}));
        EXPECT_TRUE(m_vecSaid.empty());
    }
}

TEST_F(StoreTest, AGameHoldingTheLockForGoodCostsABoundedWaitAndTheGameIsStillKept)
{
    Open().Record(100, 1, Day(1));
    TLockHolder Hung(m_strFolder);
    ASSERT_TRUE(Hung.IsHolding());
    TBestScores Best = Open();
    EXPECT_EQ(Best.Record(200, 2, Day(2)), 1);
    EXPECT_TRUE(Best.IsKept());
    ASSERT_EQ(m_vecSaid.size(), 1u);
    EXPECT_NE(m_vecSaid[0].find("written without the lock"), std::string::npos) << m_vecSaid[0];
    EXPECT_EQ(Scores(Open()), (std::vector<int32_t>{200, 100}));
}

TEST_F(StoreTest, ALinkedTableIsWrittenThroughTheLink)
{
    const QString strElsewhere = m_Dir.path() + "/synced";
    ASSERT_TRUE(QDir().mkpath(strElsewhere));
    WriteFileAt(strElsewhere + "/my scores", TBestScores::Serialize({{500, 4, Day(1)}}));
    ASSERT_TRUE(QFile::link(strElsewhere + "/my scores", Path("scores")));
    TBestScores Best = Open();
    EXPECT_EQ(Best.Record(300, 3, Day(2)), 2);
    EXPECT_TRUE(Best.IsKept());
    EXPECT_TRUE(QFileInfo(Path("scores")).isSymLink());
    EXPECT_EQ(ReadFileAt(strElsewhere + "/my scores"), TBestScores::Serialize({{500, 4, Day(1)}, {300, 3, Day(2)}}));
    EXPECT_EQ(ReadFile("scores.bak"), TBestScores::Serialize({{500, 4, Day(1)}}));
    EXPECT_EQ(FolderEntries(strElsewhere), QStringList{"my scores"});
    EXPECT_TRUE(m_vecSaid.empty());
}

TEST_F(StoreTest, ATableTooLargeKeepsItsBestEntries)
{
    // Games -> the ten kept. Of a table too large only the start is read (a bounded cost), and
    // every good line in it counts.
    std::vector<TEntry> vecMany;
    for (int i = 0; i < 3000; ++i)
        vecMany.push_back({(i * 7919) % 3000 + 1, 1 + i % 9, Day(1 + i % 28)});
    const QByteArray Many = TBestScores::Serialize(vecMany);
    ASSERT_GT(static_cast<uint64_t>(Many.size()), TBestScores::MAX_FILE_BYTES);
    QByteArray Padded = Many.left(Many.lastIndexOf('\n', 60000) + 1);
    Padded += QByteArray(static_cast<int>(TKeptFiles::MAX_SALVAGE_BYTES), '#') + '\n' +
              TBestScores::Serialize({{999999, 9, Day(1)}}).mid(21);
    const struct
    {
        const char* szName;
        QByteArray Bytes;
        std::vector<int32_t> vecKept;
    } CASES[] = {
        {"three thousand games", Many, {3000, 2999, 2998, 2997, 2996, 2995, 2994, 2993, 2992, 2991}},
        // The best game lies beyond what is read: what is read still counts.
        {"a best game after a megabyte of junk", Padded, {}},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szName);
        StartAfresh();
        WriteFile("scores", Case.Bytes);
        std::vector<int32_t> vecKept = Case.vecKept;
        if (vecKept.empty()) {
            std::vector<TEntry> vecRead;
            QString strError;
            TBestScores::Parse(Padded.left(Padded.indexOf('#')), vecRead, strError);
            for (const TEntry& Entry : vecRead)
                vecKept.push_back(Entry.nScore);
            ASSERT_EQ(vecKept.size(), 10u);
        }
        EXPECT_EQ(Scores(Open()), vecKept);
        ASSERT_EQ(m_vecSaid.size(), 1u);
        EXPECT_NE(m_vecSaid[0].find("more than the 65536 allowed"), std::string::npos) << m_vecSaid[0];
        EXPECT_EQ(AsideOf(m_strFolder, "scores").size(), 1);
        EXPECT_EQ(QFileInfo(Path(AsideOf(m_strFolder, "scores")[0])).size(), Case.Bytes.size());
        EXPECT_EQ(Scores(Open()), vecKept);
    }
}

TEST_F(StoreTest, AReadOnlyFolderStillShowsTheTableAndSaysOnceThatGamesAreNotKept)
{
    const QByteArray Table = TBestScores::Serialize({{500, 4, Day(1)}, {70, 2, Day(2)}});
    WriteFile("scores", Table);
    // Root writes anywhere: the check runs as nobody, over folders nobody may only read.
    for (QString strFolder = m_strFolder; strFolder.startsWith(m_Dir.path()); strFolder = QFileInfo(strFolder).path())
        ASSERT_EQ(chmod(QFile::encodeName(strFolder).constData(), 0555), 0);
    const std::string strFailures = RunInChild([&](std::string& strFailures) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            strFailures = "cannot become nobody";
            return;
        }
        std::vector<std::string> vecSaid;
        TBestScores Best(m_strFolder, [&](const std::string& s) { vecSaid.push_back(s); });
        CHILD_EXPECT(Scores(Best) == (std::vector<int32_t>{500, 70}), strFailures);
        CHILD_EXPECT(!Best.IsKept(), strFailures);
        CHILD_EXPECT(Best.Record(300, 3, Day(3)) == 2, strFailures);
        CHILD_EXPECT(Best.Record(900, 3, Day(4)) == 1, strFailures);
        CHILD_EXPECT(vecSaid.size() == 1, strFailures);
        CHILD_EXPECT(!vecSaid.empty() && vecSaid[0].rfind("best scores are not kept: " + m_strFolder.toStdString() +
                                                            " cannot be written", 0) == 0,
                     strFailures);
        TBestScores Shown(m_strFolder, [&](const std::string& s) { vecSaid.push_back(s); }, TBestScores::ACCESS_SHOW);
        CHILD_EXPECT(Scores(Shown) == (std::vector<int32_t>{500, 70}), strFailures);
        CHILD_EXPECT(vecSaid.size() == 1, strFailures);
    });
    for (QString strFolder = m_strFolder; strFolder.startsWith(m_Dir.path()); strFolder = QFileInfo(strFolder).path())
        chmod(QFile::encodeName(strFolder).constData(), 0755);
    EXPECT_EQ(strFailures, "");
    EXPECT_EQ(ReadFile("scores"), Table);
    EXPECT_EQ(FolderEntries(m_strFolder), QStringList{"scores"});
}

TEST_F(StoreTest, ShowingTheScoresMakesMovesAndWritesNothing)
{
    auto Show = [this](const QString& strFolder) {
        return TBestScores(strFolder, [this](const std::string& s) { m_vecSaid.push_back(s); }, TBestScores::ACCESS_SHOW);
    };
    // No folder yet: none is made.
    const QString strNew = m_Dir.path() + "/new/drelk2";
    EXPECT_EQ(Show(strNew).ToText(), "No best scores yet.\n");
    EXPECT_FALSE(QFileInfo::exists(m_Dir.path() + "/new"));
    EXPECT_TRUE(m_vecSaid.empty());

    // A damaged table and a lone backup are shown as far as they can be read, and left as they are.
    const QByteArray Damaged = "drelk2 best scores 1\n500 4 2024-05-01T12:30:00Z\nrubbish\n";
    const QByteArray Backup = TBestScores::Serialize({{90, 3, Day(3)}});
    const QString strOld = QString("scores.drelk2-temp-%1").arg(0x7ffffff0);
    WriteFile("scores", Damaged);
    WriteFile("scores.bak", Backup);
    WriteFile(qPrintable(strOld), "a dead writer's");
    EXPECT_EQ(Scores(Show(m_strFolder)), (std::vector<int32_t>{500, 90}));
    ASSERT_EQ(m_vecSaid.size(), 1u);
    EXPECT_NE(m_vecSaid[0].find("line 3 is not"), std::string::npos) << m_vecSaid[0];
    EXPECT_EQ(FolderEntries(m_strFolder), (QStringList{"scores", "scores.bak", strOld}));
    EXPECT_EQ(ReadFile("scores"), Damaged);
    QFile::remove(Path("scores"));
    EXPECT_EQ(Scores(Show(m_strFolder)), std::vector<int32_t>{90});
    EXPECT_FALSE(QFileInfo::exists(Path("scores")));
}

TEST_F(StoreTest, ATableThatCannotBeOpenedForLackOfDescriptorsIsNotDamaged)
{
    const QByteArray Table = TBestScores::Serialize({{500, 4, Day(1)}, {70, 2, Day(2)}});
    WriteFile("scores", Table);
    WriteFile("scores.bak", Table);
    const std::string strFailures = RunInChild([&](std::string& strFailures) {
        const int nFree = dup(0);
        close(nFree);
        rlimit Limit{static_cast<rlim_t>(nFree), static_cast<rlim_t>(nFree)};
        getrlimit(RLIMIT_NOFILE, &Limit);
        const rlim_t nHard = Limit.rlim_max;
        Limit.rlim_cur = static_cast<rlim_t>(nFree);
        setrlimit(RLIMIT_NOFILE, &Limit);
        std::vector<std::string> vecSaid;
        TBestScores Best(m_strFolder, [&](const std::string& s) { vecSaid.push_back(s); });
        CHILD_EXPECT(vecSaid.size() == 1, strFailures);
        CHILD_EXPECT(!vecSaid.empty() && vecSaid[0].find("Too many open files; the table is left as it is") != std::string::npos,
                     strFailures);
        CHILD_EXPECT(Best.Record(300, 3, Day(3)) > 0, strFailures);
        CHILD_EXPECT(!Best.IsKept(), strFailures);
        CHILD_EXPECT(vecSaid.size() == 2 && vecSaid[1].rfind("best scores are not kept: ", 0) == 0, strFailures);
        // Descriptors again: the next game is kept, with the table's games.
        Limit.rlim_cur = nHard;
        setrlimit(RLIMIT_NOFILE, &Limit);
        CHILD_EXPECT(Best.Record(200, 3, Day(4)) == 2, strFailures);
        CHILD_EXPECT(Best.IsKept(), strFailures);
    });
    EXPECT_EQ(strFailures, "");
    EXPECT_EQ(AsideOf(m_strFolder, "scores"), QStringList());
    EXPECT_EQ(Scores(Open()), (std::vector<int32_t>{500, 200, 70}));
}

namespace {
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Dir.isValid());
        m_strFolder = m_Dir.path() + "/config/drelk2";
        m_strFile = m_strFolder + "/drelk2.conf";
        ASSERT_TRUE(QDir().mkpath(m_strFolder));
    }
    TPlayerSettings Open() { return TPlayerSettings(m_strFile, [this](const std::string& s) { m_vecSaid.push_back(s); }); }

    QTemporaryDir m_Dir;
    QString m_strFolder;
    QString m_strFile;
    std::vector<std::string> m_vecSaid;
};
}  // namespace

TEST_F(SettingsTest, EveryOtherKeyGroupAndCommentIsKept)
{
    // As QSettings wrote it, with what a player or a later version added.
    WriteFileAt(m_strFile,
                "; my settings\n"
                "[General]\n"
                "fullscreen=false\n"
                "music=true\n"
                "maxfps=144\n"
                "\n"
                "[keys]\n"
                "turn_left=Left\n"
                "list=\"a, b\"\n"
                "\n"
                "[General]\n"
                "late=1\n");
    TPlayerSettings Settings = Open();
    EXPECT_TRUE(Settings.IsMusicOn());
    EXPECT_EQ(Settings.GetValue("General/late"), "1");
    EXPECT_EQ(Settings.GetValue("keys/list"), "a, b");
    Settings.SetMusicOn(false);
    Settings.SetValue("keys/fire", "space");
    Settings.SetValue("window/size", "800x600");
    EXPECT_EQ(ReadFileAt(m_strFile),
              "; my settings\n"
              "[General]\n"
              "fullscreen=false\n"
              "music=false\n"
              "maxfps=144\n"
              "late=1\n"
              "\n"
              "[keys]\n"
              "turn_left=Left\n"
              "list=\"a, b\"\n"
              "fire=space\n"
              "\n"
              "[window]\n"
              "size=800x600\n");
    EXPECT_TRUE(m_vecSaid.empty());
}

TEST_F(SettingsTest, ValuesReadBackAsTheyWereSet)
{
    // Key, value: each read back the same by a later run.
    const std::vector<std::pair<QString, QString>> VALUES = {
        {"General/maxfps", "144"},
        {"keys/turn_left", "Left"},
        {"nogroup", "in General"},
        {"keys/pad/fire", "A"},  // a key of a key, as QSettings writes it: [keys] pad\fire
        {"text/empty", ""},
        {"text/separators", "a, b; c # d = e"},
        {"text/ends", "  spaced  "},
        {"text/quotes", "say \"hi\" \\ bye"},
        {"text/lines", "one\ntwo\tthree\x01"},
        {"text/unicode", "Drëlk Ⅱ"},
    };
    {
        TPlayerSettings Settings = Open();
        for (const auto& Value : VALUES)
            Settings.SetValue(Value.first, Value.second);
    }
    TPlayerSettings Again = Open();
    for (const auto& Value : VALUES)
        EXPECT_EQ(Again.GetValue(Value.first), Value.second) << qPrintable(Value.first);
    EXPECT_EQ(Again.GetValue("General/nogroup"), "in General");
    EXPECT_EQ(Again.GetValue("keys/absent"), "");
    EXPECT_TRUE(ReadFileAt(m_strFile).contains("[keys]\nturn_left=Left\npad\\fire=A\n"));
    EXPECT_TRUE(m_vecSaid.empty());
}

TEST_F(SettingsTest, TheOptionsWindowsChoicesReadBackAndAnUnreadableOneIsTheDefault)
{
    {
        TPlayerSettings Fresh = Open();
        EXPECT_EQ(Fresh.GetMusicVolume(), 100);
        EXPECT_EQ(Fresh.GetEffectsVolume(), 100);
        EXPECT_TRUE(Fresh.IsAttractOn());
        Fresh.SetMusicVolume(35);
        Fresh.SetEffectsVolume(0);
        Fresh.SetAttractOn(false);
        Fresh.SetMaxFps(120);
    }
    TPlayerSettings Again = Open();
    EXPECT_EQ(Again.GetMusicVolume(), 35);
    EXPECT_EQ(Again.GetEffectsVolume(), 0);
    EXPECT_FALSE(Again.IsAttractOn());
    EXPECT_EQ(Again.GetMaxFps(), "120");
    EXPECT_EQ(ReadFileAt(m_strFile),
              "[General]\nmusic_volume=35\neffects_volume=0\nattract=false\nmaxfps=120\n");
    // A value written by hand that cannot be read is no choice.
    const char* const UNREADABLE[] = {"-1", "101", "loud", "", "50%"};
    for (const char* szValue : UNREADABLE) {
        WriteFileAt(m_strFile, QString("[General]\nmusic_volume=%1\nattract=%1\n").arg(szValue).toUtf8());
        TPlayerSettings Hand = Open();
        EXPECT_EQ(Hand.GetMusicVolume(), 100) << szValue;
        EXPECT_TRUE(Hand.IsAttractOn()) << szValue;
    }
    EXPECT_TRUE(m_vecSaid.empty());
}

TEST_F(SettingsTest, ARemovedKeyIsGoneFromTheFileAndAnotherGamesChoicesStay)
{
    WriteFileAt(m_strFile, "[keys]\nfire=Ctrl\n; mine\nwarp=W\nfire=Alt\n");
    TPlayerSettings First = Open();
    TPlayerSettings Second = Open();
    EXPECT_EQ(First.GetKeys("keys"), (QStringList{"fire", "warp"}));
    Second.SetValue("keys/thrust", "W");
    First.RemoveValue("keys/fire");
    EXPECT_EQ(First.GetValue("keys/fire"), "");
    EXPECT_EQ(ReadFileAt(m_strFile), "[keys]\n; mine\nwarp=W\nthrust=W\n");
    EXPECT_EQ(Open().GetKeys("keys"), (QStringList{"warp", "thrust"}));
    EXPECT_EQ(Open().GetKeys("nothing"), QStringList());
}

TEST_F(SettingsTest, OnlyReadingMakesMovesAndWritesNothing)
{
    const QString strMissing = m_Dir.path() + "/elsewhere/drelk2/drelk2.conf";
    TPlayerSettings Missing(strMissing, [this](const std::string& s) { m_vecSaid.push_back(s); },
                            TPlayerSettings::ACCESS_READ);
    EXPECT_TRUE(Missing.IsMusicOn());
    EXPECT_FALSE(QFileInfo::exists(m_Dir.path() + "/elsewhere"));
    // A damaged file is read as far as it goes and left where it is.
    WriteFileAt(m_strFile, QByteArray("[keys]\nfire=Ctrl\n") + QByteArray(TPlayerSettings::MAX_FILE_BYTES, 'x'));
    TPlayerSettings Damaged(m_strFile, [this](const std::string& s) { m_vecSaid.push_back(s); },
                            TPlayerSettings::ACCESS_READ);
    EXPECT_EQ(Damaged.GetValue("keys/fire"), "Ctrl");
    EXPECT_EQ(QDir(m_strFolder).entryList(QDir::Files), QStringList{"drelk2.conf"});
    ASSERT_EQ(m_vecSaid.size(), 1u);
    EXPECT_NE(m_vecSaid[0].find("read as far as it can be"), std::string::npos) << m_vecSaid[0];
}

TEST_F(SettingsTest, TwoGamesChangingChoicesKeepBoth)
{
    TPlayerSettings First = Open();
    TPlayerSettings Second = Open();
    First.SetMusicOn(false);
    Second.SetFullScreen(true);
    Second.SetValue("keys/fire", "space");
    First.SetValue("General/maxfps", "75");
    TPlayerSettings Later = Open();
    EXPECT_FALSE(Later.IsMusicOn());
    EXPECT_TRUE(Later.IsFullScreen());
    EXPECT_EQ(Later.GetValue("keys/fire"), "space");
    EXPECT_EQ(Later.GetValue("General/maxfps"), "75");
}

TEST_F(SettingsTest, ALinkedFileIsWrittenThroughAndAnOldLockOfAnyShapeIsIgnored)
{
    const QString strElsewhere = m_Dir.path() + "/dotfiles";
    ASSERT_TRUE(QDir().mkpath(strElsewhere));
    WriteFileAt(strElsewhere + "/drelk2.conf", "[General]\nmusic=true\n");
    ASSERT_TRUE(QFile::link(strElsewhere + "/drelk2.conf", m_strFile));
    // Earlier versions' lock beside the file: a FIFO and a folder would have hung them.
    const QString strLock = m_strFile + ".lock";
    ASSERT_EQ(mkfifo(QFile::encodeName(strLock).constData(), 0644), 0);
    for (int i = 0; i < 2; ++i) {
        TPlayerSettings Settings = Open();
        Settings.SetMusicOn(i == 1);
        Settings.SetFullScreen(i == 0);
        EXPECT_EQ(ReadFileAt(strElsewhere + "/drelk2.conf"),
                  i == 0 ? "[General]\nmusic=false\nfullscreen=true\n" : "[General]\nmusic=true\nfullscreen=false\n");
        QFile::remove(strLock);
        QDir().mkpath(strLock);
    }
    EXPECT_TRUE(QFileInfo(m_strFile).isSymLink());
    EXPECT_EQ(FolderEntries(strElsewhere), QStringList{"drelk2.conf"});
    EXPECT_TRUE(m_vecSaid.empty());
}

TEST_F(SettingsTest, AFullDiskKeepsTheFileAndIsToldOnce)
{
    WriteFileAt(m_strFile, "[General]\nmusic=true\n");
    TPlayerSettings Settings = Open();
    {
        TFullDisk Full(3);
        for (int i = 0; i < 4; ++i)
            Settings.SetMusicOn(i % 2 == 0);
    }
    // The run goes on with the choice; the file keeps the old one.
    EXPECT_FALSE(Settings.IsMusicOn());
    EXPECT_EQ(ReadFileAt(m_strFile), "[General]\nmusic=true\n");
    EXPECT_EQ(FolderEntries(m_strFolder), QStringList{"drelk2.conf"});
    ASSERT_EQ(m_vecSaid.size(), 1u);
    EXPECT_EQ(m_vecSaid[0].rfind("choices are not remembered: " + m_strFile.toStdString() + ": ", 0), 0u) << m_vecSaid[0];
    EXPECT_NE(m_vecSaid[0].find("No space left on device"), std::string::npos);
}

TEST_F(SettingsTest, AFileTooLargeIsSetAsideWithTheLinesItHolds)
{
    QByteArray Bytes = "[General]\nmusic=false\n[junk]\n";
    const QString strFirstKey = "junk/key" + QString::number(Bytes.size());
    while (static_cast<uint64_t>(Bytes.size()) <= TPlayerSettings::MAX_FILE_BYTES)
        Bytes += "key" + QByteArray::number(Bytes.size()) + "=value\n";
    WriteFileAt(m_strFile, Bytes);
    TPlayerSettings Settings = Open();
    EXPECT_FALSE(Settings.IsMusicOn());
    ASSERT_EQ(m_vecSaid.size(), 1u);
    EXPECT_EQ(m_vecSaid[0].rfind("settings set aside as " + m_strFile.toStdString() + ".damaged-", 0), 0u) << m_vecSaid[0];
    Settings.SetFullScreen(true);
    TPlayerSettings Again = Open();
    EXPECT_FALSE(Again.IsMusicOn());
    EXPECT_TRUE(Again.IsFullScreen());
    EXPECT_EQ(Again.GetValue(strFirstKey), "value");
}

TEST(SessionEndTest, HooksRunOnceNewestFirstWhileTheyLive)
{
    std::vector<std::string> vecRan;
    TSessionEnd::THook Window([&] { vecRan.push_back("window"); });
    auto pGone = std::make_unique<TSessionEnd::THook>([&] { vecRan.push_back("gone"); });
    TSessionEnd::THook Replay([&] { vecRan.push_back("replay"); });
    pGone.reset();
    EXPECT_FALSE(TSessionEnd::HasEnded());
    TSessionEnd::KeepNow();
    TSessionEnd::KeepNow();
    EXPECT_TRUE(TSessionEnd::HasEnded());
    EXPECT_EQ(vecRan, (std::vector<std::string>{"replay", "window"}));
}
