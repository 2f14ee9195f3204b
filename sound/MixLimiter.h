#pragma once
// The mixer's safety net. SDL_mixer adds each channel into the 16-bit output and clips at every
// addition, so a hook after the mix only ever sees samples already squared off. Instead every
// playing channel hands its samples (at its volume) to a 32-bit sum and adds silence to the
// output; after the mix the sum goes through a peak limiter into the output. As long as the sum
// stays under the ceiling the output is exactly what the mixer itself would have written.
//
// Attach and Detach run on the caller's thread with the device open; Watch under the audio
// lock; the rest on the mixer's audio thread.

#include <cstddef>
#include <cstdint>
#include <vector>

class TMixLimiter
{
public:
    // Peaks of the sum are held at or below this: just under full scale, so that the limiter
    // only ever acts on a sum that would otherwise clip.
    static constexpr double CEILING_DB = -0.1;

    // Starts summing on the open mixer; does nothing unless it mixes signed 16-bit samples.
    void Attach();
    // Stops summing, once every channel is halted.
    void Detach();
    // Routes the playback just started on a channel through the sum. SDL_mixer forgets a
    // channel's hooks whenever its playback ends or restarts, so every start needs this.
    void Watch(int nChannel);

private:
    static void AddChannel(int nChannel, void* pStream, int nBytes, void* pLimiter);
    static void MixOut(void* pLimiter, uint8_t* pStream, int nBytes);
    void Add(int nChannel, int16_t* pSamples, int nCount);
    void Limit(int16_t* pOut, int nCount);

    bool m_bAttached = false;
    int m_nOutputChannels = 2;
    double m_dCeiling = 0.0;      // in sample units
    size_t m_nAttackFrames = 1;   // how long the gain takes to fall ahead of a peak
    double m_dRelease = 0.0;      // per-frame coefficient of its recovery
    double m_dGain = 1.0;         // the gain at the end of the last buffer
    bool m_bAdded = false;        // a channel has added to this buffer's sum
    bool m_bAtRest = true;        // the last buffer needed no gain below 1, nor does its window
    std::vector<int32_t> m_vSum;  // this buffer's sum of the watched channels
    std::vector<int> m_vOffsets;  // where each channel's next samples go in m_vSum
    std::vector<double> m_vNeeds;   // the gain each frame of this buffer needs
    std::vector<double> m_vLowest;  // lowest need over each frame's attack window
};
