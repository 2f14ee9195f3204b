#pragma once
// The one way the game is started, run, paused and ticked. The window, the headless simulator,
// the tests and the benchmarks all go through here, so they open the same things in the same
// order and make the same random draws in the rules (the effects' timers draw too: in virtual
// time at fixed steps between ticks, in the window whenever the wall clock fires them).
//
//   Open   the sound manager, then the data file and its asset bank;
//   Start  a fresh game at a level, running, as the player's Start begins it;
//   then key-downs between timer steps, each step a game tick when the game ticks.

#include "core/Game.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class SoSeparator;
class TDataBanker;
class TFModSoundManager;

class TGameDriver
{
public:
    // The game timer's interval.
    static constexpr uint32_t TICK_MS = 10;
    // The most ticks one late timer event runs; older due ticks are dropped, so that a slow
    // frame slows the game a little instead of making it jump.
    static constexpr int MAX_DUE_TICKS = 5;

    // Real time: the effects' timers follow the wall clock (the window). Virtual time: they move
    // only with Step, 10 ms a step, so that a headless run is reproducible.
    enum TClock { CLOCK_REAL, CLOCK_VIRTUAL };

    explicit TGameDriver(TClock nClock);
    // The game goes first, then the asset bank, then the sound manager.
    ~TGameDriver();
    TGameDriver(const TGameDriver&) = delete;
    TGameDriver& operator=(const TGameDriver&) = delete;

    static constexpr const char* DATA_FILE_NAME = "Drelk_II.bin";
    // Where the data file is looked for when no other is given, in order: beside the executable
    // (a build tree), then the installed data folder.
    static std::vector<std::string> DataFilePlaces();
    // The first of those places that holds something; the last when none does.
    static std::string DefaultDataFile();

    // Opens the sound manager, then the asset bank on the data file. False with the reason
    // (which list and item is wrong) when the file cannot serve the game.
    bool Open(const std::string& strDataFile, std::string& strError);
    TDataBanker* GetBank() const { return m_pBank.get(); }
    TFModSoundManager* GetSound() const { return m_pSound.get(); }

    // A fresh game at the level, from the generator's start-up state, running. A game that was
    // there before is dropped first.
    TGame& Start(int nLevel = 1);
    // The game, for those that read its state (the simulator's lines, the tests); null before
    // Start.
    TGame* GetGame() const { return m_pGame.get(); }
    // What the viewer shows: the game's scene; null before Start.
    SoSeparator* GetScene() const;

    // A key-down of the game's keys, between two steps.
    void KeyDown(TGame::TKey nKey);
    // Run (playing) or pause, with the music, as the window's start and leaving ask.
    void SetRunning(bool bRun);
    // True while the game's ticks are due (playing, a ship waiting, game over); false before
    // Start and while paused.
    bool IsTicking() const;
    // The player is away: a game in play, or waiting for its next ship, pauses as with P and
    // stays paused until P. A paused or finished game is left as it is.
    void Pause();
    // In play or waiting for the next ship: what P and Pause would pause.
    bool IsRunning() const;
    // Music heard or silenced, as M leaves it.
    void SetMusicOn(bool bOn);
    bool IsMusicOn() const;
    // What a finished game is remembered by.
    bool IsGameOver() const;
    int32_t GetScore() const;
    int32_t GetLevel() const;
    // One step of the game timer: a game tick when the game ticks (not while paused); in virtual
    // time the effects' clock then moves on 10 ms. True when a game tick ran.
    bool Step();

    // For a timer that may come late: from now on, one tick is due every 10 ms after nNowMs.
    void RestartSchedule(uint64_t nNowMs);
    // Runs the steps due by nNowMs, at most MAX_DUE_TICKS of them; returns how many ran.
    int RunDueTicks(uint64_t nNowMs);
    // Ticks dropped so far because they were too late.
    uint64_t GetDroppedTicks() const { return m_nDropped; }

private:
    // The game, which every call but Start, GetGame, GetScene and IsTicking needs started.
    TGame& Started() const;

    TClock m_nClock;
    std::unique_ptr<TFModSoundManager> m_pSound;
    std::unique_ptr<TDataBanker> m_pBank;
    std::unique_ptr<TGame> m_pGame;
    uint64_t m_nNextDueMs = 0;
    uint64_t m_nDropped = 0;
};
