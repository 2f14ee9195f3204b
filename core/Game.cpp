#include "core/Game.h"

#include "base/Assert.h"
#include "base/Digest.h"
#include "base/FloatEnvironment.h"
#include "base/MathConstants.h"
#include "base/PortableMath.h"
#include "core/RockBoxes.h"
#include "objects/Ships.h"

#include <algorithm>

namespace {
constexpr double RAND_SCALE = TRandom::MAX;
constexpr double HALF_WIDTH = TRules::FIELD_HALF_WIDTH;
constexpr double HALF_HEIGHT = TRules::FIELD_HALF_HEIGHT;
// The ship is made at the field's centre at twice the model's size.
constexpr double SHIP_SIZE = 2.0;
}  // namespace

TGame::TGame(const TRulesData& Data) : m_Data(Data)
{
}

TGame::~TGame()
{
    for (TMissile* pMissile : m_vecMissiles)
        delete pMissile;
    for (TAsteroid* pAsteroid : m_vecAsteroids)
        delete pAsteroid;
}

void TGame::Build(int nLevel)
{
    DRELK_ASSERT(!m_pManShip);
    DRELK_ASSERT(nLevel >= 1 && nLevel <= TRules::MAX_LEVEL);
    const TFloatEnvironment Environment;
    m_nLevel = nLevel;
    m_pManShip = std::make_unique<TManShip>(m_Random, m_Data.ShipBox, TFloat3(0.0f, 0.0f, 0.0f), SHIP_SIZE);
    StartLevel(TRules::ASTEROIDS_PER_LEVEL * m_nLevel);
}

// A random place on the field: x from the second draw, y from the first.
TFloat3 TGame::RandomPlace()
{
    const double r1 = Draw();
    const double r2 = Draw();
    return TFloat3(static_cast<float>(HALF_WIDTH - r2 * (2 * HALF_WIDTH) / RAND_SCALE),
                   static_cast<float>(HALF_HEIGHT - r1 * (2 * HALF_HEIGHT) / RAND_SCALE), 0.0f);
}

uint64_t TGame::Digest() const
{
    TDigest Digest;
    for (int32_t n : {m_nGameState, m_nStateBeforePause, m_nLevel, m_nScore, m_nShips})
        Digest.Add(n);
    Digest.Add(m_bMusicOn);
    Digest.Add(m_nLevelEndCount);
    Digest.Add(m_nRespawnCount);
    for (bool bLatched : m_bSteering)
        Digest.Add(bLatched);
    Digest.Add(m_Random.GetState());
    Digest.Add(m_Clock.GetMs());
    m_pManShip->AddToDigest(Digest);
    // The lists' lengths too: a purged entry is not the same as no entry.
    Digest.Add(static_cast<uint64_t>(m_vecAsteroids.size()));
    for (const TAsteroid* pAsteroid : m_vecAsteroids)
        pAsteroid->AddToDigest(Digest);
    Digest.Add(static_cast<uint64_t>(m_vecMissiles.size()));
    for (const TMissile* pMissile : m_vecMissiles)
        pMissile->AddToDigest(Digest);
    return Digest.Get();
}

void TGame::Note(TGameEvent Event)
{
    Event.nMs = m_Clock.GetMs();
    m_vecEvents.push_back(Event);
}

// ---- the loop ----

void TGame::Command(TCommand nCommand)
{
    DRELK_ASSERT(IsGameCommand(nCommand));
    if (nCommand == CMD_PAUSE)
        TogglePause();
    else if (nCommand == CMD_MUSIC)
        ToggleMusic();
    else
        m_bSteering[nCommand] = true;
}

void TGame::SampleCommands(bool* pSteering)
{
    // Read and cleared on every tick, whatever the state: a command given in a state that
    // ignores it is used up.
    for (int i = 0; i < STEERING_COMMANDS; ++i) {
        pSteering[i] = m_bSteering[i];
        m_bSteering[i] = false;
    }
}

