// The game's mix as a player hears it: the real sounds of the data file played through the real
// sound manager and SDL2_mixer into SDL's "disk" driver (raw signed 16-bit stereo at 44.1 kHz),
// in a scripted busy scene; and the mixer's safety net against a pile-up that would clip.

#include "Dsp.h"
#include "Loudness.h"
#include "Waves.h"
#include "base/MathConstants.h"
#include "databank/AssetIds.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"
#include "sound/MixLimiter.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SoDB.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using TSourcePtr = std::unique_ptr<TFModSoundSource>;

constexpr int RATE = TFModSoundManager::FREQUENCY;
constexpr double FULL_SCALE = 32768.0;

std::string MakeTempPath(const char* szSuffix)
{
    return MakeTempDir() + "/mix" + szSuffix;
}

// A manager writing to a raw file through the disk driver, a buffer every 4 ms: about six
// times real time. Events are placed by the frames already written, not by the clock.
class MixTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strOutput = MakeTempPath(".raw");
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_strOutput.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "4", 1);
        m_pSM = std::make_unique<TFModSoundManager>();
        ASSERT_FALSE(m_pSM->IsSilent());
    }
    void TearDown() override
    {
        m_pSM.reset();
        std::remove(m_strOutput.c_str());
    }

    size_t FramesWritten() const
    {
        struct stat st{};
        return stat(m_strOutput.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) / 4 : 0;
    }

    // Waits until the output holds nFrame frames.
    void WaitFor(size_t nFrame) const
    {
        const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (FramesWritten() < nFrame) {
            ASSERT_LT(std::chrono::steady_clock::now(), tEnd) << "the audio thread stopped writing";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    TSourcePtr Load(const std::vector<uint8_t>& vecImage, bool bLoop = false)
    {
        TSourcePtr pSource(m_pSM->CreateSource());
        EXPECT_TRUE(pSource->LoadFromMemory(vecImage.data(), static_cast<int32_t>(vecImage.size()), false, bLoop));
        return pSource;
    }

    // The output from frame nFrom on, as a stereo wave at full scale +-1.
    TWave Recorded(size_t nFrom) const
    {
        std::ifstream File(m_strOutput, std::ios::binary);
        const std::vector<char> vBytes((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
        TWave Wave;
        Wave.nRate = RATE;
        Wave.nChannels = 2;
        for (size_t i = nFrom * 2; i + 1 < vBytes.size() / 2; ++i) {
            int16_t n;
            std::memcpy(&n, vBytes.data() + 2 * i, 2);
            Wave.vSamples.push_back(n / float(FULL_SCALE));
        }
        return Wave;
    }

    std::string m_strOutput;
    std::unique_ptr<TFModSoundManager> m_pSM;
};

// Energy below 100 Hz (4th-order Butterworth), where the music's bass and kick play and the
// effects keep out.
double LowBandEnergy(const TWave& Wave)
{
    double dSum = 0.0;
    for (int c = 0; c < Wave.nChannels; ++c) {
        TBiquad First, Second;
        First.SetLowPass(100.0, 0.5412, Wave.nRate);
        Second.SetLowPass(100.0, 1.3066, Wave.nRate);
        for (size_t i = 0; i < Wave.Frames(); ++i) {
            const double d = Second.Process(First.Process(Wave.At(i, c)));
            dSum += d * d;
        }
    }
    return dSum;
}

class BusySceneTest : public MixTest
{
protected:
    std::vector<uint8_t> Sound(int32_t nPlaylist, int32_t nItem)
    {
        TSndInfo Snd;
        EXPECT_TRUE(m_pBank->LoadSoundFromBin(nPlaylist, nItem, Snd)) << "item " << nItem;
        return Snd.pSound ? std::vector<uint8_t>(Snd.pSound.get(), Snd.pSound.get() + Snd.nSize) : std::vector<uint8_t>();
    }

    // Six seconds of play as the game makes the calls: the music at 0.2, held thrust (the
    // engine restarted every 160 ms), held fire (a shot every 200 ms), six rocks of every
    // size breaking, each with a source of its own, and the ship's explosion.
    TWave PlayScene(bool bMusic)
    {
        SoDB::init();
        m_pBank = std::make_unique<TDataBanker>(DRELK_TEST_DATA_FILE);
        TSourcePtr pMusic = Load(Sound(ID_PLAYLIST_MUSICS, ID_MUSIC_GAME), true);
        TSourcePtr pEngine = Load(Sound(ID_PLAYLIST_SOUNDS, ID_SOUND_ENGINE));
        TSourcePtr pShot = Load(Sound(ID_PLAYLIST_SOUNDS, ID_SOUND_LASER));
        TSourcePtr pShip = Load(Sound(ID_PLAYLIST_SOUNDS, ID_SOUND_EXPLOSION_10));
        struct TRock
        {
            int nMs;
            int32_t nItem;
        };
        const TRock aRocks[] = {{500, ID_SOUND_ROCK_EXPLOSION_2},  {1300, ID_SOUND_ROCK_EXPLOSION_1},
                                {1500, ID_SOUND_ROCK_EXPLOSION_1}, {2400, ID_SOUND_ROCK_EXPLOSION_0},
                                {2500, ID_SOUND_ROCK_EXPLOSION_0}, {3100, ID_SOUND_ROCK_EXPLOSION_2}};
        std::vector<TSourcePtr> vRocks;
        for (const TRock& Rock : aRocks)
            vRocks.push_back(Load(Sound(ID_PLAYLIST_SOUNDS, Rock.nItem)));
        const int SHIP_MS = 3800;

        const size_t nStart = FramesWritten();
        pMusic->SetVolume(0.2f);
        if (bMusic)
            pMusic->SetPlaying(true);
        auto Start = [](TFModSoundSource& Source) {
            Source.Play();
            Source.SetPlaying(true);
        };
        for (int nMs = 0; nMs < 6000; nMs += 10) {  // the game's 10 ms ticks
            WaitFor(nStart + size_t(nMs) * RATE / 1000);
            if (nMs % 160 == 0)
                Start(*pEngine);
            if (nMs % 200 == 0)
                Start(*pShot);
            for (size_t i = 0; i < vRocks.size(); ++i)
                if (aRocks[i].nMs == nMs)
                    Start(*vRocks[i]);
            if (nMs == SHIP_MS)
                Start(*pShip);
        }
        WaitFor(nStart + 6 * RATE);
        return Recorded(nStart);
    }

    std::unique_ptr<TDataBanker> m_pBank;
};

TEST_F(BusySceneTest, StaysUnderFullScaleWithTheMusicHeard)
{
    ASSERT_EQ(access(DRELK_TEST_DATA_FILE, R_OK), 0) << "the data file " << DRELK_TEST_DATA_FILE << " is missing";
    const TWave Scene = PlayScene(true);
    ASSERT_GE(Scene.Seconds(), 5.9);
    const double dPeak = TLoudness::PeakDb(Scene);
    const double dLoudness = TLoudness::Integrated(Scene);
    std::printf("busy scene: %.2f LUFS integrated, %.2f LUFS loudest 400 ms, peak %.2f dBFS\n", dLoudness,
                TLoudness::MomentaryMax(Scene), dPeak);
    EXPECT_LE(dPeak, -0.3) << "the busy scene reaches full scale";

    // The same scene without the music: the music must carry a good part of the low band.
    const TWave Silent = PlayScene(false);
    const double dWith = LowBandEnergy(Scene), dWithout = LowBandEnergy(Silent);
    std::printf("below 100 Hz: %.1f dB more with the music\n", 10.0 * std::log10(dWith / dWithout));
    EXPECT_GT(dWith, 2.0 * dWithout) << "the music is lost under the effects";
}

// Loud enough that the channels' sum is far past full scale: without the safety net the mixer
// would square every peak off.
TEST_F(MixTest, PileUpIsLimitedNotClipped)
{
    // 0.4 s of a 220 Hz sine at half scale.
    TWave Sine;
    Sine.nRate = RATE;
    for (int i = 0; i < RATE * 4 / 10; ++i)
        Sine.vSamples.push_back(0.5f * float(std::sin(2.0 * PI * 220.0 * i / RATE)));
    const std::string strWav = MakeTempPath(".wav");
    std::string strError;
    ASSERT_TRUE(TWaves::WriteWav16(strWav, Sine, strError)) << strError;
    std::ifstream File(strWav, std::ios::binary);
    const std::vector<uint8_t> vImage((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
    std::remove(strWav.c_str());

    std::vector<TSourcePtr> vSources;
    for (int i = 0; i < 4; ++i)
        vSources.push_back(Load(vImage));
    const size_t nStart = FramesWritten();
    for (TSourcePtr& pSource : vSources)
        pSource->SetPlaying(true);
    WaitFor(nStart + size_t(RATE) / 2);
    const TWave Out = Recorded(nStart);

    const double dCeiling = FULL_SCALE * std::pow(10.0, TMixLimiter::CEILING_DB / 20.0);
    double dPeak = 0.0;
    size_t nFlat = 0;  // three equal samples in a row near the ceiling: a squared-off top
    const std::vector<float>& v = Out.vSamples;
    for (size_t i = 0; i < v.size(); ++i) {
        const double d = std::fabs(v[i]) * FULL_SCALE;
        dPeak = std::max(dPeak, d);
        if (i >= 4 && d > 0.95 * dCeiling && v[i] == v[i - 2] && v[i] == v[i - 4])
            ++nFlat;
    }
    EXPECT_LE(dPeak, dCeiling + 1.0);
    EXPECT_GT(dPeak, 0.8 * dCeiling) << "the pile-up came out too quiet";
    EXPECT_LT(nFlat, 20u) << "peaks squared off";
}

}  // namespace
