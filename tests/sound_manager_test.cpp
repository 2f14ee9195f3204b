// The sound manager against the real SDL2_mixer. The mixed output goes through SDL's "disk"
// driver into a raw file (44100 Hz, signed 16-bit, stereo) that the tests read back.
// Most test sounds are ramps: frame k of a sound holds the value k + 1 on one side and 0 on the
// other, so the output shows exactly which part of which sound was heard: a restart is a run
// that begins at 1 again, a pause a gap after which the run goes on, two playbacks of one
// source at once a sum that is no ramp at all.

#include "databank/AssetIds.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"
#include "tests/support/HungAudioServer.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SoDB.h>
#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using TSourcePtr = std::unique_ptr<TFModSoundSource>;

constexpr int RATE = 44100;
constexpr size_t BUFFER = TFModSoundManager::BUFFER_FRAMES;
// Ramps count in 16-bit samples, so none is longer than 32767 frames.
constexpr int SHORT_RAMP = 20000;
constexpr int LONG_RAMP = 32000;

struct TFrame
{
    int16_t nLeft;
    int16_t nRight;
};

enum TSide { LEFT, RIGHT };

void PutLe(std::vector<uint8_t>& vecOut, uint32_t nValue, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        vecOut.push_back(static_cast<uint8_t>(nValue >> (8 * i)));
}

