// The windows' own behaviour, in process, with Qt's test helpers: the start-up window's choices
// and results, and the ending screen's steps and ways out. The game window itself is driven end
// to end (tests/e2e).
#include "ui/TDlgEnding.h"
#include "ui/TFormSplash.h"
#include "ui/TPadInput.h"
#include "ui/TWindowShape.h"

#include "core/GameDriver.h"
#include "tests/support/VirtualPad.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
class UiTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        static int s_nArgc = 1;
        static char s_szName[] = "ui_test";
        static char* s_pArgv[] = {s_szName, nullptr};
        if (!QApplication::instance())
            new QApplication(s_nArgc, s_pArgv);
        if (!s_pDriver) {
            s_pDriver = new TGameDriver();
            std::string strError;
            ASSERT_TRUE(s_pDriver->Open(DRELK_TEST_DATA_FILE, strError)) << strError;
        }
    }
    static TGameDriver* s_pDriver;
};
TGameDriver* UiTest::s_pDriver = nullptr;

constexpr int NO_RESULT = -1;

// Runs the dialog's own modal loop, doing `Act` once it shows and has the keyboard; its result,
// or NO_RESULT when the dialog is still open seconds later.
template <class TAct>
int RunModal(QDialog& Dialog, TAct Act)
{
    QTimer::singleShot(0, &Dialog, [&Dialog, Act] {
        EXPECT_TRUE(Dialog.isVisible());
        Dialog.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Dialog));
        Act();
    });
    QTimer::singleShot(5000, &Dialog, [&Dialog] { Dialog.done(NO_RESULT); });
    return Dialog.exec();
}
}  // namespace