bool TGame::IsTicking() const
{
    return m_nGameState == GS_PLAYING || m_nGameState == GS_RESPAWN || m_nGameState == GS_GAMEOVER;
}

void TGame::GameTick(double dt)
{
    DRELK_ASSERT(m_pManShip);
    const TFloatEnvironment Environment;
    BeginTick();
    bool bSteering[STEERING_COMMANDS];
    SampleCommands(bSteering);
    if (m_nGameState == GS_PLAYING) {
        PlayingTick(dt, bSteering);
    } else if (m_nGameState == GS_RESPAWN) {
        MoveAsteroids(dt);
        MoveMissiles(dt);
        TryRespawn();
    } else if (m_nGameState == GS_GAMEOVER) {
        MoveMissiles(dt);
        MoveAsteroids(dt);
    }
}

void TGame::StepClock(uint32_t nMs)
{
    DRELK_ASSERT(m_pManShip);
    // The flame's timer fires once a step: its interval is the step.
    DRELK_ASSERT(nMs == TManShip::FLAME_STEP_MS);
    const TFloatEnvironment Environment;
    m_Clock.Advance(nMs);
    m_pManShip->StepFlame(m_Random);
}

// Where the frames until the next tick start from: what moves this tick moves from here.
void TGame::BeginTick()
{
    m_pManShip->BeginTick();
    for (TAsteroid* pAsteroid : m_vecAsteroids)
        if (pAsteroid->IsAlive())
            pAsteroid->BeginTick();
    for (TMissile* pMissile : m_vecMissiles)
        if (pMissile->IsAlive())
            pMissile->BeginTick();
}

void TGame::PlayingTick(double dt, const bool* pSteering)
{
    if (pSteering[CMD_TURN_LEFT])
        m_pManShip->Rotate(TRules::TURN_STEP_DEGREES);
    if (pSteering[CMD_TURN_RIGHT])
        m_pManShip->Rotate(-TRules::TURN_STEP_DEGREES);
    if (pSteering[CMD_THRUST]) {
        m_pManShip->Thrust(static_cast<double>(TRules::THRUST));
        Note(TGameEvent(TGameEvent::ENGINE_STARTED));
    }
    if (pSteering[CMD_FIRE])
        FireMissile();
    MoveAsteroids(dt);
    MoveShip(dt);
    MoveMissiles(dt);
    CheckCollisions();
    if (AllAsteroidsDestroyed())
        CheckLevelEnd();
}

void TGame::TogglePause()
{
    if (m_nGameState == GS_PAUSED) {
        SetRunning(true);
        // A lost ship still waits for its place to clear.
        if (m_nStateBeforePause == GS_RESPAWN)
            m_nGameState = GS_RESPAWN;
    } else if (m_nGameState == GS_PLAYING || m_nGameState == GS_RESPAWN) {
        m_nStateBeforePause = m_nGameState;
        SetRunning(false);
    }
}

void TGame::ToggleMusic()
{
    m_bMusicOn = !m_bMusicOn;
}

void TGame::SetRunning(bool bRun)
{
    m_nGameState = bRun ? GS_PLAYING : GS_PAUSED;
}

// ---- motion ----

bool TGame::WrapPosition(TFloat3& vPosition)
{
    // Each test sees the value the one before left; a position exactly on an edge stays.
    constexpr float W = TRules::FIELD_HALF_WIDTH, H = TRules::FIELD_HALF_HEIGHT;
    bool bWrapped = false;
    if (vPosition[0] > W) {
        vPosition[0] = -W;
        bWrapped = true;
    }
    if (vPosition[0] < -W) {
        vPosition[0] = W;
        bWrapped = true;
    }
    if (vPosition[1] > H) {
        vPosition[1] = -H;
        bWrapped = true;
    }
    if (vPosition[1] < -H) {
        vPosition[1] = H;
        bWrapped = true;
    }
    return bWrapped;
}

