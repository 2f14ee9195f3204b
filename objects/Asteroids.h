#pragma once
// An asteroid: a rock with a mesh generated at random when it is made, drifting in the plane
// z = 0 and tumbling about its own axis. It explodes with its own sound; the smallest class also
// shows an animated explosion. Its place, tumble and state are plain members; Present writes
// them to its nodes.

#include "base/SceneHook.h"
#include "base/TickBlend.h"

#include <Inventor/SbBox3f.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SbXfBox3f.h>

#include <cstdint>
#include <vector>

class SoGroup;
class SoSeparator;
class SoSwitch;
class SoTexture2;
class SoTransform;
class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
class TDigest;
class TFxExplosion;

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
    // mesh, then two for its explosion.
    TAsteroid(SoGroup* pRoot, TFModSoundManager* pSM, TDataBanker* pDB, const SbVec3f& vPosition,
              const SbVec3f& vExtents, int nType);
    // Deletes the explosion (and its sound) and takes the asteroid's nodes out of the parent.
    ~TAsteroid();
    TAsteroid(const TAsteroid&) = delete;
    TAsteroid& operator=(const TAsteroid&) = delete;

    void SetVelocity(const SbVec2f& v);
    SbVec3f GetVelocity() const { return m_vSpeed; }
    // Restarts the tumble from angle 0.
    void SetSpin(double dRate, const SbVec3f& vAxis);
    // Tumbles by rate x dt and drifts by velocity x dt.
    void Move(double dt);

    SbVec3f GetPosition() const { return m_vPosition; }
    // Where its transform shows it now, which a frame drawn between ticks places between two of
    // its positions; for measuring what is drawn, never for the rules.
    SbVec3f GetShownPosition() const;
    // Put there, not drifted there: a wrap or a place at a level's start, shown where it lands.
    void SetPosition(const SbVec3f& vPosition);
    void SetVisible(bool bVisible) { m_bVisible = bVisible; }

    // Dead and hidden for good. The animation shows only for the small class with bWithEffect;
    // otherwise only the sound plays.
    void Explode(bool bWithEffect);

    // The collision box: the mesh's box in the rock's own frame, shrunk to three quarters, under
    // the rock's place and tumble; empty while hidden. The box a bounding-box traversal of the
    // shown rock finds, without the traversal.
    SbXfBox3f GetBoundingBox() const;
    // A box in the world that holds the collision box, from the place and the box's reach
    // alone, without a matrix; empty while hidden.
    SbBox3f GetWorldBounds() const;

    bool IsAlive() const { return m_bAlive; }
    int GetType() const { return m_nType; }

    // Class, place, speed, tumble, alive and shown, with the explosion.
    void AddToDigest(TDigest& Digest) const;

    // At the start of a tick: the frames until the next one start from here.
    void BeginTick() { m_Blend.Keep(m_vPosition, m_dSpinAngle); }
    // Writes the place and the tumble dAlpha of the way from the last tick to this one (1: as
    // the rock is now), and the visibility, to the nodes; true when any changed.
    bool Present(double dAlpha = 1.0);
    SoSeparator* GetRootNode() const { return m_pThisRoot; }
    TFxExplosion* GetExplosion() const { return m_pFxXplosion; }

    // The mesh, apart so it can be checked and reused: 66 points for the given extents (128
    // draws, ring by ring, z jitter before x), and the fixed 576-entry index list.
    static void MakeMeshPoints(const SbVec3f& vExtents, SbVec3f* pPoints);
    static void MakeMeshIndices(int32_t* pIndices);

private:
    void BuildMesh(SoGroup* pRoot, SoTexture2* pTex, const SbVec3f& vExtents);

    bool m_bAlive = true;
    SoTransform* m_pXf = nullptr;
    SoSwitch* m_pSwitch = nullptr;
    double m_dSpinAngle = 0;
    double m_dSpinRate = 0;
    int m_nType = 0;
    SbVec3f m_vSpeed;
    SbVec3f m_vSpinAxis;
    TFModSoundSource* m_pSnd = nullptr;
    TFxExplosion* m_pFxXplosion = nullptr;
    SoGroup* m_pRoot = nullptr;
    SoSeparator* m_pThisRoot = nullptr;
    TSceneHook m_Hook;  // takes the subtree down with the rock
    SbVec3f m_vPosition;
    SbRotation m_Rotation;  // the tumble
    TTickBlend m_Blend;
    bool m_bVisible = true;
    SbBox3f m_LocalBox;   // the shrunk box of the mesh in the rock's own frame
    float m_fReach = 0;   // the farthest corner of m_LocalBox from the rock's centre
};

// Every asteroid of the current level, destroyed ones included until the next level purges
// them. The game owns them.
using TVecPtrAsteroids = std::vector<TAsteroid*>;
