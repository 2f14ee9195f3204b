#pragma once
// A 64-bit FNV-1a digest: enough to tell two game states, or two files, apart. Values are added
// as their bytes in little-endian order, so a digest means the same on every machine.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

class TDigest
{
public:
    void AddBytes(const void* pData, size_t nSize)
    {
        const auto* p = static_cast<const uint8_t*>(pData);
        for (size_t i = 0; i < nSize; ++i) {
            m_nHash ^= p[i];
            m_nHash *= PRIME;
        }
    }
    // A whole number or a floating-point value, by its bits: -0 and 0 differ, as they may in play.
    template <typename T>
    void Add(T Value)
    {
        static_assert(std::is_arithmetic<T>::value && (sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 ||
                                                        sizeof(T) == 8),
                      "numbers of 1, 2, 4 or 8 bytes");
        using TBits = std::conditional_t<sizeof(T) == 8, uint64_t,
                                         std::conditional_t<sizeof(T) == 4, uint32_t,
                                                            std::conditional_t<sizeof(T) == 2, uint16_t, uint8_t>>>;
        TBits nBits;
        std::memcpy(&nBits, &Value, sizeof(T));
        for (size_t i = 0; i < sizeof(T); ++i) {
            const uint8_t nByte = static_cast<uint8_t>(nBits >> (8 * i));
            AddBytes(&nByte, 1);
        }
    }
    uint64_t Get() const { return m_nHash; }

    static uint64_t Of(const void* pData, size_t nSize)
    {
        TDigest Digest;
        Digest.AddBytes(pData, nSize);
        return Digest.Get();
    }

private:
    static constexpr uint64_t PRIME = 0x100000001b3ull;
    uint64_t m_nHash = 0xcbf29ce484222325ull;
};
