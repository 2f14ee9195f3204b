#pragma once
// Standard MIDI files (format 1) from a note list, for the synthesizer to render.

#include "Score.h"

#include <string>
#include <vector>

class TMidiWriter
{
public:
    // The piece nPasses times in a row (a loop is rendered twice so that one clean period can be
    // cut from the middle), then the score's tail of silence for the last notes to ring out.
    static std::vector<unsigned char> Encode(const TScore& Score, int nPasses);
    static bool Write(const std::string& strPath, const TScore& Score, int nPasses, std::string& strError);
};
