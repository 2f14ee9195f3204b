#include "tools/bank/Manifest.h"

#include "databank/RegularFile.h"
#include "databank/Serializer.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <utility>

using json = nlohmann::json;

namespace {
// Bounds on what pack reads: the largest payload a list can hold (one record in a list of its
// own), and a manifest far larger than any real one.
constexpr uint64_t MAX_ITEM_BYTES =
    TVESerializer::MAX_LIST_IMAGE - VECHUNKLIST_HEADER_SIZE - VECHUNK_HEADER_SIZE - TVEChunk::MAX_BLOCK_SIZE;
constexpr uint64_t MAX_MANIFEST_BYTES = 16 * 1024 * 1024;

// A manifest fault, with where it is.
class TManifestError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

const json& Field(const json& Object, const char* szKey, const std::string& strWhere)
{
    if (!Object.is_object() || !Object.contains(szKey))
        throw TManifestError(strWhere + ": missing \"" + szKey + "\"");
    return Object.at(szKey);
}

int32_t IntField(const json& Object, const char* szKey, const std::string& strWhere)
{
    const json& Value = Field(Object, szKey, strWhere);
    // An unsigned value is compared as one: above 2^63 it would read back negative as int64.
    const bool bInRange = Value.is_number_unsigned()
                              ? Value.get<uint64_t>() <= static_cast<uint64_t>(INT32_MAX)
                              : Value.is_number_integer() && Value.get<int64_t>() >= INT32_MIN &&
                                    Value.get<int64_t>() <= INT32_MAX;
    if (!bInRange)
        throw TManifestError(strWhere + ": \"" + szKey + "\" is not a 32-bit integer");
    return Value.get<int32_t>();
}

std::string NameField(const json& Object, const std::string& strWhere)
{
    const json& Value = Field(Object, "name", strWhere);
    if (!Value.is_string() || Value.get<std::string>().size() > 255)
        throw TManifestError(strWhere + ": \"name\" must be a text of at most 255 characters");
    return Value.get<std::string>();
}

// A path below the manifest's folder: relative, and never stepping up out of it.
bool IsBelowFolder(const std::string& strFile)
{
    if (strFile.empty() || strFile[0] == '/')
        return false;
    size_t nStart = 0;
    while (nStart <= strFile.size()) {
        const size_t nEnd = std::min(strFile.find('/', nStart), strFile.size());
        if (strFile.compare(nStart, nEnd - nStart, "..") == 0)
            return false;
        nStart = nEnd + 1;
    }
    return true;
}

std::vector<uint8_t> ReadSource(const std::string& strDir, const json& Item, const std::string& strWhere)
{
    const json& File = Field(Item, "file", strWhere);
    if (!File.is_string())
        throw TManifestError(strWhere + ": \"file\" must be a text");
    const std::string strFile = File.get<std::string>();
    if (strFile.find('\0') != std::string::npos || !IsBelowFolder(strFile))
        throw TManifestError(strWhere + ": \"" + strFile + "\" is not a path below the manifest's folder");
    std::vector<uint8_t> Bytes;
    std::string strError;
    if (!TRegularFile::Read(strDir + strFile, MAX_ITEM_BYTES, Bytes, strError))
        throw TManifestError(strWhere + ": " + strError);
    return Bytes;
}

bool StartsWith(const std::vector<uint8_t>& Bytes, size_t nAt, const char* szMagic)
{
    const size_t nLength = std::strlen(szMagic);
    return Bytes.size() >= nAt + nLength && std::memcmp(Bytes.data() + nAt, szMagic, nLength) == 0;
}

// The kinds the game reads as files of a known format: a sound must be one SDL2_mixer is given
// (WAV or Ogg Vorbis), a scene must have the Inventor or VRML header the scene reader needs.
void CheckContent(int32_t nKind, const std::vector<uint8_t>& Bytes, const std::string& strWhere)
{
    if (nKind == VECHUNK_WAV && !(StartsWith(Bytes, 0, "RIFF") && StartsWith(Bytes, 8, "WAVE")) &&
        !StartsWith(Bytes, 0, "OggS"))
        throw TManifestError(strWhere + ": declared \"wav\" but the file is not a WAV or Ogg Vorbis sound");
    if (nKind == VECHUNK_VRML_SHAPE && !StartsWith(Bytes, 0, "#Inventor") && !StartsWith(Bytes, 0, "#VRML"))
        throw TManifestError(strWhere + ": declared \"vrml\" but the file has no Inventor or VRML header");
}

const TVEChunk& AddItem(TVEChunkList& List, const std::string& strDir, const json& Item, const std::string& strWhere)
{
    const json& Kind = Field(Item, "kind", strWhere);
    const int32_t nKind = Kind.is_string() ? TManifest::KindFromName(Kind.get<std::string>()) : 0;
    if (nKind == 0)
        throw TManifestError(strWhere + ": unknown kind " + (Kind.is_string() ? Kind.dump() : Kind.type_name()));
    const int32_t nId = IntField(Item, "id", strWhere);
    const std::string strName = NameField(Item, strWhere);
    const bool bNeedsFile = nKind != VECHUNK_CAMERA || Item.contains("file");
    const std::vector<uint8_t> Bytes = bNeedsFile ? ReadSource(strDir, Item, strWhere) : std::vector<uint8_t>();
    if (bNeedsFile && Bytes.empty())
        throw TManifestError(strWhere + ": the file is empty");
    CheckContent(nKind, Bytes, strWhere);
    TVEChunk& Chunk = List.AddChunk(nKind, nId, strName.c_str(), Bytes.data(), static_cast<int32_t>(Bytes.size()));
    if (Item.contains("user_id"))
        Chunk.m_Data.nUserId = IntField(Item, "user_id", strWhere);

    if (nKind == VECHUNK_IMAGE_RAW_RGBA) {
        auto& Image = static_cast<TVEChunkImageRawRgba&>(Chunk);
        Image.nWidth = IntField(Item, "width", strWhere);
        Image.nHeight = IntField(Item, "height", strWhere);
        Image.nComponents = IntField(Item, "components", strWhere);
        const std::string strWhy = Image.GetShape().CheckBytes(static_cast<int64_t>(Bytes.size()));
        if (!strWhy.empty())
            throw TManifestError(strWhere + ": raw image of " + strWhy);
    }
    if (nKind == VECHUNK_CAMERA && Item.contains("pos")) {
        const json& Pos = Item.at("pos");
        if (!Pos.is_array() || Pos.size() != 3 || !Pos[0].is_number() || !Pos[1].is_number() || !Pos[2].is_number())
            throw TManifestError(strWhere + ": \"pos\" must be three numbers");
        auto& Camera = static_cast<TVEChunkCamera&>(Chunk);
        for (int i = 0; i < 3; ++i)
            Camera.Pos[i] = Pos[static_cast<size_t>(i)].get<double>();
    }
    return Chunk;
}

std::unique_ptr<TVEChunkList> MakeList(const std::string& strDir, const json& ListJson, const std::string& strWhere)
{
    auto pList = std::make_unique<TVEChunkList>();
    pList->SetId(IntField(ListJson, "id", strWhere));
    pList->SetName(NameField(ListJson, strWhere).c_str());
    pList->SetType(ListJson.contains("type") ? IntField(ListJson, "type", strWhere) : 0);
    if (ListJson.contains("user_id"))
        pList->SetUserId(IntField(ListJson, "user_id", strWhere));
    const json& Items = Field(ListJson, "items", strWhere);
    if (!Items.is_array())
        throw TManifestError(strWhere + ": \"items\" must be an array");
    // The reader answers the first item of a kind and ID: a second one would be dead data.
    std::map<std::pair<int32_t, int32_t>, std::string> mapSeen;
    uint64_t nListBytes = VECHUNKLIST_HEADER_SIZE;
    for (size_t i = 0; i < Items.size(); ++i) {
        const std::string strItem = strWhere + ".items[" + std::to_string(i) + "]";
        const TVEChunk& Chunk = AddItem(*pList, strDir, Items[i], strItem);
        const auto Key = std::make_pair(Chunk.GetType(), Chunk.m_Data.nId);
        const auto Seen = mapSeen.emplace(Key, strItem);
        if (!Seen.second)
            throw TManifestError(strItem + ": item " + std::to_string(Key.second) + " of kind " +
                                 std::to_string(Key.first) + " repeats " + Seen.first->second);
        nListBytes += static_cast<uint64_t>(Chunk.GetSize());
        if (nListBytes > static_cast<uint64_t>(TVESerializer::MAX_LIST_IMAGE))
            throw TManifestError(strItem + ": the list grows past the " +
                                 std::to_string(TVESerializer::MAX_LIST_IMAGE) + " bytes a list may hold");
    }
    return pList;
}
}  // namespace

