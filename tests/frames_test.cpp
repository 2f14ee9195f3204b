// Frames drawn between ticks, on the game's clock alone, as the window draws them: at 60, 75,
// 120, 144 and 240 frames a second and at an irregular 16/17/18 ms, whatever moves steadily in
// the rules (the drifting rocks, the turning ship, the ship at full thrust, the missiles in
// flight) moves on screen in proportion to each frame's time; a jump (a wrap, a new missile) is
// shown where it lands; and drawing the frames changes nothing of the game.
#include "tests/support/GameFixture.h"

#include "base/MathConstants.h"
#include "core/GameScene.h"
#include "core/PlayClock.h"
#include "objects/AsteroidShape.h"
#include "objects/Asteroids.h"
#include "objects/MissileShape.h"
#include "objects/ShipShape.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"

#include <Inventor/nodes/SoTransform.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {
constexpr uint64_t TICK_US = TPlayClock::TICK_US;
constexpr uint32_t TICKS = 300;
// How close a frame's motion must come to its share of the rules' motion.
constexpr double TOLERANCE = 0.02;

struct TPattern
{
    const char* szName;
    std::vector<uint64_t> vecFrameUs;  // the frames' spacing, round and round
};

// One followed thing's place, as the rules have it after each tick, or as a frame shows it; an
// angle goes in the first component.
using TTrack = std::map<std::string, SbVec3f>;

// The commands of tick n: turning left, then right back to heading 0, then thrust all along
// (the speed reaches its limit, 5, within 25 ticks), firing now and then.
std::vector<TCommand> CommandsOf(uint32_t nTick)
{
    std::vector<TCommand> vecCommands;
    if (nTick <= 25)
        vecCommands.push_back(CMD_TURN_LEFT);
    else if (nTick <= 50)
        vecCommands.push_back(CMD_TURN_RIGHT);
    else
        vecCommands.push_back(CMD_THRUST);
    if (nTick % 20 == 0)
        vecCommands.push_back(CMD_FIRE);
    return vecCommands;
}

SbVec3f ToScene(const TFloat3& v)
{
    return SbVec3f(v[0], v[1], v[2]);
}

double AngleAboutZ(const SoTransform* pXf)
{
    SbVec3f vAxis;
    float fAngle = 0;
    pXf->rotation.getValue().getValue(vAxis, fAngle);
    return vAxis[2] < 0 ? -fAngle : fAngle;
}

class FramesTest : public GameFixture
{
protected:
    // A field of steady rocks away from the ship's way up the middle.
    void SetUpField()
    {
        ClearField();
        AddRock(2, TFloat3(-20.0f, 10.0f, 0.0f), 0.15f, 0.1f);
        AddRock(1, TFloat3(20.0f, -12.0f, 0.0f), -0.05f, 0.2f);
        AddRock(0, TFloat3(15.0f, 15.0f, 0.0f), 0.0f, -0.25f);
    }

    // The window's way with ticks and frames: the ticks due by a time on its play clock, and a
    // frame drawn at that time.
    int RunDueTicks(uint64_t nPlayUs)
    {
        const int nDue = m_PlayClock.TakeDueTicks(nPlayUs);
        for (int i = 0; i < nDue; ++i)
            s_pDriver->Step();
        return nDue;
    }
    void PresentAt(uint64_t nPlayUs) { s_pDriver->Present(m_PlayClock.AlphaAt(nPlayUs)); }

