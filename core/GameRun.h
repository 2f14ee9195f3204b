#pragma once
// One game from its first tick to the player leaving it: the rules' game, the commands it is
// given and the record they make, or the replay it plays and how far the replay holds. Nothing
// here draws or sounds, so the replay checker, which builds on any machine without the scene
// library, plays exactly what the window and drelk2-sim play: the driver (core/GameDriver)
// steps its game through here and nowhere else.
//
// A step moves the game clock 10 ms whether the game ticks or not. The window steps only while
// the game ticks (its timer is off while paused); a key script may step a paused game, whose
// clock then runs on.

#include "core/Commands.h"
#include "core/Game.h"
#include "core/Replay.h"
#include "core/RulesData.h"

#include <cstdint>
#include <memory>
#include <string>

class TGameRun
{
public:
    // The game timer's interval: a step of game time.
    static constexpr uint32_t TICK_MS = TRules::TICK_MS;

    // A fresh game at the level, running, as the player's Start begins it, recorded; the record
    // is stamped with the game's version.
    TGameRun(const TRulesData& Data, int nLevel, const std::string& strGameVersion);
    // The recorded game played again: from then on each step takes the replay's commands for its
    // tick, and the game's digests are held against the replay's. Null, with the reason, when
    // this game cannot play it as it was played (other rules, another ship).
    static std::unique_ptr<TGameRun> Replaying(const TRulesData& Data, const TReplay& Replay, std::string& strError);

    TGame& GetGame() { return m_Game; }
    const TGame& GetGame() const { return m_Game; }

    // One of the game's commands, now, between two steps: it counts as coming before the next
    // step and is recorded so. Not while a replay plays, whose commands are its own.
    void Command(TCommand nCommand);
    // One step of the game timer: the replay's commands for it when one plays, then a game tick
    // when the game ticks (not while paused), then 10 ms of game clock. True when a game tick
    // ran. A replay that has run all its ticks takes no more steps (false).
    bool Step();
    // Steps taken since the start.
    uint32_t GetTicks() const { return m_nTicks; }
    // True while the game's ticks are due: not once left, not once a replay is over.
    bool IsTicking() const;

    // The player leaves: the record ends here, and the game stops. Once.
    void Leave();
    bool HasLeft() const { return m_bLeft; }
    // The game as recorded so far, ending with its state now (or when the player left). While a
    // replay plays, the replay itself.
    TReplay GetRecord() const;

    bool IsReplaying() const { return m_pReplay != nullptr; }
    // True once a replay has run every tick and its last commands.
    bool IsReplayOver() const { return m_bReplayOver; }
    // The first tick after which the game's state differs from the replay's, 0 while none does.
    uint32_t GetReplayDeparture() const { return m_nDeparture; }
    // How many of the replay's digests have been checked and found the same.
    uint32_t GetDigestsChecked() const { return m_nDigestsChecked; }
    // Once a replay is over: empty when its header tells how the game ended as the game did
    // end (score, level, final state), else the first field that does not, in a line.
    std::string CheckEnding() const;

private:
    TGameRun(const TRulesData& Data, int nLevel);
    void ApplyReplayCommands(uint32_t nTick);
    void CheckDigest(uint64_t nExpected, uint32_t nTick);
    void FinishReplay();

    TGame m_Game;
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
    uint64_t m_nFinalDigest = 0;
};
