#include "ui/TCommandLine.h"

#include "core/Replay.h"
#include "core/Rules.h"
#include "store/ReplayShelf.h"
#include "ui/THelpText.h"
#include "ui/TScoresListing.h"
#include "ui/TWorldCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <string>

namespace {
// The replay --replay names (a file, 'last' or 'best'), read whole; false with one line said.
bool LoadReplay(const QString& strName, TFormMain::TOptions& Options)
{
    QString strWhy;
    const QString strPath = TReplayShelf().Resolve(strName, strWhy);
    if (strPath.isEmpty()) {
        std::fprintf(stderr, "drelk2: %s\n", qPrintable(strWhy));
        return false;
    }
    auto pReplay = std::make_shared<TReplay>();
    std::string strError;
    if (!TReplayFile::Load(strPath.toStdString(), *pReplay, strError)) {
        std::fprintf(stderr, "drelk2: %s\n", strError.c_str());
        return false;
    }
    Options.pReplay = pReplay;
    Options.strReplayName = strPath.toStdString();
    return true;
}

// An option's whole number from nMin to nMax into nValue; false, said in one line, otherwise.
bool ReadNumber(const QCommandLineParser& Parser, const QCommandLineOption& Option, int nMin, int nMax, int& nValue)
{
    bool bNumber = false;
    const int nRead = Parser.value(Option).toInt(&bNumber);
    if (!bNumber || nRead < nMin || nRead > nMax) {
        std::fprintf(stderr, "drelk2: --%s wants a number from %d to %d, not '%s'\n",
                     qPrintable(Option.names().constLast()), nMin, nMax, qPrintable(Parser.value(Option)));
        return false;
    }
    nValue = nRead;
    return true;
}

// --help and --version answer before any window or display is needed.
bool Parse(const QStringList& vecArgs, TCommandLine& Line, int& nExitCode)
{
    QCommandLineParser Parser;
    Parser.setApplicationDescription("Drelk II: shoot the rocks, clear the field, level after level.");
    const QCommandLineOption Help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption Version("version", "Show the version and exit.");
    const QCommandLineOption Data("data", "Play with this data file instead of looking for one (below).", "FILE");
    const QCommandLineOption Level("level", QString("Start at this level (1 to %1).").arg(TRules::MAX_LEVEL), "L", "1");
    const QCommandLineOption Stats("stats", "At exit, report start-up times, ticks and frames on standard error.");
    const QCommandLineOption FullScreen("fullscreen", "Play in full screen (F11 switches while playing).");
    const QCommandLineOption Scores("scores", "Show the table of best scores and exit.");
    const QCommandLineOption MaxFps("max-fps", QString("Draw at most N frames a second (0: the screen's rate; up to %1).")
                                                   .arg(TFormMain::MAX_FPS), "N");
    const QCommandLineOption Replay("replay", "Play a replay in the game window: a file, 'last' (the last game) or "
                                              "'best' (the best score's).", "REPLAY");
    Parser.addOptions({Help, Version, Data, Level, Stats, FullScreen, Scores, MaxFps, Replay});
    const TWorldCommands World(Parser);
    if (!Parser.parse(vecArgs)) {
        std::fprintf(stderr, "drelk2: %s (see --help)\n", qPrintable(Parser.errorText()));
        nExitCode = TCommandLine::EXIT_USAGE;
        return false;
    }
    if (Parser.isSet(Help)) {
        std::printf("%s%s", qPrintable(Parser.helpText()), THelpText::Epilogue().c_str());
        nExitCode = 0;
        return false;
    }
    if (Parser.isSet(Version)) {
        std::printf("drelk2 %s\n", DRELK_VERSION);
        nExitCode = 0;
        return false;
    }
    if (!Parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "drelk2: unexpected argument '%s' (see --help)\n",
                     qPrintable(Parser.positionalArguments().first()));
        nExitCode = TCommandLine::EXIT_USAGE;
        return false;
    }
    if (Parser.isSet(Scores)) {
        std::printf("%s", TScoresListing::Text().c_str());
        nExitCode = 0;
        return false;
    }
    if (World.Run(nExitCode))
        return false;
    int nLevel = 1;
    if (!ReadNumber(Parser, Level, 1, TRules::MAX_LEVEL, nLevel)) {
        nExitCode = TCommandLine::EXIT_USAGE;
        return false;
    }
    if (Parser.isSet(Replay) && Parser.isSet(Level)) {
        std::fprintf(stderr, "drelk2: a replay starts at its own level: --replay goes without --level\n");
        nExitCode = TCommandLine::EXIT_USAGE;
        return false;
    }
    if (Parser.isSet(Replay) && !LoadReplay(Parser.value(Replay), Line.Options)) {
        nExitCode = TFormMain::EXIT_BAD_REPLAY;
        return false;
    }
    if (Parser.isSet(MaxFps) && !ReadNumber(Parser, MaxFps, 0, TFormMain::MAX_FPS, Line.Options.nMaxFps)) {
        nExitCode = TCommandLine::EXIT_USAGE;
        return false;
    }
    Line.Options.nLevel = nLevel;
    Line.Options.strDataFile = Parser.value(Data).toStdString();
    Line.Options.bFullScreen = Parser.isSet(FullScreen);
    Line.bStats = Parser.isSet(Stats);
    return true;
}
}  // namespace

bool TCommandLine::Read(int argc, char** argv, TCommandLine& Line, int& nExitCode)
{
    // The options are read without a display: a plain application object serves the parser.
    QCoreApplication Core(argc, argv);
    QCoreApplication::setApplicationName("drelk2");
    return Parse(QCoreApplication::arguments(), Line, nExitCode);
}
