#include "Score.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

constexpr int WHOLE = 4 * TScore::PPQ;
constexpr off_t MAX_FILE_BYTES = 1 << 20;

std::string Trim(const std::string& s)
{
    const size_t nFirst = s.find_first_not_of(" \t\r");
    if (nFirst == std::string::npos)
        return "";
    return s.substr(nFirst, s.find_last_not_of(" \t\r") - nFirst + 1);
}

std::vector<std::string> Words(const std::string& s)
{
    std::istringstream In(s);
    std::vector<std::string> v;
    for (std::string w; In >> w;)
        v.push_back(w);
    return v;
}

bool ToInt(const std::string& s, int& n)
{
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), ::isdigit))
        return false;
    n = std::stoi(s);
    return true;
}

bool ToDouble(const std::string& s, double& d)
{
    char* pEnd = nullptr;
    d = std::strtod(s.c_str(), &pEnd);
    return !s.empty() && pEnd && *pEnd == '\0' && std::isfinite(d);
}

// Splits a part or song line into tokens and expands "( ... )*N" groups in place.
bool Expand(const std::string& s, std::vector<std::string>& vOut, std::string& strError)
{
    std::vector<std::vector<std::string>> vStack(1);
    size_t i = 0;
    auto IsSpecial = [](char c) { return c == '(' || c == ')' || c == '[' || c == '|'; };
    while (i < s.size()) {
        const char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '|') {
            vStack.back().push_back("|");
            ++i;
        } else if (c == '(') {
            vStack.emplace_back();
            ++i;
        } else if (c == ')') {
            size_t j = ++i;
            int nTimes = 1;
            if (j < s.size() && s[j] == '*') {
                j = ++i;
                while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                    ++j;
                if (!ToInt(s.substr(i, j - i), nTimes) || nTimes < 1) {
                    strError = "\")*\" needs a repeat count";
                    return false;
                }
                i = j;
            }
            if (vStack.size() < 2) {
                strError = "\")\" without \"(\"";
                return false;
            }
            std::vector<std::string> vGroup = std::move(vStack.back());
            vStack.pop_back();
            for (int n = 0; n < nTimes; ++n)
                vStack.back().insert(vStack.back().end(), vGroup.begin(), vGroup.end());
        } else {
            size_t j = i;
            if (c == '[') {
                j = s.find(']', i);
                if (j == std::string::npos) {
                    strError = "\"[\" without \"]\"";
                    return false;
                }
                ++j;
            }
            while (j < s.size() && !std::isspace(static_cast<unsigned char>(s[j])) && !IsSpecial(s[j]))
                ++j;
            vStack.back().push_back(s.substr(i, j - i));
            i = j;
        }
    }
    if (vStack.size() != 1) {
        strError = "\"(\" without \")\"";
        return false;
    }
    vOut = std::move(vStack.front());
    return true;
}

// "4" a quarter, "8." a dotted eighth, "8t" a triplet eighth, "2+8" a tie of both.
bool ParseDuration(const std::string& s, int& nTicks)
{
    nTicks = 0;
    std::istringstream In(s);
    for (std::string strTerm; std::getline(In, strTerm, '+');) {
        size_t nDigits = 0;
        while (nDigits < strTerm.size() && std::isdigit(static_cast<unsigned char>(strTerm[nDigits])))
            ++nDigits;
        int nDiv = 0;
        if (!ToInt(strTerm.substr(0, nDigits), nDiv) || nDiv < 1 || nDiv > 64 || (nDiv & (nDiv - 1)))
            return false;
        int n = WHOLE / nDiv;
        const std::string strMod = strTerm.substr(nDigits);
        if (strMod == ".")
            n = n * 3 / 2;
        else if (strMod == "t")
            n = n * 2 / 3;
        else if (!strMod.empty())
            return false;
        nTicks += n;
    }
    return nTicks > 0;
}

// "c4" is middle C (60); "f#3", "bb2".
bool ParsePitch(const std::string& s, int& nPitch)
{
    static const int SEMITONES[] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    if (s.size() < 2 || s[0] < 'a' || s[0] > 'g')
        return false;
    int n = SEMITONES[s[0] - 'a'];
    size_t i = 1;
    for (; i < s.size() && (s[i] == '#' || s[i] == 'b'); ++i)
        n += s[i] == '#' ? 1 : -1;
    int nOctave = 0;
    if (!ToInt(s.substr(i), nOctave) || nOctave > 9)
        return false;
    nPitch = n + 12 * (nOctave + 1);
    return nPitch >= 0 && nPitch <= 127;
}