    // Everything followed, as the rules have it (bShown: as the scene shows it now).
    TTrack Look(bool bShown) const
    {
        TTrack Track;
        const TManShip& Ship = *m_pGame->GetShip();
        const TGameScene& Scene = *s_pDriver->GetGameScene();
        const SoTransform* pShipXf = Scene.GetShipShape()->GetTransform();
        Track["ship"] = bShown ? pShipXf->translation.getValue() : ToScene(Ship.GetPosition());
        // The heading the rules count on, round after round; the one shown is the same turn less
        // some part of the last, read in the turns the rules have made.
        const double dRules = Ship.GetAngle();
        const double dAngle = bShown ? dRules + std::remainder(AngleAboutZ(pShipXf) - dRules, 2 * PI) : dRules;
        Track["heading"] = SbVec3f(static_cast<float>(dAngle), 0, 0);
        for (size_t i = 0; i < m_pGame->GetAsteroids().size(); ++i) {
            const TAsteroid* pRock = m_pGame->GetAsteroids()[i];
            if (pRock->IsAlive())
                Track["rock " + std::to_string(i)] =
                    bShown ? Scene.FindRock(pRock->GetSerial())->GetTransform()->translation.getValue()
                           : ToScene(pRock->GetPosition());
        }
        size_t nFlying = 0;
        for (size_t i = 0; i < m_pGame->GetMissiles().size(); ++i) {
            const TMissile* pMissile = m_pGame->GetMissiles()[i];
            if (!pMissile->IsAlive())
                continue;
            // The n-th missile in flight is drawn by the n-th missile shape.
            const TMissileShape* pShape = Scene.GetMissileShape(nFlying++);
            if (bShown && pShape)
                Track["missile " + std::to_string(pMissile->GetSerial())] = pShape->GetTransform()->translation.getValue();
            else if (!bShown)
                Track["missile " + std::to_string(pMissile->GetSerial())] = ToScene(pMissile->GetPosition());
        }
        return Track;
    }

    // Plays TICKS ticks with frames in the pattern (none when it is null); what the rules had
    // after each tick, and what each frame showed, at its time.
    uint64_t Play(const TPattern* pPattern, std::vector<TTrack>& vecTicks, std::vector<std::pair<uint64_t, TTrack>>& vecFrames)
    {
        NewGame(1);
        SetUpField();
        m_PlayClock = TPlayClock();
        m_PlayClock.RestartSchedule(0);
        vecTicks.assign(1, Look(false));
        uint64_t nNowUs = 0, nDueUs = TICK_US;
        for (size_t nFrame = 0; s_pDriver->GetTicks() < TICKS; ++nFrame) {
            nNowUs += pPattern ? pPattern->vecFrameUs[nFrame % pPattern->vecFrameUs.size()] : TICK_US;
            // The ticks due by the frame, one at a time, each with its commands first.
            for (; nDueUs <= nNowUs && s_pDriver->GetTicks() < TICKS; nDueUs += TICK_US) {
                for (TCommand nCommand : CommandsOf(s_pDriver->GetTicks() + 1))
                    Command(nCommand);
                EXPECT_EQ(RunDueTicks(nDueUs), 1);
                vecTicks.push_back(Look(false));
            }
            if (pPattern) {
                PresentAt(nNowUs);
                vecFrames.emplace_back(nNowUs, Look(true));
            }
        }
        return m_pGame->Digest();
    }

    TPlayClock m_PlayClock;
};

// The rules' motion of a thing in tick n (from after tick n - 1 to after tick n); false when it
// was not there at both.
bool MotionOf(const std::vector<TTrack>& vecTicks, const std::string& strName, size_t n, SbVec3f& vMotion)
{
    if (n == 0 || n >= vecTicks.size())
        return false;
    const auto itBefore = vecTicks[n - 1].find(strName), itAfter = vecTicks[n].find(strName);
    if (itBefore == vecTicks[n - 1].end() || itAfter == vecTicks[n].end())
        return false;
    vMotion = itAfter->second - itBefore->second;
    return true;
}
}  // namespace

