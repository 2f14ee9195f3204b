#include "tools/bank/Manifest.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>

using json = nlohmann::json;

namespace {
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
    if (!Value.is_number_integer() || Value.get<int64_t>() < INT32_MIN || Value.get<int64_t>() > INT32_MAX)
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

std::vector<uint8_t> ReadSource(const std::string& strDir, const json& Item, const std::string& strWhere)
{
    const json& File = Field(Item, "file", strWhere);
    if (!File.is_string())
        throw TManifestError(strWhere + ": \"file\" must be a text");
    const std::string strPath = strDir + File.get<std::string>();
    std::ifstream In(strPath, std::ios::binary);
    if (!In)
        throw TManifestError(strWhere + ": cannot read " + strPath);
    std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    if (Bytes.size() > static_cast<size_t>(INT32_MAX / 2))
        throw TManifestError(strWhere + ": " + strPath + " is too large");
    return Bytes;
}

void AddItem(TVEChunkList& List, const std::string& strDir, const json& Item, const std::string& strWhere)
{
    const json& Kind = Field(Item, "kind", strWhere);
    const int32_t nKind = Kind.is_string() ? TManifest::KindFromName(Kind.get<std::string>()) : 0;
    if (nKind == 0)
        throw TManifestError(strWhere + ": unknown kind " + Kind.dump());
    const int32_t nId = IntField(Item, "id", strWhere);
    const std::string strName = NameField(Item, strWhere);
    const bool bNeedsFile = nKind != VECHUNK_CAMERA || Item.contains("file");
    const std::vector<uint8_t> Bytes = bNeedsFile ? ReadSource(strDir, Item, strWhere) : std::vector<uint8_t>();
    if (bNeedsFile && Bytes.empty())
        throw TManifestError(strWhere + ": the file is empty");
    TVEChunk& Chunk = List.AddChunk(nKind, nId, strName.c_str(), Bytes.data(), static_cast<int32_t>(Bytes.size()));
    if (Item.contains("user_id"))
        Chunk.m_Data.nUserId = IntField(Item, "user_id", strWhere);

    if (nKind == VECHUNK_IMAGE_RAW_RGBA) {
        auto& Image = static_cast<TVEChunkImageRawRgba&>(Chunk);
        Image.nWidth = IntField(Item, "width", strWhere);
        Image.nHeight = IntField(Item, "height", strWhere);
        Image.nComponents = IntField(Item, "components", strWhere);
        const int64_t nExpected = static_cast<int64_t>(Image.nWidth) * Image.nHeight * Image.nComponents;
        if (Image.nWidth <= 0 || Image.nHeight <= 0 || Image.nComponents < 1 || Image.nComponents > 4 ||
            nExpected != static_cast<int64_t>(Bytes.size()))
            throw TManifestError(strWhere + ": " + std::to_string(Bytes.size()) + " bytes for a " +
                                 std::to_string(Image.nWidth) + " x " + std::to_string(Image.nHeight) + " x " +
                                 std::to_string(Image.nComponents) + " image");
    }
    if (nKind == VECHUNK_CAMERA && Item.contains("pos")) {
        const json& Pos = Item.at("pos");
        if (!Pos.is_array() || Pos.size() != 3 || !Pos[0].is_number() || !Pos[1].is_number() || !Pos[2].is_number())
            throw TManifestError(strWhere + ": \"pos\" must be three numbers");
        auto& Camera = static_cast<TVEChunkCamera&>(Chunk);
        for (int i = 0; i < 3; ++i)
            Camera.Pos[i] = Pos[static_cast<size_t>(i)].get<double>();
    }
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
    for (size_t i = 0; i < Items.size(); ++i)
        AddItem(*pList, strDir, Items[i], strWhere + ".items[" + std::to_string(i) + "]");
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
    try {
        std::ifstream In(strPath);
        if (!In)
            throw TManifestError("cannot read");
        const json Manifest = json::parse(In);
        const json& Lists = Field(Manifest, "lists", "manifest");
        if (!Lists.is_array())
            throw TManifestError("\"lists\" must be an array");
        vecLists.clear();
        for (size_t i = 0; i < Lists.size(); ++i)
            vecLists.push_back(MakeList(strDir, Lists[i], "lists[" + std::to_string(i) + "]"));
        return true;
    } catch (const json::exception& Error) {
        strError = strPath + ": " + Error.what();
    } catch (const TManifestError& Error) {
        strError = strPath + ": " + Error.what();
    }
    return false;
}
