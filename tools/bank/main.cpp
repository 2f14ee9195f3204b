// drelk2-bank: makes and inspects the game's data file.
//   pack MANIFEST -o FILE           builds a data file from a JSON manifest
//   dump FILE [LIST-ID]             the container's table, then each list's chunks
//   verify FILE                     one line per problem; exit status 0 only when there is none
//   extract FILE LIST-ID ITEM-ID -o OUT   writes one item's payload
//   sheet FILE -o PNG               every texture and picture on one contact sheet
// Bad arguments exit with 2, bad files with 1, each with a one-line message.

#include "databank/AtomicFile.h"
#include "databank/Serializer.h"
#include "databank/SerializerWriter.h"
#include "tools/bank/ContactSheet.h"
#include "tools/bank/Manifest.h"
#include "tools/bank/Verifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

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

const char DESCRIPTION[] =
    "Makes and inspects the Drelk II data file.\n\n"
    "Commands:\n"
    "  pack MANIFEST -o FILE                builds a data file from a JSON manifest\n"
    "  dump FILE [LIST-ID]                  the container's table, then each list's chunks\n"
    "  verify FILE                          one line per problem; status 0 only when there is none\n"
    "  extract FILE LIST-ID ITEM-ID -o OUT  writes one item's payload\n"
    "  sheet FILE -o PNG                    every texture and picture on one contact sheet\n\n"
    "A negative ID follows \"--\". Exit status: 0 done, 1 a file that cannot be used, 2 bad arguments.";

// A message stays on its one line whatever the names in it hold: control characters escaped.
void Say(const std::string& strWhy)
{
    std::string strLine;
    for (const char c : strWhy) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) {
            strLine += c;
            continue;
        }
        char szEscape[8];
        std::snprintf(szEscape, sizeof szEscape, "\\x%02x", static_cast<unsigned char>(c));
        strLine += szEscape;
    }
    std::fprintf(stderr, "drelk2-bank: %s\n", strLine.c_str());
}

int Usage(const std::string& strWhy)
{
    Say(strWhy);
    return EXIT_USAGE;
}