std::string Position(int nTicks, int nBarTicks)
{
    std::ostringstream Out;
    Out << "bar " << nTicks / nBarTicks + 1;
    if (nTicks % nBarTicks)
        Out << " + " << double(nTicks % nBarTicks) / TScore::PPQ << " beats";
    return Out.str();
}

int ClampVelocity(double d) { return std::clamp(static_cast<int>(std::lround(d)), 1, 127); }

}  // namespace

std::string TScore::Where(int nLine) const { return m_strPath + ":" + std::to_string(nLine) + ": "; }

bool TScore::Load(const std::string& strPath, std::string& strError)
{
    m_strPath = strPath;
    // A note list is a small text file; a FIFO or a device would be read forever.
    struct stat Stat{};
    if (stat(strPath.c_str(), &Stat) != 0 || !S_ISREG(Stat.st_mode) || Stat.st_size > MAX_FILE_BYTES) {
        strError = strPath + ": not a note list (a regular file of at most 1 MiB)";
        return false;
    }
    std::ifstream File(strPath);
    if (!File) {
        strError = "cannot open " + strPath;
        return false;
    }
    int nLine = 0;
    for (std::string strLine; std::getline(File, strLine);) {
        ++nLine;
        const size_t nHash = strLine.find('#');
        // "#" after a note letter is a sharp, not a comment.
        const bool bComment = nHash != std::string::npos &&
                              (nHash == 0 || std::isspace(static_cast<unsigned char>(strLine[nHash - 1])));
        const std::string strText = Trim(bComment ? strLine.substr(0, nHash) : strLine);
        if (!strText.empty() && !ParseLine(strText, nLine, strError)) {
            strError = Where(nLine) + strError;
            return false;
        }
    }
    if (m_nOpen >= 0) {
        strError = Where(nLine) + "pattern \"" + m_vPatterns[m_nOpen].strName + "\" has no \"end\"";
        return false;
    }
    return Build(strError);
}

bool TScore::ParseLine(const std::string& strLine, int nLine, std::string& strError)
{
    const std::vector<std::string> vWords = Words(strLine);
    const std::string& strKey = vWords[0];
    if (m_nOpen >= 0) {
        if (strLine == "end") {
            m_nOpen = -1;
            return true;
        }
        // "voice: notes" starts a part; any other line carries on the part above it.
        const size_t nColon = strLine.find(':');
        const std::string strVoice = Trim(strLine.substr(0, nColon));
        auto It = std::find_if(m_vVoices.begin(), m_vVoices.end(), [&](const TVoice& v) { return v.strName == strVoice; });
        std::vector<TPart>& vParts = m_vPatterns[m_nOpen].vParts;
        if (nColon == std::string::npos || (strVoice != "tempo" && It == m_vVoices.end())) {
            if (vParts.empty()) {
                strError = "expected \"voice: notes\" or \"end\"";
                return false;
            }
            vParts.back().strText += " " + strLine;
            return true;
        }
        vParts.push_back(TPart{It == m_vVoices.end() ? -1 : static_cast<int>(It - m_vVoices.begin()), nLine,
                               strLine.substr(nColon + 1)});
        return true;
    }
    if (strKey == "voice")
        return ParseVoice(vWords, strError);
    if (strKey == "pattern") {
        TPattern Pattern;
        if (vWords.size() != 3 || !ToInt(vWords[2], Pattern.nBars) || Pattern.nBars < 1) {
            strError = "expected \"pattern NAME BARS\"";
            return false;
        }
        Pattern.strName = vWords[1];
        for (const TPattern& p : m_vPatterns)
            if (p.strName == Pattern.strName) {
                strError = "pattern \"" + p.strName + "\" is defined twice";
                return false;
            }
        m_vPatterns.push_back(Pattern);
        m_nOpen = static_cast<int>(m_vPatterns.size()) - 1;
        return true;
    }
    if (strKey == "song") {
        std::vector<std::string> vNames;
        if (!Expand(strLine.substr(4), vNames, strError))
            return false;
        m_vSong.insert(m_vSong.end(), vNames.begin(), vNames.end());
        m_nSongLine = nLine;
        return true;
    }
    if (vWords.size() != 2) {
        strError = "expected \"" + strKey + " VALUE\"";
        return false;
    }
    const std::string& strValue = vWords[1];
    if (strKey == "tempo") {
        if (!ToDouble(strValue, m_dTempo) || m_dTempo < 20 || m_dTempo > 400) {
            strError = "tempo must be 20 to 400";
            return false;
        }
    } else if (strKey == "meter") {
        const size_t nSlash = strValue.find('/');
        if (nSlash == std::string::npos || !ToInt(strValue.substr(0, nSlash), m_nMeterNum) ||
            !ToInt(strValue.substr(nSlash + 1), m_nMeterDen) || m_nMeterNum < 1 ||
            (m_nMeterDen != 2 && m_nMeterDen != 4 && m_nMeterDen != 8)) {
            strError = "meter must read like 4/4";
            return false;
        }
        m_nBarTicks = m_nMeterNum * WHOLE / m_nMeterDen;
    } else if (strKey == "loop") {
        if (strValue != "yes" && strValue != "no") {
            strError = "loop is yes or no";
            return false;
        }
        m_bLoop = strValue == "yes";
    } else if (strKey == "tail") {
        if (!ToDouble(strValue, m_dTail) || m_dTail < 0 || m_dTail > 30) {
            strError = "tail must be 0 to 30 seconds";
            return false;
        }
    } else if (strKey == "fadeout") {
        if (!ToDouble(strValue, m_dFadeOut) || m_dFadeOut < 0.1 || m_dFadeOut > 30) {
            strError = "fadeout must be 0.1 to 30 seconds";
            return false;
        }
    } else if (strKey == "loudness") {
        if (!ToDouble(strValue, m_dLoudness) || m_dLoudness < -30 || m_dLoudness > -9) {
            strError = "loudness must be -30 to -9 LUFS";
            return false;
        }
    } else {
        strError = "unknown keyword \"" + strKey + "\"";
        return false;
    }
    return true;
}

