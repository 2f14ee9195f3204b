#include "base/Assert.h"

#include "base/ExecutablePath.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
        pHook(TExecutablePath::Name(), strMessage);
    }
    std::abort();
}

void TAssert::SetMessageHook(TMessageHook pHook)
{
    s_pMessageHook = pHook;
}

