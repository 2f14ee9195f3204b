// Fuzz target: a list image from outside, through everything the game does with one.
#include "databank/ChunkList.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0 || nSize > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        return 0;
    TVEChunkList List;
    List.BuildFromMemory(pData, static_cast<int32_t>(nSize));
    std::string strText;
    List.Dump(strText);
    for (int i = 0; i < List.GetCount(); ++i) {
        const TVEChunk* pChunk = List.GetChunk(i);
        List.FindChunk(pChunk->GetType(), pChunk->m_Data.nId);
    }
    std::vector<uint8_t> Image;
    List.SaveToMemory(Image);
    return 0;
}
