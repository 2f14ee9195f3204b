#pragma once
// The one way the game is started, run and ticked. The window, the headless simulator, the score
// service, the tests and the benchmarks all go through here, so they open the same things in
// the same order, and the same commands on the same ticks give them the same game.
//
//   Open    the sound manager, then the data file and its asset bank, and what the rules read
//           from it (the ship's box);
//   Start   a fresh game at a level, running, as the player's Start begins it, recorded;
//           or StartReplay, a recorded game played again from its commands;
//   then    commands between steps, each step a tick of the game clock (a game tick when the
//           game ticks), the game's scene following each; frames drawn between ticks; Leave
//           when the player leaves, which ends the record.
//
// The game's steps themselves are its run's (core/GameRun), which the replay checker also plays
// without any of the rest.

#include "core/Commands.h"
#include "core/Game.h"
#include "core/GameRun.h"
#include "core/Replay.h"
#include "core/RulesData.h"
#include "fx/Debris.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class SoSeparator;
class TDataBanker;
class TFModSoundManager;
class TGameScene;

class TGameDriver
{
public:
    // The game timer's interval: a tick of game time.
    static constexpr uint32_t TICK_MS = TGameRun::TICK_MS;
    // What a game started here shows: its scene and sounds, or nothing (a check, a measurement
    // of the rules).
    enum TShow { SHOW_SCENE, SHOW_NOTHING };

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

    // Opens the sound manager, then the asset bank on the data file, and takes what the rules
    // read from it. False with the reason (which list and item is wrong) when the file cannot
    // serve the game.
    bool Open(const std::string& strDataFile, std::string& strError);
    TDataBanker* GetBank() const { return m_pBank.get(); }
    TFModSoundManager* GetSound() const { return m_pSound.get(); }
    const TRulesData& GetRulesData() const { return m_RulesData; }
    // The ship model's box in the ship's own frame, as the rules take it: the model's points'
    // box, turned the quarter about x exactly.
    static TBox3 ShipModelBox(const TDataBanker& Bank);

    // How many sparks and fragments the games started from now on throw; never a change to the
    // game itself.
    void SetEffectsDetail(TEffectsDetail nDetail) { m_nEffectsDetail = nDetail; }

    // A fresh game at the level, running, recorded. A game that was there before is dropped
    // first.
    TGame& Start(int nLevel = 1, TShow nShow = SHOW_SCENE);
    // The recorded game played again: from now on each step takes the replay's commands for its
    // tick, and the game's digests are held against the replay's. False, with the reason and no
    // game started, when this game cannot play it as it was played (other rules, another data
    // file's ship).
    bool StartReplay(const TReplay& Replay, std::string& strError, TShow nShow = SHOW_SCENE);

    // The game, for those that read its state; null before Start.
    TGame* GetGame() const { return m_pRun ? &m_pRun->GetGame() : nullptr; }
    TGameRun* GetRun() const { return m_pRun.get(); }
    // What the viewer shows: the game's scene; null before Start or without a scene.
    SoSeparator* GetScene() const;
    TGameScene* GetGameScene() const { return m_pScene.get(); }

    // One of the game's commands, now, between two steps: it counts as coming before the next
    // step and is recorded so. Not while a replay plays, whose commands are its own.
    void Command(TCommand nCommand);
    // One step of the game timer: the rules alone; the scene catches up at the next frame. True
    // when a game tick ran.
    bool Step();
    uint32_t GetTicks() const { return Started().GetTicks(); }
    // A frame: the scene catches up with the game and is written as it shows dAlpha of the way
    // from the last tick to this one.
    void Present(double dAlpha);
    // The scene catches up with the game now (a test that placed rocks, a run about to end).
    void Follow() { AfterChange(); }

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
    // The game as recorded so far; while a replay plays, the replay itself.
    TReplay GetRecord() const { return Started().GetRecord(); }

    bool IsReplaying() const { return m_pRun && m_pRun->IsReplaying(); }
    bool IsReplayOver() const { return m_pRun && m_pRun->IsReplayOver(); }
    uint32_t GetReplayDeparture() const { return Started().GetReplayDeparture(); }
    uint32_t GetDigestsChecked() const { return Started().GetDigestsChecked(); }

private:
    TGameRun& Started() const;
    void NewScene(TShow nShow);
    void AfterChange();

    std::unique_ptr<TFModSoundManager> m_pSound;
    std::unique_ptr<TDataBanker> m_pBank;
    TRulesData m_RulesData;
    std::unique_ptr<TGameRun> m_pRun;
    std::unique_ptr<TGameScene> m_pScene;
    TEffectsDetail m_nEffectsDetail = TFxDebris::DEFAULT_DETAIL;
};
