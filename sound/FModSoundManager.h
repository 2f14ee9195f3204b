#pragma once
// Sound and music over SDL2_mixer. A source is one sound made from a complete sound-file image
// in memory (WAV or Ogg Vorbis) with a mixer channel of its own: playing it again restarts it
// from the beginning and cuts off only its own previous playback. Sounds start paused.
// Without an audio device the manager runs on SDL's silent driver and the game plays on.
//
// Long images (the pieces of music, over STREAM_BYTES) are not decoded whole: they play as
// SDL_mixer's one music stream, decoded as they go, which saves their tens of megabytes of
// samples and the pause of decoding them. One stream plays at a time: a source that starts a
// stream takes it from whichever source had it, which then holds no playback.
//
// The device opens in the background, so that SDL's probing (seconds on a machine without a
// sound card, longer with an audio server that never answers) holds up nothing: the first call
// that needs the device waits for it, at most until DEVICE_WAIT_MS after Init began. A device
// that is not open by then is given up for good: the manager is silent, its sources hold no
// sound and their calls do nothing, and an open that finishes later is closed again.
//
// Each source is in a group, the effects (the default) or the music: what it plays is heard at
// its own volume times its group's, which the player chooses, so a whole group is turned down
// at once, playing sources included.
//
// Every call comes from one thread; SDL_mixer mixes on its own audio thread.

#include "base/Assert.h"
#include "sound/MixLimiter.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

struct Mix_Chunk;
struct _Mix_Music;
class TFModSoundManager;

enum TSoundGroup { SOUND_EFFECTS, SOUND_MUSIC, SOUND_GROUPS };

class TFModSoundSource
{
public:
    // Takes the next serial number and, with a manager that has a device, a mixer channel of
    // its own.
    explicit TFModSoundSource(TFModSoundManager* pSystem);
    // Stops the playback and gives the channel and the sound back to the manager.
    ~TFModSoundSource();
    TFModSoundSource(const TFModSoundSource&) = delete;
    TFModSoundSource& operator=(const TFModSoundSource&) = delete;

    // Makes the sound from the image (the caller keeps the bytes) and leaves it paused at its
    // start on this source's channel. False when there is no system or the image does not decode
    // or start (a damaged sound, headers or body); the source then holds no sound. Also false,
    // for every image, when the manager has given up its device. b3D is accepted and ignored:
    // all mixing is 2D.
    bool LoadFromMemory(const uint8_t* pData, int32_t nSize, bool b3D, bool bLoop);
    // The same for bytes that stay as they are until this source is gone (the asset bank's): a
    // long image then plays from them, without a copy of its own.
    bool LoadFromLastingMemory(const uint8_t* pData, int32_t nSize, bool bLoop);
    // Restarts the sound from its beginning, paused, at its full volume (times its group's);
    // nothing without a sound.
    // A sound that does not start is let go: the source is silent from then on.
    void Play();
    // Un-pauses (true) or pauses (false) the current playback; nothing without one.
    void SetPlaying(bool bPlaying);
    // 0.0 to 1.0 (clamped), times the group's; nothing without a playback.
    void SetVolume(float fVolume);
    // The group the source plays in, its volume applied at once.
    void SetGroup(TSoundGroup nGroup);
    TSoundGroup GetGroup() const { return m_nGroup; }

    int GetId() const { return m_nId; }
    // True when a sound is loaded, whether playing or not.
    bool HasSound() const { return m_pSound != nullptr; }

private:
    friend class TFModSoundManager;
    struct TSound;

    bool Load(const uint8_t* pData, int32_t nSize, bool bLoop, bool bLasting);
    void ReleaseSound();
    void Detach();
    // The mixer's volume for this source's playback now.
    void ApplyVolume();

    int m_nId;
    TFModSoundManager* m_pSystem;  // null without a manager or once the manager is gone
    int m_nChannel = -1;           // the mixer channel this source alone plays on; -1 for none
    TSound* m_pSound = nullptr;    // the manager's shared decoded sound; null until loaded
    bool m_bLoop = false;
    float m_fVolume = 1.0f;  // the source's own, before its group's
    TSoundGroup m_nGroup = SOUND_EFFECTS;
};

class TFModSoundManager
{
public:
    // Shows an error to the player; installed by the game window once a GUI exists.
    using TErrorHook = TAssert::TMessageHook;

    TFModSoundManager();  // runs Init
    // Detaches the sources still alive (they go quiet) and closes the audio device; an open
    // still under way is left to close itself when it ends.
    ~TFModSoundManager();
    TFModSoundManager(const TFModSoundManager&) = delete;
    TFModSoundManager& operator=(const TFModSoundManager&) = delete;

