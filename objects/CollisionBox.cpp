#include "objects/CollisionBox.h"

#include "base/PortableMath.h"

#include <algorithm>
#include <cmath>

void TBox3::ExtendBy(const TFloat3& vPoint)
{
    if (IsEmpty()) {
        m_vMin = m_vMax = vPoint;
        return;
    }
    for (int i = 0; i < 3; ++i) {
        m_vMin[i] = std::min(m_vMin[i], vPoint[i]);
        m_vMax[i] = std::max(m_vMax[i], vPoint[i]);
    }
}

void TBox3::ExtendBy(const TBox3& Box)
{
    if (Box.IsEmpty())
        return;
    ExtendBy(Box.m_vMin);
    ExtendBy(Box.m_vMax);
}

bool TBox3::Holds(const TFloat3& vPoint) const
{
    for (int i = 0; i < 3; ++i)
        if (!(vPoint[i] >= m_vMin[i] && vPoint[i] <= m_vMax[i]))
            return false;
    return true;
}

bool TBox3::Meets(const TBox3& Box) const
{
    if (IsEmpty() || Box.IsEmpty())
        return false;
    for (int i = 0; i < 3; ++i)
        if (Box.m_vMax[i] < m_vMin[i] || Box.m_vMin[i] > m_vMax[i])
            return false;
    return true;
}

TBox3 TBox3::Scaled(float f) const
{
    if (IsEmpty())
        return *this;
    return TBox3(m_vMin * f, m_vMax * f);
}

float TBox3::Reach() const
{
    if (IsEmpty())
        return 0.0f;
    double dFarthest = 0;
    for (int i = 0; i < 3; ++i) {
        const double d = std::max(std::fabs(static_cast<double>(m_vMin[i])), std::fabs(static_cast<double>(m_vMax[i])));
        dFarthest += d * d;
    }
    return static_cast<float>(std::sqrt(dFarthest));
}

// ---------------------------------------------------------------------------------------------

TFrame TFrame::AboutZ(double dAngle, double dScale, const TFloat3& vPlace)
{
    double s, c;
    TPortableMath::SinCos(dAngle, s, c);
    TFrame Frame;
    Frame.dTurn[0][0] = c;
    Frame.dTurn[0][1] = -s;
    Frame.dTurn[1][0] = s;
    Frame.dTurn[1][1] = c;
    Frame.dScale = dScale;
    for (int i = 0; i < 3; ++i)
        Frame.dPlace[i] = vPlace[i];
    return Frame;
}

TFrame TFrame::AboutAxis(const TFloat3& vAxis, double dAngle, const TFloat3& vPlace)
{
    TFrame Frame;
    for (int i = 0; i < 3; ++i)
        Frame.dPlace[i] = vPlace[i];
    const double x = vAxis[0], y = vAxis[1], z = vAxis[2];
    const double dLength = std::sqrt(x * x + y * y + z * z);
    if (!(dLength > 0))
        return Frame;
    const double k[3] = {x / dLength, y / dLength, z / dLength};
    double s, c;
    TPortableMath::SinCos(dAngle, s, c);
    const double t = 1.0 - c;
    // Rodrigues: c I + s [k]x + (1 - c) k k^T.
    Frame.dTurn[0][0] = c + t * k[0] * k[0];
    Frame.dTurn[0][1] = t * k[0] * k[1] - s * k[2];
    Frame.dTurn[0][2] = t * k[0] * k[2] + s * k[1];
    Frame.dTurn[1][0] = t * k[1] * k[0] + s * k[2];
    Frame.dTurn[1][1] = c + t * k[1] * k[1];
    Frame.dTurn[1][2] = t * k[1] * k[2] - s * k[0];
    Frame.dTurn[2][0] = t * k[2] * k[0] - s * k[1];
    Frame.dTurn[2][1] = t * k[2] * k[1] + s * k[0];
    Frame.dTurn[2][2] = c + t * k[2] * k[2];
    return Frame;
}

void TFrame::ToWorld(const double* pOwn, double* pWorld) const
{
    for (int i = 0; i < 3; ++i)
        pWorld[i] = dPlace[i] + dScale * (dTurn[i][0] * pOwn[0] + dTurn[i][1] * pOwn[1] + dTurn[i][2] * pOwn[2]);
}

// ---------------------------------------------------------------------------------------------

TCollisionBox::TCollisionBox(const TBox3& OwnBox, const TFrame& Frame)
    : m_Box(OwnBox.Scaled(COLLISION_BOX_FACTOR)), m_Frame(Frame)
{
}

