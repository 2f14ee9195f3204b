// drelk2: the game. Opens the start-up window, plays the game in its window, and leaves through
// the ending screen. Drelk_II.bin lies beside the executable or in the installed data folder.

#include "ui/TFormDebug.h"
#include "ui/TFormMain.h"

#include "base/Assert.h"
#include "core/Rules.h"
#include "core/GameDriver.h"
#include "core/Replay.h"
#include "databank/RegularFile.h"
#include "input/Bindings.h"
#include "sound/FModSoundManager.h"
#include "store/BestScores.h"
#include "store/PlayerSettings.h"
#include "store/ReplayShelf.h"
#include "store/SessionEnd.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSocketNotifier>

#include <X11/Xlib.h>

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int EXIT_NO_DISPLAY = 1;
constexpr int EXIT_USAGE = 2;
// How long a signal gives the game to keep what it must and end, whatever it was doing (a
// blocked open, no descriptor left): long enough for the scores' lock wait and a write.
constexpr unsigned int SIGNAL_GRACE_SECONDS = 3;

// The keys in force: the table with the player's own from the settings file, which is only read.
// What cannot be used there (an unknown command, a key two commands share) is said.
TBindings BindingsInForce()
{
    const TPlayerSettings Settings(TPlayerSettings::DefaultFile(), TKeptFiles::SayOnStandardError,
                                   TPlayerSettings::ACCESS_READ);
    TBindings Bindings;
    Bindings.ApplySettings([&Settings](const QString& strKey) { return Settings.GetValue(strKey); },
                           TKeptFiles::SayOnStandardError, Settings.GetKeys("keys"));
    return Bindings;
}

// What --help tells beyond the options: the keys, where the data file is looked for, the exit statuses.
std::string HelpEpilogue()
{
    std::string strText =
        "\nKeys:\n" + BindingsInForce().HelpText() +
        "Pad Left and Pad Right are the left stick or the pad's left and right, Pad Up the pad's up\n"
        "or the right trigger, Pad Down the pad's down, Pad A, Pad B, Pad X and Pad Y the south,\n"
        "east, west and north buttons, Pad LB and Pad RB the shoulder buttons. A line\n"
        "<command>=KEY, ... in the [keys] group of drelk2.conf gives a command keys of your own\n"
        "(None: no key, Pad None: no pad button); the start-up window's Keys & pad sets them too.\n"
        "These are the keys in force.\n"
        "\nThe data file: the one --data names, else the first of\n";
    for (const std::string& strPlace : TGameDriver::DataFilePlaces())
        strText += "  " + strPlace + "\n";
    strText +=
        "\nExit status:\n"
        "  0    left through the ending screen or the start-up window, or ended by SIGINT,\n"
        "       SIGTERM or SIGHUP (within 3 seconds, whatever the game was doing)\n"
        "  1    no X display, or the X display went away\n"
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

// The best scores for a person to read, each marked when its replay is kept. Only read: nothing
// is made, moved or written.
std::string ScoresText()
{
    const TBestScores Scores(TBestScores::DefaultFolder(), TKeptFiles::SayOnStandardError, TBestScores::ACCESS_SHOW);
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
        strPath = strName == "last" ? Shelf.Last() : Shelf.Best();
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
    int nLevel = 1;
    if (!ReadNumber(Parser, Level, 1, TRules::MAX_LEVEL, nLevel)) {
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
    if (Parser.isSet(MaxFps) && !ReadNumber(Parser, MaxFps, 0, TFormMain::MAX_FPS, Line.Options.nMaxFps)) {
        nExitCode = EXIT_USAGE;
        return false;
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

// SIGINT, SIGTERM and SIGHUP (a closed terminal, the end of the desktop session) end the
// program as the ending screen does, with status 0, from the first instruction of main on.
// Until an event loop can hear them the handler ends the program itself. After, it writes a
// byte, and the event loop, in whatever window, keeps what must be kept (TSessionEnd) and ends
// with 0; should the loop not answer within SIGNAL_GRACE_SECONDS (blocked in an open, say),
// the alarm ends the program all the same, and so does a second signal.
int s_vSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t s_bSignalled = 0;
volatile std::sig_atomic_t s_bWatched = 0;
volatile std::sig_atomic_t s_nAlarmStatus = 0;
// Set once the game window's work is done: nothing is left to keep.
volatile std::sig_atomic_t s_bEnding = 0;

void OnSignal(int /*nSignal*/)
{
    if (!s_bWatched || s_bSignalled || s_bEnding)
        _exit(0);
    s_bSignalled = 1;
    alarm(SIGNAL_GRACE_SECONDS);
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(s_vSignalPipe[1], &c, 1);
}

void OnAlarm(int /*nSignal*/)
{
    _exit(s_nAlarmStatus);
}

// SIGPIPE is ignored: a write to a standard error that nobody reads (a closed pipe) fails and
// is dropped instead of ending the game. SIGINT, SIGTERM and SIGHUP go to OnSignal.
void CatchSignals()
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_vSignalPipe) != 0)
        s_vSignalPipe[0] = s_vSignalPipe[1] = -1;
    struct sigaction Action = {};
    sigemptyset(&Action.sa_mask);
    Action.sa_handler = OnAlarm;
    sigaction(SIGALRM, &Action, nullptr);
    Action.sa_handler = OnSignal;
    Action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &Action, nullptr);
    sigaction(SIGTERM, &Action, nullptr);
    sigaction(SIGHUP, &Action, nullptr);
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
        TSessionEnd::KeepNow();
        QCoreApplication::exit(0);
    });
    s_bWatched = 1;
}

