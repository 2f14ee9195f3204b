#pragma once
// The player's ship: a model from the data file under a transform and a show/hide switch, with a
// heading about the z axis and a velocity in the plane z = 0. It turns, thrusts, drifts without
// friction, fires missiles and explodes; it owns its engine flame, its explosion and its shot
// sound. At heading a it thrusts and fires along (cos(a + pi/2), sin(a + pi/2)): +y at a = 0.
// Its place, heading, velocity and state are plain members; Present writes them to its nodes.

#include "base/SceneHook.h"
#include "base/TickBlend.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SbXfBox3f.h>

#include <cstdint>

class SoGroup;
class SoSeparator;
class SoSwitch;
class SoTransform;
class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
class TFxEngine;
class TFxExplosion;
class TDigest;
class TMissile;

class TShip
{
public:
    TShip(SoGroup* pRoot, TFModSoundManager* pSM, TDataBanker* pDB);
    virtual ~TShip() = default;
    TShip(const TShip&) = delete;
    TShip& operator=(const TShip&) = delete;

    // A new missile under pRoot, shown and flying; the caller owns it.
    virtual TMissile* Fire(SoGroup* pRoot) = 0;
    virtual void Explode() = 0;
    virtual void Revive() = 0;

    bool IsAlive() const { return m_bAlive; }

protected:
    SoGroup* m_pRoot = nullptr;  // also the parent of the ship's explosion
    TDataBanker* m_pDB = nullptr;
    TFModSoundManager* m_pSM = nullptr;
    bool m_bAlive = true;
};

class TManShip : public TShip
{
public:
    // Makes two draws (the explosion's rotation and base scale).
    TManShip(SoGroup* pRoot, TFModSoundManager* pSM, TDataBanker* pDB, const SbVec3f& vPosition, double dSize);
    ~TManShip() override;

    TMissile* Fire(SoGroup* pRoot) override;
    // In place, at the explosion's current scale.
    void Explode() override;
    // Shown and flying again; position, heading and velocity are the caller's to reset.
    void Revive() override;
    void ExplodeAt(float fScale, const SbVec3f& vPosition);

    // Shows or hides only; does not change IsAlive().
    void SetVisible(bool bVisible) { m_bVisible = bVisible; }
    void Rotate(double dDegrees);
    // Accelerates along the heading, each velocity component clamped to [-5, 5], and starts the
    // engine flame.
    void Thrust(double dAmount);
    void Move(double dt);

    SbVec3f GetPosition() const { return m_vPosition; }
    // Where its transform shows it now and its heading there, which a frame drawn between ticks
    // places between two ticks; for measuring what is drawn, never for the rules.
    SbVec3f GetShownPosition() const;
    double GetShownAngle() const;
    // Put there, not flown there: a wrap or a respawn, shown where it lands.
    void SetPosition(const SbVec3f& vPosition);
    SbVec3f GetVelocity() const { return m_vSpeed; }
    void SetVelocity(const SbVec3f& vSpeed) { m_vSpeed = vSpeed; }
    double GetAngle() const { return m_dAngle; }
    void SetAngle(double dAngle);

    // The collision box: the model's box (taken once, in the ship's own frame) and the flame's
    // while it shows, under the ship's place, heading and size, shrunk to three quarters; shown
    // or not. The box a bounding-box traversal of the ship's nodes finds, without the traversal.
    SbXfBox3f GetBoundingBox() const;

    // Place, speed, heading, alive and shown, with the flame and the explosion.
    void AddToDigest(TDigest& Digest) const;

    // At the start of a tick: the frames until the next one start from here.
    void BeginTick() { m_Blend.Keep(m_vPosition, m_dAngle); }
    // Writes the place and the heading dAlpha of the way from the last tick to this one (1: as
    // the ship is now), and the visibility, to the nodes; true when any changed.
    bool Present(double dAlpha = 1.0);
    SoSeparator* GetRootNode() const { return m_pThisRoot; }
    TFxEngine* GetEngine() const { return m_pFxEngine; }
    TFxExplosion* GetExplosion() const { return m_pFxXplosion; }

    static constexpr float MAX_SPEED_COMPONENT = 5.0f;
    static constexpr double MISSILE_SPEED = 10.0;

private:
    void BuildSubtree(SoGroup* pRoot, const SbVec3f& vPosition);
    void BuildEffects(const SbVec3f& vPosition);
    TFModSoundSource* NewSource(int32_t nIdSound);
    SbRotation GetRotation() const;

    double m_dAngle = 0;
    double m_dSize = 0;
    SbVec3f m_vSpeed;
    SoTransform* m_pXf = nullptr;
    SoSwitch* m_pSwitch = nullptr;
    TFxExplosion* m_pFxXplosion = nullptr;
    TFModSoundSource* m_pSndShot = nullptr;
    SoSeparator* m_pThisRoot = nullptr;
    TFxEngine* m_pFxEngine = nullptr;
    TSceneHook m_Hook;  // takes the ship's switch down with it
    SbVec3f m_vPosition;
    TTickBlend m_Blend;
    bool m_bVisible = true;
    SbXfBox3f m_ModelBox;  // the model's box in the ship's own frame, unshrunk
};
