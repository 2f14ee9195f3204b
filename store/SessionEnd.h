#pragma once
// When the session ends from outside (SIGTERM, SIGINT, SIGHUP, the X display gone), what the
// player would lose is kept first: whoever holds such a thing (the game window: the game in
// progress and its replay) registers a hook for as long as it holds it, and drelk2's signal
// handling runs the hooks once, on the main thread, before the program ends with its status.

#include <functional>

class TSessionEnd
{
public:
    // Registered while it lives.
    class THook
    {
    public:
        explicit THook(std::function<void()> pKeepNow);
        ~THook();
        THook(const THook&) = delete;
        THook& operator=(const THook&) = delete;

    private:
        friend class TSessionEnd;
        std::function<void()> m_pKeepNow;
    };

    // Runs every registered hook once, the newest first; later calls run none. Main thread only.
    static void KeepNow();
    static bool HasEnded();
};
