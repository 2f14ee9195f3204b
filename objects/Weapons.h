#pragma once
// A missile: a small textured square flying in a straight line in the plane z = 0. It has no
// lifetime of its own; the game kills it at the field's edge or when it hits a rock. Its place,
// velocity and state are plain members; Present writes them to its nodes.

#include "base/SceneHook.h"
#include "base/TickBlend.h"

#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>

#include <vector>

class SbXfBox3f;
class TDigest;
class SoGroup;
class SoSeparator;
class SoSwitch;
class SoTexture2;
class SoTransform;

class TMissile
{
public:
    // Built hidden but alive; the ship shows it when it fires. pTex is shared, not owned.
    TMissile(SoGroup* pRoot, const SbVec2f& vPosition, double dSize, SoTexture2* pTex);
    // Takes the missile's nodes out of the parent, so spent missiles do not pile up in the scene.
    ~TMissile();
    TMissile(const TMissile&) = delete;
    TMissile& operator=(const TMissile&) = delete;

    void SetVelocity(const SbVec2f& v);
    SbVec3f GetVelocity() const { return m_vSpeed; }
    void Move(double dt);

    SbVec3f GetPosition() const { return m_vPosition; }
    // Where its transform shows it now, which a frame drawn between ticks places between two
    // ticks; for measuring what is drawn, never for the rules.
    SbVec3f GetShownPosition() const;
    // Put there, not flown there: shown where it lands.
    void SetPosition(const SbVec3f& vPosition);
    void SetPosition(const SbVec2f& vPosition) { SetPosition(SbVec3f(vPosition[0], vPosition[1], 0)); }

    // Shows or hides only.
    void SetVisible(bool bVisible);
    // Spent: dead, and hidden.
    void Kill();
    bool IsAlive() const { return m_bAlive; }

    // A missile is a point: its position against the box.
    bool Hits(const SbXfBox3f& Box) const;

    // Place, speed, alive and shown.
    void AddToDigest(TDigest& Digest) const;

    // At the start of a tick: the frames until the next one start from here.
    void BeginTick() { m_Blend.Keep(m_vPosition, 0.0); }
    // Writes the place dAlpha of the way from the last tick to this one (1: as the missile is
    // now), and the visibility, to the nodes, if they changed; true when it wrote.
    bool Present(double dAlpha = 1.0);
    SoSeparator* GetRootNode() const { return m_pThisRoot; }

private:
    void Build(SoTexture2* pTex);

    SoSeparator* m_pThisRoot = nullptr;
    SoTransform* m_pXf = nullptr;
    double m_dSize = 0;
    SbVec3f m_vSpeed;
    bool m_bAlive = true;
    SoSwitch* m_pSwitch = nullptr;
    SoGroup* m_pRoot = nullptr;
    TSceneHook m_Hook;  // takes the subtree down with the missile
    SbVec3f m_vPosition;
    TTickBlend m_Blend;
    bool m_bVisible = false;
    // Changed since the last Present: a level of held fire leaves thousands of spent missiles
    // in the list, hidden, and they are passed over at the cost of this flag.
    bool m_bChanged = false;
};

// Every missile fired this level, spent ones included until the next level purges them. The
// game owns them.
using TVecPtrMissiles = std::vector<TMissile*>;
