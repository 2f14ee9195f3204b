#pragma once
// Picture files as the data file holds them for the ending screen (PNG, JPEG or BMP), decoded
// from memory with Qt's image readers. A picture that claims more than MAX_TEXTURE_SIDE pixels
// on a side is refused before anything is allocated for it: a few bytes of PNG may claim
// gigabytes. Kept out of the asset bank's header, so that the rules and the simulator do not
// depend on Qt's pictures.

#include "databank/ItemBytes.h"

#include <QImage>

#include <cstdint>
#include <string>

class TPictureFile
{
public:
    // The decoded picture; a null image when the bytes do not decode, and then pWhy (if given)
    // says why.
    static QImage Decode(const uint8_t* pBytes, int32_t nSize, std::string* pWhy = nullptr);
    // A picture item of the bank (TDataBanker::GetBitmapBytes) decoded; a null image when it is
    // missing or does not decode.
    static QImage Decode(const TItemBytes& Item) { return Decode(Item.pBytes, Item.nSize); }
};
