#include "databank/SerializerWriter.h"

#include "databank/AtomicFile.h"
#include "databank/Serializer.h"

#include <cstdint>
#include <cstring>

namespace {
bool Fail(std::string* pError, const std::string& strMessage)
{
    if (pError)
        *pError = strMessage;
    return false;
}
}  // namespace

bool TVESerializerWriter::Write(const std::string& strPath, const std::vector<const TVEChunkList*>& vecLists,
                                std::string* pError)
{
    if (vecLists.size() > static_cast<size_t>(TVESerializer::MAXCHUNKS))
        return Fail(pError, "Fatal Error: Header.nItems <= MAXCHUNKS (" + std::to_string(vecLists.size()) + " lists)");

    std::vector<uint8_t> Header(TVESerializer::HEADER_SIZE, 0);
    std::memcpy(Header.data(), TVESerializer::SIGNATURE, sizeof TVESerializer::SIGNATURE);
    WriteLE32(Header.data() + TVESerializer::ITEMS_OFFSET, static_cast<int32_t>(vecLists.size()));

    std::vector<std::vector<uint8_t>> vecImages(vecLists.size());
    uint64_t nOffset = TVESerializer::HEADER_SIZE;
    for (size_t i = 0; i < vecLists.size(); ++i) {
        const TVEChunkList& List = *vecLists[i];
        if (!List.SaveToMemory(vecImages[i]))
            return Fail(pError, "list " + std::to_string(List.GetHeader().nId) + ": a chunk cannot be written");
        if (vecImages[i].size() > static_cast<size_t>(TVESerializer::MAX_LIST_IMAGE) ||
            nOffset > static_cast<uint64_t>(INT32_MAX))
            return Fail(pError, "list " + std::to_string(List.GetHeader().nId) + ": too large for the data file");
        uint8_t* pEntry = Header.data() + TVESerializer::TABLE_OFFSET + TVESerializer::ENTRY_SIZE * i;
        std::memcpy(pEntry, List.GetHeader().szName, 256);
        WriteLE32(pEntry + 256, List.GetHeader().nId);
        WriteLE32(pEntry + 264, static_cast<int32_t>(vecImages[i].size()));
        WriteLE32(pEntry + 272, static_cast<int32_t>(nOffset));
        nOffset += vecImages[i].size();
    }

    TAtomicFile Out;
    std::string strError;
    if (!Out.Open(strPath, strError))
        return Fail(pError, strError);
    Out.Write(Header.data(), Header.size());
    for (const auto& Image : vecImages)
        Out.Write(Image.data(), Image.size());
    if (!Out.Commit(strError))
        return Fail(pError, strError);
    return true;
}