// A 16-bit PCM WAV file image of interleaved samples.
std::vector<uint8_t> MakeWav(const std::vector<int16_t>& vecSamples, int nChannels, int nRate)
{
    const uint32_t nData = static_cast<uint32_t>(vecSamples.size() * 2);
    std::vector<uint8_t> vecOut;
    vecOut.insert(vecOut.end(), {'R', 'I', 'F', 'F'});
    PutLe(vecOut, 36 + nData, 4);
    vecOut.insert(vecOut.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(vecOut, 16, 4);
    PutLe(vecOut, 1, 2);  // PCM
    PutLe(vecOut, static_cast<uint32_t>(nChannels), 2);
    PutLe(vecOut, static_cast<uint32_t>(nRate), 4);
    PutLe(vecOut, static_cast<uint32_t>(nRate * nChannels * 2), 4);
    PutLe(vecOut, static_cast<uint32_t>(nChannels * 2), 2);
    PutLe(vecOut, 16, 2);
    vecOut.insert(vecOut.end(), {'d', 'a', 't', 'a'});
    PutLe(vecOut, nData, 4);
    for (int16_t nSample : vecSamples)
        PutLe(vecOut, static_cast<uint16_t>(nSample), 2);
    return vecOut;
}

// Stereo at the output's own rate, so the mixer passes the samples through unchanged.
std::vector<uint8_t> MakeRamp(int nFrames, TSide eSide)
{
    std::vector<int16_t> vecSamples(static_cast<size_t>(nFrames) * 2, 0);
    for (int k = 0; k < nFrames; ++k)
        vecSamples[static_cast<size_t>(k) * 2 + (eSide == LEFT ? 0 : 1)] = static_cast<int16_t>(k + 1);
    return MakeWav(vecSamples, 2, RATE);
}

std::vector<uint8_t> MakeLevel(int nFrames, int16_t nLevel)
{
    return MakeWav(std::vector<int16_t>(static_cast<size_t>(nFrames) * 2, nLevel), 2, RATE);
}

// A stretch of the output where one side counts up by one per frame.
struct TRun
{
    int nFirst;     // value of its first frame: the position in the sound, from 1
    int nLast;
    size_t nStart;  // frame index in the output
    size_t nLength;
};

std::vector<TRun> Runs(const std::vector<TFrame>& vecFrames, TSide eSide)
{
    std::vector<TRun> vecRuns;
    for (size_t i = 0; i < vecFrames.size(); ++i) {
        const int nValue = eSide == LEFT ? vecFrames[i].nLeft : vecFrames[i].nRight;
        if (nValue == 0)
            continue;
        if (!vecRuns.empty() && vecRuns.back().nStart + vecRuns.back().nLength == i &&
            vecRuns.back().nLast + 1 == nValue) {
            vecRuns.back().nLast = nValue;
            ++vecRuns.back().nLength;
        } else {
            vecRuns.push_back({nValue, nValue, i, 1});
        }
    }
    return vecRuns;
}

bool IsSilent(const std::vector<TFrame>& vecFrames, size_t nFrom = 0)
{
    for (size_t i = nFrom; i < vecFrames.size(); ++i) {
        if (vecFrames[i].nLeft != 0 || vecFrames[i].nRight != 0)
            return false;
    }
    return true;
}

std::string MakeTempFile()
{
    return MakeTempDir() + "/output.raw";
}

// A manager on the disk driver, and the output it writes.
class SoundOutputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strOutput = MakeTempFile();
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_strOutput.c_str(), 1);
        // Milliseconds between two buffers of 1024 frames (23 ms of sound).
        setenv("SDL_DISKAUDIODELAY", m_szDelayMs, 1);
        m_pSM = std::make_unique<TFModSoundManager>();
        ASSERT_FALSE(m_pSM->IsSilent());
        int nRate = 0, nChannels = 0;
        Uint16 nFormat = 0;
        ASSERT_EQ(Mix_QuerySpec(&nRate, &nFormat, &nChannels), 1);
        ASSERT_EQ(nRate, RATE);
        ASSERT_EQ(nFormat, AUDIO_S16LSB);
        ASSERT_EQ(nChannels, 2);
    }

    void TearDown() override
    {
        m_pSM.reset();
        std::remove(m_strOutput.c_str());
    }

    TSourcePtr Load(const std::vector<uint8_t>& vecImage, bool bLoop = false)
    {
        TSourcePtr pSource(m_pSM->CreateSource());
        EXPECT_TRUE(pSource->LoadFromMemory(vecImage.data(), static_cast<int32_t>(vecImage.size()),
                                            false, bLoop));
        return pSource;
    }

    // Frames flushed to the file so far.
    size_t FramesWritten() const
    {
        struct stat st{};
        return stat(m_strOutput.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) / 4 : 0;
    }

    // Lets the audio thread mix nFrames more frames.
    void Mix(size_t nFrames) const
    {
        const size_t nTarget = FramesWritten() + nFrames;
        const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (FramesWritten() < nTarget) {
            ASSERT_LT(std::chrono::steady_clock::now(), tEnd) << "the audio thread stopped writing";
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::vector<TFrame> ReadFrom(size_t nFrame) const
    {
        std::vector<TFrame> vecFrames;
        FILE* pFile = std::fopen(m_strOutput.c_str(), "rb");
        if (!pFile)
            return vecFrames;
        std::fseek(pFile, static_cast<long>(nFrame * 4), SEEK_SET);
        TFrame Frame;
        while (std::fread(&Frame, 4, 1, pFile) == 1)
            vecFrames.push_back(Frame);
        std::fclose(pFile);
        return vecFrames;
    }

    // Starts a and b from their beginnings, restarts a early on, lets b finish.
    std::vector<TFrame> PlayAndRestartFirst(TFModSoundSource& a, TFModSoundSource& b)
    {
        const size_t nMark = FramesWritten();
        a.Play();
        b.Play();
        a.SetPlaying(true);
        b.SetPlaying(true);
        Mix(SHORT_RAMP / 5);
        a.Play();
        a.SetPlaying(true);
        Mix(LONG_RAMP + 4 * BUFFER);
        return ReadFrom(nMark);
    }

    // The last nFrames frames written.
    std::vector<TFrame> Tail(size_t nFrames) const
    {
        const size_t nWritten = FramesWritten();
        return ReadFrom(nWritten > nFrames ? nWritten - nFrames : 0);
    }

    // About twice real time: fast, with room for a busy machine between two calls.
    const char* m_szDelayMs = "10";
    std::string m_strOutput;
    std::unique_ptr<TFModSoundManager> m_pSM;
};

TEST_F(SoundOutputTest, LoadedSoundWaitsPausedThenPlaysWholeFromItsStart)
{
    const size_t nMark = FramesWritten();
    TSourcePtr pSource = Load(MakeRamp(20000, LEFT));
    Mix(4 * BUFFER);
    EXPECT_TRUE(IsSilent(ReadFrom(nMark))) << "a loaded sound must wait, paused";

    pSource->SetPlaying(true);
    Mix(20000 + 4 * BUFFER);
    const std::vector<TFrame> vecOut = ReadFrom(nMark);
    const std::vector<TRun> vecRuns = Runs(vecOut, LEFT);
    ASSERT_EQ(vecRuns.size(), 1u);
    EXPECT_EQ(vecRuns[0].nFirst, 1);
    EXPECT_EQ(vecRuns[0].nLast, 20000);
    EXPECT_TRUE(Runs(vecOut, RIGHT).empty());
    EXPECT_TRUE(IsSilent(vecOut, vecRuns[0].nStart + vecRuns[0].nLength)) << "it plays once";
}

TEST_F(SoundOutputTest, PauseHoldsThePlaceAndPlayRestartsPaused)
{
    const size_t nMark = FramesWritten();
    TSourcePtr pSource = Load(MakeRamp(LONG_RAMP, LEFT));
    pSource->SetPlaying(true);
    Mix(8000);
    pSource->SetPlaying(false);
    Mix(6 * BUFFER);
    pSource->SetPlaying(true);
    Mix(LONG_RAMP);
    // Finished: a resume brings nothing back, a Play() waits paused, then starts over.
    pSource->SetPlaying(true);
    pSource->Play();
    Mix(4 * BUFFER);
    const size_t nBeforeResume = FramesWritten();
    pSource->SetPlaying(true);
    Mix(LONG_RAMP + 4 * BUFFER);

    const std::vector<TRun> vecRuns = Runs(ReadFrom(nMark), LEFT);
    ASSERT_EQ(vecRuns.size(), 3u);
    EXPECT_EQ(vecRuns[0].nFirst, 1);
    EXPECT_EQ(vecRuns[1].nFirst, vecRuns[0].nLast + 1) << "a resume goes on where it paused";
    EXPECT_GE(vecRuns[1].nStart - (vecRuns[0].nStart + vecRuns[0].nLength), 2 * BUFFER);
    EXPECT_EQ(vecRuns[1].nLast, LONG_RAMP);
    EXPECT_EQ(vecRuns[2].nFirst, 1);
    EXPECT_EQ(vecRuns[2].nLast, LONG_RAMP);
    // The file lags behind the mixer, never ahead of it.
    EXPECT_GE(nMark + vecRuns[2].nStart, nBeforeResume) << "Play() must start paused";
}

// Source a (a ramp of SHORT_RAMP frames) plays on the left, b (LONG_RAMP frames) on the right;
// a is restarted while b plays.
void ExpectRestartOfOneOnly(const std::vector<TFrame>& vecOut)
{
    const std::vector<TRun> vecLeft = Runs(vecOut, LEFT);
    const std::vector<TRun> vecRight = Runs(vecOut, RIGHT);
    ASSERT_EQ(vecLeft.size(), 2u) << "a restarted once, never overlapping itself";
    EXPECT_EQ(vecLeft[0].nFirst, 1);
    EXPECT_LT(vecLeft[0].nLast, SHORT_RAMP);
    EXPECT_EQ(vecLeft[1].nFirst, 1);
    EXPECT_EQ(vecLeft[1].nLast, SHORT_RAMP);
    ASSERT_EQ(vecRight.size(), 1u) << "b neither cut nor restarted";
    EXPECT_EQ(vecRight[0].nFirst, 1);
    EXPECT_EQ(vecRight[0].nLast, LONG_RAMP);
}

TEST_F(SoundOutputTest, PlayAgainRestartsOnlyThatSource)
{
    TSourcePtr a = Load(MakeRamp(SHORT_RAMP, LEFT));
    TSourcePtr b = Load(MakeRamp(LONG_RAMP, RIGHT));
    ExpectRestartOfOneOnly(PlayAndRestartFirst(*a, *b));
}

TEST_F(SoundOutputTest, SourcesBeyondTheLastSlotKeepChannelsOfTheirOwn)
{
    // Slots taken as serial numbers modulo the channel count would put the sources made 511 or
    // 512 after a on a's channel.
    TSourcePtr a = Load(MakeRamp(SHORT_RAMP, LEFT));
    const std::vector<uint8_t> vecQuiet = MakeLevel(64, 0);
    std::vector<TSourcePtr> vecCrowd;
    for (int i = 0; i < 510; ++i)
        vecCrowd.push_back(Load(vecQuiet));
    TSourcePtr b1 = Load(MakeRamp(LONG_RAMP, RIGHT));
    TSourcePtr b2 = Load(MakeRamp(LONG_RAMP, RIGHT));
    ASSERT_EQ(b1->GetId(), a->GetId() + 511) << "serial numbers count up by one";
    ASSERT_EQ(b2->GetId(), a->GetId() + 512);
    for (TFModSoundSource* b : {b1.get(), b2.get()}) {
        SCOPED_TRACE("b is source " + std::to_string(b->GetId()));
        ExpectRestartOfOneOnly(PlayAndRestartFirst(*a, *b));
    }

    // Deleted sources give their channels back; a mute must not pass on with a channel.
    const int nLastId = b2->GetId();
    vecCrowd[5]->SetVolume(0.0f);
    vecCrowd[5].reset();
    vecCrowd[6].reset();
    TSourcePtr c = Load(MakeLevel(BUFFER, 1000), true);
    EXPECT_EQ(c->GetId(), nLastId + 1) << "serial numbers are never reused";
    c->SetPlaying(true);
    Mix(4 * BUFFER);
    const std::vector<TFrame> vecLevel = Tail(BUFFER);
    ASSERT_FALSE(vecLevel.empty());
    for (const TFrame& Frame : vecLevel)
        ASSERT_EQ(Frame.nLeft, 1000);
}

TEST_F(SoundOutputTest, MutedMusicRunsOnAndReturnsFurtherOn)
{
    constexpr int LENGTH = 20000;
    const size_t nMark = FramesWritten();
    TSourcePtr pMusic = Load(MakeRamp(LENGTH, LEFT), true);
    pMusic->SetPlaying(true);
    Mix(6000);
    pMusic->SetVolume(0.0f);
    Mix(6 * BUFFER);
    pMusic->SetVolume(1.0f);
    Mix(6000);

    // Runs are broken by the loop's wrap and by the muted gap; find the gap.
    const std::vector<TRun> vecRuns = Runs(ReadFrom(nMark), LEFT);
    ASSERT_GE(vecRuns.size(), 2u);
    size_t nGaps = 0;
    for (size_t i = 1; i < vecRuns.size(); ++i) {
        const TRun& Before = vecRuns[i - 1];
        const TRun& After = vecRuns[i];
        const size_t nGap = After.nStart - (Before.nStart + Before.nLength);
        if (nGap == 0) {
            EXPECT_EQ(Before.nLast, LENGTH) << "only the loop's wrap breaks a run";
            EXPECT_EQ(After.nFirst, 1);
            continue;
        }
        ++nGaps;
        EXPECT_GE(nGap, 2 * BUFFER);
        // Muted, the music went on: it comes back exactly as far on as the gap was long.
        EXPECT_EQ(After.nFirst, static_cast<int>((Before.nLast + nGap) % LENGTH) + 1);
    }
    EXPECT_EQ(nGaps, 1u);
}

// Long images play as the one music stream: a constant level on one side tells whose it is.
TEST_F(SoundOutputTest, LongImagesShareTheOneStreamAndTheLastStartedHasIt)
{
    const int nFrames = static_cast<int>(TFModSoundManager::STREAM_BYTES / 4) + RATE;
    auto Levels = [](const std::vector<TFrame>& vecFrames) {
        const TFrame& Last = vecFrames.empty() ? TFrame{0, 0} : vecFrames.back();
        return std::pair<int, int>(Last.nLeft, Last.nRight);
    };
    std::vector<int16_t> vecA(static_cast<size_t>(nFrames) * 2, 0), vecB(vecA.size(), 0);
    for (size_t i = 0; i < vecA.size(); i += 2) {
        vecA[i] = 1000;      // left
        vecB[i + 1] = 2000;  // right
    }
    TSourcePtr a = Load(MakeWav(vecA, 2, RATE), true);
    TSourcePtr b = Load(MakeWav(vecB, 2, RATE), true);
    Mix(4 * BUFFER);
    EXPECT_EQ(Levels(Tail(BUFFER)), std::make_pair(0, 0)) << "loaded streams wait, paused";

    b->SetPlaying(true);  // b was started last: the stream is b's
    a->SetPlaying(true);  // a's was taken: nothing
    Mix(4 * BUFFER);
    EXPECT_EQ(Levels(Tail(BUFFER)), std::make_pair(0, 2000));
    a->SetVolume(0.0f);
    b->SetVolume(0.5f);
    Mix(4 * BUFFER);
    EXPECT_EQ(Levels(Tail(BUFFER)), std::make_pair(0, 1000));

    a->Play();  // takes the stream back, paused, at full volume
    a->SetPlaying(true);
    Mix(4 * BUFFER);
    EXPECT_EQ(Levels(Tail(BUFFER)), std::make_pair(1000, 0));
    a->SetPlaying(false);
    Mix(4 * BUFFER);
    EXPECT_EQ(Levels(Tail(BUFFER)), std::make_pair(0, 0));
    a->SetPlaying(true);
    Mix(4 * BUFFER);
    EXPECT_EQ(Levels(Tail(BUFFER)), std::make_pair(1000, 0));
    b.reset();  // not b's stream any more: a plays on
    Mix(4 * BUFFER);
    EXPECT_EQ(Levels(Tail(BUFFER)), std::make_pair(1000, 0));
    a.reset();
    Mix(4 * BUFFER);
    EXPECT_EQ(Levels(Tail(BUFFER)), std::make_pair(0, 0));
}

// A long image from bytes that last (the bank's) plays from those very bytes: a change made to
// them after loading is heard. A plain load of the same bytes gets a copy of its own, which
// outlives the lasting bytes.
TEST_F(SoundOutputTest, LastingBytesPlayWithoutACopyOfTheirOwn)
{
    const int nFrames = static_cast<int>(TFModSoundManager::STREAM_BYTES / 4) + RATE;
    constexpr size_t WAV_HEADER = 44;
    auto SetLevel = [](std::vector<uint8_t>& vecImage, int16_t nLevel) {
        for (size_t i = WAV_HEADER; i + 1 < vecImage.size(); i += 2) {
            vecImage[i] = static_cast<uint8_t>(nLevel & 0xff);
            vecImage[i + 1] = static_cast<uint8_t>(nLevel >> 8);
        }
    };
    auto Level = [this] {
        const std::vector<TFrame> vecTail = Tail(BUFFER);
        return vecTail.empty() ? -1 : vecTail.back().nLeft;
    };
    std::vector<uint8_t> vecLasting = MakeLevel(nFrames, 1000);
    const std::vector<uint8_t> vecSame = vecLasting;
    TSourcePtr pLasting(m_pSM->CreateSource());
    ASSERT_TRUE(pLasting->LoadFromLastingMemory(vecLasting.data(), static_cast<int32_t>(vecLasting.size()), true));
    TSourcePtr pCopied = Load(vecSame, true);
    SetLevel(vecLasting, 3000);

    pLasting->Play();
    pLasting->SetPlaying(true);
    Mix(8 * BUFFER);
    EXPECT_EQ(Level(), 3000);
    pCopied->Play();
    pCopied->SetPlaying(true);
    Mix(8 * BUFFER);
    EXPECT_EQ(Level(), 1000);

    // The lasting bytes go with their source; the copy plays on.
    pLasting.reset();
    std::vector<uint8_t>().swap(vecLasting);
    Mix(8 * BUFFER);
    EXPECT_EQ(Level(), 1000);
}

TEST_F(SoundOutputTest, VolumeScalesTheSamples)
{
    struct TCase
    {
        float fVolume;
        int16_t nExpected;
    };
    // Volume v is v * 128 of 128 on the mixer's scale: 0.2 is 26/128.
    const TCase aCases[] = {{1.0f, 10000}, {0.5f, 5000}, {0.2f, 2031},
                            {0.0f, 0},     {1.7f, 10000}, {-0.3f, 0}};
    TSourcePtr pSource = Load(MakeLevel(BUFFER, 10000), true);
    pSource->SetPlaying(true);
    for (const TCase& Case : aCases) {
        pSource->SetVolume(Case.fVolume);
        Mix(4 * BUFFER);
        const std::vector<TFrame> vecOut = Tail(BUFFER);
        ASSERT_FALSE(vecOut.empty());
        for (const TFrame& Frame : vecOut) {
            ASSERT_EQ(Frame.nLeft, Case.nExpected) << "volume " << Case.fVolume;
            ASSERT_EQ(Frame.nRight, Case.nExpected) << "volume " << Case.fVolume;
        }
    }
}

// The player's two volumes: a source is heard at its own volume times its group's, and a group
// turned down turns down what already plays in it, the music stream included.
TEST_F(SoundOutputTest, GroupVolumesMultiplyEachSourcesOwnAndActAtOnce)
{
    auto OneSide = [](int nFrames, int16_t nLevel, TSide eSide) {
        std::vector<int16_t> vecSamples(static_cast<size_t>(nFrames) * 2, 0);
        for (size_t i = (eSide == LEFT ? 0 : 1); i < vecSamples.size(); i += 2)
            vecSamples[i] = nLevel;
        return MakeWav(vecSamples, 2, RATE);
    };
    auto Levels = [this] {
        Mix(4 * BUFFER);
        const std::vector<TFrame> vecTail = Tail(BUFFER);
        return vecTail.empty() ? std::make_pair(-1, -1) : std::make_pair<int, int>(vecTail.back().nLeft, vecTail.back().nRight);
    };
    // An effect on the left, a long piece of music (the stream) on the right.
    TSourcePtr pEffect = Load(OneSide(BUFFER, 10000, LEFT), true);
    TSourcePtr pMusic(m_pSM->CreateSource());
    pMusic->SetGroup(SOUND_MUSIC);
    const std::vector<uint8_t> vecMusic = OneSide(static_cast<int>(TFModSoundManager::STREAM_BYTES / 4) + RATE, 8000, RIGHT);
    ASSERT_TRUE(pMusic->LoadFromMemory(vecMusic.data(), static_cast<int32_t>(vecMusic.size()), false, true));
    pEffect->SetPlaying(true);
    pMusic->SetPlaying(true);
    EXPECT_EQ(Levels(), std::make_pair(10000, 8000));
    // Groups, own volumes -> what is heard (v is v * 128 of 128 on the mixer's scale).
    const struct
    {
        float fEffects, fMusic, fEffectOwn, fMusicOwn;
        std::pair<int, int> Heard;
    } CASES[] = {
        {0.5f, 1.0f, 1.0f, 1.0f, {5000, 8000}},
        {0.5f, 1.0f, 0.5f, 1.0f, {2500, 8000}},  // 0.25: 32/128
        {1.0f, 0.25f, 1.0f, 1.0f, {10000, 2000}},
        {1.0f, 0.25f, 1.0f, 0.5f, {10000, 1000}},  // 0.125: 16/128
        {0.0f, 0.0f, 1.0f, 1.0f, {0, 0}},
        {2.0f, -1.0f, 1.0f, 1.0f, {10000, 0}},  // clamped
    };
    for (const auto& Case : CASES) {
        m_pSM->SetGroupVolume(SOUND_EFFECTS, Case.fEffects);
        m_pSM->SetGroupVolume(SOUND_MUSIC, Case.fMusic);
        pEffect->SetVolume(Case.fEffectOwn);
        pMusic->SetVolume(Case.fMusicOwn);
        EXPECT_EQ(Levels(), Case.Heard) << Case.fEffects << " " << Case.fMusic << " " << Case.fEffectOwn << " "
                                        << Case.fMusicOwn;
    }
    // A sound started again starts at its full volume times its group's.
    m_pSM->SetGroupVolume(SOUND_EFFECTS, 0.5f);
    m_pSM->SetGroupVolume(SOUND_MUSIC, 0.5f);
    pEffect->SetVolume(0.2f);
    pEffect->Play();
    pEffect->SetPlaying(true);
    EXPECT_EQ(Levels().first, 5000);
    // A source moved to the music group takes its volume.
    pEffect->SetGroup(SOUND_MUSIC);
    m_pSM->SetGroupVolume(SOUND_EFFECTS, 0.0f);
    EXPECT_EQ(Levels(), std::make_pair(5000, 4000));
}

TEST_F(SoundOutputTest, LoopingSoundPlaysOnPastItsLength)
{
    constexpr int LENGTH = 3000;
    const size_t nMark = FramesWritten();
    TSourcePtr pSource = Load(MakeRamp(LENGTH, RIGHT), true);
    pSource->SetPlaying(true);
    Mix(6 * LENGTH);
    const std::vector<TRun> vecRuns = Runs(ReadFrom(nMark), RIGHT);
    ASSERT_GE(vecRuns.size(), 5u);
    for (size_t i = 1; i + 1 < vecRuns.size(); ++i) {
        EXPECT_EQ(vecRuns[i].nFirst, 1);
        EXPECT_EQ(vecRuns[i].nLast, LENGTH);
        EXPECT_EQ(vecRuns[i].nStart, vecRuns[i - 1].nStart + vecRuns[i - 1].nLength)
            << "no gap at the wrap";
    }
}

TEST_F(SoundOutputTest, DeletingASourceStopsItAndSparesSharers)
{
    const std::vector<uint8_t> vecLeft = MakeRamp(5000, LEFT);
    const std::vector<uint8_t> vecLeftCopy = vecLeft;
    TSourcePtr a = Load(vecLeft, true);
    TSourcePtr b = Load(vecLeftCopy, true);  // same bytes: may share a's decoded sound
    TSourcePtr c = Load(MakeRamp(5000, RIGHT), true);
    a->SetPlaying(true);
    Mix(700);
    b->SetPlaying(true);
    c->SetPlaying(true);
    Mix(4 * BUFFER);
    a.reset();
    c.reset();
    Mix(8 * BUFFER);

    const std::vector<TFrame> vecTail = Tail(4 * BUFFER);
    ASSERT_EQ(vecTail.size(), 4 * BUFFER);
    const std::vector<TRun> vecRuns = Runs(vecTail, LEFT);
    ASSERT_FALSE(vecRuns.empty()) << "b must play on";
    for (size_t i = 1; i < vecRuns.size(); ++i) {
        EXPECT_EQ(vecRuns[i].nFirst, 1) << "b alone: a pure ramp, wrapping";
        EXPECT_EQ(vecRuns[i - 1].nLast, 5000);
    }
    EXPECT_TRUE(Runs(vecTail, RIGHT).empty()) << "c must have stopped";
}

TEST_F(SoundOutputTest, SameSizeOtherBytesMakeAnotherSound)
{
    // The caller reuses its buffer for the second image, of the same size.
    std::vector<uint8_t> vecBuffer = MakeRamp(5000, LEFT);
    TSourcePtr a = Load(vecBuffer);
    vecBuffer = MakeRamp(5000, RIGHT);
    TSourcePtr b = Load(vecBuffer);
    vecBuffer.assign(vecBuffer.size(), 0xEE);

    const size_t nMark = FramesWritten();
    a->SetPlaying(true);
    b->SetPlaying(true);
    Mix(5000 + 4 * BUFFER);
    const std::vector<TFrame> vecOut = ReadFrom(nMark);
    const std::vector<TRun> vecLeft = Runs(vecOut, LEFT);
    const std::vector<TRun> vecRight = Runs(vecOut, RIGHT);
    ASSERT_EQ(vecLeft.size(), 1u);
    ASSERT_EQ(vecRight.size(), 1u);
    EXPECT_EQ(vecLeft[0].nLast, 5000);
    EXPECT_EQ(vecRight[0].nLast, 5000);
}

TEST_F(SoundOutputTest, BadImagesAreRefusedQuietly)
{
    const std::vector<uint8_t> vecGood = MakeRamp(2000, LEFT);
    std::vector<uint8_t> vecNoData = MakeWav({}, 2, RATE);
    std::vector<uint8_t> vecGarbage(4000);
    for (size_t i = 0; i < vecGarbage.size(); ++i)
        vecGarbage[i] = static_cast<uint8_t>("not a sound file at all "[i % 24]);
    std::vector<uint8_t> vecLying = vecGood;  // claims 2 GB of samples and has none
    vecLying[40] = 0xFF;
    vecLying[41] = 0xFF;
    vecLying[42] = 0xFF;
    vecLying[43] = 0x7F;
    vecLying.resize(44);

    struct TCase
    {
        const char* szName;
        const uint8_t* pData;
        int32_t nSize;
    };
    const TCase aCases[] = {
        {"garbage", vecGarbage.data(), static_cast<int32_t>(vecGarbage.size())},
        {"no bytes", nullptr, 0},
        {"negative size", vecGood.data(), -5},
        {"header only", vecGood.data(), 20},
        {"no samples", vecNoData.data(), static_cast<int32_t>(vecNoData.size())},
        {"data past the end", vecLying.data(), static_cast<int32_t>(vecLying.size())},
    };
    const size_t nMark = FramesWritten();
    for (const TCase& Case : aCases) {
        SCOPED_TRACE(Case.szName);
        TSourcePtr pSource = Load(vecGood);
        EXPECT_FALSE(pSource->LoadFromMemory(Case.pData, Case.nSize, false, false));
        // The source now holds nothing, and the calls the game makes on it do nothing.
        pSource->Play();
        pSource->SetVolume(1.0f);
        pSource->SetPlaying(true);
    }
    Mix(4 * BUFFER);
    EXPECT_TRUE(IsSilent(ReadFrom(nMark)));
}

TEST(SoundManagerTest, WithoutAUsableDeviceItFallsBackToSilence)
{
    const std::string strUnwritable = "/nonexistent-dir/out.raw";
    struct TCase
    {
        const char* szDriver;
        const char* szFile;
    };
    const TCase aCases[] = {{"no-such-driver", ""}, {"disk", strUnwritable.c_str()}};
    for (const TCase& Case : aCases) {
        SCOPED_TRACE(Case.szDriver);
        setenv("SDL_AUDIODRIVER", Case.szDriver, 1);
        setenv("SDL_DISKAUDIOFILE", Case.szFile, 1);
        TFModSoundManager SM;
        EXPECT_TRUE(SM.IsSilent());
        const std::vector<uint8_t> vecImage = MakeRamp(2000, LEFT);
        TSourcePtr pSource(SM.CreateSource());
        EXPECT_TRUE(pSource->LoadFromMemory(vecImage.data(), static_cast<int32_t>(vecImage.size()),
                                            false, true));
        pSource->SetPlaying(true);
        pSource->SetVolume(0.2f);
    }
    // The fallback is not kept: the next manager tries the asked-for driver again.
    const std::string strOutput = MakeTempFile();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", strOutput.c_str(), 1);
    {
        TFModSoundManager SM;
        EXPECT_FALSE(SM.IsSilent());
    }
    std::remove(strOutput.c_str());
}

// A sound server that takes the connection and never answers: the manager gives the device up
// at its deadline, says so once, and stays silent. When the server finally goes away the open
// still under way ends, and closes what it opened, so that the next manager gets the device it
// asks for rather than the leftover.
TEST(SoundManagerTest, DeviceThatNeverAnswersIsGivenUpAndItsLateOpenClosed)
{
    THungAudioServer Server;
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    setenv("PULSE_SERVER", Server.Address().c_str(), 1);
    const std::vector<uint8_t> vecImage = MakeRamp(2000, LEFT);
    {
        testing::internal::CaptureStderr();
        const auto tStart = std::chrono::steady_clock::now();
        TFModSoundManager SM;
        EXPECT_TRUE(SM.IsSilent());
        // A hang check, not a speed test: the server would hold the open for half a minute.
        EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(10));
        EXPECT_TRUE(SM.IsReady());
        EXPECT_FALSE(SM.HasDevice());
        TSourcePtr pSource(SM.CreateSource());
        EXPECT_FALSE(pSource->LoadFromMemory(vecImage.data(), static_cast<int32_t>(vecImage.size()), false, true));
        pSource->Play();
        pSource->SetPlaying(true);
        pSource->SetVolume(0.5f);
        const std::string strError = testing::internal::GetCapturedStderr();
        EXPECT_NE(strError.find("the audio device did not open within 1.5 s; playing without sound\n"),
                  std::string::npos)
            << strError;
        EXPECT_EQ(strError.find("playing without sound"), strError.rfind("playing without sound")) << strError;
        EXPECT_GE(Server.Connections(), 1) << "the test never reached the hung server";
    }
    Server.Stop();
    unsetenv("PULSE_SERVER");

    const std::string strOutput = MakeTempFile();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", strOutput.c_str(), 1);
    {
        TFModSoundManager SM;
        EXPECT_FALSE(SM.IsSilent());
        TSourcePtr pSource(SM.CreateSource());
        EXPECT_TRUE(pSource->LoadFromMemory(vecImage.data(), static_cast<int32_t>(vecImage.size()), false, false));
    }
    std::remove(strOutput.c_str());
}

