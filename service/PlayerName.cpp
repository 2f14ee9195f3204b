#include "service/PlayerName.h"

#include <cstdint>
#include <cstdio>

namespace {
// The next code point of strict UTF-8 at nAt (no overlong forms, no surrogates, nothing past
// U+10FFFF); false at a byte that does not start one.
bool NextCodePoint(const std::string& strText, size_t& nAt, uint32_t& nCode)
{
    const auto nFirst = static_cast<uint8_t>(strText[nAt]);
    size_t nMore = 0;
    uint32_t nMin = 0;
    if (nFirst < 0x80) {
        nCode = nFirst;
    } else if ((nFirst & 0xe0) == 0xc0) {
        nCode = nFirst & 0x1f, nMore = 1, nMin = 0x80;
    } else if ((nFirst & 0xf0) == 0xe0) {
        nCode = nFirst & 0x0f, nMore = 2, nMin = 0x800;
    } else if ((nFirst & 0xf8) == 0xf0) {
        nCode = nFirst & 0x07, nMore = 3, nMin = 0x10000;
    } else {
        return false;
    }
    if (nAt + nMore >= strText.size())
        return false;
    for (size_t i = 1; i <= nMore; ++i) {
        const auto nByte = static_cast<uint8_t>(strText[nAt + i]);
        if ((nByte & 0xc0) != 0x80)
            return false;
        nCode = (nCode << 6) | (nByte & 0x3f);
    }
    if (nCode < nMin || nCode > 0x10ffff || (nCode >= 0xd800 && nCode <= 0xdfff))
        return false;
    nAt += nMore + 1;
    return true;
}

// Characters that are not shown as themselves: controls, separators of lines, marks and
// overrides of direction, joiners and other invisible ones, and the noncharacters.
bool IsHidden(uint32_t nCode)
{
    return nCode < 0x20 || (nCode >= 0x7f && nCode <= 0x9f) || nCode == 0xad || nCode == 0x034f ||
           (nCode >= 0x200b && nCode <= 0x200f) || (nCode >= 0x2028 && nCode <= 0x202e) ||
           (nCode >= 0x2060 && nCode <= 0x206f) || nCode == 0xfeff || (nCode >= 0xfff9 && nCode <= 0xfffb) ||
           (nCode >= 0xfdd0 && nCode <= 0xfdef) || (nCode & 0xfffe) == 0xfffe || (nCode >= 0xe0000 && nCode <= 0xe007f);
}

std::string CodeName(uint32_t nCode)
{
    char szName[16];
    std::snprintf(szName, sizeof szName, "U+%04X", static_cast<unsigned>(nCode));
    return szName;
}

bool IsSpace(uint32_t nCode)
{
    return nCode == 0x20 || nCode == 0xa0 || nCode == 0x1680 || (nCode >= 0x2000 && nCode <= 0x200a) ||
           nCode == 0x202f || nCode == 0x205f || nCode == 0x3000;
}
}  // namespace

std::string TPlayerName::WhyNot(const std::string& strName)
{
    if (strName.empty())
        return "a name is needed (name=NAME, 1 to 24 characters)";
    size_t nAt = 0, nCount = 0;
    uint32_t nCode = 0;
    bool bSpace = false;
    while (nAt < strName.size()) {
        if (!NextCodePoint(strName, nAt, nCode))
            return "the name is not UTF-8";
        if (IsHidden(nCode))
            return "the name holds a character that is not shown (" + CodeName(nCode) + ")";
        bSpace = IsSpace(nCode);
        if (bSpace && nCount == 0)
            return "the name starts with a space";
        if (++nCount > MAX_CHARACTERS)
            return "the name is longer than 24 characters";
    }
    if (bSpace)
        return "the name ends with a space";
    return std::string();
}
