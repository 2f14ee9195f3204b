#pragma once
// The shape of raw pixels as the scene library's image field takes them: width x height pixels
// of 1 to 4 components (bytes), rows bottom first. The sides go to the library as 16-bit values,
// so each is 1 to 32767. Sizes are computed in 64 bits, and only for a valid shape, so that no
// stored width, height or component count can overflow them.

#include <cstdint>
#include <string>

// The largest side of a picture file or of an image inside a model: a texture that any GL
// driver takes, and a bound on what a few bytes of a file can make the game allocate.
constexpr int32_t MAX_TEXTURE_SIDE = 8192;

struct TImageShape
{
    static constexpr int32_t MAX_SIDE = 32767;
    static constexpr int32_t MAX_COMPONENTS = 4;

    int32_t nWidth = 0;
    int32_t nHeight = 0;
    int32_t nComponents = 0;

    bool IsValid() const;
    // width x height x components; 0 for a shape that is not valid.
    int64_t GetBytes() const;
    // "64 x 64 x 4"
    std::string Describe() const;
    // Empty when the shape is valid and nBytes is exactly its size; otherwise what is wrong:
    // "W x H x C is not an image shape (...)" or "N bytes, not W x H x C = M".
    std::string CheckBytes(int64_t nBytes) const;
    // True when the shape is valid and nBytes holds at least its pixels.
    bool IsCoveredBy(int64_t nBytes) const { return IsValid() && nBytes >= GetBytes(); }
};
