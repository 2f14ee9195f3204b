#pragma once
// What a refusal of outside input must be: one line that says why, in printable text.

#include <string>

inline void TrapUnlessOneLine(const std::string& strReason)
{
    if (strReason.empty())
        __builtin_trap();
    for (char c : strReason)
        if (c < 0x20 || c > 0x7e)
            __builtin_trap();
}