int BadFile(const std::string& strWhy)
{
    Say(strWhy);
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

// A command's arguments: the positional ones after the command name, and -o OUT when given.
struct TCommandArgs
{
    std::vector<std::string> vecArgs;
    std::string strOut;
    bool bHasOut = false;
};

int Pack(const TCommandArgs& Args)
{
    const std::vector<std::string>& vecArgs = Args.vecArgs;
    const std::string& strOut = Args.strOut;
    if (!Args.bHasOut || vecArgs.size() != 1)
        return Usage("pack needs MANIFEST -o FILE");
    // Refused before the manifest's files are read, not after.
    const std::string strTarget = TAtomicFile::CheckTarget(strOut);
    if (!strTarget.empty())
        return BadFile(strTarget);
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

int Dump(const TCommandArgs& Args)
{
    const std::vector<std::string>& vecArgs = Args.vecArgs;
    int32_t nOnly = 0;
    if (Args.bHasOut || vecArgs.empty() || vecArgs.size() > 2 || (vecArgs.size() == 2 && !ParseId(vecArgs[1], nOnly)))
        return Usage("dump needs FILE [LIST-ID]");
    TVESerializer Serializer;
    if (!Serializer.Open(vecArgs[0]))
        return BadFile(Serializer.GetError());
    if (vecArgs.size() == 2 && !Serializer.FindEntry(nOnly))
        return BadFile(vecArgs[0] + ": no list " + vecArgs[1]);
    // Everything readable is dumped, a list at a time as it is read; each damaged list then
    // gets one line, and the status says so.
    std::string strText;
    Serializer.Dump(strText);
    std::fputs(strText.c_str(), stdout);
    std::vector<std::string> vecProblems;
    std::vector<int32_t> vecDone;
    for (const TVESerializerEntry& Entry : Serializer.GetEntries()) {
        const bool bSeen = std::find(vecDone.begin(), vecDone.end(), Entry.nId) != vecDone.end();
        if (bSeen || (vecArgs.size() == 2 && Entry.nId != nOnly))
            continue;
        vecDone.push_back(Entry.nId);
        auto pList = Serializer.LoadList(Entry.nId);
        if (pList) {
            strText.clear();
            pList->Dump(strText);
            std::fputs(strText.c_str(), stdout);
        }
        // A list cut short by the end of the file: that is the fault, whether or not it parses.
        const std::string strMissing = Serializer.DescribeMissing(Entry);
        if (!strMissing.empty() || !pList)
            vecProblems.push_back(strMissing.empty() ? Serializer.GetError() : strMissing);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);  // the dump comes before the lines that say what is wrong with it
    for (const std::string& strProblem : vecProblems)
        BadFile(strProblem);
    return vecProblems.empty() ? 0 : EXIT_BAD_FILE;
}

int Verify(const TCommandArgs& Args)
{
    const std::vector<std::string>& vecArgs = Args.vecArgs;
    if (Args.bHasOut || vecArgs.size() != 1)
        return Usage("verify needs FILE");
    const std::vector<std::string> vecProblems = TBankVerifier::Verify(vecArgs[0]);
    for (const std::string& strProblem : vecProblems)
        std::printf("%s\n", strProblem.c_str());
    // Out before anything at exit (a sanitizer's report) can end the process without it.
    std::fflush(stdout);
    return vecProblems.empty() ? 0 : EXIT_BAD_FILE;
}

int Extract(const TCommandArgs& Args)
{
    const std::vector<std::string>& vecArgs = Args.vecArgs;
    int32_t nList = 0, nItem = 0;
    if (!Args.bHasOut || vecArgs.size() != 3 || !ParseId(vecArgs[1], nList) || !ParseId(vecArgs[2], nItem))
        return Usage("extract needs FILE LIST-ID ITEM-ID -o OUT");
    TVESerializer Serializer;
    if (!Serializer.Open(vecArgs[0]))
        return BadFile(Serializer.GetError());
    // An item read from a list cut short would end in zeros that are not its own.
    if (const TVESerializerEntry* pEntry = Serializer.FindEntry(nList))
        if (Serializer.GetMissingBytes(*pEntry) > 0)
            return BadFile(Serializer.DescribeMissing(*pEntry));
    auto pList = Serializer.LoadList(nList);
    if (!pList)
        return BadFile(Serializer.GetError());
    for (int i = 0; i < pList->GetCount(); ++i) {
        const TVEChunk* pChunk = pList->GetChunk(i);
        if (pChunk->m_Data.nId != nItem)
            continue;
        TAtomicFile Out;
        std::string strError;
        if (!Out.Open(Args.strOut, strError))
            return BadFile(strError);
        if (pChunk->m_Data.nSize > 0)
            Out.Write(pChunk->m_Data.pData.get(), static_cast<size_t>(pChunk->m_Data.nSize));
        return Out.Commit(strError) ? 0 : BadFile(strError);
    }
    return BadFile(vecArgs[0] + ": list " + vecArgs[1] + " holds no item " + vecArgs[2]);
}

int Sheet(const TCommandArgs& Args)
{
    if (!Args.bHasOut || Args.vecArgs.size() != 1)
        return Usage("sheet needs FILE -o PNG");
    const std::string strTarget = TAtomicFile::CheckTarget(Args.strOut);
    if (!strTarget.empty())
        return BadFile(strTarget);
    std::string strError;
    return DrawContactSheet(Args.vecArgs[0], Args.strOut, &strError) ? 0 : BadFile(strError);
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName("drelk2-bank");
    QCoreApplication::setApplicationVersion(DRELK_VERSION);
    QStringList Arguments;
    for (int i = 0; i < argc; ++i)
        Arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser Parser;
    Parser.setApplicationDescription(DESCRIPTION);
    const QCommandLineOption Help = Parser.addHelpOption();
    const QCommandLineOption Version = Parser.addVersionOption();
    const QCommandLineOption Output({"o", "output"}, "The file to write (pack, extract, sheet).", "file");
    Parser.addOption(Output);
    Parser.addPositionalArgument("command", "pack, dump, verify, extract or sheet.");
    Parser.addPositionalArgument("arguments", "The command's arguments.", "[arguments...]");
    if (!Parser.parse(Arguments))
        return Usage(Parser.errorText().toStdString() + " (see --help)");
    if (Parser.isSet(Help) || Parser.isSet("help-all")) {
        // The help text names the program from the application object's arguments.
        QCoreApplication App(argc, argv);
        std::printf("%s", Parser.helpText().toLocal8Bit().constData());
        return 0;
    }
    if (Parser.isSet(Version)) {
        std::printf("drelk2-bank %s\n", DRELK_VERSION);
        return 0;
    }

    const QStringList Positional = Parser.positionalArguments();
    if (Positional.isEmpty())
        return Usage("no command (pack, dump, verify, extract, sheet; --help)");
    TCommandArgs Args;
    for (int i = 1; i < Positional.size(); ++i)
        Args.vecArgs.push_back(Positional[i].toLocal8Bit().toStdString());
    const QStringList Outputs = Parser.values(Output);
    if (Outputs.size() > 1)
        return Usage("-o given more than once");
    Args.bHasOut = !Outputs.isEmpty();
    if (Args.bHasOut)
        Args.strOut = Outputs.front().toLocal8Bit().toStdString();
    if (Args.bHasOut && Args.strOut.empty())
        return Usage("-o needs a file name");

    const std::string strCommand = Positional.front().toLocal8Bit().toStdString();
    if (strCommand == "pack")
        return Pack(Args);
    if (strCommand == "dump")
        return Dump(Args);
    if (strCommand == "verify")
        return Verify(Args);
    if (strCommand == "extract")
        return Extract(Args);
    if (strCommand == "sheet")
        return Sheet(Args);
    return Usage("unknown command '" + strCommand + "' (pack, dump, verify, extract, sheet; --help)");
}
