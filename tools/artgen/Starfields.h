#pragma once
// Deep-space backdrops shared by the play-field background and the window pictures: a faint
// nebula and a field of stars.

#include "tools/artgen/ArtImage.h"

#include <cstdint>
#include <functional>

// A position in the picture, 0..1 across and down.
using TDensityFunc = std::function<float(float u, float v)>;

struct TNebulaStyle
{
    uint32_t nSeed;
    float fScale;      // noise cells across the picture
    float fStrength;   // peak light added
    TRgb ColourA;      // the two hues the clouds blend between
    TRgb ColourB;
    TRgb ColourHot;    // the densest knots
    TDensityFunc Mask; // where clouds may form, 0..1
};

// Adds nebula light and darkens its dust lanes; works on a quarter-size grid (the clouds are
// soft) and interpolates.
void PaintNebula(TArtImage& Image, const TNebulaStyle& Style);

struct TStarStyle
{
    uint64_t nSeed;
    int nStars;
    float fBrightness;  // peak of the brightest stars
    float fSize;        // scales every star's radius (1 for textures seen at about 1:1)
    TDensityFunc Density;
};

// Stars of a steep brightness spread (mostly faint), tinted by temperature; the brightest get a
// soft halo and faint cross spikes.
void PaintStars(TArtImage& Image, const TStarStyle& Style);
