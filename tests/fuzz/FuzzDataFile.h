#pragma once
// A complete small data file for the fuzz targets that open one through the asset bank, as the
// game does: every list the game asks for, one item of which holds the fuzzer's input.

#include "tests/support/TestDataFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

class TFuzzDataFile
{
public:
    TFuzzDataFile(int32_t nList, int32_t nKind, int32_t nItem);
    // Writes the data file with the item's bytes replaced by the input; its path, or empty for
    // an input that no item can hold (none, or more than a list takes).
    std::string Write(const uint8_t* pData, size_t nSize);

private:
    TTestLists m_vecLists;
    TVEChunk* m_pItem = nullptr;
    std::string m_strPath;
};
