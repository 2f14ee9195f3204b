#pragma once
// Where the running program lives: the data file lies beside it.

#include <string>

class TExecutablePath
{
public:
    // The directory of /proc/self/exe with symlinks resolved, with a trailing '/'; "./" if unknown.
    static std::string Dir();
    // The executable's file name; "drelk2" if unknown.
    static std::string Name();
};