void TGame::MoveShip(double dt)
{
    if (!m_pManShip->IsAlive())
        return;
    m_pManShip->Move(dt);
    TFloat3 vPosition = m_pManShip->GetPosition();
    if (WrapPosition(vPosition))
        m_pManShip->SetPosition(vPosition);
}

void TGame::MoveAsteroids(double dt)
{
    for (TAsteroid* pAsteroid : m_vecAsteroids) {
        if (!pAsteroid->IsAlive())
            continue;
        pAsteroid->Move(dt);
        TFloat3 vPosition = pAsteroid->GetPosition();
        if (WrapPosition(vPosition))
            pAsteroid->SetPosition(vPosition);
    }
}

void TGame::MoveMissiles(double dt)
{
    for (TMissile* pMissile : m_vecMissiles) {
        if (!pMissile->IsAlive())
            continue;
        pMissile->Move(dt);
        const TFloat3 vPosition = pMissile->GetPosition();
        // Missiles do not wrap: past an edge they are spent.
        constexpr float W = TRules::FIELD_HALF_WIDTH, H = TRules::FIELD_HALF_HEIGHT;
        if (vPosition[0] > W || !(vPosition[0] >= -W) || vPosition[1] > H || !(vPosition[1] >= -H))
            pMissile->Kill();
    }
}

void TGame::FireMissile()
{
    if (!m_pManShip->IsAlive())
        return;
    TMissile* pMissile = m_pManShip->Fire(NextSerial());
    DRELK_ASSERT(pMissile);
    m_vecMissiles.push_back(pMissile);
    Note(TGameEvent(TGameEvent::MISSILE_FIRED));
}

// ---- collisions ----

void TGame::CheckCollisions()
{
    // Nothing moves during the pass: each rock's box is made once for it.
    TRockBoxes Boxes(m_vecAsteroids);
    CheckShipHit(Boxes);
    // The missiles are tested even when the ship has just been lost.
    CheckMissileHits(Boxes);
}

void TGame::CheckShipHit(TRockBoxes& Boxes)
{
    if (!m_pManShip->IsAlive())
        return;
    const TCollisionBox ShipBox = m_pManShip->GetBoundingBox();
    const int nHit = Boxes.FirstMeeting(ShipBox);
    if (nHit < 0)
        return;
    // At most one rock meets the ship in a tick; it neither scores nor splits.
    TAsteroid* pAsteroid = m_vecAsteroids[static_cast<size_t>(nHit)];
    const TFloat3 vMiddle = (Boxes.BoxOf(static_cast<size_t>(nHit)).GetCenter() + ShipBox.GetCenter()) / 2.0f;
    constexpr float SHIP_BLAST_SCALE = 2.0f;
    m_pManShip->ExplodeAt(SHIP_BLAST_SCALE, vMiddle);
    TGameEvent Event(TGameEvent::SHIP_EXPLODED);
    Event.vPlace = vMiddle;
    Event.fScale = SHIP_BLAST_SCALE;
    Event.dAngle = m_pManShip->GetBlastAngle();
    Note(Event);
    ExplodeRock(pAsteroid, false);
    if (--m_nShips == 0)
        GameOver();
    else
        SetGameState(GS_RESPAWN);
}

void TGame::ExplodeRock(TAsteroid* pAsteroid, bool bWithEffect)
{
    pAsteroid->Explode(bWithEffect);
    TGameEvent Event(TGameEvent::ROCK_EXPLODED);
    Event.nSerial = pAsteroid->GetSerial();
    Event.nType = pAsteroid->GetType();
    Event.bWithEffect = pAsteroid->ShowsExplosion(bWithEffect);
    Event.vPlace = pAsteroid->GetPosition();
    Event.fScale = pAsteroid->GetBlastScale();
    Event.dAngle = pAsteroid->GetBlastAngle();
    Note(Event);
}

