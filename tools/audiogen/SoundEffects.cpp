#include "SoundEffects.h"

#include "Dsp.h"
#include "Mastering.h"
#include "base/MathConstants.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double TWO_PI = 2.0 * PI;

// A value that glides exponentially from dFrom towards dTo with time constant dTau.
double Glide(double dFrom, double dTo, double dTau, double t) { return dTo + (dFrom - dTo) * std::exp(-t / dTau); }

// Rises over dAttack seconds along a half cosine (no click), then decays with time constant dTau.
double AttackDecay(double t, double dAttack, double dTau)
{
    if (t < dAttack)
        return 0.5 - 0.5 * std::cos(PI * t / dAttack);
    return std::exp(-(t - dAttack) / dTau);
}

// Half-cosine fade to exact silence over the last dFade seconds.
double FadeOut(double t, double dLength, double dFade)
{
    const double dLeft = dLength - t;
    return dLeft >= dFade ? 1.0 : 0.5 - 0.5 * std::cos(PI * std::max(0.0, dLeft) / dFade);
}

double Drive(double d, double dAmount) { return std::tanh(d * dAmount) / std::tanh(dAmount); }

TWave NewWave(int nRate, double dSeconds)
{
    TWave Wave;
    Wave.nRate = nRate;
    Wave.nChannels = 1;
    Wave.vSamples.assign(static_cast<size_t>(std::lround(dSeconds * nRate)), 0.0f);
    return Wave;
}

// A sine whose frequency falls from dFrom to dTo: the low "boom" of a blast, saturated so that
// its harmonics carry it on small speakers.
class TBoom
{
public:
    TBoom(double dFrom, double dTo, double dGlide, double dTau, double dDrive)
        : m_dFrom(dFrom), m_dTo(dTo), m_dGlide(dGlide), m_dTau(dTau), m_dDrive(dDrive) {}
    double Next(double t, double dRate)
    {
        m_dPhase += TWO_PI * Glide(m_dFrom, m_dTo, m_dGlide, t) / dRate;
        return Drive(std::sin(m_dPhase), m_dDrive) * AttackDecay(t, 0.004, m_dTau);
    }

private:
    double m_dFrom, m_dTo, m_dGlide, m_dTau, m_dDrive, m_dPhase = 0.0;
};

// Noise through a low-pass whose cut-off falls as the blast cools. Closing the filter would
// also starve it of power; part of that is given back so the rumble carries to the end.
class TBlast
{
public:
    TBlast(uint32_t nSeed, double dFrom, double dTo, double dGlide, double dTau)
        : m_Noise(nSeed), m_dFrom(dFrom), m_dTo(dTo), m_dGlide(dGlide), m_dTau(dTau) {}
    double Next(double t, double dRate)
    {
        const double dCut = Glide(m_dFrom, m_dTo, m_dGlide, t);
        m_Low1.SetLowPass(dCut, 0.7, dRate);
        m_Low2.SetLowPass(dCut * 1.3, 0.6, dRate);
        const double dMakeUp = std::pow(m_dFrom / dCut, 0.4);
        return m_Low2.Process(m_Low1.Process(m_Noise.White())) * dMakeUp * AttackDecay(t, 0.003, m_dTau);
    }

private:
    TNoise m_Noise;
    TBiquad m_Low1, m_Low2;
    double m_dFrom, m_dTo, m_dGlide, m_dTau;
};

// The first few milliseconds: a burst of noise that gives the attack its edge.
class TCrack
{
public:
    TCrack(uint32_t nSeed, double dHighPass, double dTau, double dRate) : m_Noise(nSeed), m_dTau(dTau)
    {
        m_High.SetHighPass(dHighPass, 0.7, dRate);
    }
    double Next(double t)
    {
        // 0.5 ms rise so the effect starts from silence.
        return m_High.Process(m_Noise.White()) * std::min(1.0, t / 0.0005) * std::exp(-t / m_dTau);
    }

private:
    TNoise m_Noise;
    TBiquad m_High;
    double m_dTau;
};

