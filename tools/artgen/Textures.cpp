#include "tools/artgen/Textures.h"

#include "base/MathConstants.h"
#include "tools/artgen/ArtImage.h"
#include "tools/artgen/ArtNoise.h"
#include "tools/artgen/ShipLayout.h"
#include "tools/artgen/Starfields.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// Light over a layer of the given coverage, as a straight-alpha pixel: blended over a dark
// ground it gives the light (plus the ground where nothing covers it). Light beyond the
// layer's coverage becomes coverage of its own colour; light brighter than 1 saturates
// towards white.
void PutLight(TArtImage& Image, int x, int y, TRgb Light, float fCover = 0.0f)
{
    const float fPeak = std::max(Light.r, std::max(Light.g, Light.b));
    const float fAlpha = Clamp01(std::max(fCover, fPeak));
    if (fAlpha <= 0.0f) {
        Image.Set(x, y, {}, 0.0f);
        return;
    }
    TRgb Colour = Light * (1.0f / fAlpha);
    const float fOver = std::max(Colour.r, std::max(Colour.g, Colour.b));
    if (fOver > 1.0f)
        Colour = MixRgb(Colour * (1.0f / fOver), {1.0f, 1.0f, 1.0f}, Clamp01((fOver - 1.0f) * 0.5f));
    Image.Set(x, y, Colour, fAlpha);
}

float Gauss(float d, float fRadius)
{
    return std::exp(-(d * d) / (fRadius * fRadius));
}

// ---- background ---------------------------------------------------------------------------

// A faint spiral galaxy far behind everything: an elliptical glow with a brighter core.
void AddGalaxy(TArtImage& Image, float cx, float cy, float fSize, float fTilt, float fBrightness)
{
    const TArtNoise Noise(77);
    const float c = std::cos(fTilt), s = std::sin(fTilt);
    const int nReach = static_cast<int>(fSize * 3.0f);
    for (int y = static_cast<int>(cy) - nReach; y <= static_cast<int>(cy) + nReach; ++y) {
        for (int x = static_cast<int>(cx) - nReach; x <= static_cast<int>(cx) + nReach; ++x) {
            if (x < 0 || y < 0 || x >= Image.Width() || y >= Image.Height())
                continue;
            const float dx = static_cast<float>(x) - cx, dy = static_cast<float>(y) - cy;
            const float a = (dx * c + dy * s) / fSize, b = (-dx * s + dy * c) / (fSize * 0.38f);
            const float r = std::sqrt(a * a + b * b);
            const float fAngle = std::atan2(b, a);
            // Two arms winding out from the core.
            const float fArms = 0.5f + 0.5f * std::cos(2.0f * fAngle - 5.0f * r);
            const float fMottle = 0.75f + 0.25f * Noise.Fractal(a * 3.0f, b * 3.0f, 1 << 20, 1 << 20, 3);
            const float fDisc = std::exp(-r * 2.2f) * (0.35f + 0.65f * fArms) * fMottle;
            const float fCore = std::exp(-r * r * 30.0f);
            const TRgb Light = TRgb{0.75f, 0.78f, 1.0f} * (fDisc * fBrightness) +
                               TRgb{1.0f, 0.9f, 0.75f} * (fCore * fBrightness * 1.6f);
            Image.Set(x, y, Image.GetColour(x, y) + Light, 1.0f);
        }
    }
}

// ---- rock ---------------------------------------------------------------------------------

struct TCrater
{
    float x, y, r;
};

// Signed height of a crater at distance d (in radii): a bowl, a rim that is steep inside and
// slopes away outside, faint ejecta beyond.
float CraterProfile(float d)
{
    const float fRim = d < 1.0f ? 0.32f * Gauss(d - 1.0f, 0.14f) : 0.32f * Gauss(d - 1.0f, 0.38f);
    const float fBowl = d < 1.0f ? (d * d - 1.0f) : 0.0f;
    return fBowl + fRim + 0.04f * Gauss(d - 1.0f, 1.0f);
}

// Shortest offset on a ring of the given size, so that features wrap round the tile.
float WrapOffset(float d, float fSize)
{
    if (d > fSize * 0.5f)
        return d - fSize;
    if (d < -fSize * 0.5f)
        return d + fSize;
    return d;
}

// ---- explosion ----------------------------------------------------------------------------

