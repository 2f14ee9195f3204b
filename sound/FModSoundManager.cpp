#include "sound/FModSoundManager.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <condition_variable>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <errno.h>
#include <mutex>
#include <thread>

// A decoded sound, shared by every source loaded from the same bytes. The image is what
// identifies it: the manager's own copy, since callers free or reuse their buffers after loading,
// or the caller's bytes themselves when they outlast the sound's sources.
struct TFModSoundSource::TSound
{
    std::vector<uint8_t> vecCopy;  // empty for bytes the caller keeps
    const uint8_t* pImage = nullptr;
    int32_t nImageSize = 0;
    // Lasting bytes a source holding this sound was loaded from: while one does, the same
    // address holds the same bytes, and a load from there needs no comparison.
    const uint8_t* pLastingOrigin = nullptr;
    Mix_Chunk* pChunk = nullptr;  // decoded whole
    Mix_Music* pMusic = nullptr;  // or read from the image as the stream plays
    int nRefs = 0;
};

// What the opening thread hands over. The manager may give up waiting before it is done; the
// thread then closes what it opened itself.
struct TFModSoundManager::TOpening
{
    struct TResult
    {
        int nResult = 0;               // 0, or the failing call's (negative) result
        std::string strError;          // SDL's text for the failure: SDL keeps it per thread
        bool bSilent = false;          // opened on SDL's silent driver
        SDL_AudioDeviceID nDevice = 0;
    };
    std::mutex Mutex;
    std::condition_variable Finished;
    bool bFinished = false;
    bool bAbandoned = false;
    TResult Result;
};