// Flying debris: random clicks, each ringing briefly in one of two resonances. The output is
// scaled by Q so that a click has about the same height whatever the resonance.
class TDebris
{
public:
    TDebris(uint32_t nSeed, double dRate0, double dRateTau, double dFreqA, double dFreqB, double dQ, double dRate)
        : m_Noise(nSeed), m_dRate0(dRate0), m_dRateTau(dRateTau), m_dScale(2.0 * dQ)
    {
        m_A.SetBandPass(dFreqA, dQ, dRate);
        m_B.SetBandPass(dFreqB, dQ, dRate);
    }
    double Next(double t, double dRate)
    {
        double dA = 0.0, dB = 0.0;
        if (m_Noise.Unit() < m_dRate0 * std::exp(-t / m_dRateTau) / dRate) {
            const double dHit = (0.3 + 0.7 * m_Noise.Unit()) * (m_Noise.Unit() < 0.5 ? -1.0 : 1.0);
            (m_Noise.Unit() < 0.5 ? dA : dB) = dHit;
        }
        return (m_A.Process(dA) + m_B.Process(dB)) * m_dScale;
    }

private:
    TNoise m_Noise;
    TBiquad m_A, m_B;
    double m_dRate0, m_dRateTau, m_dScale;
};

// Slowly wandering gain around 1: the roll of a burning cloud rather than a flat hiss.
class TWobble
{
public:
    TWobble(uint32_t nSeed, double dSpeed, double dDepth, double dRate) : m_Noise(nSeed), m_dDepth(dDepth)
    {
        m_Low.SetLowPass(dSpeed, 0.7, dRate);
    }
    double Next() { return 1.0 + m_dDepth * std::clamp(m_Low.Process(m_Noise.White()) * 6.0, -1.0, 1.0); }

private:
    TNoise m_Noise;
    TBiquad m_Low;
    double m_dDepth;
};

// A small Schroeder room: four damped combs into two all-passes, mono.
class TRoom
{
public:
    TRoom(double dRate, double dFeedback) : m_dFeedback(dFeedback)
    {
        const double s = dRate / 44100.0;
        for (int n : {1116, 1188, 1277, 1356})
            m_vCombs.push_back(TDelay{std::vector<double>(size_t(n * s), 0.0), 0, 0.0});
        for (int n : {556, 441})
            m_vAllPasses.push_back(TDelay{std::vector<double>(size_t(n * s), 0.0), 0, 0.0});
    }
    double Next(double dIn)
    {
        double dOut = 0.0;
        for (TDelay& c : m_vCombs) {
            const double dDelayed = c.vLine[c.nPos];
            c.dState = dDelayed * 0.7 + c.dState * 0.3;  // damping: highs die first
            c.vLine[c.nPos] = dIn + c.dState * m_dFeedback;
            c.nPos = (c.nPos + 1) % c.vLine.size();
            dOut += dDelayed;
        }
        dOut *= 0.25;
        for (TDelay& a : m_vAllPasses) {
            const double dDelayed = a.vLine[a.nPos];
            a.vLine[a.nPos] = dOut + dDelayed * 0.5;
            a.nPos = (a.nPos + 1) % a.vLine.size();
            dOut = dDelayed - dOut * 0.5;
        }
        return dOut;
    }

private:
    struct TDelay
    {
        std::vector<double> vLine;
        size_t nPos;
        double dState;
    };
    std::vector<TDelay> m_vCombs, m_vAllPasses;
    double m_dFeedback;
};

// The missile: a short falling "pew" for fire held down, when a new shot cuts the last one every
// few ticks. Everything that matters is in the first 40 ms: a soft click of mid noise, a sweep
// from 1.3 kHz down to 260 Hz and a body an octave and a fifth below it. Two slightly detuned
// sweeps and a noise grain of their own keep the repeats from sounding machine-made, and a
// low-pass with a shelf keeps the 2-4 kHz crack that tires the ear out of it.
TWave Shot(int nRate, double dSeconds)
{
    TWave Wave = NewWave(nRate, dSeconds);
    TNoise Noise(0x5107);
    TBiquad Click, Smooth1, Smooth2, Shelf, DcBlock;
    Click.SetBandPass(1100.0, 0.8, nRate);
    Smooth1.SetLowPass(2200.0, 0.6, nRate);
    Smooth2.SetLowPass(3000.0, 0.7, nRate);
    Shelf.SetHighShelf(1800.0, 0.7, -6.0, nRate);
    DcBlock.SetHighPass(90.0, 0.7, nRate);
    double dSweep = 0.0, dDetuned = 0.0, dBody = 0.0;
    for (size_t i = 0; i < Wave.Frames(); ++i) {
        const double t = double(i) / nRate;
        const double dFreq = Glide(1300.0, 260.0, 0.022, t);
        dSweep += TWO_PI * dFreq / nRate;
        dDetuned += TWO_PI * dFreq * 1.021 / nRate;
        dBody += TWO_PI * dFreq * 0.333 / nRate;
        // A touch of FM gives the sweep a reedy edge without upper harmonics.
        const double dTone = std::sin(dSweep + 0.8 * std::sin(dSweep * 0.5)) + 0.5 * std::sin(dDetuned);
        const double dEnv = AttackDecay(t, 0.0015, 0.024) * FadeOut(t, dSeconds, 0.03);
        const double dThump = std::sin(dBody) * AttackDecay(t, 0.002, 0.018);
        const double dClick = Click.Process(Noise.White()) * AttackDecay(t, 0.0005, 0.006);
        double d = 0.5 * dTone * dEnv + 0.55 * dThump + 0.9 * dClick;
        d = Shelf.Process(Smooth2.Process(Smooth1.Process(d)));
        Wave.vSamples[i] = static_cast<float>(DcBlock.Process(Drive(d, 1.4)) * FadeOut(t, dSeconds, 0.01));
    }
    return Wave;
}

