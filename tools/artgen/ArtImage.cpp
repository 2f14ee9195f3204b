#include "tools/artgen/ArtImage.h"

#include "tools/artgen/ArtNoise.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

TRgb operator+(TRgb a, TRgb b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}

TRgb operator*(TRgb a, float f)
{
    return {a.r * f, a.g * f, a.b * f};
}

TRgb operator*(TRgb a, TRgb b)
{
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}

TRgb MixRgb(TRgb a, TRgb b, float t)
{
    return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)};
}

TRgb Rgb255(int r, int g, int b)
{
    return {static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f};
}

TRgb Ramp(const std::vector<TRampStop>& vStops, float f)
{
    if (f <= vStops.front().fAt)
        return vStops.front().Colour;
    for (size_t i = 1; i < vStops.size(); ++i) {
        if (f <= vStops[i].fAt) {
            const float t = (f - vStops[i - 1].fAt) / (vStops[i].fAt - vStops[i - 1].fAt);
            return MixRgb(vStops[i - 1].Colour, vStops[i].Colour, t);
        }
    }
    return vStops.back().Colour;
}

TArtImage::TArtImage(int nWidth, int nHeight)
    : m_nWidth(nWidth), m_nHeight(nHeight), m_vPixels(static_cast<size_t>(nWidth) * nHeight * 4, 0.0f)
{
}

void TArtImage::Set(int x, int y, TRgb Colour, float fAlpha)
{
    float* p = &m_vPixels[(static_cast<size_t>(y) * m_nWidth + x) * 4];
    p[0] = Colour.r * fAlpha;
    p[1] = Colour.g * fAlpha;
    p[2] = Colour.b * fAlpha;
    p[3] = fAlpha;
}

TRgb TArtImage::GetColour(int x, int y) const
{
    const float* p = &m_vPixels[(static_cast<size_t>(y) * m_nWidth + x) * 4];
    if (p[3] <= 0.0f)
        return {};
    return {p[0] / p[3], p[1] / p[3], p[2] / p[3]};
}

float TArtImage::GetAlpha(int x, int y) const
{
    return m_vPixels[(static_cast<size_t>(y) * m_nWidth + x) * 4 + 3];
}

void TArtImage::Over(int x, int y, TRgb Colour, float fAlpha)
{
    float* p = &m_vPixels[(static_cast<size_t>(y) * m_nWidth + x) * 4];
    const float fKeep = 1.0f - fAlpha;
    p[0] = Colour.r * fAlpha + p[0] * fKeep;
    p[1] = Colour.g * fAlpha + p[1] * fKeep;
    p[2] = Colour.b * fAlpha + p[2] * fKeep;
    p[3] = fAlpha + p[3] * fKeep;
}

void TArtImage::AddLight(int x, int y, TRgb Light)
{
    float* p = &m_vPixels[(static_cast<size_t>(y) * m_nWidth + x) * 4];
    p[0] += Light.r;
    p[1] += Light.g;
    p[2] += Light.b;
    p[3] = std::min(1.0f, p[3] + std::max(Light.r, std::max(Light.g, Light.b)));
}

void TArtImage::AddGlow(float fx, float fy, float fSigma, TRgb Light)
{
    const int nReach = static_cast<int>(std::ceil(fSigma * 3.0f));
    const int cx = static_cast<int>(std::floor(fx)), cy = static_cast<int>(std::floor(fy));
    const float fInv = 1.0f / (2.0f * fSigma * fSigma);
    for (int y = std::max(0, cy - nReach); y <= std::min(m_nHeight - 1, cy + nReach); ++y) {
        for (int x = std::max(0, cx - nReach); x <= std::min(m_nWidth - 1, cx + nReach); ++x) {
            const float dx = static_cast<float>(x) + 0.5f - fx, dy = static_cast<float>(y) + 0.5f - fy;
            const float w = std::exp(-(dx * dx + dy * dy) * fInv);
            if (w > 0.002f)
                AddLight(x, y, Light * w);
        }
    }
}

QImage TArtImage::ToQImage(bool bAlpha, bool bDither) const
{
    // 4 x 4 Bayer matrix: a fixed pattern, so the output stays the same from run to run.
    static const float BAYER[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    QImage Image(m_nWidth, m_nHeight, bAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    for (int y = 0; y < m_nHeight; ++y) {
        uchar* pLine = Image.scanLine(y);
        for (int x = 0; x < m_nWidth; ++x) {
            const float* p = &m_vPixels[(static_cast<size_t>(y) * m_nWidth + x) * 4];
            const float fAlpha = Clamp01(p[3]);
            const float fDither = bDither ? (BAYER[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f : 0.0f;
            auto Channel = [&](float fPremul) {
                const float f = bAlpha ? (fAlpha > 0.0f ? fPremul / fAlpha : 0.0f) : fPremul;
                const float fValue = std::floor(Clamp01(f) * 255.0f + 0.5f + fDither);
                return static_cast<uchar>(std::min(255.0f, std::max(0.0f, fValue)));
            };
            const int nStride = bAlpha ? 4 : 3;
            pLine[x * nStride + 0] = Channel(p[0]);
            pLine[x * nStride + 1] = Channel(p[1]);
            pLine[x * nStride + 2] = Channel(p[2]);
            if (bAlpha)
                pLine[x * nStride + 3] = static_cast<uchar>(std::floor(fAlpha * 255.0f + 0.5f));
        }
    }
    return Image;
}

TArtImage TArtImage::FromQImage(const QImage& Image)
{
    const QImage Rgba = Image.convertToFormat(QImage::Format_RGBA8888);
    TArtImage Art(Rgba.width(), Rgba.height());
    for (int y = 0; y < Rgba.height(); ++y) {
        const uchar* pLine = Rgba.constScanLine(y);
        for (int x = 0; x < Rgba.width(); ++x) {
            const uchar* p = pLine + x * 4;
            Art.Set(x, y, Rgb255(p[0], p[1], p[2]), static_cast<float>(p[3]) / 255.0f);
        }
    }
    return Art;
}

std::vector<uint8_t> RawPixels(const QImage& Image, int nComponents)
{
    const QImage Converted = Image.convertToFormat(nComponents == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const size_t nRow = static_cast<size_t>(Converted.width()) * nComponents;
    std::vector<uint8_t> vBytes;
    vBytes.reserve(nRow * Converted.height());
    for (int y = Converted.height() - 1; y >= 0; --y) {
        const uchar* pLine = Converted.constScanLine(y);
        vBytes.insert(vBytes.end(), pLine, pLine + nRow);
    }
    return vBytes;
}

bool WriteFile(const std::string& strPath, const std::vector<uint8_t>& vBytes)
{
    FILE* fp = std::fopen(strPath.c_str(), "wb");
    if (!fp)
        return false;
    const bool bWritten = std::fwrite(vBytes.data(), 1, vBytes.size(), fp) == vBytes.size();
    return std::fclose(fp) == 0 && bWritten;
}
