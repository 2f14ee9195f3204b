#pragma once
// Plays a note list on FluidSynth's synthesizer, in process: every note, tempo change and
// channel setting goes to the synthesizer at its sample, and the float output (nothing clipped
// or rounded) comes back as a stereo wave ready for mastering.

#include "Score.h"
#include "Waves.h"

#include <string>
#include <vector>

struct TSynthEvent
{
    enum TKind { CONTROL, PROGRAM, NOTE_OFF, NOTE_ON };
    long nFrame;
    TKind eKind;
    int nChannel;
    int nA;  // controller, program or key
    int nB;  // controller value or velocity
};

class TMusicRenderer
{
public:
    static constexpr int RATE = 44100;

    // The synthesizer's input for nPasses passes of the piece, ordered as it must receive them:
    // by sample, and at one sample channel set-up, then note-offs, then note-ons.
    static std::vector<TSynthEvent> Events(const TScore& Score, int nPasses);
    // A loop rendered twice (so the master can cut one seamless period), a piece that ends
    // once; both with the score's tail. False with a message when the sound font does not load.
    static bool Render(const TScore& Score, const std::string& strSoundFont, TWave& Wave, std::string& strError);
};
