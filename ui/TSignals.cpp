#include "ui/TSignals.h"

#include "store/SessionEnd.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace {
int s_vSignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t s_bSignalled = 0;
volatile std::sig_atomic_t s_bWatched = 0;
volatile std::sig_atomic_t s_nAlarmStatus = 0;
volatile std::sig_atomic_t s_bEnding = 0;

void OnSignal(int /*nSignal*/)
{
    if (!s_bWatched || s_bSignalled || s_bEnding)
        _exit(0);
    s_bSignalled = 1;
    alarm(TSignals::GRACE_SECONDS);
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(s_vSignalPipe[1], &c, 1);
}

void OnAlarm(int /*nSignal*/)
{
    _exit(s_nAlarmStatus);
}

}  // namespace

// SIGPIPE is ignored: a write to a standard error that nobody reads (a closed pipe) fails and
// is dropped instead of ending the game. SIGINT, SIGTERM and SIGHUP go to OnSignal.
void TSignals::Catch()
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

namespace {
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
    s_nAlarmStatus = TSignals::EXIT_NO_DISPLAY;
    alarm(TSignals::GRACE_SECONDS);
    TSessionEnd::KeepNow();
}
}  // namespace

void TSignals::Watch(QObject* pParent)
{
    std::atexit(OnExit);
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

bool TSignals::Received()
{
    return s_bSignalled != 0;
}

void TSignals::Ending()
{
    s_bEnding = 1;
}