bool TScore::ParseVoice(const std::vector<std::string>& vWords, std::string& strError)
{
    if (vWords.size() < 3) {
        strError = "expected \"voice NAME ch=N program=P ...\"";
        return false;
    }
    TVoice Voice;
    Voice.strName = vWords[1];
    int nPitch = 0;
    if (Voice.strName == "tempo" || Voice.strName == "r" || ParsePitch(Voice.strName, nPitch) ||
        std::any_of(m_vVoices.begin(), m_vVoices.end(), [&](const TVoice& v) { return v.strName == Voice.strName; })) {
        strError = "voice name \"" + Voice.strName + "\" is taken or reads as a note";
        return false;
    }
    bool bChannel = false;
    for (size_t i = 2; i < vWords.size(); ++i) {
        const size_t nEq = vWords[i].find('=');
        const std::string strKey = vWords[i].substr(0, nEq);
        const std::string strValue = nEq == std::string::npos ? "" : vWords[i].substr(nEq + 1);
        int n = 0;
        double d = 0.0;
        auto Int = [&](int nMin, int nMax) { return ToInt(strValue, n) && n >= nMin && n <= nMax; };
        if (strKey == "ch" && Int(1, 16)) {
            Voice.nChannel = n - 1;
            bChannel = true;
        } else if (strKey == "program" && Int(1, 128)) {
            Voice.nProgram = n - 1;
        } else if (strKey == "vol" && Int(0, 127)) {
            Voice.nVolume = n;
        } else if (strKey == "pan" && Int(0, 127)) {
            Voice.nPan = n;
        } else if (strKey == "reverb" && Int(0, 127)) {
            Voice.nReverb = n;
        } else if (strKey == "chorus" && Int(0, 127)) {
            Voice.nChorus = n;
        } else if (strKey == "vel" && Int(1, 127)) {
            Voice.nVelocity = n;
        } else if (strKey == "note" && Int(0, 127)) {
            Voice.nDrumNote = n;
        } else if (strKey == "step" && Int(1, 64) && WHOLE % n == 0) {
            Voice.nStep = n;
        } else if (strKey == "gate" && ToDouble(strValue, d) && d > 0.05 && d <= 1.0) {
            Voice.dGate = d;
        } else if (strKey == "accent" && Int(0, 60)) {
            Voice.nAccent = n;
        } else if (strKey == "loose" && ToDouble(strValue, d) && d >= 0.0 && d <= 30.0) {
            Voice.dLooseMs = d;
        } else {
            strError = "bad voice setting \"" + vWords[i] + "\"";
            return false;
        }
    }
    if (!bChannel) {
        strError = "voice \"" + Voice.strName + "\" needs ch=";
        return false;
    }
    m_vVoices.push_back(Voice);
    return true;
}

