#include "MusicRenderer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace {

// The General MIDI controllers the voice settings go to.
constexpr int CC_BANK = 0, CC_VOLUME = 7, CC_PAN = 10, CC_REVERB = 91, CC_CHORUS = 93;

struct TSettingsDeleter
{
    void operator()(fluid_settings_t* p) const { delete_fluid_settings(p); }
};
struct TSynthDeleter
{
    void operator()(fluid_synth_t* p) const { delete_fluid_synth(p); }
};

// The room and the synthesizer's set-up the music was written for.
void Configure(fluid_settings_t* pSettings)
{
    fluid_settings_setnum(pSettings, "synth.sample-rate", TMusicRenderer::RATE);
    fluid_settings_setnum(pSettings, "synth.gain", 0.6);
    // One core: the voices are always summed in the same order.
    fluid_settings_setint(pSettings, "synth.cpu-cores", 1);
    fluid_settings_setint(pSettings, "synth.polyphony", 512);
    fluid_settings_setnum(pSettings, "synth.reverb.room-size", 0.62);
    fluid_settings_setnum(pSettings, "synth.reverb.damp", 0.35);
    fluid_settings_setnum(pSettings, "synth.reverb.width", 0.9);
    fluid_settings_setnum(pSettings, "synth.reverb.level", 0.75);
    fluid_settings_setnum(pSettings, "synth.chorus.level", 1.2);
}

void Send(fluid_synth_t* pSynth, const TSynthEvent& Event)
{
    switch (Event.eKind) {
    case TSynthEvent::CONTROL:
        fluid_synth_cc(pSynth, Event.nChannel, Event.nA, Event.nB);
        break;
    case TSynthEvent::PROGRAM:
        fluid_synth_program_change(pSynth, Event.nChannel, Event.nA);
        break;
    case TSynthEvent::NOTE_OFF:
        fluid_synth_noteoff(pSynth, Event.nChannel, Event.nA);
        break;
    case TSynthEvent::NOTE_ON:
        fluid_synth_noteon(pSynth, Event.nChannel, Event.nA, Event.nB);
        break;
    }
}

// Renders into Wave from its current end up to nFrame.
void RenderTo(fluid_synth_t* pSynth, TWave& Wave, long nFrame)
{
    const long nFrom = static_cast<long>(Wave.Frames());
    if (nFrame <= nFrom)
        return;
    Wave.vSamples.resize(static_cast<size_t>(nFrame) * 2);
    float* p = Wave.vSamples.data() + nFrom * 2;
    fluid_synth_write_float(pSynth, static_cast<int>(nFrame - nFrom), p, 0, 2, p, 1, 2);
}

}  // namespace

std::vector<TSynthEvent> TMusicRenderer::Events(const TScore& Score, int nPasses)
{
    std::vector<TSynthEvent> vEvents;
    const auto& vVoices = Score.Voices();
    std::set<int> SetUpChannels;  // voices sharing a channel share the first one's settings
    for (const TVoice& Voice : vVoices) {
        if (!SetUpChannels.insert(Voice.nChannel).second)
            continue;
        const int c = Voice.nChannel;
        vEvents.push_back({0, TSynthEvent::CONTROL, c, CC_BANK, 0});
        vEvents.push_back({0, TSynthEvent::PROGRAM, c, Voice.nProgram, 0});
        vEvents.push_back({0, TSynthEvent::CONTROL, c, CC_VOLUME, Voice.nVolume});
        vEvents.push_back({0, TSynthEvent::CONTROL, c, CC_PAN, Voice.nPan});
        vEvents.push_back({0, TSynthEvent::CONTROL, c, CC_REVERB, Voice.nReverb});
        vEvents.push_back({0, TSynthEvent::CONTROL, c, CC_CHORUS, Voice.nChorus});
    }
    const double dPass = Score.SecondsAt(Score.LengthTicks());
    auto Frame = [&](int nPass, long nTick) { return std::lround((nPass * dPass + Score.SecondsAt(nTick)) * RATE); };
    for (int nPass = 0; nPass < nPasses; ++nPass)
        for (size_t v = 0; v < vVoices.size(); ++v)
            for (const TNote& Note : Score.Notes()[v]) {
                const int c = vVoices[v].nChannel;
                vEvents.push_back({Frame(nPass, Note.nTick), TSynthEvent::NOTE_ON, c, Note.nPitch, Note.nVelocity});
                vEvents.push_back({Frame(nPass, Note.nTick + Note.nLength), TSynthEvent::NOTE_OFF, c, Note.nPitch, 0});
            }
    std::stable_sort(vEvents.begin(), vEvents.end(), [](const TSynthEvent& a, const TSynthEvent& b) {
        const int nA = a.eKind == TSynthEvent::PROGRAM ? TSynthEvent::CONTROL : a.eKind;
        const int nB = b.eKind == TSynthEvent::PROGRAM ? TSynthEvent::CONTROL : b.eKind;
        return a.nFrame != b.nFrame ? a.nFrame < b.nFrame : nA < nB;
    });
    return vEvents;
}

bool TMusicRenderer::Render(const TScore& Score, const std::string& strSoundFont, TWave& Wave, std::string& strError)
{
    // Quiet: a failure is reported here, in one line, and the chatter is of no use in a build log.
    for (int nLevel : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(nLevel, nullptr, nullptr);
    std::unique_ptr<fluid_settings_t, TSettingsDeleter> pSettings(new_fluid_settings());
    if (!pSettings) {
        strError = "the synthesizer's settings cannot be made";
        return false;
    }
    Configure(pSettings.get());
    // The synthesizer would wait forever on a FIFO, and its loader complains at length about a
    // file that is no sound font: both are turned away first.
    struct stat Stat{};
    const bool bFile = stat(strSoundFont.c_str(), &Stat) == 0 && S_ISREG(Stat.st_mode) &&
                       fluid_is_soundfont(strSoundFont.c_str());
    std::unique_ptr<fluid_synth_t, TSynthDeleter> pSynth(new_fluid_synth(pSettings.get()));
    if (!bFile || !pSynth || fluid_synth_sfload(pSynth.get(), strSoundFont.c_str(), 1) == FLUID_FAILED) {
        strError = strSoundFont + ": not a sound font the synthesizer can load";
        return false;
    }
    const int nPasses = Score.IsLoop() ? 2 : 1;
    Wave = TWave{};
    Wave.nRate = RATE;
    Wave.nChannels = 2;
    for (const TSynthEvent& Event : Events(Score, nPasses)) {
        RenderTo(pSynth.get(), Wave, Event.nFrame);
        Send(pSynth.get(), Event);
    }
    const double dEnd = nPasses * Score.SecondsAt(Score.LengthTicks()) + Score.TailSeconds();
    RenderTo(pSynth.get(), Wave, std::lround(dEnd * RATE));
    return true;
}