bool TCollisionBox::Holds(const TFloat3& vPoint) const
{
    if (IsEmpty())
        return false;
    // Back into the own frame: the turn's transpose undoes it.
    double dOffset[3];
    for (int i = 0; i < 3; ++i)
        dOffset[i] = static_cast<double>(vPoint[i]) - m_Frame.dPlace[i];
    for (int j = 0; j < 3; ++j) {
        const double dOwn =
            (m_Frame.dTurn[0][j] * dOffset[0] + m_Frame.dTurn[1][j] * dOffset[1] + m_Frame.dTurn[2][j] * dOffset[2]) /
            m_Frame.dScale;
        if (!(dOwn >= m_Box.GetMin()[j] && dOwn <= m_Box.GetMax()[j]))
            return false;
    }
    return true;
}

TCollisionBox::TSolid TCollisionBox::Solid() const
{
    TSolid Solid;
    double dMiddle[3];
    for (int i = 0; i < 3; ++i) {
        dMiddle[i] = (static_cast<double>(m_Box.GetMin()[i]) + m_Box.GetMax()[i]) * 0.5;
        Solid.dHalf[i] = (static_cast<double>(m_Box.GetMax()[i]) - m_Box.GetMin()[i]) * 0.5 * std::fabs(m_Frame.dScale);
    }
    m_Frame.ToWorld(dMiddle, Solid.dCenter);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            Solid.dAxis[j][i] = m_Frame.dTurn[i][j];
    return Solid;
}

namespace {
double Dot(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
}  // namespace

bool TCollisionBox::Meets(const TCollisionBox& Other) const
{
    if (IsEmpty() || Other.IsEmpty())
        return false;
    const TSolid A = Solid(), B = Other.Solid();
    // Edges nearly parallel make the cross axes nearly zero: a little slack keeps them from
    // separating what touches.
    constexpr double SLACK = 1e-9;
    double R[3][3], AbsR[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            R[i][j] = Dot(A.dAxis[i], B.dAxis[j]);
            AbsR[i][j] = std::fabs(R[i][j]) + SLACK;
        }
    const double dGap[3] = {B.dCenter[0] - A.dCenter[0], B.dCenter[1] - A.dCenter[1], B.dCenter[2] - A.dCenter[2]};
    const double t[3] = {Dot(dGap, A.dAxis[0]), Dot(dGap, A.dAxis[1]), Dot(dGap, A.dAxis[2])};
    const double* a = A.dHalf;
    const double* b = B.dHalf;
    for (int i = 0; i < 3; ++i) {
        const double rb = b[0] * AbsR[i][0] + b[1] * AbsR[i][1] + b[2] * AbsR[i][2];
        if (std::fabs(t[i]) > a[i] + rb)
            return false;
    }
    for (int j = 0; j < 3; ++j) {
        const double ra = a[0] * AbsR[0][j] + a[1] * AbsR[1][j] + a[2] * AbsR[2][j];
        if (std::fabs(t[0] * R[0][j] + t[1] * R[1][j] + t[2] * R[2][j]) > ra + b[j])
            return false;
    }
    // The nine axes across an edge of each.
    for (int i = 0; i < 3; ++i) {
        const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
        for (int j = 0; j < 3; ++j) {
            const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            const double ra = a[i1] * AbsR[i2][j] + a[i2] * AbsR[i1][j];
            const double rb = b[j1] * AbsR[i][j2] + b[j2] * AbsR[i][j1];
            if (std::fabs(t[i2] * R[i1][j] - t[i1] * R[i2][j]) > ra + rb)
                return false;
        }
    }
    return true;
}

TFloat3 TCollisionBox::GetCenter() const
{
    const TSolid S = Solid();
    return TFloat3(static_cast<float>(S.dCenter[0]), static_cast<float>(S.dCenter[1]), static_cast<float>(S.dCenter[2]));
}

TBox3 TCollisionBox::GetWorldBounds() const
{
    TBox3 Bounds;
    if (IsEmpty())
        return Bounds;
    for (int nCorner = 0; nCorner < 8; ++nCorner) {
        const double dOwn[3] = {nCorner & 1 ? m_Box.GetMax()[0] : m_Box.GetMin()[0],
                                nCorner & 2 ? m_Box.GetMax()[1] : m_Box.GetMin()[1],
                                nCorner & 4 ? m_Box.GetMax()[2] : m_Box.GetMin()[2]};
        double dWorld[3];
        m_Frame.ToWorld(dOwn, dWorld);
        Bounds.ExtendBy(TFloat3(static_cast<float>(dWorld[0]), static_cast<float>(dWorld[1]), static_cast<float>(dWorld[2])));
    }
    return Bounds;
}
