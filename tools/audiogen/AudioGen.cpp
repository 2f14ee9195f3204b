// drelk2-audiogen: makes the game's sound effects and music, and measures sounds.
//
//   drelk2-audiogen sfx OUTDIR                    every effect, as OUTDIR/sfx/*.wav
//   drelk2-audiogen music SCORE.txt FONT.sf2 OUT.ogg
//                                                 the note list played on the sound font,
//                                                 cut (a loop) or trimmed, levelled, encoded
//   drelk2-audiogen report FILE...                each sound's length, peaks, loudness and
//                                                 fall-off (WAV or Ogg Vorbis)
//   drelk2-audiogen restarts IN.wav MS OUT.wav    IN restarted every MS milliseconds, each start
//                                                 cutting the last, as the game does with held thrust
//
// The same command on the same input writes the same bytes on every machine (see
// PinMathLibrary). Exit status 0 on success, 1 with a message on standard error otherwise.

#include "Mastering.h"
#include "MusicRenderer.h"
#include "OggVorbis.h"
#include "Score.h"
#include "SoundEffects.h"
#include "SoundReport.h"
#include "Waves.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// About 128 kbit/s: clean synth highs at a size that keeps the data file small.
constexpr double OGG_QUALITY = 0.4;

int Fail(const std::string& strMessage)
{
    std::fprintf(stderr, "drelk2-audiogen: %s\n", strMessage.c_str());
    return 1;
}

// glibc picks its exp, log, pow, sin and cos by processor: machines with FMA get other last
// bits than machines without, and the synthesizer, the effects and the encoder all call them.
// Those bits decide where a loop is cut and how the encoder spends its bits, so the data file
// differed from one machine to another. Run with the FMA and AVX2 variants switched off, every
// x86-64 machine computes the same. glibc reads the setting only at start-up, hence the restart.
void PinMathLibrary(char** argv)
{
    static const char* const PIN = "glibc.cpu.hwcaps=-AVX2,-FMA";
    const char* szTunables = std::getenv("GLIBC_TUNABLES");
    if (szTunables && std::strstr(szTunables, PIN))
        return;
    std::string strTunables = PIN;
    if (szTunables && *szTunables)
        strTunables = std::string(szTunables) + ":" + PIN;
    setenv("GLIBC_TUNABLES", strTunables.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("drelk2-audiogen: cannot restart itself with the pinned math library");
    std::exit(1);
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

// The Ogg stream's serial number, fixed by the piece's name (FNV-1a).
uint32_t SerialOf(const std::string& strName)
{
    uint32_t n = 2166136261u;
    for (unsigned char c : strName)
        n = (n ^ c) * 16777619u;
    return n & 0x7fffffff;
}

bool Master(const TScore& Score, TWave Render, TWave& Wave, std::string& strError)
{
    TMastering::RemoveDc(Render);
    if (Score.IsLoop()) {
        if (!TMastering::CutLoop(Render, Score.SecondsAt(Score.LengthTicks()), Wave, strError))
            return false;
    } else {
        // The piece ends where the score says, its tail included.
        Wave = std::move(Render);
        TMastering::Trim(Wave, Score.FadeOutSeconds());
    }
    if (Wave.Seconds() < 1.0) {
        strError = "the render is silent or too short";
        return false;
    }
    TMastering::Level(Wave, Score.LoudnessLufs(), TMastering::MUSIC_TRUE_PEAK_DB, Score.IsLoop(), true);
    return true;
}

int MakeMusic(const std::string& strScore, const std::string& strFont, const std::string& strOut)
{
    TScore Score;
    TWave Render, Wave;
    std::string strError;
    if (!Score.Load(strScore, strError) || !TMusicRenderer::Render(Score, strFont, Render, strError))
        return Fail(strError);
    if (!Master(Score, std::move(Render), Wave, strError))
        return Fail(strScore + ": " + strError);
    // Written beside the target and renamed: a failed run leaves no half file for the build.
    const std::string strPart = strOut + ".part";
    const std::string strName = std::filesystem::path(strScore).stem().string();
    if (!TOggVorbis::Write(strPart, Wave, OGG_QUALITY, SerialOf(strName), strError))
        return Fail(strError);
    std::error_code Error;
    std::filesystem::rename(strPart, strOut, Error);
    if (Error)
        return Fail("cannot write " + strOut + ": " + Error.message());
    return 0;
}

// Every file is read before anything is printed: a bad one leaves no half table.
int Report(const std::vector<std::string>& vFiles)
{
    std::vector<std::string> vRows;
    for (const std::string& strFile : vFiles) {
        TWave Wave;
        std::string strError;
        if (!TWaves::Read(strFile, Wave, strError))
            return Fail(strError);
        const std::string strName = std::filesystem::path(strFile).filename().string();
        vRows.push_back(TSoundReport::Row(strName, TSoundReport::Measure(Wave)));
    }
    std::printf("%s\n", TSoundReport::Header().c_str());
    for (const std::string& strRow : vRows)
        std::printf("%s\n", strRow.c_str());
    return 0;
}

int Restarts(const std::string& strIn, const std::string& strMs, const std::string& strOut)
{
    TWave In;
    std::string strError;
    if (!TWaves::Read(strIn, In, strError))
        return Fail(strError);
    char* pEnd = nullptr;
    const double dMs = std::strtod(strMs.c_str(), &pEnd);
    if (!pEnd || *pEnd || !(dMs >= 10.0 && dMs <= 10000.0))
        return Fail("the interval must be 10 to 10000 milliseconds, not \"" + strMs + "\"");
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
    if (strCommand == "sfx" && vArgs.size() == 2) {
        PinMathLibrary(argv);
        return MakeEffects(vArgs[1]);
    }
    if (strCommand == "music" && vArgs.size() == 4) {
        PinMathLibrary(argv);
        return MakeMusic(vArgs[1], vArgs[2], vArgs[3]);
    }
    if (strCommand == "report" && vArgs.size() >= 2)
        return Report(std::vector<std::string>(vArgs.begin() + 1, vArgs.end()));
    if (strCommand == "restarts" && vArgs.size() == 4)
        return Restarts(vArgs[1], vArgs[2], vArgs[3]);
    return Fail("usage: drelk2-audiogen sfx OUTDIR | music SCORE.txt FONT.sf2 OUT.ogg | "
                "report FILE... | restarts IN.wav MS OUT.wav");
}
