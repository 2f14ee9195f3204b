#include "ui/TWorldCommands.h"

#include "ui/TWorldTable.h"

#include "core/Replay.h"
#include "store/PlayerSettings.h"
#include "store/ReplayShelf.h"

#include <QEventLoop>
#include <QFile>

#include <cstdio>

namespace {
// The server the settings name, or the exit status with the line said.
bool ServerOrSay(QUrl& Server, const TPlayerSettings& Settings)
{
    QString strError;
    Server = TWorldTable::ServerOf(Settings, strError);
    if (!Server.isEmpty())
        return true;
    if (strError.isEmpty())
        strError = "no world table set: put server=URL in the [General] group of " + TPlayerSettings::DefaultFile();
    std::fprintf(stderr, "drelk2: %s\n", qPrintable(strError));
    return false;
}
}  // namespace

TWorldCommands::TWorldCommands(QCommandLineParser& Parser) : m_Parser(Parser)
{
    m_Parser.addOptions({m_Submit, m_World, m_Name});
}

bool TWorldCommands::Run(int& nExitCode) const
{
    const bool bSubmit = m_Parser.isSet(m_Submit);
    const bool bWorld = m_Parser.isSet(m_World);
    if (m_Parser.isSet(m_Name) && !bSubmit) {
        std::fprintf(stderr, "drelk2: --name names a submission: it goes with --submit\n");
        nExitCode = EXIT_USAGE;
        return true;
    }
    if (bSubmit && bWorld) {
        std::fprintf(stderr, "drelk2: --submit and --world are two runs\n");
        nExitCode = EXIT_USAGE;
        return true;
    }
    if (bSubmit)
        nExitCode = Submit(m_Parser.value(m_Submit));
    else if (bWorld)
        nExitCode = World();
    return bSubmit || bWorld;
}

int TWorldCommands::Submit(const QString& strReplay) const
{
    // The replay is checked here first: a file the game cannot read is not worth sending.
    QString strWhy;
    const QString strPath = TReplayShelf().Resolve(strReplay, strWhy);
    TReplay Replay;
    std::string strError;
    if (strPath.isEmpty() || !TReplayFile::Load(strPath.toStdString(), Replay, strError)) {
        std::fprintf(stderr, "drelk2: %s\n", strPath.isEmpty() ? qPrintable(strWhy) : strError.c_str());
        return EXIT_BAD_REPLAY;
    }
    const TPlayerSettings Settings(TPlayerSettings::DefaultFile(), TKeptFiles::SayOnStandardError);
    QUrl Server;
    if (!ServerOrSay(Server, Settings))
        return EXIT_WORLD;
    const QString strName = m_Parser.isSet(m_Name) ? m_Parser.value(m_Name) : TWorldTable::NameOf(Settings);
    const std::vector<uint8_t> Bytes = TReplayFile::Serialize(Replay);
    TWorldTable Table(Server);
    QEventLoop Loop;
    TWorldTable::TSubmitted Result;
    Table.Submit(QByteArray(reinterpret_cast<const char*>(Bytes.data()), static_cast<int>(Bytes.size())), strName,
                 [&](const TWorldTable::TSubmitted& Answer) {
                     Result = Answer;
                     Loop.quit();
                 });
    Loop.exec();
    if (!Result.bOk) {
        std::fprintf(stderr, "drelk2: the world table at %s did not take the replay: %s\n",
                     qPrintable(Server.toDisplayString()), qPrintable(Result.strError));
        return EXIT_WORLD;
    }
    std::printf("Rank %lld in the world table at %s: score %d, level %d (game %lld)\n",
                static_cast<long long>(Result.nRank), qPrintable(Server.toDisplayString()), Result.nScore,
                Result.nLevel, static_cast<long long>(Result.nId));
    return 0;
}

int TWorldCommands::World() const
{
    const TPlayerSettings Settings(TPlayerSettings::DefaultFile(), TKeptFiles::SayOnStandardError);
    QUrl Server;
    if (!ServerOrSay(Server, Settings))
        return EXIT_WORLD;
    TWorldTable Table(Server);
    QEventLoop Loop;
    TWorldTable::TListed Result;
    Table.List(WORLD_ROWS, [&](const TWorldTable::TListed& Answer) {
        Result = Answer;
        Loop.quit();
    });
    Loop.exec();
    if (!Result.bOk) {
        std::fprintf(stderr, "drelk2: the world table at %s did not answer: %s\n", qPrintable(Server.toDisplayString()),
                     qPrintable(Result.strError));
        return EXIT_WORLD;
    }
    std::printf("The world table at %s\n", qPrintable(Server.toDisplayString()));
    if (Result.vecRows.empty())
        std::printf("No game yet.\n");
    for (const TWorldTable::TRow& Row : Result.vecRows) {
        // Padded by characters, not bytes: a name in any script keeps the columns.
        const QString strName = TWorldTable::Printable(Row.strName);
        std::printf("%4lld  %s%s %8lld  level %3lld  %s\n", static_cast<long long>(Row.nRank), qPrintable(strName),
                    qPrintable(QString(24 - strName.toUcs4().size(), ' ')), static_cast<long long>(Row.nScore),
                    static_cast<long long>(Row.nLevel), qPrintable(TWorldTable::Printable(Row.strDate.left(10))));
    }
    return 0;
}