// The body of a blast: noise through a band that sinks as the cloud spreads, in the 150-600 Hz
// range where small speakers still carry weight that a sub-bass boom would lose.
class TBody
{
public:
    TBody(uint32_t nSeed, double dFrom, double dTo, double dGlide, double dQ, double dAttack, double dTau)
        : m_Noise(nSeed), m_dFrom(dFrom), m_dTo(dTo), m_dGlide(dGlide), m_dQ(dQ), m_dAttack(dAttack), m_dTau(dTau) {}
    double Next(double t, double dRate)
    {
        const double dCentre = Glide(m_dFrom, m_dTo, m_dGlide, t);
        m_Band1.SetBandPass(dCentre, m_dQ, dRate);
        m_Band2.SetBandPass(dCentre * 1.6, m_dQ, dRate);
        const double dWhite = m_Noise.White();
        return (m_Band1.Process(dWhite) + 0.6 * m_Band2.Process(dWhite)) * AttackDecay(t, m_dAttack, m_dTau);
    }

private:
    TNoise m_Noise;
    TBiquad m_Band1, m_Band2;
    double m_dFrom, m_dTo, m_dGlide, m_dQ, m_dAttack, m_dTau;
};

// The ship: a sharp crack, a falling boom, a fireball that rolls and cools, a second blast a
// quarter second later, debris, the dying whine of the reactor, all in a small room. The boom
// sits high enough, and the fireball's body is strong enough, to be felt on small speakers.
TWave ShipExplosion(int nRate, double dSeconds)
{
    TWave Wave = NewWave(nRate, dSeconds);
    TCrack Crack(0x5A1, 700.0, 0.014, nRate);
    TBoom Boom(150.0, 68.0, 0.18, 0.45, 3.0), Boom2(120.0, 64.0, 0.2, 0.3, 2.5);
    TBlast Fire(0x5A2, 5500.0, 160.0, 0.45, 0.7), Fire2(0x5A3, 3000.0, 200.0, 0.35, 0.5);
    TBody Body(0x5A6, 520.0, 190.0, 0.5, 1.1, 0.006, 0.75), Body2(0x5A7, 430.0, 170.0, 0.4, 1.1, 0.01, 0.5);
    TDebris Debris(0x5A4, 140.0, 0.55, 1900.0, 3300.0, 5.0, nRate);
    TWobble Roll(0x5A5, 7.0, 0.35, nRate);
    TRoom Room(nRate, 0.8);
    TBiquad DcBlock, Rumble1, Rumble2;
    DcBlock.SetHighPass(28.0, 0.7, nRate);
    // The game music's bass and kick live below 100 Hz: the blasts leave that to them.
    Rumble1.SetHighPass(105.0, 0.5412, nRate);
    Rumble2.SetHighPass(105.0, 1.3066, nRate);
    double dWhine = 0.0;
    const double dSecond = 0.27;
    for (size_t i = 0; i < Wave.Frames(); ++i) {
        const double t = double(i) / nRate;
        const double t2 = t - dSecond;
        const double dRoll = Roll.Next();
        double d = 0.9 * Crack.Next(t) + 0.7 * Boom.Next(t, nRate) + 0.8 * Fire.Next(t, nRate) * dRoll +
                   2.4 * Body.Next(t, nRate) * dRoll;
        if (t2 >= 0.0)
            d += 0.55 * Boom2.Next(t2, nRate) + 0.6 * Fire2.Next(t2, nRate) + 1.8 * Body2.Next(t2, nRate);
        d += 0.35 * Debris.Next(t, nRate) * std::min(1.0, t / 0.03);
        dWhine += TWO_PI * Glide(1250.0, 70.0, 0.45, t) / nRate;
        d += 0.15 * std::sin(dWhine + 1.5 * std::sin(dWhine * 0.51)) * AttackDecay(t, 0.02, 0.55);
        d += 0.35 * Room.Next(d);
        d = Rumble2.Process(Rumble1.Process(d));
        Wave.vSamples[i] = static_cast<float>(DcBlock.Process(Drive(d, 1.3)) * FadeOut(t, dSeconds, 0.35));
    }
    return Wave;
}

