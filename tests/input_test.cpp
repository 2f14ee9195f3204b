// The gamepad through SDL's real game controller path, with SDL's virtual joysticks standing in
// for controllers: what each control does, held buttons repeating as keys do, and controllers
// coming and going.
#include "input/Gamepad.h"
#include "tests/support/VirtualPad.h"

#include <SDL.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {
using TPresses = std::vector<TGamepad::TButton>;

class InputTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Pad.IsAvailable());
        m_Pad.SetRepeat({500, 40, true});
    }
    // The presses of one poll at nNowMs.
    TPresses Poll(uint64_t nNowMs)
    {
        TPresses vecPresses;
        m_Pad.Poll(nNowMs, vecPresses);
        return vecPresses;
    }
    TGamepad m_Pad;
};
}  // namespace

TEST_F(InputTest, EachControlGivesItsCommand)
{
    TVirtualPad Virtual;
    ASSERT_TRUE(Virtual.IsAttached()) << SDL_GetError();
    EXPECT_TRUE(Poll(0).empty());
    EXPECT_EQ(m_Pad.CountControllers(), 1);
    EXPECT_EQ(m_Pad.GetPollInterval(), TGamepad::POLL_MS_ACTIVE);
    // A control pushed, polled, let go -> the command it gave.
    const struct
    {
        const char* szControl;
        std::function<void(bool)> pPush;
        TPresses vecPresses;
    } CASES[] = {
        {"D-pad left", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, b); }, {TGamepad::PAD_LEFT}},
        {"D-pad right", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, b); }, {TGamepad::PAD_RIGHT}},
        {"stick left", [&](bool b) { Virtual.Axis(SDL_CONTROLLER_AXIS_LEFTX, b ? -30000 : 0); }, {TGamepad::PAD_LEFT}},
        {"stick right", [&](bool b) { Virtual.Axis(SDL_CONTROLLER_AXIS_LEFTX, b ? 30000 : 0); }, {TGamepad::PAD_RIGHT}},
        {"stick a little right", [&](bool b) { Virtual.Axis(SDL_CONTROLLER_AXIS_LEFTX, b ? 8000 : 0); }, {}},
        {"stick up", [&](bool b) { Virtual.Axis(SDL_CONTROLLER_AXIS_LEFTY, b ? -30000 : 0); }, {}},
        {"D-pad up", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_DPAD_UP, b); }, {TGamepad::PAD_THRUST}},
        {"right trigger", [&](bool b) { Virtual.Axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, b ? 32767 : 0); }, {TGamepad::PAD_THRUST}},
        {"left trigger", [&](bool b) { Virtual.Axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, b ? 32767 : 0); }, {}},
        {"A", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_A, b); }, {TGamepad::PAD_FIRE}},
        {"Start", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_START, b); }, {TGamepad::PAD_START}},
        {"Back", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_BACK, b); }, {TGamepad::PAD_BACK}},
        {"D-pad down", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, b); }, {TGamepad::PAD_DOWN}},
        {"stick down", [&](bool b) { Virtual.Axis(SDL_CONTROLLER_AXIS_LEFTY, b ? 30000 : 0); }, {}},
        {"B", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_B, b); }, {TGamepad::PAD_EAST}},
        {"X", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_X, b); }, {TGamepad::PAD_WEST}},
        {"Y", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_Y, b); }, {TGamepad::PAD_NORTH}},
        {"left shoulder", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, b); },
         {TGamepad::PAD_LEFT_SHOULDER}},
        {"right shoulder", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, b); },
         {TGamepad::PAD_RIGHT_SHOULDER}},
        {"guide", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_GUIDE, b); }, {TGamepad::PAD_OTHER}},
        {"left stick pressed", [&](bool b) { Virtual.Button(SDL_CONTROLLER_BUTTON_LEFTSTICK, b); }, {TGamepad::PAD_OTHER}},
    };
    uint64_t nNow = 100;
    for (const auto& Case : CASES) {
        Case.pPush(true);
        EXPECT_EQ(Poll(nNow += 10), Case.vecPresses) << Case.szControl;
        Case.pPush(false);
        EXPECT_TRUE(Poll(nNow += 10).empty()) << Case.szControl;
    }
    // Turning and firing at once.
    Virtual.Button(SDL_CONTROLLER_BUTTON_A, true);
    Virtual.Axis(SDL_CONTROLLER_AXIS_LEFTX, -32768);
    EXPECT_EQ(Poll(nNow += 10), (TPresses{TGamepad::PAD_LEFT, TGamepad::PAD_FIRE}));
}

