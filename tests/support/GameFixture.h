#pragma once
// A game built on the real data file, headless: its own clock, SDL's silent driver, the
// generator from its start-up state, its scene following it. Each test gets a fresh game.

#include "core/Game.h"
#include "core/GameDriver.h"

#include <gtest/gtest.h>

class SoSeparator;

class GameFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override { NewGame(1); }
    void TearDown() override { m_pGame = nullptr; }

    // A fresh game at the given level, running, as the window starts it.
    void NewGame(int nLevel);
    // A command between two ticks, as the window gives it.
    void Command(TCommand nCommand) { s_pDriver->Command(nCommand); }
    // n timer ticks (a game tick when the game ticks, and 10 ms of game clock in any case), each
    // with a frame drawn after it.
    void Tick(int n = 1);
    // Kills every rock of the level (without scoring), so a test can set its own scene.
    void ClearField();
    // A rock of the given size at a place, with a velocity and no spin, in the game's list.
    TAsteroid* AddRock(int nSize, const TFloat3& vPosition, float fVx = 0.0f, float fVy = 0.0f);
    int CountAlive() const;
    // What the viewer would show of the game.
    SoSeparator* Scene() const { return s_pDriver->GetScene(); }

    // One driver serves every suite of the program, as one serves the game; each test starts a
    // fresh game on it.
    static TGameDriver* s_pDriver;
    TGame* m_pGame = nullptr;
};