// Qt ends the program with exit(1) when the X server goes away (Xlib's handler does the same),
// and SoQt after its fatal error dialog: what must be kept is kept on the way out, within the
// same grace as for a signal, and a signal received before keeps its status 0. Once the game
// window's work is done, nothing is left to keep.
void OnExit()
{
    if (s_bEnding)
        return;
    if (s_bSignalled)
        _exit(0);
    s_nAlarmStatus = EXIT_NO_DISPLAY;
    alarm(SIGNAL_GRACE_SECONDS);
    TSessionEnd::KeepNow();
}

// Files and devices that libraries open at start because the environment names them. A FIFO
// there would block that open for good, before any window or with the game's window frozen;
// whatever is not what it must be is left out for this run, with one line. A missing file is
// the library's to tell.
struct TEnvironmentFile
{
    const char* szName;
    bool bDevices;  // a list of character devices separated by colons, else one regular file
};
const TEnvironmentFile ENVIRONMENT_FILES[] = {
    {"XAUTHORITY", false},                     // the X server's cookies
    {"XENVIRONMENT", false},                   // X resources
    {"QT_LOGGING_CONF", false},                // Qt's logging rules
    {"FONTCONFIG_FILE", false},                // the font configuration
    {"SDL_GAMECONTROLLERCONFIG_FILE", false},  // gamepad mappings
    {"SDL_JOYSTICK_DEVICE", true},             // joysticks to open
};

// Why strPath cannot serve (empty when it can, or when nothing is there).
std::string Unusable(const std::string& strPath, bool bDevice)
{
    struct stat St;
    if (stat(strPath.c_str(), &St) != 0 || (bDevice ? S_ISCHR(St.st_mode) : S_ISREG(St.st_mode)))
        return "";
    return std::string("is ") + TRegularFile::DescribeType(St.st_mode) + (bDevice ? ", not a device" : ", not a file");
}

// Before any thread: the environment is changed here.
void DropUnusableEnvironment()
{
    for (const TEnvironmentFile& File : ENVIRONMENT_FILES) {
        const char* szValue = std::getenv(File.szName);
        if (!szValue || !*szValue)
            continue;
        std::string strKept;
        const std::string strValue = szValue;
        size_t nStart = 0;
        for (;;) {
            const size_t nEnd = File.bDevices ? strValue.find(':', nStart) : std::string::npos;
            const std::string strPath = strValue.substr(nStart, nEnd == std::string::npos ? nEnd : nEnd - nStart);
            const std::string strWhy = Unusable(strPath, File.bDevices);
            if (!strWhy.empty())
                std::fprintf(stderr, "drelk2: %s: %s %s; left out for this run\n", File.szName, strPath.c_str(), strWhy.c_str());
            else
                strKept += (strKept.empty() ? "" : ":") + strPath;
            if (nEnd == std::string::npos)
                break;
            nStart = nEnd + 1;
        }
        if (strKept.empty())
            unsetenv(File.szName);
        else if (strKept != strValue)
            setenv(File.szName, strKept.c_str(), 1);
    }
}

// The game needs some twenty descriptors (the X connection, GL, sound, the threads' wake-ups)
// and a few more to keep the player's files. Qt draws plain windows through shared memory that
// the X server hands over as a descriptor; with none left to receive it, the X library waits
// for the reply for ever (the black ending screen of `ulimit -n 16`). So a low soft limit is
// raised toward the hard one, and while it stays under FEW_DESCRIPTORS Qt draws without
// shared memory.
constexpr rlim_t FEW_DESCRIPTORS = 64;

void SpareDescriptors()
{
    rlimit Limit;
    if (getrlimit(RLIMIT_NOFILE, &Limit) != 0 || Limit.rlim_cur >= FEW_DESCRIPTORS)
        return;
    Limit.rlim_cur = std::min(Limit.rlim_max, FEW_DESCRIPTORS);
    setrlimit(RLIMIT_NOFILE, &Limit);
    if (getrlimit(RLIMIT_NOFILE, &Limit) != 0 || Limit.rlim_cur < FEW_DESCRIPTORS)
        setenv("QT_XCB_NO_MITSHM", "1", 1);
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
    DropUnusableEnvironment();
    SpareDescriptors();
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
    std::atexit(OnExit);

    int nStatus = 0;
    {
        TFormMain Form(Line.Options);
        if (Form.FormCreate(nExitCode) && !s_bSignalled) {
            FormDebug = new TFormDebug(&Form);
            nStatus = App.exec();
        } else {
            nStatus = nExitCode;
        }
        // Whatever ends the program from here has nothing left to keep.
        s_bEnding = 1;
        if (Line.bStats)
            ReportStats(Form);
    }
    KeepLibrariesLoaded();
    return s_bSignalled ? 0 : nStatus;
}
