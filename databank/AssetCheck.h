#pragma once
// The one check of a data file's lists against what the game asks of them: every list and item
// there with its kind, not empty, textures of exactly their size, pictures that decode, a model
// list with a readable scene that reaches nothing outside it. The asset bank throws on the first
// problem that stops the game; drelk2-bank verify prints every problem, so the tool and the
// game cannot disagree about what a good file is.

#include "databank/AssetIds.h"
#include "databank/ChunkList.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class SoNode;

struct TAssetProblem
{
    std::string strText;  // "list 300 item 325 (rock texture) holds 768 bytes, not 256 x 256 x 3 = 196608"
    bool bStopsGame;      // false for an optional item: the game runs without it
    const TAssetItem* pAsset = nullptr;  // the item at fault; null for a whole list or the model
};

using TAssetLists = std::map<int32_t, std::unique_ptr<TVEChunkList>>;

class TAssetCheck
{
public:
    // The lists the game reads, in file order of the asset table, the model list last.
    static std::vector<int32_t> GetListIds();
    // What is wrong with the chunk found for the item (null: not found); empty when it serves.
    static std::string CheckItem(const TAssetItem& Asset, const TVEChunk* pChunk);
    // Checks every list and item the game asks for; a list missing from the map is missing
    // from the file. When ppModel is given it receives the model's scene with one reference
    // held for the caller, or null when there is none.
    static std::vector<TAssetProblem> Check(const TAssetLists& mapLists, SoNode** ppModel = nullptr);

private:
    static SoNode* CheckModel(const TAssetLists& mapLists, std::vector<TAssetProblem>& vecProblems);
};
