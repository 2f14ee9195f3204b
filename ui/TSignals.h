#pragma once
// SIGINT, SIGTERM and SIGHUP (a closed terminal, the end of the desktop session) end the
// program as the ending screen does, with status 0, from the first instruction of main on.
// Until an event loop can hear them the handler ends the program itself. After, it writes a
// byte, and the event loop, in whatever window, keeps what must be kept (TSessionEnd) and ends
// with 0; should the loop not answer within GRACE_SECONDS (blocked in an open, say), the alarm
// ends the program all the same, and so does a second signal. The X display going away (Qt's
// and SoQt's exit(1)) keeps what must be kept on the way out, within the same grace.

class QObject;

class TSignals
{
public:
    // How long a signal gives the game to keep what it must and end, whatever it was doing (a
    // blocked open, no descriptor left): long enough for the scores' lock wait and a write.
    static constexpr unsigned int GRACE_SECONDS = 3;
    static constexpr int EXIT_NO_DISPLAY = 1;

    // First thing in main: the handlers, and SIGPIPE ignored (a standard error nobody reads
    // costs only the messages).
    static void Catch();
    // From now on a signal ends the event loop, not the program; and an exit keeps first.
    static void Watch(QObject* pParent);
    // Whether a signal has come.
    static bool Received();
    // The game window's work is done: whatever ends the program has nothing left to keep.
    static void Ending();
};
