// drelk2-audiogen: makes the game's sound effects and turns its note lists into music.
//
//   drelk2-audiogen sfx OUTDIR                   every effect, as OUTDIR/sfx/*.wav
//   drelk2-audiogen midi SCORE.txt OUT.mid       the note list as a MIDI file (a loop twice)
//   drelk2-audiogen master SCORE.txt RENDER.raw OUT.wav
//                                                the synthesizer's float render (44100 Hz
//                                                stereo) cut, faded and levelled
//   drelk2-audiogen measure FILE.wav...          length, peak, loudness, DC, edge samples
//   drelk2-audiogen restarts IN.wav MS OUT.wav   IN restarted every MS milliseconds, each start
//                                                cutting the last, as the game does with held thrust
//
// Exit status 0 on success, 1 with a message on standard error otherwise.

#include "Dsp.h"
#include "Mastering.h"
#include "MidiWriter.h"
#include "Score.h"
#include "SoundEffects.h"
#include "Waves.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int RENDER_RATE = 44100;
constexpr int RENDER_CHANNELS = 2;

int Fail(const std::string& strMessage)
{
    std::fprintf(stderr, "drelk2-audiogen: %s\n", strMessage.c_str());
    return 1;
}

int MakeEffects(const std::string& strDir)
{
    std::error_code Error;
    std::filesystem::create_directories(std::filesystem::path(strDir) / "sfx", Error);
    if (Error)
        return Fail("cannot create " + strDir + "/sfx: " + Error.message());
    for (const TEffectSpec& Effect : TSoundEffects::Specs()) {
        std::string strError;
        if (!TWaves::WriteWav16(strDir + "/" + Effect.szFile, TSoundEffects::Make(Effect), strError))
            return Fail(strError);
    }
    return 0;
}

int MakeMidi(const std::string& strScore, const std::string& strOut)
{
    TScore Score;
    std::string strError;
    if (!Score.Load(strScore, strError) || !TMidiWriter::Write(strOut, Score, Score.IsLoop() ? 2 : 1, strError))
        return Fail(strError);
    return 0;
}

int Master(const std::string& strScore, const std::string& strRender, const std::string& strOut)
{
    TScore Score;
    TWave Render, Wave;
    std::string strError;
    if (!Score.Load(strScore, strError) ||
        !TWaves::ReadRawFloat(strRender, RENDER_RATE, RENDER_CHANNELS, Render, strError))
        return Fail(strError);
    TMastering::RemoveDc(Render);
    if (Score.IsLoop()) {
        if (!TMastering::CutLoop(Render, Score.SecondsAt(Score.LengthTicks()), Wave, strError))
            return Fail(strRender + ": " + strError);
    } else {
        // The synthesizer renders until every voice has died away; the piece ends where the
        // score says, its tail included.
        Wave = std::move(Render);
        const double dEnd = Score.SecondsAt(Score.LengthTicks()) + Score.TailSeconds();
        Wave.vSamples.resize(std::min(Wave.Frames(), static_cast<size_t>(dEnd * Wave.nRate)) * Wave.nChannels);
        TMastering::Trim(Wave, Score.FadeOutSeconds());
    }
    if (Wave.Seconds() < 1.0)
        return Fail(strRender + ": the render is silent or too short");
    TMastering::Level(Wave, TMastering::MUSIC_LUFS, TMastering::MUSIC_CEILING_DB, Score.IsLoop(), true);
    if (!TWaves::WriteWav16(strOut, Wave, strError))
        return Fail(strError);
    return 0;
}

int Measure(const std::vector<std::string>& vFiles)
{
    std::printf("%-28s %7s %8s %9s %9s %8s %9s %9s\n", "file", "seconds", "peak dB", "LUFS int",
                "LUFS max", "DC", "first", "last");
    for (const std::string& strFile : vFiles) {
        TWave Wave;
        std::string strError;
        if (!TWaves::ReadWav(strFile, Wave, strError))
            return Fail(strError);
        double dSum = 0.0;
        for (float f : Wave.vSamples)
            dSum += f;
        const float fFirst = Wave.vSamples.empty() ? 0.0f : Wave.vSamples.front();
        const float fLast = Wave.vSamples.empty() ? 0.0f : Wave.vSamples.back();
        std::printf("%-28s %7.3f %8.2f %9.2f %9.2f %8.5f %9.5f %9.5f\n",
                    std::filesystem::path(strFile).filename().c_str(), Wave.Seconds(), TLoudness::PeakDb(Wave),
                    TLoudness::Integrated(Wave), TLoudness::MomentaryMax(Wave),
                    Wave.vSamples.empty() ? 0.0 : dSum / Wave.vSamples.size(), fFirst, fLast);
    }
    return 0;
}

int Restarts(const std::string& strIn, const std::string& strMs, const std::string& strOut)
{
    TWave In;
    std::string strError;
    if (!TWaves::ReadWav(strIn, In, strError))
        return Fail(strError);
    const double dMs = std::atof(strMs.c_str());
    if (dMs <= 0.0)
        return Fail("the interval must be positive");
    TWave Out = In;
    const size_t nStep = static_cast<size_t>(dMs / 1000.0 * In.nRate);
    Out.vSamples.clear();
    for (size_t nStart = 0; nStart < size_t(In.nRate) * 2; nStart += nStep)
        Out.vSamples.insert(Out.vSamples.end(), In.vSamples.begin(),
                            In.vSamples.begin() + std::min(In.vSamples.size(), nStep * In.nChannels));
    Out.vSamples.insert(Out.vSamples.end(), In.vSamples.begin(), In.vSamples.end());
    if (!TWaves::WriteWav16(strOut, Out, strError))
        return Fail(strError);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> vArgs(argv + 1, argv + argc);
    const std::string strCommand = vArgs.empty() ? "" : vArgs[0];
    if (strCommand == "sfx" && vArgs.size() == 2)
        return MakeEffects(vArgs[1]);
    if (strCommand == "midi" && vArgs.size() == 3)
        return MakeMidi(vArgs[1], vArgs[2]);
    if (strCommand == "master" && vArgs.size() == 4)
        return Master(vArgs[1], vArgs[2], vArgs[3]);
    if (strCommand == "measure" && vArgs.size() >= 2)
        return Measure(std::vector<std::string>(vArgs.begin() + 1, vArgs.end()));
    if (strCommand == "restarts" && vArgs.size() == 4)
        return Restarts(vArgs[1], vArgs[2], vArgs[3]);
    return Fail("usage: drelk2-audiogen sfx OUTDIR | midi SCORE.txt OUT.mid | "
                "master SCORE.txt RENDER.raw OUT.wav | measure FILE.wav... | restarts IN.wav MS OUT.wav");
}
