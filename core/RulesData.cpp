#include "core/RulesData.h"

#include <cstdio>
#include <cstring>

namespace {
void PutFloat(uint8_t* p, float f)
{
    uint32_t n;
    std::memcpy(&n, &f, sizeof n);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(n >> (8 * i));
}

float GetFloat(const uint8_t* p)
{
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= static_cast<uint32_t>(p[i]) << (8 * i);
    float f;
    std::memcpy(&f, &n, sizeof f);
    return f;
}
}  // namespace

TRulesData::TBytes TRulesData::ToBytes() const
{
    TBytes Bytes{};
    for (int i = 0; i < 3; ++i) {
        PutFloat(&Bytes[static_cast<size_t>(4 * i)], ShipBox.GetMin()[i]);
        PutFloat(&Bytes[static_cast<size_t>(12 + 4 * i)], ShipBox.GetMax()[i]);
    }
    return Bytes;
}

TRulesData TRulesData::FromBytes(const TBytes& Bytes)
{
    float f[6];
    for (int i = 0; i < 6; ++i)
        f[i] = GetFloat(&Bytes[static_cast<size_t>(4 * i)]);
    TRulesData Data;
    Data.ShipBox = TBox3(TFloat3(f[0], f[1], f[2]), TFloat3(f[3], f[4], f[5]));
    return Data;
}

std::string TRulesData::Describe(const TBytes& Bytes)
{
    float f[6];
    for (int i = 0; i < 6; ++i)
        f[i] = GetFloat(&Bytes[static_cast<size_t>(4 * i)]);
    char szText[160];
    std::snprintf(szText, sizeof szText, "ship box (%.6g %.6g %.6g)-(%.6g %.6g %.6g)", f[0], f[1], f[2], f[3], f[4], f[5]);
    return szText;
}