namespace {
// Creation serial numbers of all sources of the process; never reused.
int s_nSources = 0;
TFModSoundManager::TErrorHook s_pErrorHook = nullptr;
// SDL_mixer keeps one device per process, so one manager may have it at a time.
const TFModSoundManager* s_pOpenManager = nullptr;
// Held while the device is opened or closed: an open given up and still under way finishes,
// and closes again, before the next manager's open begins.
std::mutex s_DeviceMutex;

// SDL keeps its open devices in a small table; ids start at 1.
constexpr SDL_AudioDeviceID MAX_DEVICE_ID = 16;

std::vector<SDL_AudioDeviceID> OpenDeviceIds()
{
    std::vector<SDL_AudioDeviceID> vecIds;
    for (SDL_AudioDeviceID nId = 1; nId <= MAX_DEVICE_ID; ++nId) {
        if (SDL_GetAudioDeviceStatus(nId) != SDL_AUDIO_STOPPED)
            vecIds.push_back(nId);
    }
    return vecIds;
}

// SDL_mixer does not tell which device it opened; it is the one that appeared.
SDL_AudioDeviceID FindNewDevice(const std::vector<SDL_AudioDeviceID>& vecBefore)
{
    SDL_AudioDeviceID nFound = 0;
    for (SDL_AudioDeviceID nId : OpenDeviceIds()) {
        if (std::find(vecBefore.begin(), vecBefore.end(), nId) != vecBefore.end())
            continue;
        if (nFound != 0)
            return 0;  // ambiguous: better no lock than the wrong one
        nFound = nId;
    }
    return nFound;
}

// 0 or the failing call's (negative) result; on failure nothing stays open.
int OpenDevice(SDL_AudioDeviceID& nDevice)
{
    // SDL would turn SIGINT and SIGTERM into quit events that nothing here reads, and a
    // program without handlers of its own (drelk2-sim) would no longer end on them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    int nResult = SDL_InitSubSystem(SDL_INIT_AUDIO);
    if (nResult < 0)
        return nResult;
    const std::vector<SDL_AudioDeviceID> vecBefore = OpenDeviceIds();
    nResult = Mix_OpenAudio(TFModSoundManager::FREQUENCY, MIX_DEFAULT_FORMAT, TFModSoundManager::OUTPUT_CHANNELS,
                            TFModSoundManager::BUFFER_FRAMES);
    if (nResult < 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nResult;
    }
    nDevice = FindNewDevice(vecBefore);
    return 0;
}

void CloseDevice()
{
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

// The opening thread: the default driver, else the silent one; the result goes to the manager,
// or, when the manager gave up meanwhile, the device is closed again.
void TFModSoundManager::OpenInBackground(const std::shared_ptr<TOpening>& pOpening)
{
    std::lock_guard<std::mutex> DeviceLock(s_DeviceMutex);
    SDL_AudioDeviceID nDevice = 0;
    int nResult = OpenDevice(nDevice);
    if (nResult < 0) {
        // No usable device (a remote session, a machine without sound): the silent driver
        // keeps the game going. The override beats SDL_AUDIODRIVER from the environment.
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        nResult = OpenDevice(nDevice);
        SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    }
    const char* szDriver = nResult < 0 ? nullptr : SDL_GetCurrentAudioDriver();
    std::lock_guard<std::mutex> Lock(pOpening->Mutex);
    if (pOpening->bAbandoned) {
        if (nResult == 0)
            CloseDevice();
        return;
    }
    pOpening->Result.nResult = nResult;
    pOpening->Result.strError = nResult < 0 ? SDL_GetError() : "";
    pOpening->Result.bSilent = szDriver && std::strcmp(szDriver, "dummy") == 0;
    pOpening->Result.nDevice = nDevice;
    pOpening->bFinished = true;
    pOpening->Finished.notify_all();
}

namespace {
// SDL_mixer refuses to play a chunk shorter than one sample frame of the device.
bool HasWholeFrame(const Mix_Chunk* pChunk)
{
    int nFrequency = 0;
    int nChannels = 0;
    Uint16 nFormat = 0;
    if (Mix_QuerySpec(&nFrequency, &nFormat, &nChannels) == 0)
        return false;
    const Uint32 nFrameBytes = static_cast<Uint32>(SDL_AUDIO_BITSIZE(nFormat) / 8 * nChannels);
    return pChunk->alen >= nFrameBytes;
}

int ScaleVolume(float fVolume)
{
    if (!(fVolume > 0.0f))  // also NaN
        return 0;
    return static_cast<int>(std::lround(std::min(fVolume, 1.0f) * MIX_MAX_VOLUME));
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// TFModSoundSource

TFModSoundSource::TFModSoundSource(TFModSoundManager* pSystem)
    : m_nId(++s_nSources), m_pSystem(pSystem)
{
    if (m_pSystem)
        m_nChannel = m_pSystem->AcquireChannel(this);
}

TFModSoundSource::~TFModSoundSource()
{
    if (!m_pSystem || m_nChannel < 0)
        return;
    ReleaseSound();
    m_pSystem->ReleaseChannel(m_nChannel);
}

bool TFModSoundSource::LoadFromMemory(const uint8_t* pData, int32_t nSize, bool /*b3D*/, bool bLoop)
{
    return Load(pData, nSize, bLoop, false);
}

bool TFModSoundSource::LoadFromLastingMemory(const uint8_t* pData, int32_t nSize, bool bLoop)
{
    return Load(pData, nSize, bLoop, true);
}

bool TFModSoundSource::Load(const uint8_t* pData, int32_t nSize, bool bLoop, bool bLasting)
{
    if (!m_pSystem || m_nChannel < 0)
        return false;
    ReleaseSound();
    if (!pData || nSize <= 0)
        return false;
    m_pSound = m_pSystem->AcquireSound(pData, nSize, bLasting);
    if (!m_pSound)
        return false;
    m_bLoop = bLoop;
    Play();
    return HasSound();
}

void TFModSoundSource::Play()
{
    if (!m_pSystem || !m_pSound)
        return;
    m_fVolume = 1.0f;
    const int nVolume = ScaleVolume(m_pSystem->GetGroupVolume(m_nGroup));
    const bool bStarted = m_pSound->pMusic ? m_pSystem->StartStreamPaused(this, m_pSound->pMusic, m_bLoop, nVolume)
                                           : m_pSystem->StartPaused(m_nChannel, m_pSound->pChunk, m_bLoop, nVolume);
    // A sound whose start does not decode (an Ogg stream with good headers and damaged audio)
    // is a damaged sound, not a failing device: the source goes quiet.
    if (!bStarted)
        ReleaseSound();
}

void TFModSoundSource::SetPlaying(bool bPlaying)
{
    if (!m_pSystem || !m_pSound)
        return;
    if (m_pSound->pMusic) {
        // A stream another source has taken is no longer this one's to start or stop.
        if (!m_pSystem->OwnsStream(this))
            return;
        if (bPlaying)
            Mix_ResumeMusic();  // a stream that has ended stays ended
        else
            Mix_PauseMusic();
    } else if (bPlaying) {
        Mix_Resume(m_nChannel);  // a playback that has ended stays ended
    } else {
        m_pSystem->PauseChannel(m_nChannel);
    }
}

void TFModSoundSource::SetVolume(float fVolume)
{
    if (!m_pSystem || !m_pSound)
        return;
    m_fVolume = fVolume > 0.0f ? std::min(fVolume, 1.0f) : 0.0f;  // NaN too
    ApplyVolume();
}

void TFModSoundSource::SetGroup(TSoundGroup nGroup)
{
    DRELK_ASSERT(nGroup >= 0 && nGroup < SOUND_GROUPS);
    m_nGroup = nGroup;
    ApplyVolume();
}

void TFModSoundSource::ApplyVolume()
{
    if (!m_pSystem || !m_pSound)
        return;
    const int nVolume = ScaleVolume(m_fVolume * m_pSystem->GetGroupVolume(m_nGroup));
    if (!m_pSound->pMusic)
        Mix_Volume(m_nChannel, nVolume);
    else if (m_pSystem->OwnsStream(this))
        Mix_VolumeMusic(nVolume);
}

// Stops this source's playback first: the sound may be freed once nobody holds it.
void TFModSoundSource::ReleaseSound()
{
    if (!m_pSound)
        return;
    Mix_HaltChannel(m_nChannel);
    m_pSystem->DropStream(this);
    m_pSystem->ReleaseSound(m_pSound);
    m_pSound = nullptr;
}

// The manager is going away: stop, drop the sound, and do nothing from now on.
void TFModSoundSource::Detach()
{
    ReleaseSound();
    m_pSystem = nullptr;
    m_nChannel = -1;
}

// ---------------------------------------------------------------------------------------------
// TFModSoundManager

TFModSoundManager::TFModSoundManager()
{
    Init();
}

TFModSoundManager::~TFModSoundManager()
{
    Close();
}

void TFModSoundManager::Init()
{
    if (m_bStarted)
        return;
    DRELK_ASSERT(s_pOpenManager == nullptr);
    s_pOpenManager = this;
    m_bStarted = true;
    m_tDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(DEVICE_WAIT_MS);
    m_pOpening = std::make_shared<TOpening>();
    std::thread(OpenInBackground, m_pOpening).detach();
}

// True when the device is open. The first call takes over what the opening thread found, or,
// past the deadline, gives the device up for good.
bool TFModSoundManager::WaitForDevice()
{
    if (m_nDeviceState != DEVICE_PENDING)
        return m_nDeviceState == DEVICE_OPEN;
    DRELK_ASSERT(m_pOpening);
    std::unique_lock<std::mutex> Lock(m_pOpening->Mutex);
    if (!m_pOpening->Finished.wait_until(Lock, m_tDeadline, [this] { return m_pOpening->bFinished; })) {
        m_pOpening->bAbandoned = true;
        Lock.unlock();
        m_nDeviceState = DEVICE_NONE;
        std::fprintf(stderr, "%s: the audio device did not open within %.1f s; playing without sound\n",
                     program_invocation_short_name, DEVICE_WAIT_MS / 1000.0);
        std::fflush(stderr);
        return false;
    }
    const TOpening::TResult Result = m_pOpening->Result;
    Lock.unlock();
    if (Result.nResult < 0)
        Fail(Result.nResult, Result.strError);
    m_bSilent = Result.bSilent;
    m_nDevice = Result.nDevice;
    m_nDeviceState = DEVICE_OPEN;
    OnDeviceOpen();
    return true;
}

// The device has just been taken over: the mixer's channels.
void TFModSoundManager::OnDeviceOpen()
{
    const int nResult = Mix_AllocateChannels(MIXER_CHANNELS);
    if (nResult != MIXER_CHANNELS)
        Fail(nResult);
    m_nChannels = MIXER_CHANNELS;
    m_Limiter.Attach();
    m_vecChannelOwners.assign(m_nChannels, nullptr);
    // Channel 0 stays unused, so that while no source has been deleted a source's channel is
    // its serial number.
    for (int nChannel = 1; nChannel < m_nChannels; ++nChannel)
        m_FreeChannels.push(nChannel);
}

void TFModSoundManager::Close()
{
    if (!m_bStarted)
        return;
    if (m_nDeviceState == DEVICE_PENDING) {
        // Nothing asked for the device yet. The program may end right after: a thread left
        // inside the audio library then can hang the exit, so a quick open is let finish and
        // closed here; one still under way at the deadline is left to close itself.
        std::unique_lock<std::mutex> Lock(m_pOpening->Mutex);
        const bool bFinished =
            m_pOpening->Finished.wait_until(Lock, m_tDeadline, [this] { return m_pOpening->bFinished; });
        m_pOpening->bAbandoned = !bFinished;
        const bool bOpened = bFinished && m_pOpening->Result.nResult == 0;
        Lock.unlock();
        if (bOpened) {
            std::lock_guard<std::mutex> DeviceLock(s_DeviceMutex);
            CloseDevice();
        }
        m_nDeviceState = DEVICE_NONE;
    }
    if (m_nDeviceState == DEVICE_OPEN) {
        for (TFModSoundSource* pSource : m_vecChannelOwners) {
            if (pSource)
                pSource->Detach();
        }
        m_vecChannelOwners.clear();
        m_FreeChannels = {};
        for (const auto& Entry : m_mapSounds) {
            DRELK_ASSERT(Entry.second->nRefs == 0);
            FreeDecoded(*Entry.second);
        }
        m_mapSounds.clear();
        m_Limiter.Detach();
        std::lock_guard<std::mutex> DeviceLock(s_DeviceMutex);
        CloseDevice();
    }
    m_bStarted = false;
    m_nDeviceState = DEVICE_PENDING;
    m_pOpening.reset();
    m_nDevice = 0;
    s_pOpenManager = nullptr;
}

void TFModSoundManager::SetGroupVolume(TSoundGroup nGroup, float fVolume)
{
    DRELK_ASSERT(nGroup >= 0 && nGroup < SOUND_GROUPS);
    m_vGroupVolumes[nGroup] = fVolume > 0.0f ? std::min(fVolume, 1.0f) : 0.0f;  // NaN too
    // Only a device already open has sources to change.
    if (m_nDeviceState != DEVICE_OPEN)
        return;
    for (TFModSoundSource* pSource : m_vecChannelOwners)
        if (pSource && pSource->m_nGroup == nGroup)
            pSource->ApplyVolume();
}

TFModSoundSource* TFModSoundManager::CreateSource()
{
    return new TFModSoundSource(this);
}

bool TFModSoundManager::IsReady() const
{
    if (m_nDeviceState != DEVICE_PENDING)
        return true;
    std::lock_guard<std::mutex> Lock(m_pOpening->Mutex);
    return m_pOpening->bFinished || std::chrono::steady_clock::now() >= m_tDeadline;
}

bool TFModSoundManager::HasDevice()
{
    return WaitForDevice();
}

bool TFModSoundManager::IsSilent()
{
    return !WaitForDevice() || m_bSilent;
}

void TFModSoundManager::Fail(int nResult)
{
    const char* szDetail = SDL_GetError();
    Fail(nResult, szDetail ? szDetail : "");
}

void TFModSoundManager::Fail(int nResult, const std::string& strDetail)
{
    std::string strText = "FMOD error! (" + std::to_string(nResult) + ")";
    if (!strDetail.empty())
        strText += "\n" + strDetail;
    std::fprintf(stderr, "%s\n", strText.c_str());
    std::fflush(stderr);
    // Take the hook once so that an error inside the hook cannot recurse.
    if (TErrorHook pHook = s_pErrorHook) {
        s_pErrorHook = nullptr;
        pHook("FMOD error!", strText);
    }
    std::exit(-1);
}

void TFModSoundManager::SetErrorHook(TErrorHook pHook)
{
    s_pErrorHook = pHook;
}

// A new channel for a source, growing the mixer when all are taken: a long game makes a
// source per asteroid, and each must keep a channel of its own to restart only itself.
int TFModSoundManager::AcquireChannel(TFModSoundSource* pSource)
{
    if (!WaitForDevice())
        return -1;
    if (m_FreeChannels.empty()) {
        const int nWanted = m_nChannels * 2;
        const int nResult = Mix_AllocateChannels(nWanted);
        if (nResult != nWanted)
            Fail(nResult);
        for (int nChannel = m_nChannels; nChannel < nWanted; ++nChannel)
            m_FreeChannels.push(nChannel);
        m_nChannels = nWanted;
        m_vecChannelOwners.resize(m_nChannels, nullptr);
    }
    const int nChannel = m_FreeChannels.top();
    m_FreeChannels.pop();
    m_vecChannelOwners[nChannel] = pSource;
    return nChannel;
}

void TFModSoundManager::ReleaseChannel(int nChannel)
{
    DRELK_ASSERT(nChannel > 0 && nChannel < m_nChannels);
    Mix_HaltChannel(nChannel);
    m_vecChannelOwners[nChannel] = nullptr;
    m_FreeChannels.push(nChannel);
}

// The decoded sound of an image, shared when the same bytes were loaded before; null when the
// image does not decode. Comparing whole images costs far less than decoding one. A stream
// reads its image for as long as it plays: a copy, unless bLasting says the caller's bytes
// outlast the sound's sources. Short sounds are always copied, since they stay decoded after
// their last source.
TFModSoundManager::TSound* TFModSoundManager::AcquireSound(const uint8_t* pData, int32_t nSize, bool bLasting)
{
    const auto range = m_mapSounds.equal_range(nSize);
    for (auto it = range.first; it != range.second; ++it) {
        TSound* pSound = it->second.get();
        // The manager's copy serves anyone; a caller's bytes only loads that keep theirs as long.
        if (pSound->vecCopy.empty() && !bLasting)
            continue;
        const bool bSameLasting = bLasting && pSound->nRefs > 0 && pSound->pLastingOrigin == pData;
        if (bSameLasting || std::memcmp(pSound->pImage, pData, static_cast<size_t>(nSize)) == 0) {
            if (bLasting)
                pSound->pLastingOrigin = pData;
            ++pSound->nRefs;
            return pSound;
        }
    }
    auto pSound = std::make_unique<TSound>();
    const bool bStream = static_cast<size_t>(nSize) > STREAM_BYTES;
    if (bStream && bLasting) {
        pSound->pImage = pData;
    } else {
        pSound->vecCopy.assign(pData, pData + nSize);
        pSound->pImage = pSound->vecCopy.data();
    }
    pSound->nImageSize = nSize;
    if (bStream) {
        SDL_RWops* pStream = SDL_RWFromConstMem(pSound->pImage, nSize);
        if (!pStream)
            return nullptr;
        pSound->pMusic = Mix_LoadMUS_RW(pStream, 1);
        if (!pSound->pMusic)
            return nullptr;
    } else {
        SDL_RWops* pStream = SDL_RWFromConstMem(pData, nSize);
        if (!pStream)
            return nullptr;
        Mix_Chunk* pChunk = Mix_LoadWAV_RW(pStream, 1);
        if (!pChunk)
            return nullptr;
        if (!HasWholeFrame(pChunk)) {
            Mix_FreeChunk(pChunk);
            return nullptr;
        }
        pSound->pChunk = pChunk;
    }
    pSound->nRefs = 1;
    if (bLasting)
        pSound->pLastingOrigin = pData;
    TSound* pResult = pSound.get();
    m_mapSounds.emplace(nSize, std::move(pSound));
    return pResult;
}

// The caller has stopped its own playback of the sound. Short effects stay decoded when their
// last source goes: a new level's rocks come right after the old ones are purged, and decoding
// again would stall that tick. Music is freed.
void TFModSoundManager::ReleaseSound(TSound* pSound)
{
    DRELK_ASSERT(pSound && pSound->nRefs > 0);
    if (--pSound->nRefs > 0)
        return;
    // Lasting bytes last only as long as their sources.
    pSound->pLastingOrigin = nullptr;
    if (static_cast<size_t>(pSound->nImageSize) <= KEEP_DECODED_BYTES)
        return;
    const auto range = m_mapSounds.equal_range(pSound->nImageSize);
    const auto it = std::find_if(range.first, range.second,
                                 [pSound](const auto& entry) { return entry.second.get() == pSound; });
    DRELK_ASSERT(it != range.second);
    FreeDecoded(*pSound);
    m_mapSounds.erase(it);
}

// Restarts the chunk on the channel at the volume and pauses it at once. The audio thread is
// held off meanwhile, so that no sample of the new playback reaches the output before the pause.
// False when SDL_mixer does not play the chunk.
bool TFModSoundManager::StartPaused(int nChannel, Mix_Chunk* pChunk, bool bLoop, int nVolume)
{
    SDL_LockAudioDevice(m_nDevice);
    Mix_Volume(nChannel, nVolume);
    const int nResult = Mix_PlayChannel(nChannel, pChunk, bLoop ? -1 : 0);
    if (nResult >= 0) {
        m_Limiter.Watch(nChannel);
        PauseChannel(nChannel);
    }
    SDL_UnlockAudioDevice(m_nDevice);
    return nResult >= 0;
}

void TFModSoundManager::FreeDecoded(TSound& Sound)
{
    if (Sound.pMusic)
        Mix_FreeMusic(Sound.pMusic);
    if (Sound.pChunk)
        Mix_FreeChunk(Sound.pChunk);
    Sound.pMusic = nullptr;
    Sound.pChunk = nullptr;
}

// The stream restarted for the source and paused at once, at the volume, as a channel's.
// False when SDL_mixer does not start it (its decoder cannot seek to the start); no source then
// has the stream.
bool TFModSoundManager::StartStreamPaused(TFModSoundSource* pSource, Mix_Music* pMusic, bool bLoop, int nVolume)
{
    SDL_LockAudioDevice(m_nDevice);
    Mix_HaltMusic();
    Mix_VolumeMusic(nVolume);
    const int nResult = Mix_PlayMusic(pMusic, bLoop ? -1 : 0);
    if (nResult >= 0)
        Mix_PauseMusic();
    SDL_UnlockAudioDevice(m_nDevice);
    m_pStreamOwner = nResult >= 0 ? pSource : nullptr;
    return nResult >= 0;
}

// The source lets its sound go: its stream, if it has it, stops.
void TFModSoundManager::DropStream(const TFModSoundSource* pSource)
{
    if (!OwnsStream(pSource))
        return;
    Mix_HaltMusic();
    m_pStreamOwner = nullptr;
}

// SDL_mixer marks a pause with the tick count, which reads 0 in SDL's first millisecond (and
// once every 49 days): a pause made then would not hold.
void TFModSoundManager::PauseChannel(int nChannel)
{
    Mix_Pause(nChannel);
    while (Mix_Playing(nChannel) && !Mix_Paused(nChannel)) {
        SDL_Delay(1);
        Mix_Pause(nChannel);
    }
}
