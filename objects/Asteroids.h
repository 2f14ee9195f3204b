#pragma once
// An asteroid: a rock with a mesh generated at random when it is made, drifting in the plane
// z = 0 and tumbling about its own axis. Plain state only (place, speed, tumble, mesh, alive):
// the game's scene draws it, its explosion and its sound from here.

#include "base/Float3.h"
#include "base/TickBlend.h"
#include "objects/CollisionBox.h"

#include <cstdint>
#include <vector>

class TDigest;
class TRandom;

class TAsteroid
{
public:
    static constexpr int MESH_POINTS = 66;    // two poles and 8 rings of 8
    static constexpr int MESH_INDICES = 576;  // 144 triangles, each closed by -1
    static constexpr int MESH_DRAWS = 128;    // two per ring point

    // What a size class means, in one place.
    struct TClass
    {
        float fBaseExtents[3];  // x, y, z before the random 50 to 60 %
        int32_t nPoints;        // for shooting it
        int nChild;             // the class of its two pieces; -1 when it breaks into nothing
        int32_t nIdSound;       // its explosion sound
        bool bShowsExplosion;   // the animated explosion when it is shot
    };
    static constexpr int SMALL = 0, MEDIUM = 1, LARGE = 2;
    // 0 small, 1 medium, 2 large; any other class reads as small.
    static const TClass& ClassOf(int nType);

    // nType: 0 small, 1 medium, 2 large. The position's z is ignored. Makes 128 draws for the
    // mesh, then two for its explosion (its turn, then its size).
    TAsteroid(TRandom& Random, const TFloat3& vPosition, const TFloat3& vExtents, int nType, uint32_t nSerial);

    void SetVelocity(float fX, float fY) { m_vSpeed = TFloat3(fX, fY, 0.0f); }
    TFloat3 GetVelocity() const { return m_vSpeed; }
    // Restarts the tumble from angle 0.
    void SetSpin(double dRate, const TFloat3& vAxis);
    // Tumbles by rate x dt and drifts by velocity x dt.
    void Move(double dt);

    TFloat3 GetPosition() const { return m_vPosition; }
    // Put there, not drifted there: a wrap or a place at a level's start, shown where it lands.
    void SetPosition(const TFloat3& vPosition);
    void SetVisible(bool bVisible) { m_bVisible = bVisible; }
    bool IsVisible() const { return m_bVisible; }

    // Dead and hidden for good. Its explosion's animation shows only for the small class shot
    // (bWithEffect); otherwise only its sound plays.
    void Explode(bool bWithEffect);
    bool ShowsExplosion(bool bWithEffect) const { return bWithEffect && ClassOf(m_nType).bShowsExplosion; }

    // The collision box: the mesh's box in the rock's own frame, shrunk to three quarters, under
    // the rock's place and tumble; empty while hidden.
    TCollisionBox GetBoundingBox() const;
    // A box in the world that holds the collision box, from the place and the box's reach
    // alone; empty while hidden.
    TBox3 GetWorldBounds() const;

    bool IsAlive() const { return m_bAlive; }
    int GetType() const { return m_nType; }
    uint32_t GetSerial() const { return m_nSerial; }

    // Class, place, speed, tumble, alive and shown.
    void AddToDigest(TDigest& Digest) const;

    // At the start of a tick: the frames until the next one start from here.
    void BeginTick() { m_Blend.Keep(m_vPosition, m_dSpinAngle); }
    const TTickBlend& GetBlend() const { return m_Blend; }

    // What the scene draws: the mesh's points, the tumble, the explosion's turn and size.
    const TFloat3* GetMeshPoints() const { return m_vecPoints.data(); }
    double GetSpinAngle() const { return m_dSpinAngle; }
    double GetSpinRate() const { return m_dSpinRate; }
    TFloat3 GetSpinAxis() const { return m_vSpinAxis; }
    double GetBlastAngle() const { return m_dBlastAngle; }
    float GetBlastScale() const { return m_fBlastScale; }

    // The mesh, apart so it can be checked and reused: 66 points for the given extents (128
    // draws, ring by ring, z jitter before x), and the fixed 576-entry index list.
    static void MakeMeshPoints(TRandom& Random, const TFloat3& vExtents, TFloat3* pPoints);
    static void MakeMeshIndices(int32_t* pIndices);

private:
    int m_nType;
    uint32_t m_nSerial;
    bool m_bAlive = true;
    bool m_bVisible = true;
    TFloat3 m_vPosition;
    TFloat3 m_vSpeed;
    TFloat3 m_vSpinAxis{0.0f, 0.0f, 1.0f};
    double m_dSpinAngle = 0;
    double m_dSpinRate = 0;
    std::vector<TFloat3> m_vecPoints;
    TBox3 m_LocalBox;    // the mesh's box in the rock's own frame, unshrunk
    float m_fReach = 0;  // the farthest corner of the shrunk box from the rock's centre
    double m_dBlastAngle = 0;
    float m_fBlastScale = 1;
    TTickBlend m_Blend;
};

// Every asteroid of the current level, destroyed ones included until the next level purges
// them. The game owns them.
using TVecPtrAsteroids = std::vector<TAsteroid*>;