TEST(SoundManagerTest, SourcesOutlivingTheManagerGoQuiet)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    auto pSM = std::make_unique<TFModSoundManager>();
    const std::vector<uint8_t> vecImage = MakeRamp(2000, LEFT);
    TSourcePtr pSource(pSM->CreateSource());
    ASSERT_TRUE(pSource->LoadFromMemory(vecImage.data(), static_cast<int32_t>(vecImage.size()),
                                        false, false));
    pSM.reset();
    pSource->Play();
    pSource->SetPlaying(true);
    EXPECT_FALSE(pSource->LoadFromMemory(vecImage.data(), static_cast<int32_t>(vecImage.size()),
                                         false, false));
}

void ReportToStderr(const std::string& strTitle, const std::string& strText)
{
    std::fprintf(stderr, "hook [%s] [%s]\n", strTitle.c_str(), strText.c_str());
}

TEST(SoundManagerDeathTest, AudioErrorIsReportedAndEndsWithMinusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TFModSoundManager::SetErrorHook(ReportToStderr);
            SDL_SetError("the mixer broke");
            TFModSoundManager::Fail(-3);
        },
        ::testing::ExitedWithCode(255),
        "FMOD error! \\(-3\\)\nthe mixer broke\nhook \\[FMOD error!\\] \\[FMOD error! \\(-3\\)\nthe mixer broke\\]");
}