    // Starts opening the audio device in the background and returns at once: the default
    // driver, else SDL's silent one. Any other failure ends the program through Fail, at the
    // first call that needs the device. SDL_mixer has one device per process, so one manager
    // may be alive at a time.
    void Init();
    // A new source bound to this manager; the caller owns it. Waits for the device.
    TFModSoundSource* CreateSource();
    // True once the open has ended, well or not, or has been given up; never waits.
    bool IsReady() const;
    // True when sounds can be made: a device is open, SDL's silent one included. Waits for it.
    bool HasDevice();
    // True when nothing is heard: the device was given up, or no audio device was found and
    // sound goes to SDL's silent driver. Waits for the device.
    bool IsSilent();

    // A group's volume, 0.0 to 1.0 (clamped; 1 at first): heard at once in every source of the
    // group. Never waits for the device.
    void SetGroupVolume(TSoundGroup nGroup, float fVolume);
    float GetGroupVolume(TSoundGroup nGroup) const { return m_vGroupVolumes[nGroup]; }

    // The audio error path: "FMOD error! (nResult)" and SDL's error text on standard error and
    // through the hook (caption "FMOD error!"), then exit status -1.
    [[noreturn]] static void Fail(int nResult);
    static void SetErrorHook(TErrorHook pHook);

    // The output format the device is opened with (the driver may change rate and channels).
    static constexpr int FREQUENCY = 44100;
    static constexpr int OUTPUT_CHANNELS = 2;
    static constexpr int BUFFER_FRAMES = 1024;
    // Mixer channels opened at start; the pool grows past it when more sources are alive.
    static constexpr int MIXER_CHANNELS = 512;
    // Sound images up to this size stay decoded when no source uses them any more.
    static constexpr size_t KEEP_DECODED_BYTES = 512 * 1024;
    // Sound images over this size play as the music stream.
    static constexpr size_t STREAM_BYTES = KEEP_DECODED_BYTES;
    // How long after Init the device may take to open. A desktop's device opens in a tenth
    // of this; probing a machine without a sound card takes about as long.
    static constexpr int DEVICE_WAIT_MS = 1500;

private:
    friend class TFModSoundSource;
    using TSound = TFModSoundSource::TSound;
    struct TOpening;  // shared with the thread that opens the device

    enum TDevice { DEVICE_PENDING, DEVICE_OPEN, DEVICE_NONE };

    static void OpenInBackground(const std::shared_ptr<TOpening>& pOpening);
    [[noreturn]] static void Fail(int nResult, const std::string& strDetail);
    bool WaitForDevice();
    void OnDeviceOpen();
    void Close();
    int AcquireChannel(TFModSoundSource* pSource);
    void ReleaseChannel(int nChannel);
    TSound* AcquireSound(const uint8_t* pData, int32_t nSize, bool bLasting);
    void ReleaseSound(TSound* pSound);
    bool StartPaused(int nChannel, Mix_Chunk* pChunk, bool bLoop, int nVolume);
    bool StartStreamPaused(TFModSoundSource* pSource, _Mix_Music* pMusic, bool bLoop, int nVolume);
    bool OwnsStream(const TFModSoundSource* pSource) const { return pSource == m_pStreamOwner; }
    void DropStream(const TFModSoundSource* pSource);
    static void FreeDecoded(TSound& Sound);
    void PauseChannel(int nChannel);

    bool m_bStarted = false;
    TDevice m_nDeviceState = DEVICE_PENDING;
    std::shared_ptr<TOpening> m_pOpening;
    std::chrono::steady_clock::time_point m_tDeadline;
    bool m_bSilent = false;
    TMixLimiter m_Limiter;  // the mix's headroom: limits the sum of the channels, not each one
    uint32_t m_nDevice = 0;  // SDL's id of the mixer's device, for its lock; 0 when unknown
    int m_nChannels = 0;
    // Free channels, lowest first, so that the first source plays on channel 1.
    std::priority_queue<int, std::vector<int>, std::greater<int>> m_FreeChannels;
    std::vector<TFModSoundSource*> m_vecChannelOwners;
    // Decoded sounds by image size; sources loaded from identical bytes share one.
    std::unordered_multimap<int32_t, std::unique_ptr<TSound>> m_mapSounds;
    const TFModSoundSource* m_pStreamOwner = nullptr;  // whose playback the music stream is
    float m_vGroupVolumes[SOUND_GROUPS] = {1.0f, 1.0f};
};
