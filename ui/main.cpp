// drelk2: the game. Opens the start-up window, plays the game in its window, and leaves through
// the ending screen. Drelk_II.bin lies beside the executable or in the installed data folder.

#include "ui/TFormDebug.h"
#include "ui/TFormMain.h"

#include "base/Assert.h"
#include "core/Rules.h"
#include "core/GameDriver.h"
#include "core/Replay.h"
#include "input/Bindings.h"
#include "sound/FModSoundManager.h"
#include "store/BestScores.h"
#include "store/ReplayShelf.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSocketNotifier>

#include <X11/Xlib.h>

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int EXIT_NO_DISPLAY = 1;
constexpr int EXIT_USAGE = 2;

// What --help tells beyond the options: the keys, where the data file is looked for, the exit statuses.
std::string HelpEpilogue()
{
    std::string strText =
        "\nKeys (Pad Left and Pad Right are the left stick or the pad's, Pad Up the pad's up or the\n"
        "right trigger, Pad A the south button; keys/<command> in drelk2.conf changes them):\n" +
        TBindings().HelpText() + "\nThe data file: the one --data names, else the first of\n";
    for (const std::string& strPlace : TGameDriver::DataFilePlaces())
        strText += "  " + strPlace + "\n";
    strText +=
        "\nExit status:\n"
        "  0    left through the ending screen or the start-up window, or ended by a signal\n"
        "  1    no X display\n"
        "  2    a bad command line\n"
        "  3    a replay that cannot be read, or was made with other rules or another data file\n"
        "  255  a missing or bad data file, or an audio library error\n";
    return strText;
}

struct TCommandLine
{
    TFormMain::TOptions Options;
    bool bStats = false;
};