// Peak level of a stretch of output, and whether it holds a clipped stretch (two samples in a
// row at full scale on one side).
struct TLevels
{
    int nPeak = 0;
    bool bClipped = false;
};

TLevels Measure(const std::vector<TFrame>& vecFrames)
{
    TLevels Levels;
    auto IsFull = [](int16_t n) { return n == INT16_MAX || n == INT16_MIN; };
    for (size_t i = 0; i < vecFrames.size(); ++i) {
        Levels.nPeak = std::max({Levels.nPeak, std::abs(int(vecFrames[i].nLeft)),
                                 std::abs(int(vecFrames[i].nRight))});
        if (i > 0 && ((IsFull(vecFrames[i].nLeft) && IsFull(vecFrames[i - 1].nLeft)) ||
                      (IsFull(vecFrames[i].nRight) && IsFull(vecFrames[i - 1].nRight))))
            Levels.bClipped = true;
    }
    return Levels;
}

// Nothing here depends on timing: the output may run much faster than real time.
class DataFileSoundTest : public SoundOutputTest
{
protected:
    DataFileSoundTest() { m_szDelayMs = "2"; }
};

TEST_F(DataFileSoundTest, EverySoundIsAudibleAndUnclipped)
{
#ifndef DRELK_TEST_DATA_FILE
    GTEST_SKIP() << "no data file given to the tests";
#else
    ASSERT_EQ(access(DRELK_TEST_DATA_FILE, R_OK), 0)
        << "the data file " << DRELK_TEST_DATA_FILE << " is missing: build it first";
    SoDB::init();
    TDataBanker Bank(DRELK_TEST_DATA_FILE);
    struct TItem
    {
        int32_t nPlaylist;
        int32_t nItem;
    };
    const TItem aItems[] = {
        {ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH},         {ID_PLAYLIST_MUSICS, ID_MUSIC_ENDING},
        {ID_PLAYLIST_MUSICS, ID_MUSIC_GAME},           {ID_PLAYLIST_SOUNDS, ID_SOUND_ENGINE},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_EXPLOSION_10},   {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_2},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_1}, {ID_PLAYLIST_SOUNDS, ID_SOUND_ROCK_EXPLOSION_0},
        {ID_PLAYLIST_SOUNDS, ID_SOUND_LASER},
    };
    for (const TItem& Item : aItems) {
        SCOPED_TRACE("item " + std::to_string(Item.nItem));
        TSndInfo Snd;
        ASSERT_TRUE(Bank.LoadSoundFromBin(Item.nPlaylist, Item.nItem, Snd));
        TSourcePtr pSource(m_pSM->CreateSource());
        ASSERT_TRUE(pSource->LoadFromMemory(Snd.pSound.get(), Snd.nSize, false, false));
        const size_t nMark = FramesWritten();
        pSource->SetPlaying(true);
        Mix(2 * RATE);  // two seconds: all of an effect, the opening of a tune
        pSource.reset();
        const TLevels Levels = Measure(ReadFrom(nMark));
        EXPECT_GE(Levels.nPeak, 1000) << "too quiet to hear";
        EXPECT_FALSE(Levels.bClipped);
    }
