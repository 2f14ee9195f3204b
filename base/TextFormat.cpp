#include "base/TextFormat.h"

#include <cstdio>

std::string FormatTextV(const char* szFormat, va_list Args)
{
    char szBuf[512];
    std::vsnprintf(szBuf, sizeof szBuf, szFormat, Args);
    return szBuf;
}
