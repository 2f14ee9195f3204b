#pragma once
// Ogg Vorbis files written with libvorbisenc and libogg. libsndfile's own Ogg writer seeds the
// stream serial number from the clock, so its files never repeat; here the caller fixes it.

#include "Waves.h"

#include <cstdint>
#include <string>

class TOggVorbis
{
public:
    // Variable bit rate at dQuality (-0.1 to 1.0; 0.4 is about 128 kbit/s for 44.1 kHz stereo).
    // No tags, no date: the same samples and serial give the same bytes.
    static bool Write(const std::string& strPath, const TWave& Wave, double dQuality, uint32_t nSerial,
                      std::string& strError);
};