#endif
}

}  // namespace

// Where the audio of an Ogg Vorbis file starts: the first page after the header pages (whose
// granule position is 0).
size_t OggAudioStart(const std::vector<uint8_t>& vecOgg)
{
    size_t nPos = 0;
    while (nPos + 27 <= vecOgg.size() && std::memcmp(&vecOgg[nPos], "OggS", 4) == 0) {
        int64_t nGranule = 0;
        std::memcpy(&nGranule, &vecOgg[nPos + 6], 8);
        if (nGranule > 0)
            return nPos;
        const size_t nSegments = vecOgg[nPos + 26];
        size_t nBody = 0;
        for (size_t i = 0; i < nSegments && nPos + 27 + i < vecOgg.size(); ++i)
            nBody += vecOgg[nPos + 27 + i];
        nPos += 27 + nSegments + nBody;
    }
    return nPos;
}

// Music whose headers are good and whose audio is not: one damaged item, so one behaviour. It
// does not load, whether it would play as the stream or decoded whole, and the rest plays on.
TEST_F(DataFileSoundTest, MusicWithGoodHeadersAndDamagedAudioIsRefused)
{
#ifndef DRELK_TEST_DATA_FILE
    GTEST_SKIP() << "no data file given to the tests";
#else
    SoDB::init();
    TDataBanker Bank(DRELK_TEST_DATA_FILE);
    TSndInfo Music;
    ASSERT_TRUE(Bank.LoadSoundFromBin(ID_PLAYLIST_MUSICS, ID_MUSIC_ENDING, Music));
    std::vector<uint8_t> vecDamaged(Music.pSound.get(), Music.pSound.get() + Music.nSize);
    const size_t nAudio = OggAudioStart(vecDamaged);
    ASSERT_GT(nAudio, 0u);
    ASSERT_LT(nAudio, vecDamaged.size());
    uint32_t nNoise = 12345;
    for (size_t i = nAudio; i < vecDamaged.size(); ++i) {
        nNoise = nNoise * 1103515245u + 12345u;
        vecDamaged[i] = static_cast<uint8_t>(nNoise >> 16);
    }
    ASSERT_GT(vecDamaged.size(), TFModSoundManager::STREAM_BYTES);
    const std::vector<uint8_t> vecShort(vecDamaged.begin(), vecDamaged.begin() + static_cast<long>(nAudio) + 4000);
    for (const std::vector<uint8_t>* pImage : std::vector<const std::vector<uint8_t>*>{&vecDamaged, &vecShort}) {
        SCOPED_TRACE(pImage->size());
        TSourcePtr pMusic(m_pSM->CreateSource());
        EXPECT_FALSE(pMusic->LoadFromMemory(pImage->data(), static_cast<int32_t>(pImage->size()), false, true));
        EXPECT_FALSE(pMusic->HasSound());
        pMusic->Play();
        pMusic->SetPlaying(true);
    }
    TSourcePtr pRamp = Load(MakeRamp(SHORT_RAMP, LEFT));
    const size_t nMark = FramesWritten();
    pRamp->SetPlaying(true);
    Mix(SHORT_RAMP + 2 * BUFFER);
    const std::vector<TRun> vecRuns = Runs(ReadFrom(nMark), LEFT);
    ASSERT_EQ(vecRuns.size(), 1u);
    EXPECT_EQ(vecRuns[0].nLast, SHORT_RAMP);
#endif
}
