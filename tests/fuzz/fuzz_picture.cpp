// Fuzz target: a data file whose ending foreground picture comes from outside, opened through
// the asset bank (which decodes every picture when it opens); a picture the bank takes is then
// decoded as the ending screen decodes it.
#include "databank/DataBanker.h"
#include "databank/PictureFile.h"
#include "tests/fuzz/FuzzDataFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static TFuzzDataFile s_File(ID_PLAYLIST_ENDING, VECHUNK_BMP, ID_BMP_ENDING_FORE);
    const std::string strPath = s_File.Write(pData, nSize);
    if (strPath.empty())
        return 0;
    try {
        TDataBanker Bank(strPath);
        const QImage Fore = TPictureFile::Decode(Bank.GetBitmapBytes(ID_PLAYLIST_ENDING, ID_BMP_ENDING_FORE));
        if (Fore.isNull())
            __builtin_trap();  // the bank opened, so the picture must decode
        const QImage Drawn = Fore.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (Drawn.size() != Fore.size())
            __builtin_trap();
    } catch (const TDataError&) {
        // A refused file: what the fuzzer is after is anything worse.
    }
    return 0;
}
