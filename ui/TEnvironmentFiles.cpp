#include "ui/TEnvironmentFiles.h"

#include "databank/RegularFile.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
struct TEnvironmentFile
{
    const char* szName;
    bool bDevices;  // a list of character devices separated by colons, else one regular file
};
const TEnvironmentFile ENVIRONMENT_FILES[] = {
    {"XAUTHORITY", false},                     // the X server's cookies
    {"XENVIRONMENT", false},                   // X resources
    {"QT_LOGGING_CONF", false},                // Qt's logging rules
    {"FONTCONFIG_FILE", false},                // the font configuration
    {"SDL_GAMECONTROLLERCONFIG_FILE", false},  // gamepad mappings
    {"SDL_JOYSTICK_DEVICE", true},             // joysticks to open
};

// Why strPath cannot serve (empty when it can, or when nothing is there).
std::string Unusable(const std::string& strPath, bool bDevice)
{
    struct stat St;
    if (stat(strPath.c_str(), &St) != 0 || (bDevice ? S_ISCHR(St.st_mode) : S_ISREG(St.st_mode)))
        return "";
    return std::string("is ") + TRegularFile::DescribeType(St.st_mode) + (bDevice ? ", not a device" : ", not a file");
}

}  // namespace

void TEnvironmentFiles::DropUnusable()
{
    for (const TEnvironmentFile& File : ENVIRONMENT_FILES) {
        const char* szValue = std::getenv(File.szName);
        if (!szValue || !*szValue)
            continue;
        std::string strKept;
        const std::string strValue = szValue;
        size_t nStart = 0;
        for (;;) {
            const size_t nEnd = File.bDevices ? strValue.find(':', nStart) : std::string::npos;
            const std::string strPath = strValue.substr(nStart, nEnd == std::string::npos ? nEnd : nEnd - nStart);
            const std::string strWhy = Unusable(strPath, File.bDevices);
            if (!strWhy.empty())
                std::fprintf(stderr, "drelk2: %s: %s %s; left out for this run\n", File.szName, strPath.c_str(), strWhy.c_str());
            else
                strKept += (strKept.empty() ? "" : ":") + strPath;
            if (nEnd == std::string::npos)
                break;
            nStart = nEnd + 1;
        }
        if (strKept.empty())
            unsetenv(File.szName);
        else if (strKept != strValue)
            setenv(File.szName, strKept.c_str(), 1);
    }
}