struct TSpark
{
    float fAngle, fSpeed, fLength, fHeat;
};

std::vector<TSpark> MakeSparks()
{
    TArtRandom Random(0x5EA4);
    std::vector<TSpark> vSparks(16);
    for (TSpark& Spark : vSparks) {
        Spark.fAngle = Random.Range(0.0f, 2.0f * PI_F);
        Spark.fSpeed = Random.Range(0.45f, 1.0f);
        Spark.fLength = Random.Range(0.03f, 0.08f);
        Spark.fHeat = Random.Range(0.6f, 1.0f);
    }
    return vSparks;
}

// Distance from point p to the segment a-b, all in the same units.
float SegmentDistance(float px, float py, float ax, float ay, float bx, float by)
{
    const float vx = bx - ax, vy = by - ay;
    const float fLen2 = vx * vx + vy * vy;
    const float t = fLen2 > 0.0f ? Clamp01(((px - ax) * vx + (py - ay) * vy) / fLen2) : 0.0f;
    return std::hypot(px - (ax + t * vx), py - (ay + t * vy));
}

const std::vector<TRampStop>& FireRamp()
{
    static const std::vector<TRampStop> s_vRamp = {
        {0.00f, Rgb255(60, 12, 6)},   {0.20f, Rgb255(150, 28, 8)},  {0.40f, Rgb255(225, 80, 16)},
        {0.60f, Rgb255(255, 150, 40)}, {0.80f, Rgb255(255, 215, 110)}, {1.00f, Rgb255(255, 250, 225)},
    };
    return s_vRamp;
}

// One frame of the explosion. Positions are in half-sizes of the quad, 0 at its centre.
class TFireball
{
public:
    TFireball(int nFrame, int nFrames)
        // t runs from the first visible frame (0) to the last (1).
        : m_fTime(static_cast<float>(nFrame - 1) / static_cast<float>(std::max(1, nFrames - 2)))
    {
        const float t = m_fTime;
        // The ball swells fast, then slowly; its lumps reach about 1.4 times its radius.
        m_fRadius = 0.2f + 0.41f * (1.0f - std::pow(1.0f - std::min(1.0f, t * 1.7f), 2.5f)) + 0.03f * t;
        m_fHeat = std::max(0.0f, 1.3f - 1.75f * t);  // cools as it grows
        m_fFlash = Gauss(t, 0.08f);                  // white flash at ignition
        m_fDissolve = SmoothStep(0.35f, 1.0f, t);    // smoke breaking up late on
        m_fShock = 1.0f - SmoothStep(0.0f, 0.3f, t);
    }

    // The ball itself: premultiplied light and coverage.
    void Ball(float px, float py, TRgb& Light, float& fCover) const
    {
        const float t = m_fTime;
        // Features are sampled in the ball's own scale, so they swell with it, and drift a
        // little over time, so they also churn.
        const float qx = px / m_fRadius, qy = py / m_fRadius, q = std::hypot(qx, qy);
        const float fLumps = Lumps(qx, qy);
        // Lumps lit from the upper left look round: compare with a sample towards the light.
        const float fRelief = Clamp01(0.75f + 2.2f * (fLumps - Lumps(qx - 0.06f, qy - 0.06f)));
        const float fAngle = std::atan2(py, px);
        const float fLobes = 0.3f * m_Noise.Fractal((fAngle + PI_F) / (2.0f * PI_F) * 5.0f, t * 1.5f, 5, 1 << 20, 3);
        float fDensity = SmoothStep(-0.05f, 0.25f, 1.0f + fLobes + 0.6f * (fLumps - 0.35f) - q);
        // Late frames: holes open in the smoke and spread; thin wisps are left at the end.
        const float fHoles = m_Noise.Fractal(qx * 2.6f - 3.0f, qy * 2.6f + 5.0f, 1 << 20, 1 << 20, 4);
        const float fThreshold = -0.9f + 1.3f * m_fDissolve;
        fDensity *= SmoothStep(fThreshold, fThreshold + 0.35f, fHoles + 0.15f);

        // Hot in the lumps and the middle, cooler and smoky at the rim.
        const float fTemp = m_fHeat * (1.3f - 0.95f * q + 1.1f * (fLumps - 0.35f)) + 0.7f * m_fFlash;
        const float fFire = SmoothStep(0.12f, 0.42f, fTemp);
        const TRgb Fire = Ramp(FireRamp(), fTemp) * (0.8f + 0.35f * fRelief);
        const TRgb Smoke = MixRgb(Rgb255(52, 44, 40), Rgb255(118, 104, 94), fRelief) * (1.0f - 0.35f * t);
        fCover = fDensity * Mix(0.9f * (1.0f - 0.45f * m_fDissolve), 1.0f, fFire);
        Light = MixRgb(Smoke, Fire, fFire) * fCover;
    }

