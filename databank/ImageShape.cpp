#include "databank/ImageShape.h"

bool TImageShape::IsValid() const
{
    return nWidth >= 1 && nWidth <= MAX_SIDE && nHeight >= 1 && nHeight <= MAX_SIDE && nComponents >= 1 &&
           nComponents <= MAX_COMPONENTS;
}

int64_t TImageShape::GetBytes() const
{
    return IsValid() ? static_cast<int64_t>(nWidth) * nHeight * nComponents : 0;
}

std::string TImageShape::Describe() const
{
    return std::to_string(nWidth) + " x " + std::to_string(nHeight) + " x " + std::to_string(nComponents);
}

std::string TImageShape::CheckBytes(int64_t nBytes) const
{
    if (!IsValid())
        return Describe() + " is not an image shape (sides 1 to " + std::to_string(MAX_SIDE) + ", 1 to " +
               std::to_string(MAX_COMPONENTS) + " components)";
    if (nBytes != GetBytes())
        return std::to_string(nBytes) + " bytes, not " + Describe() + " = " + std::to_string(GetBytes());
    return "";
}
