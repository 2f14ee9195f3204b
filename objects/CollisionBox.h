#pragma once
// The collision box every game object uses: the box of its drawing in its own frame, shrunk to
// three quarters towards that frame's origin so that grazing contacts do not count, under the
// frame that places the object in the world (a turn, a uniform scale, a place). The rules test
// these boxes themselves, in their own arithmetic, the same on every machine.

#include "base/Float3.h"

constexpr float COLLISION_BOX_FACTOR = 0.75f;

// A box along the axes; empty while its minimum lies above its maximum.
class TBox3
{
public:
    TBox3() = default;
    TBox3(const TFloat3& vMin, const TFloat3& vMax) : m_vMin(vMin), m_vMax(vMax) {}

    bool IsEmpty() const { return m_vMax[0] < m_vMin[0] || m_vMax[1] < m_vMin[1] || m_vMax[2] < m_vMin[2]; }
    const TFloat3& GetMin() const { return m_vMin; }
    const TFloat3& GetMax() const { return m_vMax; }
    void ExtendBy(const TFloat3& vPoint);
    void ExtendBy(const TBox3& Box);
    // Edges and corners included.
    bool Holds(const TFloat3& vPoint) const;
    bool Meets(const TBox3& Box) const;
    // The corners scaled towards the origin.
    TBox3 Scaled(float f) const;
    // The farthest corner's distance from the origin.
    float Reach() const;
    friend bool operator==(const TBox3& a, const TBox3& b) { return a.m_vMin == b.m_vMin && a.m_vMax == b.m_vMax; }

private:
    TFloat3 m_vMin{1.0f, 1.0f, 1.0f};
    TFloat3 m_vMax{-1.0f, -1.0f, -1.0f};
};

// Where an object's own frame lies in the world: world = place + scale x (turn x own).
struct TFrame
{
    double dTurn[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // a rotation, by rows
    double dScale = 1.0;
    double dPlace[3] = {0, 0, 0};

    // A turn by dAngle radians about z.
    static TFrame AboutZ(double dAngle, double dScale, const TFloat3& vPlace);
    // A turn by dAngle radians about an axis of any length (none when it has none).
    static TFrame AboutAxis(const TFloat3& vAxis, double dAngle, const TFloat3& vPlace);
    void ToWorld(const double* pOwn, double* pWorld) const;
};

class TCollisionBox
{
public:
    // Empty: it holds and meets nothing.
    TCollisionBox() = default;
    // The box in the object's own frame, unshrunk, under the frame.
    TCollisionBox(const TBox3& OwnBox, const TFrame& Frame);

    bool IsEmpty() const { return m_Box.IsEmpty(); }
    // The shrunk box, in the object's own frame.
    const TBox3& GetOwnBox() const { return m_Box; }
    const TFrame& GetFrame() const { return m_Frame; }
    // Whether a point of the world lies inside, faces included.
    bool Holds(const TFloat3& vPoint) const;
    // Whether the two boxes share a point, touching included (separating axes).
    bool Meets(const TCollisionBox& Other) const;
    // The box's middle, in the world.
    TFloat3 GetCenter() const;
    // The box along the world's axes that holds it; empty when it is.
    TBox3 GetWorldBounds() const;

private:
    struct TSolid
    {
        double dCenter[3];
        double dAxis[3][3];  // unit axes in the world, by rows
        double dHalf[3];
    };
    TSolid Solid() const;

    TBox3 m_Box;
    TFrame m_Frame;
};
