// What the game keeps for the player: the table of best scores written and read back, damaged
// tables set aside without losing the other games, writes that a crash cannot tear, folders
// that cannot be written, and the remembered choices.
#include "store/BestScores.h"
#include "store/PlayerSettings.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {
using TEntry = TBestScores::TEntry;

void WriteFileAt(const QString& strPath, const QByteArray& Bytes)
{
    QFile File(strPath);
    ASSERT_TRUE(File.open(QIODevice::WriteOnly)) << qPrintable(strPath);
    File.write(Bytes);
}

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
    QString Path(const char* szName) const { return m_strFolder + '/' + szName; }
    void WriteFile(const char* szName, const QByteArray& Bytes) const { WriteFileAt(Path(szName), Bytes); }
    QByteArray ReadFile(const char* szName) const
    {
        QFile File(Path(szName));
        return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
    }
    QStringList SetAside() const { return QDir(m_strFolder).entryList({"scores.damaged-*"}, QDir::AllEntries | QDir::System); }

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
        {"huge", [&](const QString& p) { WriteFileAt(p, Good + QByteArray(100 * 1024, '\n')); }, {500, 90}},
        {"a folder", [&](const QString& p) { QDir().mkpath(p + "/inside"); }, {500, 90}},
        {"a FIFO", [&](const QString& p) { mkfifo(QFile::encodeName(p).constData(), 0644); }, {500, 90}},
        {"a link to nowhere", [&](const QString& p) { QFile::link(p + ".gone", p); }, {500, 90}},
        {"a link to itself", [&](const QString& p) { QFile::link(p, p); }, {500, 90}},
    };
    for (const auto& Case : CASES) {
        SCOPED_TRACE(Case.szName);
        QDir(m_strFolder).removeRecursively();
        QDir().mkpath(m_strFolder);
        m_vecSaid.clear();
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