bool TScore::Build(std::string& strError)
{
    if (m_vSong.empty()) {
        strError = m_strPath + ": no \"song\" line";
        return false;
    }
    m_vNotes.assign(m_vVoices.size(), {});
    m_vTempos.assign(1, TTempo{0, static_cast<int>(std::lround(60e6 / m_dTempo))});
    int nStart = 0;
    for (const std::string& strName : m_vSong) {
        auto It = std::find_if(m_vPatterns.begin(), m_vPatterns.end(),
                               [&](const TPattern& p) { return p.strName == strName; });
        if (It == m_vPatterns.end()) {
            strError = Where(m_nSongLine) + "no pattern \"" + strName + "\"";
            return false;
        }
        // Parts of one voice written on several lines follow each other.
        std::vector<TPart> vJoined;
        for (const TPart& Part : It->vParts) {
            auto Same = std::find_if(vJoined.begin(), vJoined.end(), [&](const TPart& p) { return p.nVoice == Part.nVoice; });
            if (Same == vJoined.end())
                vJoined.push_back(Part);
            else
                Same->strText += " " + Part.strText;
        }
        for (const TPart& Part : vJoined)
            if (!BuildPart(*It, Part, nStart, strError)) {
                strError = Where(Part.nLine) + strError;
                return false;
            }
        nStart += It->nBars * m_nBarTicks;
    }
    m_nLength = nStart;
    std::stable_sort(m_vTempos.begin(), m_vTempos.end(), [](const TTempo& a, const TTempo& b) { return a.nTick < b.nTick; });
    Humanize();
    for (auto& vNotes : m_vNotes)
        std::stable_sort(vNotes.begin(), vNotes.end(), [](const TNote& a, const TNote& b) { return a.nTick < b.nTick; });
    return true;
}

namespace {

// A fixed pseudo-random value in [-1, 1] for a voice's nth note (a 32-bit integer hash), so
// that every render of the score plays exactly the same.
double Scatter(uint32_t nVoice, uint32_t nNote, uint32_t nSalt)
{
    uint32_t h = nVoice * 0x9E3779B1u ^ (nNote + 0x7F4A7C15u) * 0x85EBCA77u ^ nSalt * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / double(0xFFFFFF) * 2.0 - 1.0;
}

// How strong a step of the bar is, from 1 (the downbeat) to 0 (a sixteenth off the beat).
double Weight(int nInBar, int nBarTicks)
{
    constexpr int BEAT = TScore::PPQ;
    if (nInBar == 0)
        return 1.0;
    if (nInBar % BEAT == 0)
        return nInBar == nBarTicks / 2 ? 0.75 : 0.55;
    if (nInBar % (BEAT / 2) == 0)
        return 0.3;
    return 0.0;
}

}  // namespace

// Players lean on the strong beats and never sit exactly on the grid: each note's velocity
// follows its place in the bar, with a little scatter, and its start moves by up to the
// voice's looseness (its end with it, so the length stays).
void TScore::Humanize()
{
    for (size_t v = 0; v < m_vVoices.size(); ++v) {
        const TVoice& Voice = m_vVoices[v];
        if (Voice.nAccent == 0 && Voice.dLooseMs <= 0.0)
            continue;
        std::vector<TNote>& vNotes = m_vNotes[v];
        for (size_t i = 0; i < vNotes.size(); ++i) {
            TNote& Note = vNotes[i];
            const double dWeight = Weight(Note.nTick % m_nBarTicks, m_nBarTicks);
            const double dVel = Note.nVelocity + Voice.nAccent * (dWeight - 0.5) +
                                Voice.nAccent * 0.25 * Scatter(uint32_t(v), uint32_t(i), 1);
            Note.nVelocity = ClampVelocity(dVel);
            const double dTicksPerMs = PPQ * 1000.0 / TempoAt(Note.nTick);
            const int nShift = static_cast<int>(std::lround(Voice.dLooseMs * dTicksPerMs * Scatter(uint32_t(v), uint32_t(i), 2)));
            Note.nTick = std::max(0, Note.nTick + nShift);
        }
    }
}

int TScore::TempoAt(long nTick) const
{
    int nMicros = m_vTempos.front().nMicrosPerQuarter;
    for (const TTempo& Tempo : m_vTempos)
        if (Tempo.nTick <= nTick)
            nMicros = Tempo.nMicrosPerQuarter;
    return nMicros;
}

