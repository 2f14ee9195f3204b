#include "tools/artgen/Starfields.h"

#include "tools/artgen/ArtNoise.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
struct TCloud
{
    float fDensity;  // 0..1
    float fHue;      // 0 = colour A, 1 = colour B
    float fDust;     // 0..1, darkening
};

TCloud SampleCloud(const TArtNoise& Noise, float u, float v, float fScale, float fMask)
{
    const float x = u * fScale, y = v * fScale;
    // Domain warping turns round noise blobs into wisps.
    const float wx = Noise.Fractal(x + 3.1f, y + 7.7f, 1 << 20, 1 << 20, 4);
    const float wy = Noise.Fractal(x + 11.3f, y + 1.9f, 1 << 20, 1 << 20, 4);
    const float n = Noise.Fractal(x + 1.6f * wx, y + 1.6f * wy, 1 << 20, 1 << 20, 6);
    TCloud Cloud;
    Cloud.fDensity = SmoothStep(-0.15f, 0.75f, n * 0.9f + fMask * 0.7f - 0.35f) * fMask;
    Cloud.fHue = SmoothStep(-0.4f, 0.4f, Noise.Fractal(x * 0.5f + 20.0f, y * 0.5f, 1 << 20, 1 << 20, 3));
    const float fRidge = Noise.Ridged(x * 1.3f + 5.0f + wy, y * 1.3f + wx, 1 << 20, 1 << 20, 4);
    Cloud.fDust = SmoothStep(0.55f, 0.85f, fRidge) * fMask;
    return Cloud;
}

TRgb StarTint(float t)
{
    if (t < 0.22f)
        return {0.72f, 0.82f, 1.0f};  // hot, blue-white
    if (t < 0.75f)
        return {1.0f, 1.0f, 1.0f};
    if (t < 0.93f)
        return {1.0f, 0.92f, 0.76f};
    return {1.0f, 0.74f, 0.55f};  // cool giants
}

void AddSpikes(TArtImage& Image, float fx, float fy, float fLength, TRgb Light)
{
    const int nReach = static_cast<int>(fLength);
    for (int k = -nReach; k <= nReach; ++k) {
        if (k == 0)
            continue;
        const float w = std::pow(1.0f - std::fabs(static_cast<float>(k)) / (fLength + 1.0f), 2.5f);
        const int x = static_cast<int>(fx), y = static_cast<int>(fy);
        if (x + k >= 0 && x + k < Image.Width())
            Image.AddLight(x + k, y, Light * w);
        if (y + k >= 0 && y + k < Image.Height())
            Image.AddLight(x, y + k, Light * w);
    }
}
}  // namespace

void PaintNebula(TArtImage& Image, const TNebulaStyle& Style)
{
    const TArtNoise Noise(Style.nSeed);
    const int nW = Image.Width(), nH = Image.Height();
    const int nGridW = nW / 4 + 2, nGridH = nH / 4 + 2;
    std::vector<TCloud> vGrid(static_cast<size_t>(nGridW) * nGridH);
    for (int gy = 0; gy < nGridH; ++gy) {
        for (int gx = 0; gx < nGridW; ++gx) {
            const float u = static_cast<float>(gx * 4) / static_cast<float>(nW);
            const float v = static_cast<float>(gy * 4) / static_cast<float>(nH);
            vGrid[static_cast<size_t>(gy) * nGridW + gx] = SampleCloud(Noise, u, v, Style.fScale, Style.Mask(u, v));
        }
    }
    for (int y = 0; y < nH; ++y) {
        for (int x = 0; x < nW; ++x) {
            const int gx = x / 4, gy = y / 4;
            const float tx = static_cast<float>(x % 4) / 4.0f, ty = static_cast<float>(y % 4) / 4.0f;
            auto At = [&](int ax, int ay) { return vGrid[static_cast<size_t>(ay) * nGridW + ax]; };
            auto Lerp = [&](float TCloud::*pField) {
                const float a = Mix(At(gx, gy).*pField, At(gx + 1, gy).*pField, tx);
                const float b = Mix(At(gx, gy + 1).*pField, At(gx + 1, gy + 1).*pField, tx);
                return Mix(a, b, ty);
            };
            const float fDensity = Lerp(&TCloud::fDensity);
            const float fHue = Lerp(&TCloud::fHue);
            const float fDust = Lerp(&TCloud::fDust);
            TRgb Colour = MixRgb(Style.ColourA, Style.ColourB, fHue);
            Colour = MixRgb(Colour, Style.ColourHot, SmoothStep(0.55f, 1.0f, fDensity));
            const TRgb Base = Image.GetColour(x, y) * (1.0f - 0.55f * fDust);
            const TRgb Light = Colour * (fDensity * Style.fStrength * (1.0f - 0.7f * fDust));
            Image.Set(x, y, Base + Light, Image.GetAlpha(x, y));
        }
    }
}

void PaintStars(TArtImage& Image, const TStarStyle& Style)
{
    TArtRandom Random(Style.nSeed);
    const float fW = static_cast<float>(Image.Width()), fH = static_cast<float>(Image.Height());
    int nPlaced = 0;
    // Rejection sampling against the density; the attempt cap keeps a zero density finite.
    for (int nTries = 0; nPlaced < Style.nStars && nTries < Style.nStars * 50; ++nTries) {
        const float u = Random.Unit(), v = Random.Unit();
        const float fMag = Random.Unit(), fTint = Random.Unit(), fAccept = Random.Unit();
        if (fAccept > Style.Density(u, v))
            continue;
        ++nPlaced;
        // Steep spread: most stars near the floor, a handful bright.
        const float b = 0.07f + (Style.fBrightness - 0.07f) * std::pow(fMag, 9.0f);
        const TRgb Tint = StarTint(fTint);
        const float fx = u * fW, fy = v * fH;
        Image.AddGlow(fx, fy, (0.42f + 0.5f * b) * Style.fSize, Tint * b);
        if (b > 0.45f * Style.fBrightness)
            Image.AddGlow(fx, fy, 3.0f * Style.fSize, Tint * (0.05f * b));
        if (b > 0.8f * Style.fBrightness)
            AddSpikes(Image, fx, fy, 7.0f * Style.fSize, Tint * (0.12f * b));
    }
}
