// The sound effects and music the build generates, decoded by SDL2_mixer as the game decodes
// them (a complete file image from memory): each must decode, be audible, stay below full
// scale, last as long as its use needs and start and end without a click; the game music must
// loop without a seam; held thrust must not click; the generator must repeat itself exactly.

#include "Score.h"
#include "SoundReport.h"
#include "Waves.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TestDataFile.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>
#include <sys/stat.h>

namespace {

const std::string GEN_DIR = DRELK_AUDIO_GEN_DIR;
constexpr int RATE = 44100;
constexpr double FULL_SCALE = 32768.0;

struct TAssetCase
{
    const char* szFile;
    bool bMusic;
    bool bLoop;
    double dMinSeconds;
    double dMaxSeconds;
};

const TAssetCase ASSETS[] = {
    {"sfx/shot.wav", false, false, 0.08, 0.1},
    {"sfx/ship_explosion.wav", false, false, 1.5, 2.5},
    {"sfx/rock_large.wav", false, false, 0.4, 1.2},
    {"sfx/rock_medium.wav", false, false, 0.4, 1.2},
    {"sfx/rock_small.wav", false, false, 0.4, 1.2},
    {"sfx/engine.wav", false, false, 0.25, 0.35},
    {"music/splash.ogg", true, false, 40.0, 60.0},
    {"music/game.ogg", true, true, 60.0, 120.0},
    // The ending screen ends the program by itself 50.05 s after it starts the music.
    {"music/ending.ogg", true, false, 49.0, 50.05},
};

void PrintTo(const TAssetCase& Case, std::ostream* pOut) { *pOut << Case.szFile; }

// Decoded samples, one vector a channel, at the mixer's 44100 Hz.
struct TPcm
{
    std::vector<std::vector<double>> vChannels;  // full scale +-1.0