TEST_F(FramesTest, WhatMovesSteadilyMovesOnScreenInProportionToEachFramesTime)
{
    const TPattern PATTERNS[] = {
        {"60 Hz", {16667}},  {"75 Hz", {13333}},  {"120 Hz", {8333}},
        {"144 Hz", {6944}},  {"240 Hz", {4167}},  {"16/17/18 ms", {16000, 17000, 18000}},
    };
    std::vector<TTrack> vecPlain;
    std::vector<std::pair<uint64_t, TTrack>> vecNone;
    const uint64_t nPlainDigest = Play(nullptr, vecPlain, vecNone);
    for (const TPattern& Pattern : PATTERNS) {
        SCOPED_TRACE(Pattern.szName);
        std::vector<TTrack> vecTicks;
        std::vector<std::pair<uint64_t, TTrack>> vecFrames;
        // The frames change nothing of the game.
        EXPECT_EQ(Play(&Pattern, vecTicks, vecFrames), nPlainDigest);
        ASSERT_EQ(vecTicks.size(), vecPlain.size());
        std::map<std::string, int> mapChecked;
        for (size_t k = 1; k < vecFrames.size(); ++k) {
            // A frame at t shows tick n's motion over [due(n), due(n + 1)): the frame pair spans
            // the motions of the ticks last run at the one and at the other.
            const size_t nFrom = vecFrames[k - 1].first / TICK_US, nTo = vecFrames[k].first / TICK_US;
            const double dShare = static_cast<double>(vecFrames[k].first - vecFrames[k - 1].first) / TICK_US;
            for (const auto& Thing : vecFrames[k].second) {
                const auto itBefore = vecFrames[k - 1].second.find(Thing.first);
                if (itBefore == vecFrames[k - 1].second.end())
                    continue;
                // Only a steady motion over the whole pair: no turn of the commands, no jump.
                SbVec3f vMotion;
                bool bSteady = MotionOf(vecTicks, Thing.first, nFrom, vMotion);
                for (size_t n = nFrom + 1; bSteady && n <= nTo; ++n) {
                    SbVec3f vNext;
                    bSteady = MotionOf(vecTicks, Thing.first, n, vNext) && (vNext - vMotion).length() <= 1e-4f * vMotion.length();
                }
                if (!bSteady || vMotion.length() > 5.5f || vMotion.length() < 1e-4f)
                    continue;
                const double dShown = (Thing.second - itBefore->second).length();
                EXPECT_NEAR(dShown, vMotion.length() * dShare, TOLERANCE * vMotion.length() * dShare)
                    << Thing.first << " between frames at " << vecFrames[k - 1].first << " and " << vecFrames[k].first << " us";
                ++mapChecked[Thing.first.substr(0, Thing.first.find(' '))];
            }
        }
        // Every kind of thing was held to it on most frames.
        const int nFrames = static_cast<int>(vecFrames.size());
        EXPECT_GT(mapChecked["ship"], nFrames / 2);
        EXPECT_GT(mapChecked["heading"], nFrames / 10);
        EXPECT_GT(mapChecked["rock"], nFrames);
        EXPECT_GT(mapChecked["missile"], nFrames / 4);
    }
}

TEST_F(FramesTest, AJumpIsShownWhereItLandsAndAFrameBeforeTheNextTickShowsTheLast)
{
    NewGame(1);
    SetUpField();
    m_PlayClock = TPlayClock();
    m_PlayClock.RestartSchedule(0);
    // A rock about to cross the right edge: the tick that wraps it puts it at the left.
    TAsteroid* pRock = AddRock(2, TFloat3(29.99f, 0.0f, 0.0f), 0.25f, 0.0f);
    EXPECT_EQ(RunDueTicks(TICK_US), 1);
    ASSERT_EQ(pRock->GetPosition()[0], -30.0f);
    auto Shown = [&] { return s_pDriver->GetGameScene()->FindRock(pRock->GetSerial())->GetTransform()->translation.getValue(); };
    for (uint64_t nUs : {TICK_US, TICK_US + 3000, TICK_US + 9999}) {
        PresentAt(nUs);
        EXPECT_EQ(Shown()[0], -30.0f) << nUs;
    }
    // At the next tick it moves on from there, blended again: half way at half a tick.
    EXPECT_EQ(RunDueTicks(2 * TICK_US), 1);
    PresentAt(2 * TICK_US + TICK_US / 2);
    EXPECT_NEAR(Shown()[0], -30.0f + 0.0125f, 1e-5f);
    // At the moment a tick runs a frame still shows where the tick before left it: each tick's
    // motion is shown over the time to the next.
    PresentAt(2 * TICK_US);
    EXPECT_NEAR(Shown()[0], -30.0f, 1e-5f);
}