int32_t TManifest::KindFromName(const std::string& strKind)
{
    static const std::pair<const char*, int32_t> KINDS[] = {
        {"rtf", VECHUNK_RTF}, {"raw", VECHUNK_IMAGE_RAW_RGBA}, {"bmp", VECHUNK_BMP},          {"wav", VECHUNK_WAV},
        {"avi", VECHUNK_AVI}, {"wmv", VECHUNK_WMV},            {"vrml", VECHUNK_VRML_SHAPE}, {"camera", VECHUNK_CAMERA},
    };
    for (const auto& Kind : KINDS)
        if (strKind == Kind.first)
            return Kind.second;
    return 0;
}

bool TManifest::Load(const std::string& strPath, std::vector<std::unique_ptr<TVEChunkList>>& vecLists,
                     std::string& strError)
{
    const size_t nSlash = strPath.rfind('/');
    const std::string strDir = nSlash == std::string::npos ? "" : strPath.substr(0, nSlash + 1);
    vecLists.clear();
    try {
        std::vector<uint8_t> Text;
        if (!TRegularFile::Read(strPath, MAX_MANIFEST_BYTES, Text, strError))
            return false;
        const json Manifest = json::parse(Text.begin(), Text.end());
        const json& Lists = Field(Manifest, "lists", "manifest");
        if (!Lists.is_array())
            throw TManifestError("\"lists\" must be an array");
        std::map<int32_t, std::string> mapSeen;
        uint64_t nFileBytes = TVESerializer::HEADER_SIZE;
        for (size_t i = 0; i < Lists.size(); ++i) {
            const std::string strWhere = "lists[" + std::to_string(i) + "]";
            if (i >= static_cast<size_t>(TVESerializer::MAXCHUNKS))
                throw TManifestError(strWhere + ": more than the " + std::to_string(TVESerializer::MAXCHUNKS) +
                                     " lists a data file holds");
            vecLists.push_back(MakeList(strDir, Lists[i], strWhere));
            const int32_t nId = vecLists.back()->GetHeader().nId;
            const auto Seen = mapSeen.emplace(nId, strWhere);
            if (!Seen.second)
                throw TManifestError(strWhere + ": list " + std::to_string(nId) + " repeats " + Seen.first->second);
            // Each list must start at an offset the table's 32-bit field can hold.
            if (nFileBytes > static_cast<uint64_t>(INT32_MAX))
                throw TManifestError(strWhere + ": the data file grows past the offsets its table can hold");
            nFileBytes += vecLists.back()->GetImageSize();
        }
        return true;
    } catch (const json::exception& Error) {
        strError = strPath + ": " + Error.what();
    } catch (const TManifestError& Error) {
        strError = strPath + ": " + Error.what();
    }
    vecLists.clear();
    return false;
}
