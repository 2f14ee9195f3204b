#include "Waves.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

bool ReadFile(const std::string& strPath, std::vector<unsigned char>& vBytes, std::string& strError)
{
    std::ifstream File(strPath, std::ios::binary);
    if (!File) {
        strError = "cannot open " + strPath;
        return false;
    }
    vBytes.assign(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
    return true;
}

uint32_t Le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }

void Put32(std::vector<unsigned char>& v, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<unsigned char>(n >> (8 * i)));
}

void Put16(std::vector<unsigned char>& v, uint16_t n)
{
    v.push_back(static_cast<unsigned char>(n));
    v.push_back(static_cast<unsigned char>(n >> 8));
}

void PutTag(std::vector<unsigned char>& v, const char* szTag) { v.insert(v.end(), szTag, szTag + 4); }

float FloatFromLe(const unsigned char* p)
{
    uint32_t nBits = Le32(p);
    float f;
    std::memcpy(&f, &nBits, sizeof f);
    return f;
}

}  // namespace

bool TWaves::ReadWav(const std::string& strPath, TWave& Wave, std::string& strError)
{
    std::vector<unsigned char> vBytes;
    if (!ReadFile(strPath, vBytes, strError))
        return false;
    if (vBytes.size() < 12 || std::memcmp(vBytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(vBytes.data() + 8, "WAVE", 4) != 0) {
        strError = strPath + ": not a RIFF WAVE file";
        return false;
    }
    int nFormat = 0, nBits = 0;
    bool bHaveFormat = false;
    size_t nPos = 12;
    while (nPos + 8 <= vBytes.size()) {
        const unsigned char* pChunk = vBytes.data() + nPos;
        const size_t nSize = Le32(pChunk + 4);
        const size_t nBody = nPos + 8;
        if (nSize > vBytes.size() - nBody) {
            strError = strPath + ": chunk runs past the end of the file";
            return false;
        }
        if (std::memcmp(pChunk, "fmt ", 4) == 0 && nSize >= 16) {
            nFormat = Le16(pChunk + 8);
            Wave.nChannels = Le16(pChunk + 10);
            Wave.nRate = static_cast<int>(Le32(pChunk + 12));
            nBits = Le16(pChunk + 22);
            bHaveFormat = true;
        } else if (std::memcmp(pChunk, "data", 4) == 0) {
            const bool bPcm16 = nFormat == 1 && nBits == 16;
            const bool bFloat = nFormat == 3 && nBits == 32;
            if (!bHaveFormat || Wave.nChannels < 1 || (!bPcm16 && !bFloat)) {
                strError = strPath + ": only 16-bit PCM or 32-bit float WAV is read";
                return false;
            }
            const size_t nCount = nSize / (nBits / 8);
            Wave.vSamples.resize(nCount);
            for (size_t i = 0; i < nCount; ++i) {
                const unsigned char* p = vBytes.data() + nBody + i * (nBits / 8);
                Wave.vSamples[i] = bPcm16 ? int16_t(Le16(p)) / 32768.0f : FloatFromLe(p);
            }
            return true;
        }
        nPos = nBody + nSize + (nSize & 1);
    }
    strError = strPath + ": no data chunk";
    return false;
}

std::vector<unsigned char> TWaves::EncodeWav16(const TWave& Wave)
{
    const uint32_t nData = static_cast<uint32_t>(Wave.vSamples.size() * 2);
    std::vector<unsigned char> v;
    v.reserve(44 + nData);
    PutTag(v, "RIFF");
    Put32(v, 36 + nData);
    PutTag(v, "WAVE");
    PutTag(v, "fmt ");
    Put32(v, 16);
    Put16(v, 1);
    Put16(v, static_cast<uint16_t>(Wave.nChannels));
    Put32(v, static_cast<uint32_t>(Wave.nRate));
    Put32(v, static_cast<uint32_t>(Wave.nRate * Wave.nChannels * 2));
    Put16(v, static_cast<uint16_t>(Wave.nChannels * 2));
    Put16(v, 16);
    PutTag(v, "data");
    Put32(v, nData);
    for (float f : Wave.vSamples) {
        const long n = std::lround(std::clamp(f, -1.0f, 1.0f) * 32767.0f);
        Put16(v, static_cast<uint16_t>(static_cast<int16_t>(n)));
    }
    return v;
}

bool TWaves::WriteWav16(const std::string& strPath, const TWave& Wave, std::string& strError)
{
    const std::vector<unsigned char> vBytes = EncodeWav16(Wave);
    std::ofstream File(strPath, std::ios::binary | std::ios::trunc);
    File.write(reinterpret_cast<const char*>(vBytes.data()), static_cast<std::streamsize>(vBytes.size()));
    if (!File) {
        strError = "cannot write " + strPath;
        return false;
    }
    return true;
}

bool TWaves::ReadRawFloat(const std::string& strPath, int nRate, int nChannels, TWave& Wave,
                          std::string& strError)
{
    std::vector<unsigned char> vBytes;
    if (!ReadFile(strPath, vBytes, strError))
        return false;
    Wave.nRate = nRate;
    Wave.nChannels = nChannels;
    const size_t nFrames = vBytes.size() / (4 * size_t(nChannels));
    Wave.vSamples.resize(nFrames * nChannels);
    for (size_t i = 0; i < Wave.vSamples.size(); ++i)
        Wave.vSamples[i] = FloatFromLe(vBytes.data() + 4 * i);
    return true;
}