// Rocks: a crunch, a falling boom, a body of rubble in the low mids, a cloud that darkens as it
// spreads, and grit. The size sets the weight: pitch, brightness, length, body and grit.
struct TRockSpec
{
    uint32_t nSeed;
    double dCrack, dCrackHighPass, dCrackTau;                      // the first milliseconds
    double dBoom, dBoomFrom, dBoomTo, dBoomGlide, dBoomTau;        // Hz, seconds
    double dBody, dBodyFrom, dBodyTo, dBodyTau;                    // band centre Hz, seconds
    double dFire, dFireFrom, dFireTo, dFireGlide, dFireTau;        // low-pass Hz, seconds
    double dGrit, dGritRate, dGritTau, dGritA, dGritB, dGritQ;     // clicks a second, Hz
};

TWave Rock(const TRockSpec& s, int nRate, double dSeconds)
{
    TWave Wave = NewWave(nRate, dSeconds);
    TCrack Crack(s.nSeed, s.dCrackHighPass, s.dCrackTau, nRate);
    TBoom Boom(s.dBoomFrom, s.dBoomTo, s.dBoomGlide, s.dBoomTau, 2.5);
    TBody Body(s.nSeed + 4, s.dBodyFrom, s.dBodyTo, 0.3, 1.0, 0.004, s.dBodyTau);
    TBlast Fire(s.nSeed + 1, s.dFireFrom, s.dFireTo, s.dFireGlide, s.dFireTau);
    TDebris Grit(s.nSeed + 2, s.dGritRate, s.dGritTau, s.dGritA, s.dGritB, s.dGritQ, nRate);
    TWobble Roll(s.nSeed + 3, 12.0, 0.3, nRate);
    TBiquad DcBlock, Rumble1, Rumble2;
    DcBlock.SetHighPass(30.0, 0.7, nRate);
    Rumble1.SetHighPass(105.0, 0.5412, nRate);  // below 100 Hz is the music's
    Rumble2.SetHighPass(105.0, 1.3066, nRate);
    for (size_t i = 0; i < Wave.Frames(); ++i) {
        const double t = double(i) / nRate;
        const double dRoll = Roll.Next();
        double d = s.dCrack * Crack.Next(t) + s.dBoom * Boom.Next(t, nRate) + s.dBody * Body.Next(t, nRate) * dRoll +
                   s.dFire * Fire.Next(t, nRate) * dRoll + s.dGrit * Grit.Next(t, nRate);
        d = Rumble2.Process(Rumble1.Process(d));
        Wave.vSamples[i] = static_cast<float>(DcBlock.Process(Drive(d, 1.5)) * FadeOut(t, dSeconds, 0.12));
    }
    return Wave;
}

TWave RockLarge(int nRate, double dSeconds)
{
    return Rock({0x1A0,
                 0.35, 300.0, 0.010,
                 0.6, 140.0, 72.0, 0.12, 0.3,
                 2.6, 420.0, 170.0, 0.4,
                 1.6, 1700.0, 130.0, 0.28, 0.36,
                 0.5, 70.0, 0.35, 650.0, 1300.0, 2.5},
                nRate, dSeconds);
}

TWave RockMedium(int nRate, double dSeconds)
{
    return Rock({0x2B0,
                 0.4, 500.0, 0.006,
                 0.45, 180.0, 95.0, 0.08, 0.15,
                 1.8, 560.0, 240.0, 0.22,
                 1.6, 3200.0, 240.0, 0.15, 0.2,
                 0.55, 110.0, 0.22, 1150.0, 2300.0, 2.5},
                nRate, dSeconds);
}

// Small rocks crackle: little weight, a short fizz and a dense spray of high clicks.
TWave RockSmall(int nRate, double dSeconds)
{
    return Rock({0x3C0,
                 0.45, 1500.0, 0.004,
                 0.3, 240.0, 120.0, 0.05, 0.05,
                 0.8, 800.0, 420.0, 0.08,
                 0.9, 7000.0, 900.0, 0.06, 0.08,
                 1.6, 900.0, 0.1, 2600.0, 4800.0, 1.8},
                nRate, dSeconds);
}