// The best scores for a person to read, each marked when its replay is kept.
std::string ScoresText()
{
    const TBestScores Scores;
    const TReplayShelf Shelf;
    std::string strText = Scores.ToText();
    if (Scores.GetEntries().empty())
        return strText;
    std::string strMarked;
    size_t nLine = 0, nStart = 0;
    for (size_t nEnd; (nEnd = strText.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1, ++nLine) {
        strMarked += strText.substr(nStart, nEnd - nStart);
        if (nLine < Scores.GetEntries().size() && !Shelf.PathOf(Scores.GetEntries()[nLine]).isEmpty())
            strMarked += "  replay";
        strMarked += '\n';
    }
    return strMarked;
}

// The replay --replay names (a file, 'last' or 'best'), read whole; false with one line said.
bool LoadReplay(const QString& strName, TFormMain::TOptions& Options)
{
    const TReplayShelf Shelf;
    QString strPath = strName;
    if (strName == "last" || strName == "best") {
        strPath = strName == "last" ? Shelf.Last() : Shelf.Best(TBestScores().GetEntries());
        if (strPath.isEmpty()) {
            std::fprintf(stderr, "drelk2: no replay kept in %s%s\n", qPrintable(Shelf.GetFolder()),
                         strName == "best" ? " for a listed best score" : "");
            return false;
        }
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

// --help and --version answer before any window or display is needed.
bool ParseCommandLine(const QStringList& vecArgs, TCommandLine& Line, int& nExitCode)
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
    if (!Parser.parse(vecArgs)) {
        std::fprintf(stderr, "drelk2: %s (see --help)\n", qPrintable(Parser.errorText()));
        nExitCode = EXIT_USAGE;
        return false;
    }
    if (Parser.isSet(Help)) {
        std::printf("%s%s", qPrintable(Parser.helpText()), HelpEpilogue().c_str());
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
        nExitCode = EXIT_USAGE;
        return false;
    }
    if (Parser.isSet(Scores)) {
        std::printf("%s", ScoresText().c_str());
        nExitCode = 0;
        return false;
    }
    bool bNumber = false;
    const int nLevel = Parser.value(Level).toInt(&bNumber);
    if (!bNumber || nLevel < 1 || nLevel > TRules::MAX_LEVEL) {
        std::fprintf(stderr, "drelk2: --level wants a number from 1 to %d, not '%s'\n", TRules::MAX_LEVEL,
                     qPrintable(Parser.value(Level)));
        nExitCode = EXIT_USAGE;
        return false;
    }
    if (Parser.isSet(Replay) && Parser.isSet(Level)) {
        std::fprintf(stderr, "drelk2: a replay starts at its own level: --replay goes without --level\n");
        nExitCode = EXIT_USAGE;
        return false;
    }
    if (Parser.isSet(Replay) && !LoadReplay(Parser.value(Replay), Line.Options)) {
        nExitCode = TFormMain::EXIT_BAD_REPLAY;
        return false;
    }
    if (Parser.isSet(MaxFps)) {
        const int nMaxFps = Parser.value(MaxFps).toInt(&bNumber);
        if (!bNumber || nMaxFps < 0 || nMaxFps > TFormMain::MAX_FPS) {
            std::fprintf(stderr, "drelk2: --max-fps wants a number from 0 to %d, not '%s'\n", TFormMain::MAX_FPS,
                         qPrintable(Parser.value(MaxFps)));
            nExitCode = EXIT_USAGE;
            return false;
        }
        Line.Options.nMaxFps = nMaxFps;
    }
    Line.Options.nLevel = nLevel;
    Line.Options.strDataFile = Parser.value(Data).toStdString();
    Line.Options.bFullScreen = Parser.isSet(FullScreen);
    Line.bStats = Parser.isSet(Stats);
    return true;
}

// The connection stays open until Qt has its own: an X server that resets when its last client
// leaves would otherwise refuse Qt in between.
struct TDisplayCheck
{
    Display* pDisplay = XOpenDisplay(nullptr);
    ~TDisplayCheck()
    {
        if (pDisplay)
            XCloseDisplay(pDisplay);
    }
};

// A standard stream that is not open would be taken by the next file the program opens (the
// data file, the X connection), and warnings meant for standard error would go there.
void KeepStandardStreamsOpen()
{
    for (int nFd = STDIN_FILENO; nFd <= STDERR_FILENO; ++nFd) {
        if (fcntl(nFd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int nNull = open("/dev/null", O_RDWR);
        if (nNull >= 0 && nNull != nFd) {
            dup2(nNull, nFd);
            close(nNull);
        }
    }
}

// SIGINT and SIGTERM end the program as the ending screen does, with status 0, from the first
// instruction of main on. Until an event loop can hear them the handler ends the program
// itself; after, it only writes a byte, and the event loop, in whatever window, ends with 0.
int s_vSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t s_bSignalled = 0;
volatile std::sig_atomic_t s_bWatched = 0;

void OnSignal(int /*nSignal*/)
{
    s_bSignalled = 1;
    if (!s_bWatched)
        _exit(0);
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(s_vSignalPipe[1], &c, 1);
}

// SIGPIPE is ignored: a write to a standard error that nobody reads (a closed pipe) fails and
// is dropped instead of ending the game. SIGINT and SIGTERM go to OnSignal.
void CatchSignals()
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_vSignalPipe) != 0)
        s_vSignalPipe[0] = s_vSignalPipe[1] = -1;
    struct sigaction Action = {};
    Action.sa_handler = OnSignal;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &Action, nullptr);
    sigaction(SIGTERM, &Action, nullptr);
    // Last, so that a watcher who sees SIGPIPE ignored knows the handlers are in place.
    signal(SIGPIPE, SIG_IGN);
}

