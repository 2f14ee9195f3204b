// Fuzz target: a whole data file from outside, read list by list.
#include "databank/Serializer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // The reader takes a path: give it one over memory, not the disk.
    static const int s_nFd = memfd_create("drelk2-fuzz", 0);
    if (s_nFd < 0 || ftruncate(s_nFd, 0) != 0 || pwrite(s_nFd, pData, nSize, 0) != static_cast<ssize_t>(nSize))
        return 0;
    const std::string strPath = "/proc/self/fd/" + std::to_string(s_nFd);

    TVESerializer::LoadChunkList(strPath, 200);
    TVESerializer Serializer;
    if (!Serializer.Open(strPath))
        return 0;
    std::string strText;
    Serializer.Dump(strText);
    for (const TVESerializerEntry& Entry : Serializer.GetEntries())
        if (auto pList = Serializer.LoadList(Entry.nId))
            pList->Dump(strText);
    return 0;
}
