// Fuzz target: pack from outside, a manifest and the files it names. The input is the manifest
// text, then a zero byte before each file's bytes: "f1", "f2", ... beside the manifest, where
// also stand a folder "dir", a FIFO "fifo" and links "zero" (to /dev/zero) and "up" (to the
// folder above). Whatever pack accepts must read back as it was packed.
#include "databank/Serializer.h"
#include "databank/SerializerWriter.h"
#include "tools/bank/Manifest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr size_t MAX_FILES = 16;

// The folder of this process, made once with its special files.
const std::string& WorkDir()
{
    static const std::string s_strDir = [] {
        const char* szBase = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string strTemplate = std::string(szBase) + "/drelk2-fuzz-manifest-XXXXXX";
        if (!mkdtemp(strTemplate.data()))
            std::abort();
        const std::string strDir = strTemplate + "/m";
        if (mkdir(strDir.c_str(), 0700) != 0 || mkdir((strDir + "/dir").c_str(), 0700) != 0 ||
            mkfifo((strDir + "/fifo").c_str(), 0600) != 0 || symlink("/dev/zero", (strDir + "/zero").c_str()) != 0 ||
            symlink("..", (strDir + "/up").c_str()) != 0)
            std::abort();
        // The folder goes when the fuzzer ends; the folder above it holds nothing else.
        static const std::string s_strTop = strTemplate;
        std::atexit([] { std::filesystem::remove_all(s_strTop); });
        return strDir;
    }();
    return s_strDir;
}

void WriteFile(const std::string& strPath, const uint8_t* pData, size_t nSize)
{
    std::ofstream Out(strPath, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(nSize));
}

// Splits the input at zero bytes: the manifest, then up to MAX_FILES files.
void LayOut(const uint8_t* pData, size_t nSize)
{
    const std::string& strDir = WorkDir();
    size_t nStart = 0, nPart = 0;
    for (size_t i = 0; i <= nSize && nPart <= MAX_FILES; ++i) {
        if (i < nSize && pData[i] != 0)
            continue;
        const std::string strName = nPart == 0 ? "manifest.json" : "f" + std::to_string(nPart);
        WriteFile(strDir + "/" + strName, pData + nStart, i - nStart);
        ++nPart;
        nStart = i + 1;
    }
    // Files of a longer earlier input are gone.
    for (size_t n = nPart; n <= MAX_FILES; ++n)
        unlink((strDir + "/f" + std::to_string(n)).c_str());
}

[[noreturn]] void Finding(const char* szWhat, int32_t nList, int nChunk)
{
    std::fprintf(stderr, "packed data file does not read back: %s (list %d, chunk %d)\n", szWhat, nList, nChunk);
    std::abort();
}

void CheckReadsBack(const std::string& strPath, const std::vector<std::unique_ptr<TVEChunkList>>& vecLists)
{
    TVESerializer Reader;
    if (!Reader.Open(strPath) || Reader.GetEntries().size() != vecLists.size())
        Finding(Reader.GetError().c_str(), -1, -1);
    for (const auto& pPacked : vecLists) {
        const int32_t nId = pPacked->GetHeader().nId;
        const std::unique_ptr<TVEChunkList> pRead = Reader.LoadList(nId);
        if (!pRead)
            Finding(Reader.GetError().c_str(), nId, -1);
        if (pRead->GetCount() != pPacked->GetCount() || pRead->GetType() != pPacked->GetType())
            Finding("chunk count or list type", nId, -1);
        for (int i = 0; i < pRead->GetCount(); ++i) {
            const TVEChunk& A = *pPacked->GetChunk(i);
            const TVEChunk& B = *pRead->GetChunk(i);
            if (A.GetType() != B.GetType() || A.m_Data.nId != B.m_Data.nId || A.m_Data.nSize != B.m_Data.nSize ||
                (A.m_Data.nSize > 0 &&
                 std::memcmp(A.m_Data.pData.get(), B.m_Data.pData.get(), static_cast<size_t>(A.m_Data.nSize)) != 0))
                Finding("chunk differs", nId, i);
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    LayOut(pData, nSize);
    const std::string& strDir = WorkDir();
    std::vector<std::unique_ptr<TVEChunkList>> vecLists;
    std::string strError;
    if (!TManifest::Load(strDir + "/manifest.json", vecLists, strError))
        return 0;
    std::vector<const TVEChunkList*> vecPtrs;
    for (const auto& pList : vecLists)
        vecPtrs.push_back(pList.get());
    const std::string strOut = strDir + "/out.bin";
    if (TVESerializerWriter::Write(strOut, vecPtrs, &strError))
        CheckReadsBack(strOut, vecLists);
    return 0;
}
