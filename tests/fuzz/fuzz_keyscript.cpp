// Fuzz target: a key script from outside, as drelk2-sim reads it. A script is either taken, with
// every key one of the game's, or refused with one printable line.
#include "tools/sim/KeyScript.h"
#include "tests/fuzz/OneLine.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    TKeyScript Script;
    std::string strError;
    if (!Script.Parse(std::string(reinterpret_cast<const char*>(pData), nSize), strError)) {
        TrapUnlessOneLine(strError);
        return 0;
    }
    for (long nTick = 0; nTick < 16; ++nTick)
        for (TCommand nKey : Script.KeysBefore(nTick))
            if (!IsGameCommand(nKey))
                __builtin_trap();
    return 0;
}