TEST_F(InputTest, AHeldButtonRepeatsAfterTheDelayAtTheRateAsAKeyDoes)
{
    TVirtualPad Virtual;
    ASSERT_TRUE(Virtual.IsAttached()) << SDL_GetError();
    Poll(0);
    Virtual.Button(SDL_CONTROLLER_BUTTON_A, true);
    std::vector<uint64_t> vecPressedAt;
    for (uint64_t nNow = 1000; nNow <= 1700; nNow += 10)
        if (!Poll(nNow).empty())
            vecPressedAt.push_back(nNow);
    // Down at 1000, then after the 500 ms delay every 40 ms.
    EXPECT_EQ(vecPressedAt, (std::vector<uint64_t>{1000, 1500, 1540, 1580, 1620, 1660, 1700}));
    // Each press says whether it is a repeat: a window waiting for a button takes only a fresh one.
    TPresses vecPresses;
    std::vector<bool> vecRepeats;
    m_Pad.Poll(1740, vecPresses, &vecRepeats);
    EXPECT_EQ(vecRepeats, std::vector<bool>{true});
    Virtual.Button(SDL_CONTROLLER_BUTTON_B, true);
    vecPresses.clear();
    vecRepeats.clear();
    m_Pad.Poll(1750, vecPresses, &vecRepeats);
    EXPECT_EQ(vecPresses, TPresses{TGamepad::PAD_EAST});
    EXPECT_EQ(vecRepeats, std::vector<bool>{false});
    Virtual.Button(SDL_CONTROLLER_BUTTON_B, false);
    // A poll that comes late gives one press, and the rate goes on from there.
    EXPECT_EQ(Poll(1900).size(), 1u);
    EXPECT_TRUE(Poll(1910).empty());
    EXPECT_EQ(Poll(1940).size(), 1u);
    Virtual.Button(SDL_CONTROLLER_BUTTON_A, false);
    EXPECT_TRUE(Poll(2500).empty());

    // With the desktop's repeat off, a held button acts once.
    m_Pad.SetRepeat({500, 40, false});
    Virtual.Button(SDL_CONTROLLER_BUTTON_START, true);
    EXPECT_EQ(Poll(3000).size(), 1u);
    EXPECT_TRUE(Poll(4000).empty());
}

TEST_F(InputTest, ControllersComeAndGoWhileTheGameRuns)
{
    TPresses vecPresses;
    EXPECT_FALSE(m_Pad.Poll(0, vecPresses));
    EXPECT_EQ(m_Pad.CountControllers(), 0);
    EXPECT_EQ(m_Pad.GetPollInterval(), TGamepad::POLL_MS_IDLE);
    auto pFirst = std::make_unique<TVirtualPad>();
    TVirtualPad Second;
    EXPECT_TRUE(m_Pad.Poll(10, vecPresses));
    EXPECT_EQ(m_Pad.CountControllers(), 2);
    // Either controller acts; both together act once.
    Second.Button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_EQ(Poll(20), TPresses{TGamepad::PAD_FIRE});
    pFirst->Button(SDL_CONTROLLER_BUTTON_A, true);
    EXPECT_TRUE(Poll(30).empty());
    // The held controller goes: its button is let go with it.
    Second.Detach();
    pFirst->Button(SDL_CONTROLLER_BUTTON_A, false);
    EXPECT_TRUE(m_Pad.Poll(40, vecPresses));
    EXPECT_EQ(m_Pad.CountControllers(), 1);
    pFirst.reset();
    Poll(50);
    EXPECT_EQ(m_Pad.CountControllers(), 0);
    EXPECT_EQ(m_Pad.GetPollInterval(), TGamepad::POLL_MS_IDLE);
    // One plugged in again works at once.
    TVirtualPad Again;
    Again.Button(SDL_CONTROLLER_BUTTON_BACK, true);
    EXPECT_EQ(Poll(60), TPresses{TGamepad::PAD_BACK});
}

TEST_F(InputTest, ButtonsAreNamedAsThePadPrintsThem)
{
    // Without a pad the names are the Xbox layout's; SDL's virtual pad is of no known make.
    EXPECT_EQ(m_Pad.GetType(), TGamepad::TYPE_NONE);
    TVirtualPad Virtual;
    Poll(0);
    EXPECT_EQ(m_Pad.GetType(), TGamepad::TYPE_OTHER);
    // The button, the make -> the name on the button.
    const struct
    {
        TGamepad::TButton nButton;
        TGamepad::TType nType;
        const char* szLabel;
    } CASES[] = {
        {TGamepad::PAD_FIRE, TGamepad::TYPE_NONE, "A"},          {TGamepad::PAD_FIRE, TGamepad::TYPE_XBOX, "A"},
        {TGamepad::PAD_FIRE, TGamepad::TYPE_PLAYSTATION, "Cross"}, {TGamepad::PAD_EAST, TGamepad::TYPE_PLAYSTATION, "Circle"},
        {TGamepad::PAD_WEST, TGamepad::TYPE_PLAYSTATION, "Square"}, {TGamepad::PAD_NORTH, TGamepad::TYPE_PLAYSTATION, "Triangle"},
        {TGamepad::PAD_START, TGamepad::TYPE_PLAYSTATION, "Options"}, {TGamepad::PAD_BACK, TGamepad::TYPE_XBOX, "Back"},
        {TGamepad::PAD_START, TGamepad::TYPE_NINTENDO, "+"},       {TGamepad::PAD_LEFT_SHOULDER, TGamepad::TYPE_NINTENDO, "L"},
        {TGamepad::PAD_RIGHT_SHOULDER, TGamepad::TYPE_OTHER, "RB"}, {TGamepad::PAD_OTHER, TGamepad::TYPE_XBOX, "other"},
    };
    for (const auto& Case : CASES)
        EXPECT_STREQ(TGamepad::Label(Case.nButton, Case.nType), Case.szLabel) << Case.nButton << " " << Case.nType;
}
