#pragma once
// Runs a command line through the shell and keeps what it printed and how it ended.

#include <string>

struct TCommandResult
{
    int nExitCode = -1;
    std::string strOut;  // standard output and standard error, interleaved
};

TCommandResult RunCommand(const std::string& strCommandLine);
// Single quotes for the shell.
std::string ShellQuote(const std::string& strText);
