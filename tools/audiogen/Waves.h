#pragma once
// Sample buffers and the files they come from and go to: 16-bit PCM WAV (what the game loads),
// and the headerless little-endian 32-bit float stereo that the synthesizer renders.

#include <cstddef>
#include <string>
#include <vector>

// Interleaved samples at full scale +-1.0.
struct TWave
{
    int nRate = 44100;
    int nChannels = 1;
    std::vector<float> vSamples;

    size_t Frames() const { return nChannels > 0 ? vSamples.size() / nChannels : 0; }
    double Seconds() const { return nRate > 0 ? double(Frames()) / nRate : 0.0; }
    float& At(size_t nFrame, int nChannel) { return vSamples[nFrame * nChannels + nChannel]; }
    float At(size_t nFrame, int nChannel) const { return vSamples[nFrame * nChannels + nChannel]; }
};

class TWaves
{
public:
    // 16-bit PCM or 32-bit float WAV. False with a message on anything else or a short file.
    static bool ReadWav(const std::string& strPath, TWave& Wave, std::string& strError);
    // Rounds to 16 bits (no dither, so silence stays exactly zero) and clamps at full scale.
    static bool WriteWav16(const std::string& strPath, const TWave& Wave, std::string& strError);
    // Headerless little-endian float32, interleaved.
    static bool ReadRawFloat(const std::string& strPath, int nRate, int nChannels, TWave& Wave,
                             std::string& strError);
    // The 16-bit WAV file image, as WriteWav16 writes it.
    static std::vector<unsigned char> EncodeWav16(const TWave& Wave);
};
