#pragma once
// A piece of music written as a note list: the text format of assets/music/*.txt.
//
//   # comment                       to the end of the line
//   tempo 140                       quarter notes a minute at the start
//   meter 4/4                       bar length; every "|" in a part must fall on a bar line
//   loop yes                        the piece repeats forever: rendered as one seamless period
//   tail 4                          the piece ends this many seconds after its last bar (not a loop)
//   fadeout 3                       and fades to silence over its last 3 seconds
//   loudness -16                    integrated loudness of the finished piece, LUFS
//   voice lead ch=1 program=81 vol=100 pan=64 reverb=40 chorus=0 vel=90 gate=0.9
//   voice kick ch=10 program=17 note=36 step=16
//   voice bass ch=4 accent=12 loose=6   strong beats 12 velocity points above the weak ones,
//                                   notes up to 6 ms early or late (the same on every render)
//   pattern verse 4                 a block of 4 bars; each part in it must last exactly 4 bars
//     lead:  e5:8 g5 b5:4. | ...    a part: the voice's notes in this block
//     kick:  x...x...x...x... | ... a drum part: one character a step
//     tempo: 140:1 | 120:2 100:2    tempo changes inside the block (bpm:duration)
//   end
//   song intro verse (verse chorus)*2
//
// Pitched voices: note = letter, optional # or b, octave (c4 = middle C), then ":duration"
// (1 2 4 8 16 32, "." dotted, "t" triplet, "2+8" tied sum; left out = the previous one), then
// marks: "!" accent, "?" soft, "'" staccato, "_" held full length. "r" is a rest, "[c4 e4 g4]:2"
// a chord, "v=100" sets the velocity of the notes that follow, "(...)*3" repeats.
// Drum voices (note= given): "x" hit, "X" accent, "o" soft, "." nothing; one step= note each.
// A line in a pattern that does not start with a voice name carries on the part above it.
// program= is the General MIDI number counted from 1; on channel 10 it picks the drum kit.
// Voices on one channel share the channel settings of the first of them.

#include <string>
#include <vector>

struct TVoice
{
    std::string strName;
    int nChannel = 0;  // 0-based
    int nProgram = 0;  // 0-based
    int nVolume = 100;
    int nPan = 64;
    int nReverb = 40;
    int nChorus = 0;
    int nVelocity = 90;
    double dGate = 0.9;
    int nDrumNote = -1;  // a drum voice when set
    int nStep = 16;
    int nAccent = 0;       // velocity points between a bar's downbeat and its weakest steps
    double dLooseMs = 0.0; // largest timing offset of a note, milliseconds
};

struct TNote
{
    int nTick;
    int nLength;
    int nPitch;
    int nVelocity;
};

struct TTempo
{
    int nTick;
    int nMicrosPerQuarter;  // as the MIDI file stores it
};

class TScore
{
public:
    static constexpr int PPQ = 480;

    // Reads and checks a note list. False with "file:line: what" on the first fault.
    bool Load(const std::string& strPath, std::string& strError);

    const std::vector<TVoice>& Voices() const { return m_vVoices; }
    // Notes of each voice, in voice order, sorted by tick.
    const std::vector<std::vector<TNote>>& Notes() const { return m_vNotes; }
    const std::vector<TTempo>& Tempos() const { return m_vTempos; }
    int LengthTicks() const { return m_nLength; }
    int BarTicks() const { return m_nBarTicks; }
    int MeterNumerator() const { return m_nMeterNum; }
    int MeterDenominator() const { return m_nMeterDen; }
    bool IsLoop() const { return m_bLoop; }
    double TailSeconds() const { return m_dTail; }
    double FadeOutSeconds() const { return m_dFadeOut; }
    double LoudnessLufs() const { return m_dLoudness; }
    // Time of a tick (may lie past the end) by the tempo map, as a MIDI player computes it.
    double SecondsAt(long nTick) const;
    // Microseconds a quarter note at a tick.
    int TempoAt(long nTick) const;

private:
    struct TPart
    {
        int nVoice;  // index into m_vVoices; -1 for the tempo part
        int nLine;
        std::string strText;
    };
    struct TPattern
    {
        std::string strName;
        int nBars = 0;
        std::vector<TPart> vParts;
    };

    bool ParseLine(const std::string& strLine, int nLine, std::string& strError);
    bool ParseVoice(const std::vector<std::string>& vWords, std::string& strError);
    bool Build(std::string& strError);
    bool BuildPart(const TPattern& Pattern, const TPart& Part, int nStart, std::string& strError);
    void Humanize();
    std::string Where(int nLine) const;

    std::string m_strPath;
    std::vector<TVoice> m_vVoices;
    std::vector<TPattern> m_vPatterns;
    std::vector<std::string> m_vSong;
    int m_nSongLine = 0;
    int m_nOpen = -1;  // index of the pattern being read
    double m_dTempo = 120.0;
    int m_nMeterNum = 4;
    int m_nMeterDen = 4;
    int m_nBarTicks = 4 * PPQ;
    bool m_bLoop = false;
    double m_dTail = 3.0;
    double m_dFadeOut = 0.5;
    double m_dLoudness = -16.0;

    std::vector<std::vector<TNote>> m_vNotes;
    std::vector<TTempo> m_vTempos;
    int m_nLength = 0;
};