void TGame::CheckMissileHits(TRockBoxes& Boxes)
{
    // By index, reading the lengths anew: the children of a rock split here are appended and
    // can be hit by later missiles of the same tick.
    for (size_t i = 0; i < m_vecMissiles.size(); ++i) {
        TMissile* pMissile = m_vecMissiles[i];
        if (!pMissile->IsAlive())
            continue;
        const int nHit = Boxes.FirstHolding(pMissile->GetPosition());
        if (nHit < 0)
            continue;
        TAsteroid* pAsteroid = m_vecAsteroids[static_cast<size_t>(nHit)];
        const TAsteroid::TClass& Class = TAsteroid::ClassOf(pAsteroid->GetType());
        pMissile->Kill();
        ExplodeRock(pAsteroid, true);
        if (Class.nChild >= 0) {
            TAsteroid* pChilds[2] = {nullptr, nullptr};
            SplitAsteroid(pAsteroid, pMissile, pChilds);
            DRELK_ASSERT(pChilds[0]);
            DRELK_ASSERT(pChilds[1]);
            m_vecAsteroids.push_back(pChilds[0]);
            m_vecAsteroids.push_back(pChilds[1]);
        }
        m_nScore += Class.nPoints;
    }
}

bool TGame::IsSpawnAreaClear()
{
    // Where the ship was lost: a dead ship is not moved.
    TRockBoxes Boxes(m_vecAsteroids);
    return Boxes.FirstHolding(m_pManShip->GetPosition()) < 0;
}

void TGame::SplitAsteroid(TAsteroid* pAsteroid, TMissile* /*pMissile*/, TAsteroid** pChilds)
{
    DRELK_ASSERT(pAsteroid);
    DRELK_ASSERT(pChilds);
    const double k0 = 1.5 * m_nLevel;
    const TFloat3 P = pAsteroid->GetPosition();
    const TFloat3 V = pAsteroid->GetVelocity();
    const int nChildSize = TAsteroid::ClassOf(pAsteroid->GetType()).nChild;
    // Child 0 is thrown along y, child 1 along x, both faster at higher levels.
    for (int i = 0; i < 2; ++i) {
        const double a = i == 0 ? PI / 2.0 : 0.0;
        double s, co;
        TPortableMath::SinCos(a, s, co);
        const double r1 = Draw();
        const double vy = (r1 * 0.5 / RAND_SCALE + k0) * V[1] * s + 0.1;
        const double r2 = Draw();
        const double vx = (r2 * 0.5 / RAND_SCALE + k0) * V[0] * co + 0.1;
        TFloat3 vAxis;
        for (int nAxis = 2; nAxis >= 0; --nAxis)  // z, then y, then x
            vAxis[nAxis] = static_cast<float>(0.51 - Draw() / RAND_SCALE);
        const double dRate = (0.5 - Draw() / RAND_SCALE) * 0.75 + 0.05;
        pChilds[i] = CreateAsteroid(nChildSize, P, static_cast<float>(vx), static_cast<float>(vy), vAxis, dRate);
    }
}

TAsteroid* TGame::CreateAsteroid(int nSize, const TFloat3& vPosition, float fVx, float fVy, const TFloat3& vAxis,
                                 double dRotationSpeed)
{
    const float* B = TAsteroid::ClassOf(nSize).fBaseExtents;
    TFloat3 D;
    for (int nAxis = 2; nAxis >= 0; --nAxis)  // z, then y, then x
        D[nAxis] = static_cast<float>(B[nAxis] * 0.5 + (Draw() / RAND_SCALE) * B[nAxis] * 0.1);
    TAsteroid* pAsteroid = new TAsteroid(m_Random, vPosition, D, nSize, NextSerial());
    DRELK_ASSERT(pAsteroid);
    pAsteroid->SetVelocity(fVx, fVy);
    pAsteroid->SetSpin(dRotationSpeed, vAxis);
    return pAsteroid;
}

// ---- levels, lives, score ----

