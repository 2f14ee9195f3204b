#pragma once
// A missile: a small square flying in a straight line in the plane z = 0. It has no lifetime of
// its own; the game kills it at the field's edge or when it hits a rock. Plain state only: the
// game's scene draws it from here.

#include "base/Float3.h"
#include "base/TickBlend.h"

#include <cstdint>
#include <vector>

class TCollisionBox;
class TDigest;

class TMissile
{
public:
    // Hidden but alive: the ship shows it when it fires. The serial tells it from every other
    // object of its game.
    TMissile(const TFloat3& vPosition, double dSize, uint32_t nSerial);

    void SetVelocity(float fX, float fY) { m_vSpeed = TFloat3(fX, fY, 0.0f); }
    TFloat3 GetVelocity() const { return m_vSpeed; }
    void Move(double dt);

    TFloat3 GetPosition() const { return m_vPosition; }
    // Put there, not flown there: shown where it lands.
    void SetPosition(const TFloat3& vPosition);

    // Shows or hides only.
    void SetVisible(bool bVisible) { m_bVisible = bVisible; }
    bool IsVisible() const { return m_bVisible; }
    // Spent: dead, and hidden.
    void Kill();
    bool IsAlive() const { return m_bAlive; }

    // A missile is a point: its position against the box.
    bool Hits(const TCollisionBox& Box) const;

    // Place, speed, alive and shown.
    void AddToDigest(TDigest& Digest) const;

    // At the start of a tick: the frames until the next one start from here.
    void BeginTick() { m_Blend.Keep(m_vPosition, 0.0); }
    const TTickBlend& GetBlend() const { return m_Blend; }
    uint32_t GetSerial() const { return m_nSerial; }
    double GetSize() const { return m_dSize; }

private:
    TFloat3 m_vPosition;
    TFloat3 m_vSpeed;
    double m_dSize;
    uint32_t m_nSerial;
    bool m_bAlive = true;
    bool m_bVisible = false;
    TTickBlend m_Blend;
};

// Every missile fired this level, spent ones included until the next level purges them. The
// game owns them.
using TVecPtrMissiles = std::vector<TMissile*>;
