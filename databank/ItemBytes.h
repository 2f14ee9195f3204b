#pragma once
// An item's bytes as the asset bank holds them: a view, valid as long as the bank lives.

#include <cstdint>

struct TItemBytes
{
    const uint8_t* pBytes = nullptr;
    int32_t nSize = 0;
};
