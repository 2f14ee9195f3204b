#pragma once
// The player's ship: a model from the data file (the rules know only its box), with a heading
// about the z axis and a velocity in the plane z = 0. It turns, thrusts, drifts without friction,
// fires missiles and explodes. At heading a it thrusts and fires along (cos(a + pi/2),
// sin(a + pi/2)): +y at a = 0. Its engine flame shows for a burst after each thrust, flickering
// at every step of the game clock, and while it shows the ship's box covers it: the flame is
// part of the rules. Plain state only: the game's scene draws the ship from here.

#include "base/Float3.h"
#include "base/TickBlend.h"
#include "objects/CollisionBox.h"

#include <cstdint>

class TDigest;
class TMissile;
class TRandom;

class TShip
{
public:
    TShip() = default;
    virtual ~TShip() = default;
    TShip(const TShip&) = delete;
    TShip& operator=(const TShip&) = delete;

    // A new missile, shown and flying; the caller owns it.
    virtual TMissile* Fire(uint32_t nSerial) = 0;
    virtual void Explode() = 0;
    virtual void Revive() = 0;

    bool IsAlive() const { return m_bAlive; }

protected:
    bool m_bAlive = true;
};

class TManShip : public TShip
{
public:
    static constexpr float MAX_SPEED_COMPONENT = 5.0f;
    static constexpr double MISSILE_SPEED = 10.0;
    static constexpr double MISSILE_SIZE = 1.0;
    // The flame: a 1 x 1 square a third of the ship's size behind its centre, in the ship's own
    // frame, turned a quarter clockwise; after a thrust it flickers for BURST_STEPS steps of the
    // game clock (one a tick), then hides.
    static constexpr float FLAME_SIZE = 1.0f;
    static constexpr int FLAME_BURST_STEPS = 16;
    static constexpr uint32_t FLAME_STEP_MS = 10;

    // ModelBox: the model's box in the ship's own frame, the quarter turn about x that lays it
    // into the play plane made. Makes two draws (its explosion's turn, then its size).
    TManShip(TRandom& Random, const TBox3& ModelBox, const TFloat3& vPosition, double dSize);

    TMissile* Fire(uint32_t nSerial) override;
    // In place, at the explosion's current size.
    void Explode() override;
    // Shown and flying again; position, heading and velocity are the caller's to reset.
    void Revive() override;
    // Destroyed, its explosion at a size (for good) and a place.
    void ExplodeAt(float fScale, const TFloat3& vPosition);

    // Shows or hides only; does not change IsAlive().
    void SetVisible(bool bVisible) { m_bVisible = bVisible; }
    bool IsVisible() const { return m_bVisible; }
    void Rotate(double dDegrees);
    // Accelerates along the heading, each velocity component clamped to [-5, 5], and starts the
    // flame's burst.
    void Thrust(double dAmount);
    void Move(double dt);
    // One step of the game clock: the flame flickers (two draws: its height, then its width)
    // while its burst lasts.
    void StepFlame(TRandom& Random);

    TFloat3 GetPosition() const { return m_vPosition; }
    // Put there, not flown there: a wrap or a respawn, shown where it lands.
    void SetPosition(const TFloat3& vPosition);
    TFloat3 GetVelocity() const { return m_vSpeed; }
    void SetVelocity(const TFloat3& vSpeed) { m_vSpeed = vSpeed; }
    double GetAngle() const { return m_dAngle; }
    void SetAngle(double dAngle);
    double GetSize() const { return m_dSize; }

    // The collision box: the model's box and the flame's while it shows, in the ship's own
    // frame, shrunk to three quarters, under the ship's place, heading and size; shown or not.
    TCollisionBox GetBoundingBox() const;

    // Place, speed, heading, alive and shown, and the flame.
    void AddToDigest(TDigest& Digest) const;

    // At the start of a tick: the frames until the next one start from here.
    void BeginTick() { m_Blend.Keep(m_vPosition, m_dAngle); }
    const TTickBlend& GetBlend() const { return m_Blend; }

    // What the scene draws: the flame, the explosion's turn, size and place.
    bool IsFlameShown() const { return m_bFlameShown; }
    bool IsFlameBurning() const { return m_bFlameBurning; }
    int GetFlameSteps() const { return m_nFlameSteps; }
    // The flicker's scale of the square, along its own x and y.
    float GetFlameWidth() const { return m_fFlameWidth; }
    float GetFlameHeight() const { return m_fFlameHeight; }
    // The flame's place in the ship's own frame.
    TFloat3 GetFlamePlace() const;
    double GetBlastAngle() const { return m_dBlastAngle; }
    float GetBlastScale() const { return m_fBlastScale; }
    TFloat3 GetBlastPlace() const { return m_vBlastPlace; }

private:
    void StopFlame();
    TBox3 FlameBox() const;

    double m_dAngle = 0;
    double m_dSize;
    TFloat3 m_vPosition;
    TFloat3 m_vSpeed;
    bool m_bVisible = true;
    TBox3 m_ModelBox;
    bool m_bFlameBurning = false;
    bool m_bFlameShown = false;
    int m_nFlameSteps = 0;
    float m_fFlameWidth = 1.0f;
    float m_fFlameHeight = 1.0f;
    double m_dBlastAngle = 0;
    float m_fBlastScale = 1;
    TFloat3 m_vBlastPlace;
    TTickBlend m_Blend;
};
