#include "databank/AssetCheck.h"

#include "databank/PictureFile.h"

#include <Inventor/nodes/SoNode.h>

#include <algorithm>

namespace {
std::string ListName(int32_t nList)
{
    return "list " + std::to_string(nList);
}

bool HasRequiredItem(int32_t nList)
{
    const auto& vecTable = GetAssetTable();
    return std::any_of(vecTable.begin(), vecTable.end(),
                       [nList](const TAssetItem& Asset) { return Asset.nPlaylist == nList && !Asset.bOptional; });
}
}  // namespace

std::vector<int32_t> TAssetCheck::GetListIds()
{
    std::vector<int32_t> vecIds;
    for (const TAssetItem& Asset : GetAssetTable())
        if (std::find(vecIds.begin(), vecIds.end(), Asset.nPlaylist) == vecIds.end())
            vecIds.push_back(Asset.nPlaylist);
    vecIds.push_back(ID_PLAYLIST_MODELS);
    return vecIds;
}

std::string TAssetCheck::CheckItem(const TAssetItem& Asset, const TVEChunk* pChunk)
{
    if (!pChunk)
        return Asset.Describe() + " is missing";
    if (pChunk->m_Data.nSize <= 0 || !pChunk->m_Data.pData)
        return Asset.Describe() + " is empty";
    if (Asset.IsTexture()) {
        const std::string strWhy = Asset.Shape.CheckBytes(pChunk->m_Data.nSize);
        if (!strWhy.empty())
            return Asset.Describe() + " holds " + strWhy;
    } else if (Asset.nKind == VECHUNK_BMP) {
        // Decoded whole, not only its header: a damaged body shows only when decoded.
        std::string strWhy;
        if (TPictureFile::Decode(pChunk->m_Data.pData.get(), pChunk->m_Data.nSize, &strWhy).isNull())
            return Asset.Describe() + " is not a picture that decodes: " + strWhy;
    }
    return "";
}

std::vector<TAssetProblem> TAssetCheck::Check(const TAssetLists& mapLists, SoNode** ppModel)
{
    std::vector<TAssetProblem> vecProblems;
    std::vector<int32_t> vecMissingLists;
    for (const TAssetItem& Asset : GetAssetTable()) {
        const auto it = mapLists.find(Asset.nPlaylist);
        if (it == mapLists.end()) {
            // One line for a missing list, not one for each of its items.
            if (std::find(vecMissingLists.begin(), vecMissingLists.end(), Asset.nPlaylist) == vecMissingLists.end()) {
                vecMissingLists.push_back(Asset.nPlaylist);
                vecProblems.push_back({ListName(Asset.nPlaylist) + " is missing", HasRequiredItem(Asset.nPlaylist)});
            }
            continue;
        }
        const TVEChunk* pChunk = it->second->FindChunk(Asset.nKind, Asset.nItem);
        const std::string strProblem = CheckItem(Asset, pChunk);
        if (!strProblem.empty())
            vecProblems.push_back({strProblem, !Asset.bOptional, &Asset});
    }
    SoNode* pModel = CheckModel(mapLists, vecProblems);
    if (ppModel)
        *ppModel = pModel;
    else if (pModel)
        pModel->unref();
    return vecProblems;
}

SoNode* TAssetCheck::CheckModel(const TAssetLists& mapLists, std::vector<TAssetProblem>& vecProblems)
{
    const auto it = mapLists.find(ID_PLAYLIST_MODELS);
    if (it == mapLists.end()) {
        vecProblems.push_back({ListName(ID_PLAYLIST_MODELS) + " (ship model) is missing", true});
        return nullptr;
    }
    TVEChunkList& Models = *it->second;
    if (Models.GetType() != VECHUNKLIST_TYPE_MODEL) {
        vecProblems.push_back({ListName(ID_PLAYLIST_MODELS) + " is not a model list", true});
        return nullptr;
    }
    SoNode* pScene = Models.BuildSceneGraph();
    if (!pScene) {
        vecProblems.push_back({Models.GetError(), true});
        return nullptr;
    }
    pScene->ref();
    return pScene;
}
