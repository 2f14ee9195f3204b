#include "core/Assert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
TAssert::TMessageHook s_pMessageHook = nullptr;

const char* BaseName(const char* szPath)
{
    const char* pSlash = std::strrchr(szPath, '/');
    return pSlash ? pSlash + 1 : szPath;
}
}  // namespace

std::string TAssert::FormatMessage(const char* szExpr, const char* szFile, int nLine)
{
    return std::string("Assertion failed: ") + szExpr + ", file " + BaseName(szFile) +
           ", line " + std::to_string(nLine);
}

void TAssert::Fail(const char* szExpr, const char* szFile, int nLine)
{
    const std::string strMessage = FormatMessage(szExpr, szFile, nLine);
    std::fprintf(stderr, "%s\n", strMessage.c_str());
    std::fflush(stderr);
    // Take the hook once so that an assertion inside the hook cannot recurse.
    if (TMessageHook pHook = s_pMessageHook) {
        s_pMessageHook = nullptr;
        pHook(ExecutableName(), strMessage);
    }
    std::abort();
}

void TAssert::SetMessageHook(TMessageHook pHook)
{
    s_pMessageHook = pHook;
}

std::string TAssert::ExecutableName()
{
    char szPath[4096];
    const ssize_t nLen = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (nLen <= 0)
        return "drelk2";
    szPath[nLen] = '\0';
    return BaseName(szPath);
}
