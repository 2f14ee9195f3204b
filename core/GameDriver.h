#pragma once
// The one way the game is started, run and ticked. The window, the headless simulator, the
// tests and the benchmarks all go through here, so they open the same things in the same order,
// and the same commands on the same ticks give them the same game.
//
//   Open    the sound manager, then the data file and its asset bank;
//   Start   a fresh game at a level, running, as the player's Start begins it, recorded;
//           or StartReplay, a recorded game played again from its commands;
//   then    commands between steps, each step a tick of the game clock (a game tick when the
//           game ticks); Leave when the player leaves, which ends the record.
//
// A step moves the game clock 10 ms whether the game ticks or not. The window steps only while
// the game ticks (its timer is off while paused); a key script may step a paused game, whose
// effects then run on.

#include "core/Commands.h"
#include "core/Game.h"
#include "core/Replay.h"

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
    // The game timer's interval: a tick of game time.
    static constexpr uint32_t TICK_MS = 10;
    static constexpr uint64_t TICK_US = TICK_MS * 1000;
    // The most ticks one late timer event runs; older due ticks are dropped, so that a slow
    // frame slows the game a little instead of making it jump.
    static constexpr int MAX_DUE_TICKS = 5;

    TGameDriver();
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

    // Opens the sound manager, then the asset bank on the data file, and takes the file's
    // SHA-256 for the replays. False with the reason (which list and item is wrong) when the
    // file cannot serve the game.
    bool Open(const std::string& strDataFile, std::string& strError);
    TDataBanker* GetBank() const { return m_pBank.get(); }
    TFModSoundManager* GetSound() const { return m_pSound.get(); }
    const TSha256& GetDataSha() const { return m_DataSha; }

    // A fresh game at the level, from the generator's start-up state, running, recorded. A
    // game that was there before is dropped first.
    TGame& Start(int nLevel = 1);
    // The recorded game played again: from now on each step takes the replay's commands for its
    // tick, and the game's digests are held against the replay's. False, with the reason and no
    // game started, when this game cannot play it as it was played (other rules, another data
    // file).
    bool StartReplay(const TReplay& Replay, std::string& strError);

    // The game, for those that read its state (the simulator's lines, the tests); null before
    // Start.
    TGame* GetGame() const { return m_pGame.get(); }
    // What the viewer shows: the game's scene; null before Start.
    SoSeparator* GetScene() const;

    // One of the game's commands, now, between two steps: it counts as coming before the next
    // step and is recorded so. Not while a replay plays, whose commands are its own.
    void Command(TCommand nCommand);
    // One step of the game timer: the replay's commands for it when one plays, then a game tick
    // when the game ticks (not while paused), then 10 ms of game time for the effects. True when
    // a game tick ran. A replay that has run all its ticks takes no more steps (false).
    bool Step();
    // Steps taken since Start.
    uint32_t GetTicks() const { return m_nTicks; }

    // Who writes the game to its scene: each step, as it leaves the game (the default), or the
    // window's frames, drawn between ticks.
    void SetFramesPresent(bool bFrames) { m_bFramesPresent = bFrames; }
    // How far a frame at nNowUs (on the caller's clock, as given to RunDueTicks) lies from the
    // last tick that ran to the next: 0 at the last, 1 at the next or later.
    double AlphaAt(uint64_t nNowUs) const;
    // The game written to its scene as it shows at nNowUs.
    void PresentAt(uint64_t nNowUs);

    // True while the game's ticks are due (playing, a ship waiting, game over); false before
    // Start and while paused.
    bool IsTicking() const;
    // In play or waiting for the next ship: what a pause would pause.
    bool IsRunning() const;
    bool IsMusicOn() const;
    bool IsGameOver() const;
    int32_t GetScore() const;
    int32_t GetLevel() const;

    // The player leaves: the record ends here, and the game stops with its music. Once.
    void Leave();
    bool HasLeft() const { return m_bLeft; }
    // The game as recorded so far, ending with its state now (or when the player left). While
    // a replay plays, the replay itself.
    TReplay GetRecord() const;

    // A replay playing: true once it has run every tick and its last commands (a step then
    // returns false).
    bool IsReplaying() const { return m_pReplay != nullptr; }
    bool IsReplayOver() const { return m_bReplayOver; }
    // The first tick after which the game's state differs from the replay's, 0 while none does.
    uint32_t GetReplayDeparture() const { return m_nDeparture; }
    // How many of the replay's digests have been checked and found the same.
    uint32_t GetDigestsChecked() const { return m_nDigestsChecked; }

    // For a timer that may come late, on a clock of microseconds: from now on, one tick is due
    // every 10 ms after nNowUs.
    void RestartSchedule(uint64_t nNowUs);
    // Runs the steps due by nNowUs, at most nMaxDue of them; returns how many ran.
    int RunDueTicks(uint64_t nNowUs, int nMaxDue = MAX_DUE_TICKS);
    // When the last step that ran was due, on the caller's clock: frames are drawn between it
    // and the next.
    uint64_t GetLastDueUs() const { return m_nNextDueUs >= TICK_US ? m_nNextDueUs - TICK_US : 0; }
    // Ticks dropped so far because they were too late.
    uint64_t GetDroppedTicks() const { return m_nDropped; }

private:
    // The game, which every call but Start, GetGame, GetScene and IsTicking needs started.
    TGame& Started() const;
    TGame& NewGame(int nLevel);
    void ApplyReplayCommands(uint32_t nTick);
    void CheckDigest(uint64_t nExpected, uint32_t nTick);
    void FinishReplay();

    std::unique_ptr<TFModSoundManager> m_pSound;
    std::unique_ptr<TDataBanker> m_pBank;
    std::unique_ptr<TGame> m_pGame;
    TSha256 m_DataSha{};
    uint32_t m_nTicks = 0;
    // The record of a game played here.
    TReplay m_Record;
    bool m_bLeft = false;
    // The replay playing, and how far.
    std::unique_ptr<TReplay> m_pReplay;
    size_t m_nNextCommand = 0;
    bool m_bReplayOver = false;
    uint32_t m_nDeparture = 0;
    uint32_t m_nDigestsChecked = 0;
    uint64_t m_nNextDueUs = 0;
    uint64_t m_nDropped = 0;
    bool m_bFramesPresent = false;
};
