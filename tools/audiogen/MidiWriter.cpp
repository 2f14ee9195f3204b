#include "MidiWriter.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>

namespace {

struct TEvent
{
    long nTick;
    int nOrder;  // at one tick: set-up, then note-offs, then note-ons
    std::vector<unsigned char> vBytes;
};

void PutVarLen(std::vector<unsigned char>& v, unsigned long n)
{
    unsigned char aBytes[5];
    int nCount = 0;
    do {
        aBytes[nCount++] = static_cast<unsigned char>(n & 0x7f);
        n >>= 7;
    } while (n);
    while (nCount--)
        v.push_back(static_cast<unsigned char>(aBytes[nCount] | (nCount ? 0x80 : 0)));
}

void PutBig(std::vector<unsigned char>& v, unsigned long n, int nBytes)
{
    for (int i = nBytes - 1; i >= 0; --i)
        v.push_back(static_cast<unsigned char>(n >> (8 * i)));
}

void PutTrack(std::vector<unsigned char>& vFile, std::vector<TEvent> vEvents, long nEnd)
{
    std::stable_sort(vEvents.begin(), vEvents.end(), [](const TEvent& a, const TEvent& b) {
        return a.nTick != b.nTick ? a.nTick < b.nTick : a.nOrder < b.nOrder;
    });
    vEvents.push_back(TEvent{nEnd, 9, {0xff, 0x2f, 0x00}});
    std::vector<unsigned char> vTrack;
    long nLast = 0;
    for (const TEvent& Event : vEvents) {
        PutVarLen(vTrack, static_cast<unsigned long>(Event.nTick - nLast));
        nLast = Event.nTick;
        vTrack.insert(vTrack.end(), Event.vBytes.begin(), Event.vBytes.end());
    }
    vFile.insert(vFile.end(), {'M', 'T', 'r', 'k'});
    PutBig(vFile, vTrack.size(), 4);
    vFile.insert(vFile.end(), vTrack.begin(), vTrack.end());
}

std::vector<unsigned char> Meta(int nType, const std::vector<unsigned char>& vData)
{
    std::vector<unsigned char> v{0xff, static_cast<unsigned char>(nType)};
    PutVarLen(v, vData.size());
    v.insert(v.end(), vData.begin(), vData.end());
    return v;
}

unsigned char Byte(int n) { return static_cast<unsigned char>(n); }

}  // namespace

std::vector<unsigned char> TMidiWriter::Encode(const TScore& Score, int nPasses)
{
    const long nPass = Score.LengthTicks();
    const int nFinalMicros = Score.Tempos().back().nMicrosPerQuarter;
    const long nEnd = nPass * nPasses + std::lround(Score.TailSeconds() * 1e6 / nFinalMicros * TScore::PPQ);
    const auto& vVoices = Score.Voices();

    std::vector<unsigned char> vFile{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    PutBig(vFile, vVoices.size() + 1, 2);
    PutBig(vFile, TScore::PPQ, 2);

    int nDenPower = 0;
    for (int n = Score.MeterDenominator(); n > 1; n /= 2)
        ++nDenPower;
    std::vector<TEvent> vConductor{
        TEvent{0, 0, Meta(0x58, {Byte(Score.MeterNumerator()), Byte(nDenPower), 24, 8})}};
    for (int nRun = 0; nRun < nPasses; ++nRun)
        for (const TTempo& Tempo : Score.Tempos()) {
            const unsigned long n = static_cast<unsigned long>(Tempo.nMicrosPerQuarter);
            vConductor.push_back(TEvent{nRun * nPass + Tempo.nTick, 1, Meta(0x51, {Byte(n >> 16), Byte(n >> 8), Byte(n)})});
        }
    PutTrack(vFile, vConductor, nEnd);

    std::set<int> SetUpChannels;  // voices sharing a channel share the first one's settings
    for (size_t v = 0; v < vVoices.size(); ++v) {
        const TVoice& Voice = vVoices[v];
        const unsigned char nCh = Byte(Voice.nChannel);
        std::vector<TEvent> vEvents{TEvent{0, 0, Meta(0x03, std::vector<unsigned char>(Voice.strName.begin(), Voice.strName.end()))}};
        if (SetUpChannels.insert(Voice.nChannel).second) {
            const std::vector<std::vector<unsigned char>> vSetUp{
                {Byte(0xb0 | nCh), 0, 0},
                {Byte(0xc0 | nCh), Byte(Voice.nProgram)},
                {Byte(0xb0 | nCh), 7, Byte(Voice.nVolume)},
                {Byte(0xb0 | nCh), 10, Byte(Voice.nPan)},
                {Byte(0xb0 | nCh), 91, Byte(Voice.nReverb)},
                {Byte(0xb0 | nCh), 93, Byte(Voice.nChorus)},
            };
            for (const auto& vBytes : vSetUp)
                vEvents.push_back(TEvent{0, 0, vBytes});
        }
        for (int nRun = 0; nRun < nPasses; ++nRun)
            for (const TNote& Note : Score.Notes()[v]) {
                const long nOn = nRun * nPass + Note.nTick;
                vEvents.push_back(TEvent{nOn, 2, {Byte(0x90 | nCh), Byte(Note.nPitch), Byte(Note.nVelocity)}});
                vEvents.push_back(TEvent{nOn + Note.nLength, 1, {Byte(0x80 | nCh), Byte(Note.nPitch), 0}});
            }
        PutTrack(vFile, vEvents, nEnd);
    }
    return vFile;
}

bool TMidiWriter::Write(const std::string& strPath, const TScore& Score, int nPasses, std::string& strError)
{
    const std::vector<unsigned char> vBytes = Encode(Score, nPasses);
    std::ofstream File(strPath, std::ios::binary | std::ios::trunc);
    File.write(reinterpret_cast<const char*>(vBytes.data()), static_cast<std::streamsize>(vBytes.size()));
    if (!File) {
        strError = "cannot write " + strPath;
        return false;
    }
    return true;
}