TEST_F(UiTest, TheSizeListGivesTheChosenWindowSize)
{
    // Index chosen in turn -> size held afterwards.
    const struct
    {
        std::vector<int> vecChoices;
        std::pair<int, int> Size;
    } CASES[] = {
        {{}, {800, 600}},
        {{1}, {1024, 768}},
        {{2}, {1280, 1024}},
        {{2, 0}, {800, 600}},
        {{1, -1}, {800, 600}},  // no selection at all
    };
    for (const auto& Case : CASES) {
        TFormSplash Splash(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
        auto* pList = Splash.findChild<QComboBox*>("ComboBoxResolution");
        ASSERT_TRUE(pList);
        EXPECT_EQ(pList->count(), 3);
        EXPECT_EQ(pList->currentText(), "800x600");
        for (int nIndex : Case.vecChoices)
            pList->setCurrentIndex(nIndex);
        EXPECT_EQ(Splash.GetResolution(), Case.Size);
    }
}

TEST_F(UiTest, StartIsOkAndEveryOtherWayOutIsCancel)
{
    // How the player leaves -> the modal result.
    const struct
    {
        const char* szHow;
        int nResult;
    } CASES[] = {
        {"Start clicked", TFormSplash::RESULT_OK},
        {"Alt+S", TFormSplash::RESULT_OK},
        {"Enter on Start", TFormSplash::RESULT_OK},
        {"Exit clicked", TFormSplash::RESULT_CANCEL},
        {"Alt+E", TFormSplash::RESULT_CANCEL},
        {"Escape", TFormSplash::RESULT_CANCEL},
        {"closed", TFormSplash::RESULT_CANCEL},
        {"pad south button", TFormSplash::RESULT_OK},
        {"pad Back", TFormSplash::RESULT_CANCEL},
    };
    for (const auto& Case : CASES) {
        TFormSplash Splash(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
        const std::string strHow = Case.szHow;
        const int nResult = RunModal(Splash, [&Splash, strHow] {
            if (strHow == "Start clicked")
                QTest::mouseClick(Splash.findChild<QPushButton*>("ButtonStart"), Qt::LeftButton);
            else if (strHow == "Alt+S")
                QTest::keyClick(&Splash, Qt::Key_S, Qt::AltModifier);
            else if (strHow == "Enter on Start")
                QTest::keyClick(Splash.focusWidget(), Qt::Key_Return);
            else if (strHow == "Exit clicked")
                QTest::mouseClick(Splash.findChild<QPushButton*>("ButtonExit"), Qt::LeftButton);
            else if (strHow == "Alt+E")
                QTest::keyClick(&Splash, Qt::Key_E, Qt::AltModifier);
            else if (strHow == "Escape")
                QTest::keyClick(&Splash, Qt::Key_Escape);
            else if (strHow == "pad south button")
                Splash.PadPressed(TGamepad::PAD_FIRE);
            else if (strHow == "pad Back")
                Splash.PadPressed(TGamepad::PAD_BACK);
            else
                Splash.close();
        });
        EXPECT_EQ(nResult, Case.nResult) << strHow;
        EXPECT_FALSE(Splash.isVisible()) << strHow;
    }
}

TEST_F(UiTest, APadPluggedInWhileTheStartUpWindowShowsStartsTheGame)
{
    TFormSplash Splash(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
    TPadInput Pad;
    Pad.Start();
    QObject::connect(&Pad, &TPadInput::Pressed, &Splash, &TFormSplash::PadPressed);
    std::unique_ptr<TVirtualPad> pVirtual;
    const int nResult = RunModal(Splash, [&pVirtual] {
        pVirtual = std::make_unique<TVirtualPad>();
        ASSERT_TRUE(pVirtual->IsAttached()) << SDL_GetError();
        pVirtual->Button(SDL_CONTROLLER_BUTTON_A, true);
    });
    EXPECT_EQ(nResult, TFormSplash::RESULT_OK);
}

TEST_F(UiTest, StartComesFirstThenTheListThenExit)
{
    TFormSplash Splash(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
    auto* pStart = Splash.findChild<QPushButton*>("ButtonStart");
    auto* pList = Splash.findChild<QComboBox*>("ComboBoxResolution");
    auto* pExit = Splash.findChild<QPushButton*>("ButtonExit");
    EXPECT_EQ(pStart->nextInFocusChain(), pList);
    EXPECT_EQ(pList->nextInFocusChain(), pExit);
    EXPECT_EQ(Splash.size(), QSize(400, 256));
    EXPECT_EQ(pStart->geometry(), QRect(221, 223, 75, 25));
    EXPECT_EQ(pList->geometry(), QRect(103, 225, 96, 21));
}

TEST_F(UiTest, TheEndingStepsOnlyOnceShownAndItsPictureClimbs)
{
    TDlgEnding Ending(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
    const QImage Blank = Ending.GetCanvas();
    for (int i = 0; i < 3; ++i)
        QMetaObject::invokeMethod(&Ending, "TimerTimer");
    EXPECT_EQ(Ending.GetStep(), 0);  // ticks before it shows do nothing
    EXPECT_EQ(Ending.GetCanvas(), Blank);

    Ending.show();
    EXPECT_TRUE(Ending.IsRunning());
    EXPECT_EQ(Ending.size(), QSize(TDlgEnding::WIDTH, TDlgEnding::HEIGHT));
    QMetaObject::invokeMethod(&Ending, "TimerTimer");
    const QImage First = Ending.GetCanvas().copy();
    for (int i = 0; i < 20; ++i)
        QMetaObject::invokeMethod(&Ending, "TimerTimer");
    const QImage Later = Ending.GetCanvas().copy();
    EXPECT_EQ(Ending.GetStep(), 21);
    EXPECT_NE(First, Later);
    // The picture is 20 rows higher over the same background: where the two images differ, the
    // first one's pixels are found again 20 rows up, better than at any other shift.
    const int nTop = TDlgEnding::HEIGHT - TDlgEnding::START_RISE;
    auto Matches = [&](int nShift) {
        int nSame = 0;
        for (int y = nTop; y < TDlgEnding::HEIGHT; ++y)
            for (int x = 0; x < TDlgEnding::WIDTH; ++x)
                nSame += First.pixel(x, y) != Later.pixel(x, y) && First.pixel(x, y) == Later.pixel(x, y - nShift);
        return nSame;
    };
    int nBest = 1;
    for (int nShift = 2; nShift <= 40; ++nShift)
        nBest = Matches(nShift) > Matches(nBest) ? nShift : nBest;
    EXPECT_EQ(nBest, 20);
    Ending.close();
}

TEST_F(UiTest, TheScoreLineLiesUnderTheClimbingPictureAndLeavesItWhole)
{
    TDlgEnding Plain(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
    TDlgEnding Scored(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
    Scored.SetScoreLine("Score 85   New best!");
    Plain.show();
    Scored.show();
    const int nBandEnd = TDlgEnding::SCORE_TOP + 2 * TDlgEnding::SCORE_FONT_PX;
    auto Step = [&] {
        QMetaObject::invokeMethod(&Plain, "TimerTimer");
        QMetaObject::invokeMethod(&Scored, "TimerTimer");
    };
    Step();
    // The line is there, in its band across the top, and nowhere else.
    int nLine = 0;
    for (int y = 0; y < TDlgEnding::HEIGHT; ++y)
        for (int x = 0; x < TDlgEnding::WIDTH; ++x)
            if (Plain.GetCanvas().pixel(x, y) != Scored.GetCanvas().pixel(x, y)) {
                EXPECT_TRUE(y >= TDlgEnding::SCORE_TOP && y < nBandEnd) << x << ", " << y;
                ++nLine;
            }
    EXPECT_GT(nLine, 200);
    // As the picture climbs through the band it is drawn over the line: where it is solid the
    // two screens agree, and where it lets the background through they differ by no more than
    // their backgrounds do.
    const QImage PlainBack = Plain.GetCanvas().copy(0, 0, TDlgEnding::WIDTH, nBandEnd);
    const QImage ScoredBack = Scored.GetCanvas().copy(0, 0, TDlgEnding::WIDTH, nBandEnd);
    auto Channels = [](QRgb c) { return std::array<int, 3>{qRed(c), qGreen(c), qBlue(c)}; };
    int nCoveredSteps = 0;
    int nOverDrawn = 0;
    while (Plain.IsRunning() && Plain.GetStep() < TDlgEnding::LAST_STEP) {
        Step();
        int nCovered = 0;
        for (int y = TDlgEnding::SCORE_TOP; y < nBandEnd; ++y)
            for (int x = 0; x < TDlgEnding::WIDTH; ++x) {
                const auto P = Channels(Plain.GetCanvas().pixel(x, y));
                const auto S = Channels(Scored.GetCanvas().pixel(x, y));
                const auto P0 = Channels(PlainBack.pixel(x, y));
                const auto S0 = Channels(ScoredBack.pixel(x, y));
                for (int c = 0; c < 3; ++c)
                    nOverDrawn += std::abs(S[c] - P[c]) > std::abs(S0[c] - P0[c]) + 2;
                nCovered += std::abs(P[0] - P0[0]) + std::abs(P[1] - P0[1]) + std::abs(P[2] - P0[2]) > 240 && S == P;
            }
        nCoveredSteps += nCovered > 200;
    }
    EXPECT_EQ(nOverDrawn, 0);
    EXPECT_GT(nCoveredSteps, 10);
}

TEST_F(UiTest, AnyKeyClickOrCloseEndsTheEnding)
{
    for (const char* szHow : {"key", "click", "close", "pad button", "last step"}) {
        TDlgEnding Ending(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
        Ending.show();
        const std::string strHow = szHow;
        if (strHow == "key")
            QTest::keyClick(&Ending, Qt::Key_A);
        else if (strHow == "click")
            QTest::mouseClick(&Ending, Qt::LeftButton);
        else if (strHow == "close")
            Ending.close();
        else if (strHow == "pad button")
            Ending.PadPressed(TGamepad::PAD_OTHER);
        else {
            for (int i = 0; i <= TDlgEnding::LAST_STEP && Ending.IsRunning(); ++i)
                QMetaObject::invokeMethod(&Ending, "TimerTimer");
        }
        EXPECT_FALSE(Ending.IsRunning()) << strHow;
        if (strHow == "last step") {
            EXPECT_EQ(Ending.GetStep(), TDlgEnding::LAST_STEP + 1);
        }
    }
}

TEST_F(UiTest, TheGameWindowGoesOnTheScreenOfTheStartUpWindowWhereverThatScreenLies)
{
    // The screen (its place on the desktop), the chosen size, full screen -> the window.
    const struct
    {
        const char* szCase;
        QRect Screen;
        QSize Chosen;
        bool bFullScreen;
        QRect Window;
    } CASES[] = {
        {"the only screen", {0, 0, 1280, 1024}, {800, 600}, false, {240, 212, 800, 600}},
        {"right of a wider one", {1920, 0, 1280, 1024}, {800, 600}, false, {2160, 212, 800, 600}},
        {"left of the primary", {-1280, 0, 1280, 1024}, {1024, 768}, false, {-1152, 128, 1024, 768}},
        {"below another", {0, 1080, 1920, 1200}, {1280, 1024}, false, {320, 1168, 1280, 1024}},
        {"smaller than the window", {0, 0, 800, 600}, {1024, 768}, false, {-112, -84, 1024, 768}},
        // An odd negative difference rounds toward zero: -225 / 2 is -112.
        {"an odd shortfall", {0, 0, 799, 600}, {1024, 768}, false, {-112, -84, 1024, 768}},
        {"smaller and beside another", {1920, 0, 800, 600}, {1280, 1024}, false, {1680, -212, 1280, 1024}},
        {"full screen there", {1920, 0, 1280, 1024}, {800, 600}, true, {1920, 0, 1280, 1024}},
        {"full screen left of the primary", {-1024, -200, 1024, 768}, {1280, 1024}, true, {-1024, -200, 1024, 768}},
    };
    for (const auto& Case : CASES)
        EXPECT_EQ(TWindowShape::TargetGeometry(Case.Screen, Case.Chosen, Case.bFullScreen), Case.Window) << Case.szCase;
}

TEST_F(UiTest, InFullScreenTheViewKeepsTheFieldsShapeBetweenBars)
{
    // The client panel, full screen or not -> the view inside it.
    const struct
    {
        QSize Panel;
        bool bFullScreen;
        QRect View;
    } CASES[] = {
        {{800, 552}, false, {0, 0, 800, 552}},
        {{1920, 1032}, true, {212, 0, 1495, 1032}},  // wider: bars left and right (60 x 41.4 of the field)
        {{1280, 976}, true, {0, 46, 1280, 884}},     // taller: bars above and below
        {{1280, 0}, true, {0, 0, 1280, 0}},
    };
    for (const auto& Case : CASES)
        EXPECT_EQ(TWindowShape::ViewGeometry(Case.Panel, Case.bFullScreen), Case.View) << Case.Panel.width() << "x"
                                                                                   << Case.Panel.height();
}