// Level in dB along the engine sound: held thrust restarts it every 150 ms or more (later with
// the tick and the audio buffer), each start cutting the one before. It holds full level, eases
// down to about -5 dB by the time of the cut and only then fades out, so held thrust is a
// steady roar with a mild pulse (the noise's own scatter keeps the cut within 10 dB of the
// loudest moment) and a single burst still dies away.
double EngineLevelDb(double t, double dLength)
{
    if (t < 0.09)
        return 0.0;
    if (t < 0.15)
        return -4.4 * (t - 0.09) / 0.06;
    if (t < 0.21)
        return -4.4 - 1.2 * (t - 0.15) / 0.06;
    return -5.6 - 34.2 * (t - 0.21) / (dLength - 0.21);
}

// The thrust: a roar of noise in the 150-800 Hz band where laptop speakers still play, with a
// rough low-mid growl (a buzz at 92 Hz heard through its harmonics) and a breath of hiss.
TWave Engine(int nRate, double dSeconds)
{
    TWave Wave = NewWave(nRate, dSeconds);
    TNoise Noise(0xE16);
    TBiquad RoarLow, RoarHigh, Hiss, GrowlHigh, GrowlLow, DcBlock;
    RoarLow.SetBandPass(260.0, 0.9, nRate);
    RoarHigh.SetBandPass(560.0, 1.0, nRate);
    Hiss.SetBandPass(1500.0, 0.8, nRate);
    GrowlHigh.SetHighPass(150.0, 0.7, nRate);
    GrowlLow.SetLowPass(900.0, 0.7, nRate);
    DcBlock.SetHighPass(60.0, 0.7, nRate);
    TWobble Flutter(0xE17, 25.0, 0.15, nRate);
    double dPhase = 0.0;
    for (size_t i = 0; i < Wave.Frames(); ++i) {
        const double t = double(i) / nRate;
        const double dWhite = Noise.White();
        // The buzz wanders a little in pitch with the flutter, like a flame that is not steady.
        const double dFlutter = Flutter.Next();
        dPhase += TWO_PI * 92.0 * dFlutter / nRate;
        const double dBuzz = std::sin(dPhase) + 0.5 * std::sin(2.0 * dPhase + 0.3) + 0.33 * std::sin(3.0 * dPhase);
        const double dGrowl = GrowlLow.Process(GrowlHigh.Process(Drive(dBuzz, 2.5) * (0.8 + 0.4 * dWhite)));
        const double dRoar = 1.4 * RoarLow.Process(dWhite) + 1.0 * RoarHigh.Process(dWhite) + 0.18 * Hiss.Process(dWhite);
        const double dEnv = std::min(1.0, AttackDecay(t, 0.012, 1e9)) * DbToGain(EngineLevelDb(t, dSeconds)) *
                            FadeOut(t, dSeconds, 0.03);
        const double d = (dRoar * dFlutter + 0.22 * dGrowl) * dEnv;
        Wave.vSamples[i] = static_cast<float>(DcBlock.Process(Drive(d, 1.3)));
    }
    return Wave;
}

}  // namespace

const std::vector<TEffectSpec>& TSoundEffects::Specs()
{
    // Levels as heard (a mono effect counts on both speakers), against the game music's
    // -26.3 LUFS at its in-game volume: every explosion 6 to 10 LU above it, the ship's 3 LU over
    // the large rock's, and the rocks in order of size. The shot and the engine repeat many
    // times a second and sit lower so that bursts do not tire the ear or bury the music.
    static const std::vector<TEffectSpec> vSpecs{
        {"sfx/shot.wav", 44100, 0.09, -21.0, Shot},
        {"sfx/ship_explosion.wav", 22050, 2.3, -16.55, ShipExplosion},
        {"sfx/rock_large.wav", 22050, 1.15, -19.6, RockLarge},
        {"sfx/rock_medium.wav", 22050, 0.75, -19.9, RockMedium},
        {"sfx/rock_small.wav", 22050, 0.45, -20.2, RockSmall},
        {"sfx/engine.wav", 22050, 0.3, -20.0, Engine},
    };
    return vSpecs;
}

TWave TSoundEffects::Make(const TEffectSpec& Effect)
{
    TWave Wave = Effect.pBuild(Effect.nRate, Effect.dSeconds);
    TMastering::Level(Wave, Effect.dLoudness, CEILING_DB, false, false);
    return Wave;
}
