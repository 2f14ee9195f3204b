#pragma once
// The fatal assertion: for things that must never happen (caller bugs, exhausted memory).
// On in every build. Writes "Assertion failed: EXPR, file FILE, line N" to standard error,
// shows it in a message box when a GUI has installed a hook, then aborts.
// Bad data files, missing assets and audio failures do not use it: they are reported and
// end the program with a defined exit status.

#include <string>

class TAssert
{
public:
    // Shows the message to the player; installed by the game window once a GUI exists.
    using TMessageHook = void (*)(const std::string& strTitle, const std::string& strText);

    [[noreturn]] static void Fail(const char* szExpr, const char* szFile, int nLine);
    static std::string FormatMessage(const char* szExpr, const char* szFile, int nLine);
    // The hook gets the executable's name as the title.
    static void SetMessageHook(TMessageHook pHook);
};

#define DRELK_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : TAssert::Fail(#expr, __FILE__, __LINE__))
