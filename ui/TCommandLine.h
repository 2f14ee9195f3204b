#pragma once
// drelk2's command line: the options read, --help, --version and --scores answered, a replay to
// play loaded, all before any window or display is needed.

#include "ui/TFormMain.h"

class TCommandLine
{
public:
    static constexpr int EXIT_USAGE = 2;

    TFormMain::TOptions Options;
    bool bStats = false;

    // False when the program is to end now with nExitCode: an answer given (help, version,
    // scores), a bad command line, or a replay that cannot be played.
    static bool Read(int argc, char** argv, TCommandLine& Line, int& nExitCode);
};
