#pragma once
// A missile: a small textured square flying in a straight line in the plane z = 0. It has no
// lifetime of its own; the game switches it off at the field's edge or when it hits a rock.

#include "base/SceneHook.h"

#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>

#include <vector>

class SbXfBox3f;
class SoGroup;
class SoSeparator;
class SoSwitch;
class SoTexture2;
class SoTransform;

class TMissile
{
public:
    // Built hidden but counted alive; the ship shows it when it fires. pTex is shared, not owned.
    TMissile(SoGroup* pRoot, const SbVec2f& vPosition, double dSize, SoTexture2* pTex);
    // Takes the missile's nodes out of the parent, so spent missiles do not pile up in the scene.
    ~TMissile();
    TMissile(const TMissile&) = delete;
    TMissile& operator=(const TMissile&) = delete;

    void SetVelocity(const SbVec2f& v);
    SbVec3f GetVelocity() const { return m_vSpeed; }
    void Move(double dt);

    SbVec3f GetPosition() const;
    void SetPosition(const SbVec3f& vPosition);
    void SetPosition(const SbVec2f& vPosition);

    // Shown and alive, or hidden and spent.
    void SetVisible(bool bVisible);
    void Kill() { SetVisible(false); }
    bool IsAlive() const { return m_bAlive; }

    // A missile is a point: its position against the box.
    bool Hits(const SbXfBox3f& Box) const;

    SoSeparator* GetRootNode() const { return m_pThisRoot; }

private:
    void Build(SoTexture2* pTex, const SbVec2f& vPosition);

    SoSeparator* m_pThisRoot = nullptr;
    SoTransform* m_pXf = nullptr;
    double m_dSize = 0;
    SbVec3f m_vSpeed;
    bool m_bAlive = true;
    SoSwitch* m_pSwitch = nullptr;
    SoGroup* m_pRoot = nullptr;
    TSceneHook m_Hook;  // takes the subtree down with the missile
};

// Every missile fired this level, spent ones included until the next level purges them. The
// game owns them.
using TVecPtrMissiles = std::vector<TMissile*>;
