#include "tests/support/RunCommand.h"

#include <sys/wait.h>

#include <cstdio>

TCommandResult RunCommand(const std::string& strCommandLine)
{
    TCommandResult Result;
    FILE* fp = popen((strCommandLine + " 2>&1").c_str(), "r");
    if (!fp)
        return Result;
    char szBuf[4096];
    size_t nRead;
    while ((nRead = std::fread(szBuf, 1, sizeof szBuf, fp)) > 0)
        Result.strOut.append(szBuf, nRead);
    const int nStatus = pclose(fp);
    Result.nExitCode = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    return Result;
}

std::string ShellQuote(const std::string& strText)
{
    std::string strQuoted = "'";
    for (char c : strText)
        strQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return strQuoted + "'";
}
