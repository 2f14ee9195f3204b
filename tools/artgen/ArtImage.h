#pragma once
// A floating-point picture for painting art: premultiplied RGBA, so glows add up and layers
// composite without the banding and fringes that 8-bit painting would leave.

#include <QImage>

#include <string>
#include <vector>

struct TRgb
{
    float r = 0.0f, g = 0.0f, b = 0.0f;
};

TRgb operator+(TRgb a, TRgb b);
TRgb operator*(TRgb a, float f);
TRgb operator*(TRgb a, TRgb b);
TRgb MixRgb(TRgb a, TRgb b, float t);
// A colour from 0-255 components, for readable palettes.
TRgb Rgb255(int r, int g, int b);

// Colour ramps: sorted stops, linear between them, clamped at the ends.
struct TRampStop
{
    float fAt;
    TRgb Colour;
};
TRgb Ramp(const std::vector<TRampStop>& vStops, float f);

class TArtImage
{
public:
    TArtImage(int nWidth, int nHeight);

    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

    // Straight (not premultiplied) colour and coverage of a pixel.
    void Set(int x, int y, TRgb Colour, float fAlpha = 1.0f);
    TRgb GetColour(int x, int y) const;
    float GetAlpha(int x, int y) const;
    // Paints a layer of the given coverage over the pixel.
    void Over(int x, int y, TRgb Colour, float fAlpha);
    // Adds light; coverage grows with the light's brightness (glows on transparent ground).
    void AddLight(int x, int y, TRgb Light);
    // A soft round spot of light (Gaussian of radius fSigma) centred at (fx, fy), in pixel
    // units with pixel centres at +0.5.
    void AddGlow(float fx, float fy, float fSigma, TRgb Light);

    // Straight-alpha 8-bit image, with a small ordered dither against banding in dark
    // gradients. Format_RGBA8888 with alpha, Format_RGB888 without.
    QImage ToQImage(bool bAlpha, bool bDither = true) const;
    // The reverse, for painting with QPainter in between.
    static TArtImage FromQImage(const QImage& Image);

private:
    int m_nWidth, m_nHeight;
    std::vector<float> m_vPixels;  // r, g, b premultiplied, then coverage
};

// Pixel rows bottom first, as the scene library's image field takes them: 3 or 4 bytes a pixel.
std::vector<uint8_t> RawPixels(const QImage& Image, int nComponents);
bool WriteFile(const std::string& strPath, const std::vector<uint8_t>& vBytes);
