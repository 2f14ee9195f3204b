#include "base/ExecutablePath.h"

#include <climits>
#include <cstdlib>

namespace {
std::string ResolvedPath()
{
    char szPath[PATH_MAX];
    if (!realpath("/proc/self/exe", szPath))
        return "";
    return szPath;
}
}  // namespace

std::string TExecutablePath::Dir()
{
    const std::string strPath = ResolvedPath();
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? "./" : strPath.substr(0, nSlash + 1);
}

std::string TExecutablePath::Name()
{
    const std::string strPath = ResolvedPath();
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? "drelk2" : strPath.substr(nSlash + 1);
}