    size_t Frames() const { return vChannels.empty() ? 0 : vChannels[0].size(); }
    double Seconds() const { return double(Frames()) / RATE; }
};

std::vector<uint8_t> ReadBytes(const std::string& strPath)
{
    std::ifstream File(strPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

double Db(double dRatio) { return 20.0 * std::log10(std::max(dRatio, 1e-12)); }

double Rms(const std::vector<double>& v, size_t nFrom, size_t nCount)
{
    double dSum = 0.0;
    const size_t nTo = std::min(v.size(), nFrom + nCount);
    for (size_t i = nFrom; i < nTo; ++i)
        dSum += v[i] * v[i];
    return nTo > nFrom ? std::sqrt(dSum / double(nTo - nFrom)) : 0.0;
}

// The loudest window of nWindow frames (hop a quarter window) and where it starts.
double LoudestWindow(const std::vector<double>& v, size_t nWindow, size_t* pStart = nullptr)
{
    double dBest = 0.0;
    for (size_t nFrom = 0; nFrom == 0 || nFrom + nWindow <= v.size(); nFrom += std::max<size_t>(1, nWindow / 4)) {
        const double d = Rms(v, nFrom, nWindow);
        if (d > dBest) {
            dBest = d;
            if (pStart)
                *pStart = nFrom;
        }
    }
    return dBest;
}

// Equal bytes; on a mismatch the message says where, not the whole file.
::testing::AssertionResult SameFile(const std::string& strA, const std::string& strB)
{
    const std::vector<uint8_t> vA = ReadBytes(strA), vB = ReadBytes(strB);
    if (!vA.empty() && vA == vB)
        return ::testing::AssertionSuccess();
    const size_t nAt = std::mismatch(vA.begin(), vA.begin() + std::min(vA.size(), vB.size()), vB.begin()).first - vA.begin();
    return ::testing::AssertionFailure() << strA << " (" << vA.size() << " bytes) and " << strB << " (" << vB.size()
                                         << " bytes) differ from byte " << nAt;
}

// The q-quantile of the absolute step from one sample to the next.
double StepQuantile(const std::vector<double>& v, double q)
{
    std::vector<double> vSteps;
    for (size_t i = 1; i < v.size(); ++i)
        vSteps.push_back(std::fabs(v[i] - v[i - 1]));
    std::nth_element(vSteps.begin(), vSteps.begin() + size_t(q * (vSteps.size() - 1)), vSteps.end());
    return vSteps[size_t(q * (vSteps.size() - 1))];
}

class AudioAssetsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        SDL_setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
        Mix_Init(MIX_INIT_OGG);
        ASSERT_EQ(Mix_OpenAudio(RATE, AUDIO_S16SYS, 2, 1024), 0) << Mix_GetError();
        int nRate = 0, nChannels = 0;
        Uint16 nFormat = 0;
        Mix_QuerySpec(&nRate, &nFormat, &nChannels);
        ASSERT_EQ(nRate, RATE);
        ASSERT_EQ(nFormat, AUDIO_S16SYS);
        ASSERT_EQ(nChannels, 2);
    }
    static void TearDownTestSuite()
    {
        Mix_CloseAudio();
        Mix_Quit();
        SDL_Quit();
    }

    // The file decoded by SDL2_mixer into the mixer's format; false with the mixer's message.
    static bool Decode(const std::vector<uint8_t>& vBytes, TPcm& Pcm, std::string& strError)
    {
        SDL_RWops* pRw = SDL_RWFromConstMem(vBytes.data(), static_cast<int>(vBytes.size()));
        Mix_Chunk* pChunk = pRw ? Mix_LoadWAV_RW(pRw, 1) : nullptr;
        if (!pChunk) {
            strError = Mix_GetError();
            return false;
        }
        const size_t nFrames = pChunk->alen / 4;
        Pcm.vChannels.assign(2, std::vector<double>(nFrames));
        for (size_t i = 0; i < nFrames; ++i)
            for (int c = 0; c < 2; ++c) {
                int16_t n;
                std::memcpy(&n, pChunk->abuf + 4 * i + 2 * c, 2);
                Pcm.vChannels[c][i] = n / FULL_SCALE;
            }
        Mix_FreeChunk(pChunk);
        return true;
    }

    static TPcm Load(const std::string& strFile)
    {
        TPcm Pcm;
        std::string strError;
        const std::vector<uint8_t> vBytes = ReadBytes(GEN_DIR + "/" + strFile);
        EXPECT_FALSE(vBytes.empty()) << strFile << " is missing";
        EXPECT_TRUE(vBytes.empty() || Decode(vBytes, Pcm, strError)) << strFile << ": " << strError;
        return Pcm;
    }
};

class AudioAssetTest : public AudioAssetsTest, public ::testing::WithParamInterface<TAssetCase>
{
};

// The container and format the game and the data file expect: effects small mono 16-bit
// WAV, music 44.1 kHz stereo Ogg Vorbis.
TEST_P(AudioAssetTest, HasTheFileFormatItsUseNeeds)
{
    const TAssetCase& Case = GetParam();
    const std::vector<uint8_t> vBytes = ReadBytes(GEN_DIR + "/" + Case.szFile);
    ASSERT_GT(vBytes.size(), 64u) << Case.szFile;
    if (Case.bMusic) {
        ASSERT_EQ(std::memcmp(vBytes.data(), "OggS", 4), 0);
        const uint8_t* pEnd = vBytes.data() + 128;
        const uint8_t* pId = std::search(vBytes.data(), pEnd, "\x01vorbis", "\x01vorbis" + 7);
        ASSERT_NE(pId, pEnd) << "no Vorbis identification header";
        EXPECT_EQ(pId[11], 2) << "channels";
        EXPECT_EQ(Le32(pId + 12), 44100u) << "sample rate";
    } else {
        EXPECT_LT(vBytes.size(), 150u * 1024) << "each asteroid loads its own copy";
        ASSERT_EQ(std::memcmp(vBytes.data(), "RIFF", 4), 0);
        ASSERT_EQ(std::memcmp(vBytes.data() + 12, "fmt ", 4), 0);
        EXPECT_EQ(Le16(vBytes.data() + 20), 1) << "PCM";
        EXPECT_EQ(Le16(vBytes.data() + 22), 1) << "mono";
        const uint32_t nRate = Le32(vBytes.data() + 24);
        EXPECT_TRUE(nRate == 22050 || nRate == 44100) << nRate;
        EXPECT_EQ(Le16(vBytes.data() + 34), 16) << "bits";
    }
}

TEST_P(AudioAssetTest, DecodesAudibleUnclippedAndWithoutClicksAtItsEdges)
{
    const TAssetCase& Case = GetParam();
    const TPcm Pcm = Load(Case.szFile);
    ASSERT_GT(Pcm.Frames(), 0u);
    EXPECT_GE(Pcm.Seconds(), Case.dMinSeconds);
    EXPECT_LE(Pcm.Seconds(), Case.dMaxSeconds);
    for (const std::vector<double>& v : Pcm.vChannels) {
        double dPeak = 0.0, dSum = 0.0;
        for (double d : v) {
            dPeak = std::max(dPeak, std::fabs(d));
            dSum += d;
        }
        // Made with 1 dB of headroom; the decoder and the resampler may add a little.
        EXPECT_LT(Db(dPeak), -0.5) << "too close to clipping";
        EXPECT_GT(Db(LoudestWindow(v, RATE * 4 / 10)), -30.0) << "too quiet to hear";
        EXPECT_LT(std::fabs(dSum / v.size()), 0.002) << "DC offset";
        if (!Case.bLoop) {
            // Out of silence without a jump (a fast attack is the effects' business), and
            // faded out to silence, not cut off.
            EXPECT_LT(std::fabs(v.front()), 0.01) << "starts with a jump";
            EXPECT_LT(std::fabs(v.back()), 0.01) << "ends with a jump";
            EXPECT_LT(Rms(v, v.size() - RATE / 500, RATE / 500), 0.01) << "cut off";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Generated, AudioAssetTest, ::testing::ValuesIn(ASSETS),
                         [](const ::testing::TestParamInfo<TAssetCase>& Info) {
                             std::string strName = std::filesystem::path(Info.param.szFile).stem().string();
                             strName.erase(std::remove(strName.begin(), strName.end(), '_'), strName.end());
                             return strName;
                         });

// The game music repeats forever: the step from its last sample back to its first must be
// no bigger than the ordinary steps inside it. The loop starts again on a downbeat with a
// crash, so its level may rise there, but by no more than at the section starts inside it:
// a cut in the wrong place would stand out against those.
TEST_F(AudioAssetsTest, GameMusicLoopsWithoutASeam)
{
    const TPcm Pcm = Load("music/game.ogg");
    ASSERT_GT(Pcm.Frames(), size_t(RATE));
    TScore Score;
    std::string strError;
    ASSERT_TRUE(Score.Load(std::string(DRELK_MUSIC_DIR) + "/game.txt", strError)) << strError;
    const size_t nEdge = RATE / 20;
    for (const std::vector<double>& v : Pcm.vChannels) {
        EXPECT_LE(std::fabs(v.front() - v.back()), StepQuantile(v, 0.95));
        double dLargestInside = 0.0;
        for (int nTick = Score.BarTicks(); nTick < Score.LengthTicks(); nTick += Score.BarTicks()) {
            const size_t nAt = static_cast<size_t>(std::lround(Score.SecondsAt(nTick) * RATE));
            dLargestInside = std::max(dLargestInside, std::fabs(Db(Rms(v, nAt, nEdge) / Rms(v, nAt - nEdge, nEdge))));
        }
        const double dSeam = std::fabs(Db(Rms(v, 0, nEdge) / Rms(v, v.size() - nEdge, nEdge)));
        EXPECT_LE(dSeam, dLargestInside + 1.0) << "level jumps at the loop point";
    }
}

// The figures drelk2-audiogen reports for the data file's sounds, against the limits that make
// them work in the game's mix. Levels are as heard: a mono effect plays on both speakers.
class SoundLimitsTest : public ::testing::Test
{
protected:
    static TSoundFigures Figures(const std::string& strFile)
    {
        TWave Wave;
        std::string strError;
        EXPECT_TRUE(TWaves::Read(GEN_DIR + "/" + strFile, Wave, strError)) << strError;
        return TSoundReport::Measure(Wave);
    }
};

// Held fire restarts the shot every few ticks: it is short, gives its energy at once, keeps
// out of the harsh 2-4 kHz band and sits well under the explosions.
TEST_F(SoundLimitsTest, ShotIsMadeForRapidFire)
{
    const TSoundFigures Shot = Figures("sfx/shot.wav");
    EXPECT_GE(Shot.dSeconds, 0.08);
    EXPECT_LE(Shot.dSeconds, 0.10);
    EXPECT_GT(Shot.dEarlyEnergy, 0.85) << "energy after the first 40 ms is cut by the next shot";
    EXPECT_LT(Shot.dHarsh, 0.05) << "too much 2-4 kHz";
    EXPECT_NEAR(Shot.dMomentaryMax, -21.0, 1.5);
}

// Held thrust restarts the engine every 150 ms or later: where it is cut it is 4 to 10 dB down
// (a roar with a mild pulse, not a put-put), and its energy lies where small speakers play.
TEST_F(SoundLimitsTest, EngineRoarsWhenRestarted)
{
    const TSoundFigures Engine = Figures("sfx/engine.wav");
    // The 20 ms windows of noise scatter by a few dB around the designed curve.
    EXPECT_GE(Engine.dLeastUnder160To200Db, 3.0);
    EXPECT_LE(Engine.dMostUnder160To200Db, 10.0);
    EXPECT_LE(Engine.dAt150Db, 10.0);
    EXPECT_GT(Engine.dBody, 0.45) << "energy in 150-800 Hz";
    EXPECT_LT(Engine.dBelow100, 0.1);
}

// Held thrust as the game plays it: the engine restarted every 150 ms (as soon as the game
// lets it) and every 200 ms (a late tick and a full audio buffer), each start cutting the last.
// The roar stays within 10 dB of its loudest 20 ms, as loud as one burst's loudest moment, with
// the same share of body: the same engine, held.
TEST_F(SoundLimitsTest, HeldThrustIsASteadyRoarOfTheSameEngine)
{
    const TSoundFigures Engine = Figures("sfx/engine.wav");
    const std::string strDir = MakeTempDir();
    for (const char* szMs : {"150", "200"}) {
        SCOPED_TRACE(szMs);
        const std::string strHeld = strDir + "/held" + szMs + ".wav";
        const TCommandResult Result = RunCommand(ShellQuote(DRELK_AUDIOGEN) + " restarts " +
                                                 ShellQuote(GEN_DIR + "/sfx/engine.wav") + " " + szMs + " " +
                                                 ShellQuote(strHeld) + " 2>&1");
        ASSERT_EQ(Result.nExitCode, 0) << Result.strOut;
        TWave Held;
        std::string strError;
        ASSERT_TRUE(TWaves::Read(strHeld, Held, strError)) << strError;
        // 20 ms windows, 5 ms apart, over the held part (after the first start, before the last
        // burst dies away).
        const size_t nWindow = static_cast<size_t>(0.020 * Held.nRate), nHop = static_cast<size_t>(0.005 * Held.nRate);
        double dLoudest = 0.0, dQuietest = 1e9;
        for (size_t nFrom = static_cast<size_t>(0.3 * Held.nRate); nFrom + nWindow < 2 * size_t(Held.nRate);
             nFrom += nHop) {
            double dSum = 0.0;
            for (size_t i = nFrom; i < nFrom + nWindow; ++i)
                dSum += double(Held.At(i, 0)) * Held.At(i, 0);
            dLoudest = std::max(dLoudest, dSum / nWindow);
            dQuietest = std::min(dQuietest, dSum / nWindow);
        }
        ASSERT_GT(dQuietest, 0.0);
        EXPECT_LE(10.0 * std::log10(dLoudest / dQuietest), 10.0) << "the roar dips with each restart";
        const TSoundFigures HeldFigures = TSoundReport::Measure(Held);
        EXPECT_NEAR(HeldFigures.dMomentaryMax, Engine.dMomentaryMax + 4.0, 2.5) << "held, the roar adds up";
        EXPECT_NEAR(HeldFigures.dBody, Engine.dBody, 0.05);
        EXPECT_NEAR(HeldFigures.dBelow100, Engine.dBelow100, 0.03);
        EXPECT_NEAR(HeldFigures.dHarsh, Engine.dHarsh, 0.03);
    }
}

// Size is heard in level as well as length: the ship over every rock by 3 LU or more, the
// rocks in order of size, every explosion 6 to 10 LU over the game music at its in-game
// volume, and all of them with a body that small speakers carry.
TEST_F(SoundLimitsTest, ExplosionsStandInOrderOverTheMusic)
{
    const TSoundFigures Ship = Figures("sfx/ship_explosion.wav"), Large = Figures("sfx/rock_large.wav"),
                        Medium = Figures("sfx/rock_medium.wav"), Small = Figures("sfx/rock_small.wav"),
                        Music = Figures("music/game.ogg");
    EXPECT_GE(Ship.dMomentaryMax - Large.dMomentaryMax, 3.0);
    EXPECT_GT(Large.dMomentaryMax, Medium.dMomentaryMax);
    EXPECT_GT(Medium.dMomentaryMax, Small.dMomentaryMax);
    // The game plays its music at volume 0.2, which the mixer scales to 26/128.
    const double dMusicInGame = Music.dIntegrated + 20.0 * std::log10(26.0 / 128.0);
    for (const TSoundFigures* p : {&Ship, &Large, &Medium, &Small}) {
        EXPECT_GE(p->dMomentaryMax - dMusicInGame, 6.0) << p->dMomentaryMax;
        EXPECT_LE(p->dMomentaryMax - dMusicInGame, 10.0) << p->dMomentaryMax;
    }
    for (const TSoundFigures* p : {&Ship, &Large}) {
        EXPECT_GT(p->dBody, 0.35) << "energy in 150-800 Hz";
        EXPECT_LT(p->dBelow100, 0.3) << "energy below 100 Hz";
    }
}

// The game music is mastered hot for its low in-game volume, without pushing its true peak
// past -1 dBTP; the other pieces keep their dynamics.
TEST_F(SoundLimitsTest, MusicLevelsAndTruePeaks)
{
    const TSoundFigures Game = Figures("music/game.ogg");
    EXPECT_NEAR(Game.dIntegrated, -12.5, 0.5);
    for (const char* szFile : {"music/game.ogg", "music/splash.ogg", "music/ending.ogg"}) {
        EXPECT_LE(Figures(szFile).dTruePeakDb, -1.0) << szFile;
    }
    for (const char* szFile : {"music/splash.ogg", "music/ending.ogg"}) {
        EXPECT_NEAR(Figures(szFile).dIntegrated, -16.0, 0.5) << szFile;
    }
}

// The shot is restarted in bursts: its energy must come at once. The rocks must be told apart
// by ear: the larger the rock, the longer and the darker its explosion.
TEST_F(AudioAssetsTest, EffectsHaveTheirCharacter)
{
    const TPcm Shot = Load("sfx/shot.wav");
    ASSERT_GT(Shot.Frames(), 0u);
    size_t nLoudestAt = 0;
    LoudestWindow(Shot.vChannels[0], RATE / 100, &nLoudestAt);
    EXPECT_LT(double(nLoudestAt) / RATE, 0.015) << "the shot's punch comes late";

    auto Brightness = [](const std::vector<double>& v) {  // zero crossings a second
        size_t nCrossings = 0;
        for (size_t i = 1; i < v.size(); ++i)
            nCrossings += (v[i - 1] < 0) != (v[i] < 0);
        return double(nCrossings) * RATE / v.size();
    };
    const TPcm Large = Load("sfx/rock_large.wav"), Medium = Load("sfx/rock_medium.wav"),
               Small = Load("sfx/rock_small.wav");
    ASSERT_GT(Large.Frames() * Medium.Frames() * Small.Frames(), 0u);
    EXPECT_GT(Large.Seconds(), Medium.Seconds());
    EXPECT_GT(Medium.Seconds(), Small.Seconds());
    const size_t nHead = RATE / 5;  // where each is loudest
    auto Head = [&](const TPcm& Pcm) {
        return std::vector<double>(Pcm.vChannels[0].begin(), Pcm.vChannels[0].begin() + nHead);
    };
    EXPECT_LT(Brightness(Head(Large)), Brightness(Head(Medium)));
    EXPECT_LT(Brightness(Head(Medium)), Brightness(Head(Small)));
}

// The generator and the music renderer write the same bytes on every run, so a build of the
// same sources gives the same data file.
TEST(AudioGeneratorTest, RepeatsItselfByteForByte)
{
    const std::string strDir = MakeTempDir();

    const TCommandResult Effects = RunCommand(ShellQuote(DRELK_AUDIOGEN) + " sfx " + ShellQuote(strDir));
    ASSERT_EQ(Effects.nExitCode, 0) << Effects.strOut;
    for (const TAssetCase& Case : ASSETS) {
        if (!Case.bMusic) {
            EXPECT_TRUE(SameFile(strDir + "/" + Case.szFile, GEN_DIR + "/" + Case.szFile));
        }
    }

    // The loop is the most involved render: note list, synthesizer, loop cut, encoder.
    const TCommandResult Music = RunCommand(ShellQuote(DRELK_AUDIOGEN) + " music " +
                                            ShellQuote(std::string(DRELK_MUSIC_DIR) + "/game.txt") + " " +
                                            ShellQuote(DRELK_SOUNDFONT) + " " + ShellQuote(strDir + "/game.ogg"));
    ASSERT_EQ(Music.nExitCode, 0) << Music.strOut;
    EXPECT_TRUE(SameFile(strDir + "/game.ogg", GEN_DIR + "/music/game.ogg"));
}

// Every input the generator reads is checked before use: a bad one gets one line naming it
// and exit status 1, never a hang, a crash or a half-written file.
TEST(AudioGeneratorTest, RefusesUnusableInputs)
{
    const std::string strDir = MakeTempDir();
    const std::string strFifo = strDir + "/fifo", strTruncated = strDir + "/truncated.wav",
                      strEmpty = strDir + "/empty.wav", strText = strDir + "/text.txt";
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    std::ofstream(strEmpty).close();
    std::ofstream(strText) << "tempo 120\n";
    {
        const std::vector<uint8_t> vShot = ReadBytes(GEN_DIR + "/sfx/shot.wav");
        ASSERT_GT(vShot.size(), 100u);
        std::ofstream(strTruncated, std::ios::binary).write(reinterpret_cast<const char*>(vShot.data()), 30);
    }
    const std::string strGame = std::string(DRELK_MUSIC_DIR) + "/game.txt";
    const std::string strOut = strDir + "/out.ogg";
    struct TCase
    {
        std::string strArgs;
        const char* szMessage;
    };
    const TCase CASES[] = {
        {"report " + strDir, "not a regular file"},
        {"report " + strFifo, "not a regular file"},
        {"report /dev/zero", "not a regular file"},
        {"report " + strEmpty, strEmpty.c_str()},
        {"report " + strTruncated, strTruncated.c_str()},
        {"report " + strText, strText.c_str()},
        {"report " + strDir + "/missing.wav", "missing.wav"},
        {"music " + strFifo + " " + DRELK_SOUNDFONT + " " + strOut, "not a note list"},
        {"music /dev/zero " + std::string(DRELK_SOUNDFONT) + " " + strOut, "not a note list"},
        {"music " + strGame + " " + strFifo + " " + strOut, "not a sound font"},
        {"music " + strGame + " " + strText + " " + strOut, "not a sound font"},
        {"restarts " + GEN_DIR + "/sfx/engine.wav 0 " + strDir + "/held.wav", "interval"},
        {"sfx " + strText, "cannot create"},
        {"frobnicate", "usage:"},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.strArgs);
        const TCommandResult Result = RunCommand(ShellQuote(DRELK_AUDIOGEN) + " " + Case.strArgs + " 2>&1");
        EXPECT_EQ(Result.nExitCode, 1) << Result.strOut;
        EXPECT_NE(Result.strOut.find(Case.szMessage), std::string::npos) << Result.strOut;
        EXPECT_EQ(std::count(Result.strOut.begin(), Result.strOut.end(), '\n'), 1) << Result.strOut;
    }
    EXPECT_FALSE(std::filesystem::exists(strOut)) << "a refused render left a file";
    EXPECT_FALSE(std::filesystem::exists(strOut + ".part"));
}

}  // namespace
