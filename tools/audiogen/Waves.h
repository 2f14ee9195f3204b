#pragma once
// Sample buffers and the sound files they come from and go to, through libsndfile: 16-bit PCM
// WAV (what the game loads) written, any format libsndfile reads (WAV, Ogg Vorbis) read.

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
    // Any sound file libsndfile decodes. False with a message on anything else, an empty file
    // or one too long to be a sound of this game.
    static bool Read(const std::string& strPath, TWave& Wave, std::string& strError);
    // 16-bit PCM WAV, rounded (no dither, so silence stays exactly zero) and clipped at full scale.
    static bool WriteWav16(const std::string& strPath, const TWave& Wave, std::string& strError);
};
