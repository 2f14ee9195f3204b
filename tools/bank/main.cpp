// drelk2-bank: makes and inspects the game's data file.
//   pack MANIFEST -o FILE           builds a data file from a JSON manifest
//   dump FILE [LIST-ID]             the container's table, then each list's chunks
//   verify FILE                     one line per problem; exit status 0 only when there is none
//   extract FILE LIST-ID ITEM-ID -o OUT   writes one item's payload
//   sheet FILE -o PNG               every texture and picture on one contact sheet
// Bad arguments exit with 2, bad files with 1, each with a one-line message.

#include "databank/Serializer.h"
#include "databank/SerializerWriter.h"
#include "tools/bank/ContactSheet.h"
#include "tools/bank/Manifest.h"
#include "tools/bank/Verifier.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
constexpr int EXIT_BAD_FILE = 1;
constexpr int EXIT_USAGE = 2;

const char USAGE[] = "usage: drelk2-bank pack MANIFEST -o FILE | dump FILE [LIST-ID] | verify FILE | "
                     "extract FILE LIST-ID ITEM-ID -o OUT | sheet FILE -o PNG";

int Usage(const std::string& strWhy)
{
    std::fprintf(stderr, "drelk2-bank: %s\n", strWhy.c_str());
    return EXIT_USAGE;
}

int BadFile(const std::string& strWhy)
{
    std::fprintf(stderr, "drelk2-bank: %s\n", strWhy.c_str());
    return EXIT_BAD_FILE;
}

bool ParseId(const std::string& strText, int32_t& nId)
{
    errno = 0;
    char* pEnd = nullptr;
    const long nValue = std::strtol(strText.c_str(), &pEnd, 10);
    if (strText.empty() || *pEnd != '\0' || errno != 0 || nValue < INT32_MIN || nValue > INT32_MAX)
        return false;
    nId = static_cast<int32_t>(nValue);
    return true;
}

// Splits "A B -o OUT" into the positional arguments and the output path.
bool TakeOutput(std::vector<std::string>& vecArgs, std::string& strOut)
{
    for (size_t i = 0; i < vecArgs.size(); ++i) {
        if (vecArgs[i] != "-o")
            continue;
        if (i + 1 >= vecArgs.size() || !strOut.empty())
            return false;
        strOut = vecArgs[i + 1];
        vecArgs.erase(vecArgs.begin() + static_cast<long>(i), vecArgs.begin() + static_cast<long>(i) + 2);
        --i;
    }
    return !strOut.empty();
}

int Pack(std::vector<std::string> vecArgs)
{
    std::string strOut;
    if (!TakeOutput(vecArgs, strOut) || vecArgs.size() != 1)
        return Usage("pack needs MANIFEST -o FILE");
    std::vector<std::unique_ptr<TVEChunkList>> vecLists;
    std::string strError;
    if (!TManifest::Load(vecArgs[0], vecLists, strError))
        return BadFile(strError);
    std::vector<const TVEChunkList*> vecPtrs;
    for (const auto& pList : vecLists)
        vecPtrs.push_back(pList.get());
    if (!TVESerializerWriter::Write(strOut, vecPtrs, &strError))
        return BadFile(strError);
    return 0;
}

int Dump(const std::vector<std::string>& vecArgs)
{
    int32_t nOnly = 0;
    if (vecArgs.empty() || vecArgs.size() > 2 || (vecArgs.size() == 2 && !ParseId(vecArgs[1], nOnly)))
        return Usage("dump needs FILE [LIST-ID]");
    TVESerializer Serializer;
    if (!Serializer.Open(vecArgs[0]))
        return BadFile(Serializer.GetError());
    if (vecArgs.size() == 2 && !Serializer.FindEntry(nOnly))
        return BadFile(vecArgs[0] + ": no list " + vecArgs[1]);
    std::string strText;
    Serializer.Dump(strText);
    std::vector<int32_t> vecDone;
    for (const TVESerializerEntry& Entry : Serializer.GetEntries()) {
        const bool bSeen = std::find(vecDone.begin(), vecDone.end(), Entry.nId) != vecDone.end();
        if (bSeen || (vecArgs.size() == 2 && Entry.nId != nOnly))
            continue;
        vecDone.push_back(Entry.nId);
        auto pList = Serializer.LoadList(Entry.nId);
        if (!pList)
            return BadFile(Serializer.GetError());
        pList->Dump(strText);
    }
    std::printf("%s\n", strText.c_str());
    return 0;
}

int Verify(const std::vector<std::string>& vecArgs)
{
    if (vecArgs.size() != 1)
        return Usage("verify needs FILE");
    const std::vector<std::string> vecProblems = TBankVerifier::Verify(vecArgs[0]);
    for (const std::string& strProblem : vecProblems)
        std::printf("%s\n", strProblem.c_str());
    return vecProblems.empty() ? 0 : EXIT_BAD_FILE;
}

int Extract(std::vector<std::string> vecArgs)
{
    std::string strOut;
    int32_t nList = 0, nItem = 0;
    if (!TakeOutput(vecArgs, strOut) || vecArgs.size() != 3 || !ParseId(vecArgs[1], nList) || !ParseId(vecArgs[2], nItem))
        return Usage("extract needs FILE LIST-ID ITEM-ID -o OUT");
    std::string strError;
    auto pList = TVESerializer::LoadChunkList(vecArgs[0], nList, &strError);
    if (!pList)
        return BadFile(strError);
    for (int i = 0; i < pList->GetCount(); ++i) {
        const TVEChunk* pChunk = pList->GetChunk(i);
        if (pChunk->m_Data.nId != nItem)
            continue;
        FILE* fp = std::fopen(strOut.c_str(), "wb");
        if (!fp)
            return BadFile("cannot create " + strOut + ": " + std::strerror(errno));
        const size_t nSize = static_cast<size_t>(pChunk->m_Data.nSize);
        const bool bOk = (nSize == 0 || std::fwrite(pChunk->m_Data.pData.get(), 1, nSize, fp) == nSize);
        if (std::fclose(fp) != 0 || !bOk)
            return BadFile("cannot write " + strOut);
        return 0;
    }
    return BadFile(vecArgs[0] + ": list " + vecArgs[1] + " holds no item " + vecArgs[2]);
}

int Sheet(std::vector<std::string> vecArgs)
{
    std::string strOut;
    if (!TakeOutput(vecArgs, strOut) || vecArgs.size() != 1)
        return Usage("sheet needs FILE -o PNG");
    std::string strError;
    return DrawContactSheet(vecArgs[0], strOut, &strError) ? 0 : BadFile(strError);
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage("no command (pack, dump, verify, extract, sheet; --help)");
    const std::string strCommand = argv[1];
    if (strCommand == "--help" || strCommand == "-h") {
        std::printf("%s\n", USAGE);
        return 0;
    }
    const std::vector<std::string> vecArgs(argv + 2, argv + argc);
    if (strCommand == "pack")
        return Pack(vecArgs);
    if (strCommand == "dump")
        return Dump(vecArgs);
    if (strCommand == "verify")
        return Verify(vecArgs);
    if (strCommand == "extract")
        return Extract(vecArgs);
    if (strCommand == "sheet")
        return Sheet(vecArgs);
    return Usage("unknown command '" + strCommand + "' (pack, dump, verify, extract, sheet; --help)");
}