// From now on a signal ends the event loop, not the program.
void WatchSignals(QObject* pParent)
{
    if (s_vSignalPipe[0] < 0)
        return;
    auto* pNotifier = new QSocketNotifier(s_vSignalPipe[0], QSocketNotifier::Read, pParent);
    QObject::connect(pNotifier, &QSocketNotifier::activated, [] {
        char c;
        [[maybe_unused]] const ssize_t n = read(s_vSignalPipe[0], &c, 1);
        QCoreApplication::exit(0);
    });
    s_bWatched = 1;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DRELK_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define DRELK_SANITIZED 1
#endif

// Mesa unloads its GL driver when the display closes, and what the driver still holds then
// shows as a leak "from an unknown module" at exit (112 bytes from swrast_dri.so under Xvfb).
// In the sanitizer build every library stays loaded to the end, so that the leak check sees
// what each holds and still finds the game's own leaks.
void KeepLibrariesLoaded()
{
#ifdef DRELK_SANITIZED
    std::vector<std::string> vecNames;
    dl_iterate_phdr(
        [](dl_phdr_info* pInfo, size_t, void* pData) {
            if (pInfo->dlpi_name && *pInfo->dlpi_name)
                static_cast<std::vector<std::string>*>(pData)->push_back(pInfo->dlpi_name);
            return 0;
        },
        &vecNames);
    for (const std::string& strName : vecNames)
        dlopen(strName.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

// Qt's note that a session has no runtime folder is noise to a player; anything else it says shows.
void FilterQtMessages(QtMsgType nType, const QMessageLogContext& Context, const QString& strMessage)
{
    if (nType != QtFatalMsg && nType != QtCriticalMsg && strMessage.startsWith("QStandardPaths:"))
        return;
    qt_message_output(nType, Context, strMessage);
}

void ShowFatal(const std::string& strTitle, const std::string& strText)
{
    QMessageBox::critical(nullptr, QString::fromStdString(strTitle), QString::fromStdString(strText));
}

void ReportStats(const TFormMain& Form)
{
    const TFormMain::TStats Stats = Form.GetStats();
    const double dSeconds = static_cast<double>(Stats.nPlayMs) / 1000.0;
    std::fprintf(stderr, "drelk2: start-up window drawn after %lld ms\n", static_cast<long long>(Stats.nSplashShownMs));
    std::fprintf(stderr, "drelk2: first game frame %lld ms after Start\n", static_cast<long long>(Stats.nFirstFrameMs));
    std::fprintf(stderr, "drelk2: %.1f s played: %llu ticks (%.1f a second), %llu frames (%.1f a second), %llu ticks dropped\n",
                 dSeconds, static_cast<unsigned long long>(Stats.nTicks),
                 dSeconds > 0 ? static_cast<double>(Stats.nTicks) / dSeconds : 0.0,
                 static_cast<unsigned long long>(Stats.nFrames),
                 dSeconds > 0 ? static_cast<double>(Stats.nFrames) / dSeconds : 0.0,
                 static_cast<unsigned long long>(Stats.nDroppedTicks));
    std::fprintf(stderr, "drelk2: frames at %.0f a second%s: frame to frame %.1f ms (median), %.1f ms (99th percentile)\n",
                 Stats.dFrameRate, Stats.bVerticalSync ? " with vertical sync" : "", Stats.dFrameP50Ms, Stats.dFrameP99Ms);
    if (Stats.nLatencies > 0)
        std::fprintf(stderr, "drelk2: a key on screen after %.1f ms (median), %.1f ms at most, %llu keys\n",
                     Stats.dLatencyP50Ms, Stats.dLatencyMaxMs, static_cast<unsigned long long>(Stats.nLatencies));
    if (Stats.bPlayed)
        std::fprintf(stderr, "drelk2: the game ended after %u ticks with score %d level %d\n", Stats.nGameTicks,
                     Stats.nScore, Stats.nLevel);
}
}  // namespace

int main(int argc, char** argv)
{
    KeepStandardStreamsOpen();
    CatchSignals();
    TCommandLine Line;
    int nExitCode = 0;
    {
        // The options are read without a display: a plain application object serves the parser.
        QCoreApplication Core(argc, argv);
        QCoreApplication::setApplicationName("drelk2");
        if (!ParseCommandLine(QCoreApplication::arguments(), Line, nExitCode))
            return nExitCode;
    }
    auto pDisplayCheck = std::make_unique<TDisplayCheck>();
    if (!pDisplayCheck->pDisplay) {
        const char* szDisplay = std::getenv("DISPLAY");
        if (szDisplay && *szDisplay)
            std::fprintf(stderr, "drelk2: cannot open the X display '%s'\n", szDisplay);
        else
            std::fprintf(stderr, "drelk2: no X display (DISPLAY is not set): the game needs a graphical session\n");
        return EXIT_NO_DISPLAY;
    }
    qInstallMessageHandler(FilterQtMessages);
    // The viewer draws through GLX.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Qt's own event dispatcher wakes for less than GLib's on the idle windows.
    setenv("QT_NO_GLIB", "1", 0);
    QApplication App(argc, argv);
    pDisplayCheck.reset();
    QApplication::setApplicationName("drelk2");
    QApplication::setApplicationVersion(DRELK_VERSION);
    TAssert::SetMessageHook(ShowFatal);
    TFModSoundManager::SetErrorHook(ShowFatal);
    WatchSignals(&App);

    int nStatus = 0;
    {
        TFormMain Form(Line.Options);
        if (Form.FormCreate(nExitCode) && !s_bSignalled) {
            FormDebug = new TFormDebug(&Form);
            nStatus = App.exec();
        } else {
            nStatus = nExitCode;
        }
        if (Line.bStats)
            ReportStats(Form);
    }
    KeepLibrariesLoaded();
    return s_bSignalled ? 0 : nStatus;
}