    // Light around the ball: its glow, the shock front and the sparks.
    TRgb Around(float px, float py) const
    {
        const float t = m_fTime, r = std::hypot(px, py);
        TRgb Light = TRgb{1.0f, 0.52f, 0.16f} * (Gauss(r, m_fRadius * 1.25f) * (0.3f * m_fHeat * m_fHeat + 0.9f * m_fFlash));
        if (m_fShock > 0.0f)
            Light = Light + TRgb{1.0f, 0.8f, 0.55f} * (Gauss(r - (0.35f + 1.3f * t), 0.05f + 0.05f * t) * m_fShock * 0.3f);
        static const std::vector<TSpark> s_vSparks = MakeSparks();
        for (const TSpark& Spark : s_vSparks) {
            const float fLife = 1.0f - t / (0.45f * Spark.fHeat);
            if (fLife <= 0.0f)
                continue;
            const float fHead = 0.2f + Spark.fSpeed * 1.05f * std::sqrt(t + 0.03f);
            const float fTail = std::max(0.0f, fHead - Spark.fLength * (1.0f + 1.5f * (1.0f - t)));
            const float c = std::cos(Spark.fAngle), s = std::sin(Spark.fAngle);
            const float d = SegmentDistance(px, py, fTail * c, fTail * s, fHead * c, fHead * s);
            Light = Light + TRgb{1.0f, 0.85f, 0.5f} * (Gauss(d, 0.016f) * fLife * Spark.fHeat * 1.4f);
        }
        return Light;
    }

private:
    float Lumps(float qx, float qy) const
    {
        return m_Noise.Billows(qx * 1.7f + 11.0f + 0.35f * m_fTime, qy * 1.7f + 3.0f - 0.5f * m_fTime, 1 << 20, 1 << 20, 4);
    }

    const TArtNoise m_Noise{2024};
    float m_fTime;
    float m_fRadius, m_fHeat, m_fFlash, m_fDissolve, m_fShock;
};
}  // namespace

QImage MakeBackgroundTexture()
{
    constexpr int SIZE = 1024;
    TArtImage Image(SIZE, SIZE);
    // Near-black blue, a touch lighter where the camera looks.
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const float u = (static_cast<float>(x) + 0.5f) / SIZE, v = (static_cast<float>(y) + 0.5f) / SIZE;
            const float d = std::hypot(u - 0.5f, v - 0.5f);
            Image.Set(x, y, MixRgb(Rgb255(9, 10, 22), Rgb255(3, 3, 9), SmoothStep(0.1f, 0.7f, d)));
        }
    }
    // The clouds follow a broad band across the middle of the view, tilted a little.
    auto Band = [](float u, float v) {
        const float fDist = std::fabs((u - 0.5f) * 0.42f - (v - 0.52f) * 0.91f);
        const float fAlong = std::hypot(u - 0.5f, v - 0.5f);
        return std::exp(-(fDist * fDist) / (0.17f * 0.17f)) * (1.0f - SmoothStep(0.3f, 0.62f, fAlong));
    };
    PaintNebula(Image, {1201, 3.2f, 0.16f, Rgb255(80, 32, 110), Rgb255(24, 70, 120), Rgb255(150, 80, 140), Band});
    AddGalaxy(Image, 0.73f * SIZE, 0.33f * SIZE, 16.0f, 0.5f, 0.09f);
    AddGalaxy(Image, 0.25f * SIZE, 0.69f * SIZE, 8.0f, -0.9f, 0.07f);
    PaintStars(Image, {0xB16B00B5ull, 2600, 0.8f, 1.0f, [&](float u, float v) { return 0.45f + 0.55f * Band(u, v); }});
    return Image.ToQImage(false);
}

