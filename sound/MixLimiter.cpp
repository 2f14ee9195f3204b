#include "sound/MixLimiter.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double FULL_SCALE = 32768.0;
// The gain falls over 1.5 ms ahead of a peak (within the buffer the mixer is filling) and
// recovers over about 60 ms after it.
constexpr double ATTACK_SECONDS = 0.0015;
constexpr double RELEASE_SECONDS = 0.060;
}  // namespace

void TMixLimiter::Attach()
{
    int nRate = 0, nChannels = 0;
    Uint16 nFormat = 0;
    if (m_bAttached || Mix_QuerySpec(&nRate, &nFormat, &nChannels) == 0 || nFormat != AUDIO_S16SYS || nRate <= 0)
        return;
    m_nOutputChannels = nChannels;
    m_dCeiling = FULL_SCALE * std::pow(10.0, CEILING_DB / 20.0);
    m_nAttackFrames = std::max<size_t>(1, static_cast<size_t>(ATTACK_SECONDS * nRate));
    m_vLowest.assign(m_nAttackFrames, 1.0);
    m_dRelease = 1.0 - std::exp(-1.0 / (RELEASE_SECONDS * nRate));
    m_dGain = 1.0;
    // Nothing of this runs on the audio thread before the hook is set (SDL_mixer sets it
    // under its audio lock).
    m_vOffsets.assign(static_cast<size_t>(std::max(0, Mix_AllocateChannels(-1))), 0);
    Mix_SetPostMix(&TMixLimiter::MixOut, this);
    m_bAttached = true;
}

void TMixLimiter::Detach()
{
    if (!m_bAttached)
        return;
    // The channel hooks go with their playbacks, which the caller has halted.
    Mix_SetPostMix(nullptr, nullptr);
    m_bAttached = false;
}

void TMixLimiter::Watch(int nChannel)
{
    if (m_bAttached)
        Mix_RegisterEffect(nChannel, &TMixLimiter::AddChannel, nullptr, this);
}

void TMixLimiter::AddChannel(int nChannel, void* pStream, int nBytes, void* pLimiter)
{
    static_cast<TMixLimiter*>(pLimiter)->Add(nChannel, static_cast<int16_t*>(pStream), nBytes / 2);
}

void TMixLimiter::MixOut(void* pLimiter, uint8_t* pStream, int nBytes)
{
    int16_t* pOut = reinterpret_cast<int16_t*>(pStream);
    static_cast<TMixLimiter*>(pLimiter)->Limit(pOut, nBytes / 2);
}

// Takes a piece of a channel's playback at the volume the mixer would give it (the same
// integer scaling), and leaves silence for the mixer to add.
void TMixLimiter::Add(int nChannel, int16_t* pSamples, int nCount)
{
    if (nChannel < 0)
        return;
    if (static_cast<size_t>(nChannel) >= m_vOffsets.size())
        m_vOffsets.resize(static_cast<size_t>(nChannel) + 1, 0);
    const Mix_Chunk* pChunk = Mix_GetChunk(nChannel);
    const int nVolume = Mix_MasterVolume(-1) * (Mix_Volume(nChannel, -1) * (pChunk ? pChunk->volume : MIX_MAX_VOLUME)) /
                        (MIX_MAX_VOLUME * MIX_MAX_VOLUME);
    m_bAdded = true;
    int& nOffset = m_vOffsets[static_cast<size_t>(nChannel)];
    if (m_vSum.size() < static_cast<size_t>(nOffset + nCount))
        m_vSum.resize(static_cast<size_t>(nOffset + nCount), 0);
    for (int i = 0; i < nCount; ++i)
        m_vSum[static_cast<size_t>(nOffset + i)] += pSamples[i] * nVolume / MIX_MAX_VOLUME;
    nOffset += nCount;
    std::memset(pSamples, 0, static_cast<size_t>(nCount) * sizeof(int16_t));
}

// The output holds what unwatched channels added; the sum joins it, limited where it would pass
// the ceiling. Each frame's gain is the average, over the attack window before it, of the
// lowest gain that the frames in the window and the attack window after them need: every term
// is at or below what a peak needs, so the peak is held while the gain around it moves
// smoothly and no top is flattened. A slow release follows.
void TMixLimiter::Limit(int16_t* pOut, int nCount)
{
    // Nothing of the channels in this buffer and the gain at rest: the output stays as the mixer
    // wrote it (the music stream alone, or silence), and the limiter costs nothing.
    if (!m_bAdded && m_bAtRest)
        return;
    m_bAdded = false;
    if (m_vSum.size() < static_cast<size_t>(nCount))
        m_vSum.resize(static_cast<size_t>(nCount), 0);
    const size_t nFrames = static_cast<size_t>(nCount / m_nOutputChannels);
    const size_t nSpan = m_nAttackFrames;
    m_vNeeds.assign(nFrames, 1.0);
    for (size_t f = 0; f < nFrames; ++f)
        for (int c = 0; c < m_nOutputChannels; ++c) {
            const size_t i = f * static_cast<size_t>(m_nOutputChannels) + static_cast<size_t>(c);
            const double dAbs = std::abs(m_vSum[i] + pOut[i]);
            if (dAbs > m_dCeiling)
                m_vNeeds[f] = std::min(m_vNeeds[f], m_dCeiling / dAbs);
        }
    // m_vLowest holds the last buffer's final nSpan window minima, then this buffer's.
    m_vLowest.resize(nSpan + nFrames);
    for (size_t f = 0; f < nFrames; ++f) {
        double dLowest = 1.0;
        for (size_t j = f; j < std::min(nFrames, f + nSpan); ++j)
            dLowest = std::min(dLowest, m_vNeeds[j]);
        m_vLowest[nSpan + f] = dLowest;
    }
    // A peak in the first frames was not known when the last buffer went out: the gain steps
    // down at the buffer's start rather than flattening the peak.
    for (size_t j = 0; j < nSpan && nFrames > 0; ++j)
        m_vLowest[j] = std::min(m_vLowest[j], m_vLowest[nSpan]);
    double dWindow = 0.0;
    for (size_t j = 1; j <= nSpan; ++j)
        dWindow += m_vLowest[j];
    for (size_t f = 0; f < nFrames; ++f) {
        if (f > 0)
            dWindow += m_vLowest[nSpan + f] - m_vLowest[f];
        const double dSmooth = std::min(m_vNeeds[f], dWindow / double(nSpan));
        m_dGain = std::min(dSmooth, m_dGain + (1.0 - m_dGain) * m_dRelease);
        for (int c = 0; c < m_nOutputChannels; ++c) {
            const size_t i = f * static_cast<size_t>(m_nOutputChannels) + static_cast<size_t>(c);
            const int32_t nSum = m_vSum[i] + pOut[i];
            const double d = m_dGain < 1.0 ? double(std::lround(nSum * m_dGain)) : double(nSum);
            pOut[i] = static_cast<int16_t>(std::clamp(d, -32768.0, 32767.0));
        }
    }
    m_bAtRest = m_dGain >= 1.0 && std::all_of(m_vLowest.begin(), m_vLowest.end(), [](double d) { return d >= 1.0; });
    std::copy(m_vLowest.end() - static_cast<long>(nSpan), m_vLowest.end(), m_vLowest.begin());
    std::fill(m_vSum.begin(), m_vSum.end(), 0);
    std::fill(m_vOffsets.begin(), m_vOffsets.end(), 0);
}
