// Fuzz target: a data file whose ship model comes from outside, opened through the asset bank
// as the game opens it; a model the bank takes is then used as the game uses it: under the
// ship's quarter turn, its box computed for collisions.
#include "databank/DataBanker.h"
#include "tests/fuzz/FuzzDataFile.h"

#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoSeparator.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static TFuzzDataFile s_File(ID_PLAYLIST_MODELS, VECHUNK_VRML_SHAPE, 1);
    const std::string strPath = s_File.Write(pData, nSize);
    if (strPath.empty())
        return 0;
    try {
        TDataBanker Bank(strPath);
        SoSeparator* pShip = Bank.LoadShapeFromBin(ID_PLAYLIST_MODELS, true);
        if (!pShip)
            __builtin_trap();  // the bank opened, so the model must serve
        pShip->ref();
        SoGetBoundingBoxAction Box(SbViewportRegion(800, 600));
        Box.apply(pShip);
        pShip->unref();
    } catch (const TDataError&) {
        // A refused file: what the fuzzer is after is anything worse.
    }
    return 0;
}
