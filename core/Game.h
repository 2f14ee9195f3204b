#pragma once
// The game itself: its state and its rules, with no scene, window, GL context or sound device.
// A game owns everything it carries from one tick to the next (the objects, the counters, its
// generator, its clock), so two games can run side by side in one process. The driver
// (core/GameDriver) owns one and steps it; the window, the headless simulator, the replay
// checker, the tests and the benchmarks all go through the driver.
//
// Data flows one way: commands are latched -> GameTick reads them, moves, collides and counts
// on the objects' plain state, noting the sounds and effects it sets off -> the scene draws the
// state between ticks and plays the events.

#include "base/GameClock.h"
#include "base/Random.h"
#include "core/Commands.h"
#include "core/GameEvents.h"
#include "core/Rules.h"
#include "core/RulesData.h"
#include "objects/Asteroids.h"
#include "objects/CollisionBox.h"
#include "objects/Weapons.h"

#include <cstdint>
#include <memory>
#include <vector>

class TManShip;
class TRockBoxes;

// Game states, as stored.
enum : int32_t {
    GS_IDLE = 0,      // before the player starts; no ticks
    GS_PLAYING = 1,   // keys, motion, collisions, level end
    GS_PAUSED = 2,    // no ticks, music paused
    GS_RESPAWN = 3,   // rocks and missiles move; waiting for the next ship
    GS_GAMEOVER = 4,  // rocks and missiles move behind "Game Over"
};

class TGame
{
public:
    // The steering commands, which latch until the next tick samples them.
    static constexpr int STEERING_COMMANDS = CMD_FIRE + 1;

    // A game on the rules' data (what they read from the data file).
    explicit TGame(const TRulesData& Data);
    ~TGame();
    TGame(const TGame&) = delete;
    TGame& operator=(const TGame&) = delete;

    // Builds the ship and the first level (8 x nLevel large rocks), in that order. Once.
    void Build(int nLevel = 1);

    // One of the game's commands, between two ticks: a key-down (a fresh press or an
    // auto-repeat), a pad press, or one read from a replay.
    void Command(TCommand nCommand);
    // One step of dt game time: keys, motion, collisions, countdowns.
    void GameTick(double dt);
    // One step of the game clock, whether the game ticks or not: the flame flickers.
    void StepClock(uint32_t nMs);
    // True in the states whose ticks the window's timer must deliver (playing, respawn, game over).
    bool IsTicking() const;

    // P: pause or resume, in any state but game over. A pause taken while a lost ship waits
    // resumes into that wait.
    void TogglePause();
    // M: the music between its volume and silence; it never stops.
    void ToggleMusic();
    // Run (playing) or pause, with the music.
    void SetRunning(bool bRun);
    bool IsGameOver() const { return m_nGameState == GS_GAMEOVER; }

    int32_t GetGameState() const { return m_nGameState; }
    int32_t GetLevel() const { return m_nLevel; }
    int32_t GetScore() const { return m_nScore; }
    int32_t GetShips() const { return m_nShips; }
    bool IsMusicOn() const { return m_bMusicOn; }
    const TManShip* GetShip() const { return m_pManShip.get(); }
    TManShip* GetShip() { return m_pManShip.get(); }
    const TVecPtrMissiles& GetMissiles() const { return m_vecMissiles; }
    const TVecPtrAsteroids& GetAsteroids() const { return m_vecAsteroids; }
    const TGameClock& GetClock() const { return m_Clock; }
    const TRandom& GetRandom() const { return m_Random; }

    // The sounds and effects set off since the list was last emptied, in order.
    const TVecGameEvents& GetEvents() const { return m_vecEvents; }
    void ClearEvents() { m_vecEvents.clear(); }

    // A digest of everything the rules carry from one tick to the next (the objects' places,
    // speeds, headings and tumbles, the flame, the counters, the latched commands, the
    // generator, the game clock): two games with the same digest play on the same.
    uint64_t Digest() const;

private:
    // The rules, each one step of the tick.
    void MoveShip(double dt);
    void MoveAsteroids(double dt);
    void MoveMissiles(double dt);
    void FireMissile();
    void CheckCollisions();
    bool IsSpawnAreaClear();
    void SplitAsteroid(TAsteroid* pAsteroid, TMissile* pMissile, TAsteroid** pChilds);
    TAsteroid* CreateAsteroid(int nSize, const TFloat3& vPosition, float fVx, float fVy, const TFloat3& vAxis,
                              double dRotationSpeed);
    void StartLevel(int nCount);
    bool AllAsteroidsDestroyed() const;
    void CheckLevelEnd();
    void PurgeDeadObjects();
    void TryRespawn();
    void GameOver();
    void BeginTick();
    void SetGameState(int32_t nState) { m_nGameState = nState; }
    void ExplodeRock(TAsteroid* pAsteroid, bool bWithEffect);

    void SampleCommands(bool* pSteering);
    void PlayingTick(double dt, const bool* pSteering);
    void CheckShipHit(TRockBoxes& Boxes);
    void CheckMissileHits(TRockBoxes& Boxes);
    void PlaceAsteroid(TAsteroid* pAsteroid, TRockBoxes& Boxes);
    TFloat3 RandomPlace();
    double Draw() { return m_Random.Draw(); }
    uint32_t NextSerial() { return ++m_nLastSerial; }
    void Note(TGameEvent Event);
    static bool WrapPosition(TFloat3& vPosition);

    TRulesData m_Data;
    TRandom m_Random;
    TGameClock m_Clock;
    std::unique_ptr<TManShip> m_pManShip;
    TVecPtrMissiles m_vecMissiles;
    TVecPtrAsteroids m_vecAsteroids;
    int32_t m_nGameState = GS_IDLE;
    int32_t m_nStateBeforePause = GS_PLAYING;
    bool m_bMusicOn = true;
    int32_t m_nLevel = 1;
    int32_t m_nScore = 0;
    int32_t m_nShips = TRules::SHIPS;
    bool m_bSteering[STEERING_COMMANDS] = {};  // steering commands latched since the last tick
    int m_nLevelEndCount = 0;
    int m_nRespawnCount = 0;
    uint32_t m_nLastSerial = 0;
    TVecGameEvents m_vecEvents;

    // Places rocks and missiles where a test or a measurement needs them; only they include it.
    friend class TGameTestAccess;
};
