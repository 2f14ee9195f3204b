#include "ui/TKeptLibraries.h"

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DRELK_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define DRELK_SANITIZED 1
#endif

void TKeptLibraries::KeepLoaded()
{
#ifdef DRELK_SANITIZED
    std::vector<std::string> vecNames;
    dl_iterate_phdr(
        [](dl_phdr_info* pInfo, size_t, void* pData) {
            if (pInfo->dlpi_name && *pInfo->dlpi_name)
                static_cast<std::vector<std::string>*>(pData)->push_back(pInfo->dlpi_name);
            return 0;
        },
        &vecNames);
    for (const std::string& strName : vecNames)
        dlopen(strName.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}