void TGame::StartLevel(int nCount)
{
    // Placed rocks stay where they are while the level fills.
    TRockBoxes Boxes(m_vecAsteroids);
    m_vecAsteroids.reserve(m_vecAsteroids.size() + static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i) {
        const TFloat3 vPosition = RandomPlace();
        const double r3 = Draw();
        const double r4 = Draw();
        const float fVx = static_cast<float>(0.25 - r4 * 0.5 / RAND_SCALE);
        const float fVy = static_cast<float>(0.25 - r3 * 0.5 / RAND_SCALE);
        TFloat3 vAxis;
        for (int nAxis = 2; nAxis >= 0; --nAxis)  // z, then y, then x
            vAxis[nAxis] = static_cast<float>(Draw() / RAND_SCALE + 0.1);
        const double dRotationSpeed = (Draw() / RAND_SCALE) * 0.1;
        TAsteroid* pAsteroid = CreateAsteroid(TAsteroid::LARGE, vPosition, fVx, fVy, vAxis, dRotationSpeed);
        PlaceAsteroid(pAsteroid, Boxes);
        m_vecAsteroids.push_back(pAsteroid);
    }
}

void TGame::PlaceAsteroid(TAsteroid* pAsteroid, TRockBoxes& Boxes)
{
    // Away from every rock already listed; after MAX_PLACEMENT_ATTEMPTS places it stays.
    for (int nAttempt = 0; nAttempt < TRules::MAX_PLACEMENT_ATTEMPTS; ++nAttempt) {
        if (Boxes.FirstMeeting(pAsteroid->GetBoundingBox()) < 0)
            return;
        pAsteroid->SetPosition(RandomPlace());
    }
}

bool TGame::AllAsteroidsDestroyed() const
{
    for (const TAsteroid* pAsteroid : m_vecAsteroids)
        if (pAsteroid->IsAlive())
            return false;
    return true;
}

void TGame::CheckLevelEnd()
{
    // The count survives ticks in other states: the next level comes on the 100th playing
    // tick without a rock.
    if (++m_nLevelEndCount < TRules::LEVEL_END_TICKS)
        return;
    m_nLevelEndCount = 0;
    PurgeDeadObjects();
    m_Random.Seed(m_Clock.GetTickCount());
    ++m_nLevel;
    StartLevel(TRules::ASTEROIDS_PER_LEVEL * m_nLevel);
}

void TGame::PurgeDeadObjects()
{
    for (TMissile*& pMissile : m_vecMissiles) {
        if (!pMissile->IsAlive()) {
            delete pMissile;
            pMissile = nullptr;
        }
    }
    for (TAsteroid*& pAsteroid : m_vecAsteroids) {
        if (!pAsteroid->IsAlive()) {
            delete pAsteroid;
            pAsteroid = nullptr;
        }
    }
    // The emptied entries go at once, so that the lists, and the walks over them every tick,
    // do not grow level after level.
    m_vecMissiles.erase(std::remove(m_vecMissiles.begin(), m_vecMissiles.end(), nullptr), m_vecMissiles.end());
    m_vecAsteroids.erase(std::remove(m_vecAsteroids.begin(), m_vecAsteroids.end(), nullptr), m_vecAsteroids.end());
}

void TGame::TryRespawn()
{
    if (++m_nRespawnCount <= TRules::RESPAWN_TICKS)
        return;
    // Clear where the ship was lost; the test repeats every tick until it is.
    if (!IsSpawnAreaClear())
        return;
    m_nRespawnCount = 0;
    m_pManShip->Revive();
    m_pManShip->SetAngle(0.0);
    m_pManShip->SetPosition(TFloat3(0.0f, 0.0f, 0.0f));
    m_pManShip->SetVelocity(TFloat3(0.0f, 0.0f, 0.0f));
    SetGameState(GS_PLAYING);
}

void TGame::GameOver()
{
    m_nGameState = GS_GAMEOVER;
    Note(TGameEvent(TGameEvent::GAME_OVER));
}
