#pragma once
// Three floats: a place, a velocity, an axis or an extent in the game's world. The rules keep
// their state in these, with no scene library underneath: its vector and matrix arithmetic is
// compiled elsewhere, under flags the game does not choose.

class TFloat3
{
public:
    constexpr TFloat3() = default;
    constexpr TFloat3(float x, float y, float z) : m_f{x, y, z} {}

    constexpr float operator[](int i) const { return m_f[i]; }
    float& operator[](int i) { return m_f[i]; }
    const float* GetValue() const { return m_f; }

    friend TFloat3 operator+(const TFloat3& a, const TFloat3& b)
    {
        return TFloat3(a[0] + b[0], a[1] + b[1], a[2] + b[2]);
    }
    friend TFloat3 operator-(const TFloat3& a, const TFloat3& b)
    {
        return TFloat3(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
    }
    friend TFloat3 operator*(const TFloat3& a, float f) { return TFloat3(a[0] * f, a[1] * f, a[2] * f); }
    friend TFloat3 operator/(const TFloat3& a, float f) { return TFloat3(a[0] / f, a[1] / f, a[2] / f); }
    // Bit for bit but for the sign of zero, as floats compare.
    friend bool operator==(const TFloat3& a, const TFloat3& b)
    {
        return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
    }
    friend bool operator!=(const TFloat3& a, const TFloat3& b) { return !(a == b); }

private:
    float m_f[3] = {0.0f, 0.0f, 0.0f};
};
