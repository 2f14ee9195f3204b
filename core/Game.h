#pragma once
// The game itself: its state, its rules and its scene, with no window, GL context or sound
// device of its own. The driver (core/GameDriver) owns one and steps it; the window, the
// headless simulator, the tests and the benchmarks all go through the driver.
//
// Data flows one way: commands are latched -> GameTick reads them, moves, collides and counts
// on the objects' plain state -> Present writes the scene nodes once -> the viewer renders.

#include "core/Commands.h"
#include "core/Rules.h"
#include "objects/Asteroids.h"
#include "objects/Weapons.h"

#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SbXfBox3f.h>

#include <cstdint>
#include <vector>

class SoSeparator;
class TBackground2D;
class TBanner;
class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
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

    // Purged missiles deleted at the end of each tick, at most: about a millisecond's work.
    static constexpr int SPENT_DELETES_PER_TICK = 100;

    TGame(TDataBanker* pDB, TFModSoundManager* pSM);
    ~TGame();
    TGame(const TGame&) = delete;
    TGame& operator=(const TGame&) = delete;

    // Builds the game music, the scene roots, the background, the ship, the first level
    // (8 x nLevel large rocks) and the banners, in that order. Once.
    void Build(int nLevel = 1);
    // The root of everything the game shows; the viewer renders it.
    SoSeparator* GetRoot() const { return m_pRoot; }

    // One of the game's commands, between two ticks: a key-down (a fresh press or an
    // auto-repeat), a pad press, or one read from a replay.
    void Command(TCommand nCommand);
    // One step of dt game time: keys, motion, collisions, countdowns, banners. The scene is
    // written by Present.
    void GameTick(double dt);
    // Writes the objects to the scene as they show dAlpha of the way from the last tick to this
    // one (1: as they are now): a frame drawn between two ticks.
    void Present(double dAlpha = 1.0);
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
    TManShip* GetShip() const { return m_pManShip; }
    const TVecPtrMissiles& GetMissiles() const { return m_vecMissiles; }
    const TVecPtrAsteroids& GetAsteroids() const { return m_vecAsteroids; }
    TFModSoundSource* GetMusic() const { return m_pBkSnd; }
    TBanner* GetBanner(int nIndex) const;  // ships, level, score, game over

    // A digest of everything the rules and the effects carry from one tick to the next (the
    // objects' places, speeds, headings and tumbles, the counters, the latched commands, the
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
    TAsteroid* CreateAsteroid(int nSize, const SbVec3f& vPosition, const SbVec2f& vVelocity, const SbVec3f& vAxis,
                              double dRotationSpeed);
    void StartLevel(int nCount);
    bool AllAsteroidsDestroyed() const;
    void CheckLevelEnd();
    void PurgeDeadObjects();
    void DeleteSpentMissiles();
    void TryRespawn();
    void GameOver();
    void UpdateBanners();
    void BeginTick();
    void SetGameState(int32_t nState) { m_nGameState = nState; }

    void CreateMusic();
    void CreateSceneRoots();
    void CreateBackground();
    void CreateShip();
    void CreateBanners();
    void SampleCommands(bool* pSteering);
    void PlayingTick(double dt, const bool* pSteering);
    void CheckShipHit(TRockBoxes& Boxes);
    void CheckMissileHits(TRockBoxes& Boxes);
    void PlaceAsteroid(TAsteroid* pAsteroid, TRockBoxes& Boxes);
    static bool WrapPosition(SbVec3f& vPosition);

    TDataBanker* m_pDB;
    TFModSoundManager* m_pSM;
    TFModSoundSource* m_pBkSnd = nullptr;
    TManShip* m_pManShip = nullptr;
    TBackground2D* m_pBkgnd = nullptr;
    TVecPtrMissiles m_vecMissiles;
    TVecPtrMissiles m_vecSpentMissiles;  // purged, out of the scene, deleted a batch a tick
    TVecPtrAsteroids m_vecAsteroids;
    int32_t m_nGameState = GS_IDLE;
    int32_t m_nStateBeforePause = GS_PLAYING;
    bool m_bMusicOn = true;
    int32_t m_nLevel = 1;
    int32_t m_nScore = 0;
    int32_t m_nShips = TRules::SHIPS;
    SoSeparator* m_pRoot = nullptr;
    SoSeparator* m_pRootMisls = nullptr;
    SoSeparator* m_pRootAsteroids = nullptr;
    SoSeparator* m_pRootBanners = nullptr;
    TBanner* m_pShipsBanner = nullptr;
    TBanner* m_pLevelBanner = nullptr;
    TBanner* m_pScoresBanner = nullptr;
    TBanner* m_pGameOverBanner = nullptr;

    bool m_bSteering[STEERING_COMMANDS] = {};  // steering commands latched since the last tick
    int m_nLevelEndCount = 0;
    int m_nRespawnCount = 0;
    // What the banners show now, so that an unchanged text is not set again (setting it
    // makes the scene library rebuild the 3D text).
    int32_t m_nShownShips = -1, m_nShownLevel = -1, m_nShownScore = -1;

    // Places rocks and missiles where a test or a measurement needs them; only they include it.
    friend class TGameTestAccess;
};