QImage MakeRockTexture()
{
    constexpr int SIZE = 256;
    const TArtNoise Noise(4242);
    TArtRandom Random(31337);

    // A few large craters, more medium ones, many small pits.
    std::vector<TCrater> vCraters;
    const struct
    {
        int nCount;
        float fMin, fMax;
    } vSizes[] = {{6, 10.0f, 18.0f}, {14, 5.0f, 9.0f}, {50, 2.0f, 4.0f}};
    for (const auto& Size : vSizes)
        for (int i = 0; i < Size.nCount; ++i)
            vCraters.push_back({Random.Unit() * SIZE, Random.Unit() * SIZE, Random.Range(Size.fMin, Size.fMax)});

    std::vector<float> vHeight(SIZE * SIZE), vCraterMask(SIZE * SIZE, 0.0f);
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const float u = static_cast<float>(x) / SIZE, v = static_cast<float>(y) / SIZE;
            float h = 8.0f * Noise.Fractal(u * 4.0f, v * 4.0f, 4, 4, 6, 0.55f);
            h += 2.5f * Noise.Ridged(u * 8.0f, v * 8.0f, 8, 8, 3);
            float fMask = 0.0f;
            for (const TCrater& Crater : vCraters) {
                const float dx = WrapOffset(static_cast<float>(x) - Crater.x, SIZE);
                const float dy = WrapOffset(static_cast<float>(y) - Crater.y, SIZE);
                const float d = std::hypot(dx, dy) / Crater.r;
                if (d < 2.5f) {
                    h += CraterProfile(d) * Crater.r * 0.4f;
                    fMask = std::max(fMask, 1.0f - SmoothStep(0.7f, 1.0f, d));
                }
            }
            vHeight[y * SIZE + x] = h;
            vCraterMask[y * SIZE + x] = fMask;
        }
    }

    TArtImage Image(SIZE, SIZE);
    // Light from the upper left, image y pointing down.
    const float fLx = -0.5f, fLy = -0.55f, fLz = 0.67f;
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const float u = static_cast<float>(x) / SIZE, v = static_cast<float>(y) / SIZE;
            auto H = [&](int ax, int ay) { return vHeight[((ay + SIZE) % SIZE) * SIZE + (ax + SIZE) % SIZE]; };
            const float fDx = (H(x + 1, y) - H(x - 1, y)) * 0.5f;
            const float fDy = (H(x, y + 1) - H(x, y - 1)) * 0.5f;
            const float fLen = std::sqrt(fDx * fDx + fDy * fDy + 1.0f);
            const float fLambert = std::max(0.0f, (-fDx * fLx - fDy * fLy + fLz) / fLen);
            // Cracks: thin dark seams where the ridged noise peaks.
            const float fCrack = SmoothStep(0.9f, 0.98f, Noise.Ridged(u * 5.0f + 0.3f, v * 5.0f, 5, 5, 2, 0.6f));
            // Albedo: grey-brown stone, rusty patches, fine grains.
            const float fTone = 0.5f + 0.5f * Noise.Fractal(u * 3.0f + 9.0f, v * 3.0f, 3, 3, 4);
            const float fRust = SmoothStep(0.1f, 0.6f, Noise.Fractal(u * 2.0f, v * 2.0f + 4.0f, 2, 2, 3));
            TRgb Albedo = MixRgb(Rgb255(92, 86, 80), Rgb255(142, 132, 118), fTone);
            Albedo = MixRgb(Albedo, Rgb255(128, 92, 66), fRust * 0.55f);
            const float fGrain = (Noise.Hash01(x, y, 9) - 0.5f) * 0.14f;
            Albedo = Albedo * (1.0f + fGrain - 0.05f * vCraterMask[y * SIZE + x] - 0.3f * fCrack);
            const float fCavity = 0.82f + 0.18f * SmoothStep(-6.0f, 4.0f, vHeight[y * SIZE + x]);
            Image.Set(x, y, Albedo * ((0.3f + 0.9f * fLambert) * fCavity));
        }
    }
    return Image.ToQImage(false);
}

