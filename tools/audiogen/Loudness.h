#pragma once
// Loudness and peaks after ITU-R BS.1770 / EBU R 128, measured with libebur128.

#include "Waves.h"

class TLoudness
{
public:
    // Gated integrated loudness in LUFS: the level of a piece of music. A sound shorter than one
    // 400 ms block is measured as that block, padded with silence. -inf for silence.
    static double Integrated(const TWave& Wave);
    // The loudest 400 ms window (momentary loudness, 10 ms steps) in LUFS: the level of an effect.
    static double MomentaryMax(const TWave& Wave);
    // Largest absolute sample, in dBFS.
    static double PeakDb(const TWave& Wave);
    // Largest inter-sample peak (4x oversampled), in dBTP.
    static double TruePeakDb(const TWave& Wave);
};
