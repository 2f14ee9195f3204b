#include "Waves.h"

#include <sndfile.h>

#include <memory>
#include <sys/stat.h>

namespace {

// Ten minutes of stereo: far longer than any sound of the game, small enough to hold in memory.
constexpr sf_count_t MAX_SAMPLES = 10 * 60 * 48000 * 2;

struct TSndFileCloser
{
    void operator()(SNDFILE* p) const { sf_close(p); }
};
using TSoundFile = std::unique_ptr<SNDFILE, TSndFileCloser>;

bool IsRegularFile(const std::string& strPath)
{
    struct stat Stat{};
    return stat(strPath.c_str(), &Stat) == 0 && S_ISREG(Stat.st_mode);
}

}  // namespace

bool TWaves::Read(const std::string& strPath, TWave& Wave, std::string& strError)
{
    // libsndfile would block on a FIFO and read a device forever.
    if (!IsRegularFile(strPath)) {
        strError = strPath + ": not a regular file";
        return false;
    }
    SF_INFO Info{};
    TSoundFile File(sf_open(strPath.c_str(), SFM_READ, &Info));
    if (!File) {
        strError = strPath + ": " + sf_strerror(nullptr);
        return false;
    }
    if (Info.channels < 1 || Info.channels > 2 || Info.samplerate < 8000 || Info.samplerate > 192000 ||
        Info.frames <= 0 || Info.frames * Info.channels > MAX_SAMPLES) {
        strError = strPath + ": not a mono or stereo sound of a usable length and rate";
        return false;
    }
    Wave.nRate = Info.samplerate;
    Wave.nChannels = Info.channels;
    Wave.vSamples.assign(static_cast<size_t>(Info.frames * Info.channels), 0.0f);
    const sf_count_t nRead = sf_readf_float(File.get(), Wave.vSamples.data(), Info.frames);
    if (nRead <= 0) {
        strError = strPath + ": no samples could be decoded";
        return false;
    }
    Wave.vSamples.resize(static_cast<size_t>(nRead * Info.channels));
    return true;
}

bool TWaves::WriteWav16(const std::string& strPath, const TWave& Wave, std::string& strError)
{
    SF_INFO Info{};
    Info.samplerate = Wave.nRate;
    Info.channels = Wave.nChannels;
    Info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    TSoundFile File(sf_open(strPath.c_str(), SFM_WRITE, &Info));
    if (!File) {
        strError = "cannot write " + strPath + ": " + sf_strerror(nullptr);
        return false;
    }
    sf_command(File.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t nFrames = static_cast<sf_count_t>(Wave.Frames());
    if (sf_writef_float(File.get(), Wave.vSamples.data(), nFrames) != nFrames) {
        strError = "cannot write " + strPath + ": " + sf_strerror(File.get());
        return false;
    }
    if (sf_close(File.release()) != 0) {
        strError = "cannot write " + strPath;
        return false;
    }
    return true;
}