bool TScore::BuildPart(const TPattern& Pattern, const TPart& Part, int nStart, std::string& strError)
{
    std::vector<std::string> vTokens;
    if (!Expand(Part.strText, vTokens, strError))
        return false;
    const TVoice* pVoice = Part.nVoice >= 0 ? &m_vVoices[Part.nVoice] : nullptr;
    int nPos = 0, nDur = PPQ;
    int nVelocity = pVoice ? pVoice->nVelocity : 0;
    for (const std::string& strToken : vTokens) {
        if (strToken == "|") {
            if (nPos % m_nBarTicks) {
                strError = "bar line at " + Position(nPos, m_nBarTicks) + " of pattern " + Pattern.strName;
                return false;
            }
            continue;
        }
        if (strToken.rfind("v=", 0) == 0 && pVoice) {
            if (!ToInt(strToken.substr(2), nVelocity) || nVelocity < 1 || nVelocity > 127) {
                strError = "bad velocity \"" + strToken + "\"";
                return false;
            }
            continue;
        }
        if (!pVoice) {  // tempo part: "bpm:duration"
            const size_t nColon = strToken.find(':');
            double dBpm = 0.0;
            if (nColon == std::string::npos || !ToDouble(strToken.substr(0, nColon), dBpm) || dBpm < 20 ||
                dBpm > 400 || !ParseDuration(strToken.substr(nColon + 1), nDur)) {
                strError = "bad tempo \"" + strToken + "\"";
                return false;
            }
            m_vTempos.push_back(TTempo{nStart + nPos, static_cast<int>(std::lround(60e6 / dBpm))});
            nPos += nDur;
            continue;
        }
        if (pVoice->nDrumNote >= 0) {
            const int nStepTicks = WHOLE / pVoice->nStep;
            for (char c : strToken) {
                const double dVel = c == 'X' ? nVelocity + 24 : c == 'o' ? nVelocity * 0.55 : nVelocity;
                if (c == 'x' || c == 'X' || c == 'o')
                    m_vNotes[Part.nVoice].push_back(TNote{nStart + nPos, nStepTicks / 2, pVoice->nDrumNote, ClampVelocity(dVel)});
                else if (c != '.') {
                    strError = "drum steps are x X o or ., not \"" + strToken + "\"";
                    return false;
                }
                nPos += nStepTicks;
            }
            continue;
        }
        // Pitched: head[:duration][marks]
        size_t nHeadEnd = strToken[0] == '[' ? strToken.find(']') + 1 : strToken.find_first_of(":!?'_");
        if (nHeadEnd == std::string::npos)
            nHeadEnd = strToken.size();
        std::string strHead = strToken.substr(0, nHeadEnd), strRest = strToken.substr(nHeadEnd);
        const size_t nMarks = strRest.find_first_of("!?'_");
        const std::string strMarks = nMarks == std::string::npos ? "" : strRest.substr(nMarks);
        const std::string strDur = strRest.substr(0, nMarks);
        if (!strDur.empty() && (strDur[0] != ':' || !ParseDuration(strDur.substr(1), nDur))) {
            strError = "bad duration in \"" + strToken + "\"";
            return false;
        }
        std::vector<int> vPitches;
        if (strHead != "r") {
            const bool bChord = strHead[0] == '[';
            for (const std::string& strPitch : Words(bChord ? strHead.substr(1, strHead.size() - 2) : strHead)) {
                int nPitch = 0;
                if (!ParsePitch(strPitch, nPitch)) {
                    strError = "bad note \"" + strPitch + "\" in \"" + strToken + "\"";
                    return false;
                }
                vPitches.push_back(nPitch);
            }
        }
        double dGate = pVoice->dGate, dVel = nVelocity;
        for (char c : strMarks) {
            if (c == '!')
                dVel += 18;
            else if (c == '?')
                dVel *= 0.6;
            else if (c == '\'')
                dGate = 0.45;
            else if (c == '_')
                dGate = 1.0;
            else {
                strError = "bad mark in \"" + strToken + "\"";
                return false;
            }
        }
        for (int nPitch : vPitches)
            m_vNotes[Part.nVoice].push_back(
                TNote{nStart + nPos, std::max(1, static_cast<int>(nDur * dGate)), nPitch, ClampVelocity(dVel)});
        nPos += nDur;
    }
    const int nWant = Pattern.nBars * m_nBarTicks;
    if (nPos != nWant) {
        strError = std::string(pVoice ? "part \"" + pVoice->strName + "\"" : "tempo part") + " of pattern " +
                   Pattern.strName + " ends at " + Position(nPos, m_nBarTicks) + ", the pattern at " +
                   Position(nWant, m_nBarTicks);
        return false;
    }
    return true;
}

double TScore::SecondsAt(long nTick) const
{
    double dSeconds = 0.0;
    for (size_t i = 0; i < m_vTempos.size(); ++i) {
        const long nFrom = m_vTempos[i].nTick;
        const long nTo = i + 1 < m_vTempos.size() ? std::min<long>(nTick, m_vTempos[i + 1].nTick) : nTick;
        if (nTo > nFrom)
            dSeconds += double(nTo - nFrom) * m_vTempos[i].nMicrosPerQuarter / (1e6 * PPQ);
    }
    return dSeconds;
}