QImage MakeMissileTexture()
{
    constexpr int SIZE = 64;
    const TArtNoise Noise(99);
    TArtImage Image(SIZE, SIZE);
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            // r = 1 at the middle of each edge: the glow must be gone before the corners.
            const float dx = (static_cast<float>(x) + 0.5f) / (SIZE / 2) - 1.0f;
            const float dy = (static_cast<float>(y) + 0.5f) / (SIZE / 2) - 1.0f;
            const float r = std::hypot(dx, dy);
            const float fAngle = std::atan2(dy, dx);
            // A slight churning of the plasma; round on the whole, so any heading reads the same.
            const float fSwirl = 0.85f + 0.15f * Noise.Gradient(fAngle * 6.0f / (2.0f * PI_F) * 4.0f, r * 6.0f, 4, 1 << 20);
            const float fCore = Gauss(r, 0.2f);
            const float fInner = Gauss(r, 0.45f) * fSwirl;
            const float fHalo = Gauss(r, 0.75f) * (1.0f - SmoothStep(0.7f, 1.0f, r));
            const TRgb Light = TRgb{1.0f, 1.0f, 0.95f} * (1.7f * fCore) + TRgb{0.45f, 1.0f, 0.4f} * (1.15f * fInner) +
                               TRgb{0.15f, 0.85f, 0.35f} * (0.6f * fHalo);
            PutLight(Image, x, y, Light);
        }
    }
    return Image.ToQImage(true, false);
}

QImage MakeEngineTexture()
{
    constexpr int SIZE = 32;
    TArtImage Image(SIZE, SIZE);
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            // Along the flame: 0 at the bottom row (under the ship), 1 at the top (the plume's end).
            const float a = 1.0f - (static_cast<float>(y) + 0.5f) / SIZE;
            const float c = (static_cast<float>(x) + 0.5f) / SIZE - 0.5f;
            // Half-width of the jet: the nozzle's width under the hull, swelling a little past
            // the tail, then narrowing to the end of the plume.
            const float fWidth = a < 0.36f ? Mix(0.07f, 0.095f, a / 0.36f) : Mix(0.095f, 0.035f, (a - 0.36f) / 0.64f);
            // Brightest just behind the tail, dying out towards the end of the quad.
            const float fRise = SmoothStep(0.05f, 0.30f, a);
            const float fFall = std::exp(-std::max(0.0f, a - 0.36f) * 3.2f) * (1.0f - SmoothStep(0.78f, 0.98f, a));
            const float fAlong = fRise * fFall;
            const float fCross = Gauss(c, fWidth);
            // Shock diamonds: two brighter knots in the exhaust.
            const float fKnots = 1.0f + 0.35f * Gauss(a - 0.52f, 0.045f) + 0.25f * Gauss(a - 0.68f, 0.05f);
            const float fHeat = fAlong * fCross * fKnots;
            // A soft, wide glow around the jet.
            const float fGlow = fAlong * Gauss(c, fWidth * 2.6f) * (1.0f - SmoothStep(0.40f, 0.5f, std::fabs(c)));
            const TRgb Light = TRgb{0.85f, 0.93f, 1.0f} * (1.5f * fHeat * fHeat) + TRgb{0.25f, 0.5f, 1.0f} * (0.9f * fHeat) +
                               TRgb{0.3f, 0.25f, 0.95f} * (0.35f * fGlow);
            PutLight(Image, x, y, Light);
        }
    }
    return Image.ToQImage(true, false);
}

QImage MakeExplosionFrame(int nFrame, int nFrames)
{
    constexpr int SIZE = 128;
    TArtImage Image(SIZE, SIZE);
    if (nFrame <= 0)
        return Image.ToQImage(true, false);  // the first frame stays on show after a run: empty
    const TFireball Fireball(nFrame, nFrames);
    for (int y = 0; y < SIZE; ++y) {
        for (int x = 0; x < SIZE; ++x) {
            const float px = (static_cast<float>(x) + 0.5f) / (SIZE / 2) - 1.0f;
            const float py = (static_cast<float>(y) + 0.5f) / (SIZE / 2) - 1.0f;
            TRgb Light;
            float fCover = 0.0f;
            Fireball.Ball(px, py, Light, fCover);
            Light = Light + Fireball.Around(px, py) * (1.0f - fCover);
            // Nothing may reach the quad's edge.
            const float fWindow = 1.0f - SmoothStep(0.86f, 0.99f, std::hypot(px, py));
            PutLight(Image, x, y, Light * fWindow, fCover * fWindow);
        }
    }
    return Image.ToQImage(true, false);
}

QImage MakeHullTexture()
{
    return PaintHullLivery();
}
