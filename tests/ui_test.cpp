// The windows' own behaviour, in process, with Qt's test helpers: the start-up window's choices
// and results, and the ending screen's steps and ways out. The game window itself is driven end
// to end (tests/e2e).
#include "ui/TDlgEnding.h"
#include "ui/TFormControls.h"
#include "ui/TFormOptions.h"
#include "ui/TFormScores.h"
#include "ui/TFormSplash.h"
#include "ui/TPadInput.h"
#include "ui/TWindowShape.h"
#include "ui/WindowNames.h"

#include "core/GameDriver.h"
#include "core/Rules.h"
#include "sound/FModSoundManager.h"
#include "store/BestScores.h"
#include "store/PlayerSettings.h"
#include "store/ReplayShelf.h"
#include "tests/support/VirtualPad.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <fstream>
#include <regex>
#include <sstream>

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
// A button's mnemonic presses it the way a click looks: a tenth of a second later.
constexpr int MNEMONIC_CLICK_MS = 250;

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
    QTimer::singleShot(15000, &Dialog, [&Dialog] { Dialog.done(NO_RESULT); });
    return Dialog.exec();
}

// Shows a window and waits until it has the keyboard.
void ShowActive(QWidget& Window)
{
    Window.show();
    Window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
}

// A home of the test's own: the settings file and the data folder (best scores, replays) in a
// fresh folder, named by the environment as the game reads it.
class THome
{
public:
    THome()
    {
        setenv("XDG_CONFIG_HOME", qPrintable(m_Dir.path() + "/config"), 1);
        setenv("XDG_DATA_HOME", qPrintable(m_Dir.path() + "/data"), 1);
    }
    ~THome()
    {
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_HOME");
    }
    QString SettingsFile() const { return TPlayerSettings::DefaultFile(); }
    // What the file holds now, read afresh.
    QString Line(const QString& strKey) const { return TPlayerSettings(SettingsFile()).GetValue(strKey); }

private:
    QTemporaryDir m_Dir;
};

// A short game of the real driver, firing now and then, as its replay file holds it.
TReplay PlayGame(TGameDriver& Driver, uint32_t nTicks)
{
    Driver.Start(1);
    for (uint32_t i = 1; i <= nTicks; ++i) {
        if (i % 7 == 0)
            Driver.Command(i % 14 == 0 ? CMD_FIRE : CMD_TURN_LEFT);
        Driver.Step();
    }
    Driver.Leave();
    return Driver.GetRecord();
}

QByteArray Bytes(const TReplay& Replay)
{
    const std::vector<uint8_t> vecBytes = TReplayFile::Serialize(Replay);
    return QByteArray(reinterpret_cast<const char*>(vecBytes.data()), static_cast<int>(vecBytes.size()));
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

TEST_F(UiTest, StartComesFirstThenTheListThenExitThenWhatElseThePlayerHas)
{
    TFormSplash Splash(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
    auto* pStart = Splash.findChild<QPushButton*>("ButtonStart");
    auto* pList = Splash.findChild<QComboBox*>("ComboBoxResolution");
    auto* pExit = Splash.findChild<QPushButton*>("ButtonExit");
    EXPECT_EQ(pStart->nextInFocusChain(), pList);
    EXPECT_EQ(pList->nextInFocusChain(), pExit);
    QWidget* pAt = pExit;
    for (const char* szNext : {"ButtonScores", "ButtonWatchLast", "ButtonControls", "ButtonOptions"}) {
        pAt = pAt->nextInFocusChain();
        EXPECT_EQ(pAt->objectName().toStdString(), szNext);
    }
    EXPECT_EQ(Splash.size(), QSize(400, 290));
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

namespace {
// The controls window on the default bindings, kept in a home of its own, shown, with the keyboard.
struct TControlsAtHand
{
    TControlsAtHand() { ShowActive(Window); }
    THome Home;
    TPlayerSettings Settings{Home.SettingsFile()};
    TBindings Bindings;
    TFormControls Window{nullptr, Bindings, Settings, nullptr};
    QTableWidget* pTable = Window.findChild<QTableWidget*>("TableKeys");
};
}  // namespace

TEST_F(UiTest, TheControlsWindowRebindsWithTheKeyboardAloneAndKeepsEveryChange)
{
    TControlsAtHand At;
    THome& Home = At.Home;
    TBindings& Bindings = At.Bindings;
    TFormControls& Controls = At.Window;
    QTableWidget* pTable = At.pTable;
    EXPECT_EQ(Controls.windowRole(), WindowNames::ROLE_CONTROLS);
    ASSERT_TRUE(pTable);
    auto Text = [pTable](TCommand nCommand, int nColumn) { return pTable->item(nCommand, nColumn)->text().toStdString(); };
    // The table's commands in its order, opening on the first.
    ASSERT_EQ(pTable->rowCount(), CMD_COUNT);
    EXPECT_EQ(pTable->verticalHeaderItem(CMD_FIRE)->text(), "Fire");
    EXPECT_EQ(pTable->currentRow(), 0);
    EXPECT_EQ(Text(CMD_LEAVE, 0) + " " + Text(CMD_LEAVE, 1) + " " + Text(CMD_LEAVE, 2), "Esc Q Back");

    // Fire's key: down to its row, Enter, the key.
    for (int i = 0; i < CMD_FIRE; ++i)
        QTest::keyClick(pTable, Qt::Key_Down);
    QTest::keyClick(pTable, Qt::Key_Return);
    EXPECT_TRUE(Controls.IsWaiting());
    EXPECT_EQ(Text(CMD_FIRE, 0), "press a key...");
    QTest::keyClick(pTable, Qt::Key_Control);
    EXPECT_FALSE(Controls.IsWaiting());
    EXPECT_EQ(Text(CMD_FIRE, 0), "Ctrl");
    EXPECT_EQ(Home.Line("keys/fire"), "Ctrl, Pad A");
    TCommand nCommand = CMD_COUNT;
    EXPECT_TRUE(Bindings.CommandForKey(Qt::Key_Control, nCommand) && nCommand == CMD_FIRE);

    // Escape cancels the wait, and only that; a key that does something here (Tab moves on, Enter
    // asks again) is taken as a key and does nothing else.
    QTest::keyClick(pTable, Qt::Key_Return);
    QTest::keyClick(pTable, Qt::Key_Escape);
    EXPECT_FALSE(Controls.IsWaiting());
    EXPECT_TRUE(Controls.isVisible());
    EXPECT_EQ(Text(CMD_FIRE, 0), "Ctrl");
    QTest::keyClick(pTable, Qt::Key_Right);
    QTest::keyClick(pTable, Qt::Key_Return);
    QTest::keyClick(pTable, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), pTable);
    EXPECT_EQ(Text(CMD_FIRE, 1), "Tab");
    QTest::keyClick(pTable, Qt::Key_Return);
    QTest::keyClick(pTable, Qt::Key_Return);
    EXPECT_FALSE(Controls.IsWaiting());
    EXPECT_EQ(Text(CMD_FIRE, 1), "Return");
    EXPECT_EQ(Home.Line("keys/fire"), "Ctrl, Return, Pad A");

    // Return, given to thrust, leaves fire's row at once.
    QTest::keyClick(pTable, Qt::Key_Left);
    QTest::keyClick(pTable, Qt::Key_Up);
    QTest::keyClick(pTable, Qt::Key_Return);
    QTest::keyClick(pTable, Qt::Key_Return);
    EXPECT_EQ(Text(CMD_THRUST, 0), "Return");
    EXPECT_EQ(Text(CMD_FIRE, 1), "");
    EXPECT_EQ(Home.Line("keys/fire"), "Ctrl, Pad A");
    EXPECT_NE(Controls.GetHint().indexOf("Return is Thrust's now, no longer Fire's"), -1) << qPrintable(Controls.GetHint());

    // Delete clears the slot; pause's last key is not cleared, and the window says why.
    QTest::keyClick(pTable, Qt::Key_Delete);
    EXPECT_EQ(Text(CMD_THRUST, 0), "");
    EXPECT_EQ(Home.Line("keys/thrust"), "None, Pad Up");
    QTest::keyClick(pTable, Qt::Key_Down);
    QTest::keyClick(pTable, Qt::Key_Down);
    QTest::keyClick(pTable, Qt::Key_Delete);
    EXPECT_EQ(Text(CMD_PAUSE, 0), "P");
    EXPECT_NE(Controls.GetHint().indexOf("Pause must keep a key"), -1) << qPrintable(Controls.GetHint());
    EXPECT_EQ(Home.Line("keys/pause"), "");

    // Reset: the defaults, and no line of keys left in the file.
    QTest::keyClick(&Controls, Qt::Key_R, Qt::AltModifier);
    QTest::qWait(MNEMONIC_CLICK_MS);
    EXPECT_EQ(Text(CMD_FIRE, 0) + " " + Text(CMD_THRUST, 0), "Space Up");
    EXPECT_EQ(TPlayerSettings(Home.SettingsFile()).GetKeys("keys"), QStringList());
    QTest::keyClick(pTable, Qt::Key_Escape);
    EXPECT_FALSE(Controls.isVisible());
}

TEST_F(UiTest, TheControlsWindowWorksWithAPadAlone)
{
    TControlsAtHand At;
    THome& Home = At.Home;
    TFormControls& Controls = At.Window;
    QTableWidget* pTable = At.pTable;
    for (int i = 0; i < CMD_MUSIC; ++i)
        Controls.PadPressed(TGamepad::PAD_DOWN);
    Controls.PadPressed(TGamepad::PAD_RIGHT);
    Controls.PadPressed(TGamepad::PAD_RIGHT);
    EXPECT_EQ(pTable->currentRow(), CMD_MUSIC);
    EXPECT_EQ(pTable->currentColumn(), 2);
    // The south button waits, and the next button is taken: not the one that asked.
    Controls.PadPressed(TGamepad::PAD_FIRE);
    EXPECT_TRUE(Controls.IsWaiting());
    EXPECT_EQ(pTable->item(CMD_MUSIC, 2)->text(), "press a button...");
    Controls.PadPressed(TGamepad::PAD_NORTH);
    EXPECT_EQ(pTable->item(CMD_MUSIC, 2)->text(), "Y");
    EXPECT_EQ(Home.Line("keys/music"), "M, Pad Y");
    // Back cancels a wait; the west button clears; Back then closes the window.
    Controls.PadPressed(TGamepad::PAD_FIRE);
    Controls.PadPressed(TGamepad::PAD_BACK);
    EXPECT_FALSE(Controls.IsWaiting());
    EXPECT_TRUE(Controls.isVisible());
    Controls.PadPressed(TGamepad::PAD_WEST);
    EXPECT_EQ(pTable->item(CMD_MUSIC, 2)->text(), "");
    EXPECT_EQ(Home.Line("keys/music"), "");
    // Down past the last row reaches the buttons.
    for (int i = CMD_MUSIC; i < CMD_COUNT; ++i)
        Controls.PadPressed(TGamepad::PAD_DOWN);
    EXPECT_EQ(QApplication::focusWidget(), Controls.findChild<QPushButton*>("ButtonReset"));
    Controls.PadPressed(TGamepad::PAD_BACK);
    EXPECT_FALSE(Controls.isVisible());
}

TEST_F(UiTest, TheOptionsAreHeardAtOnceAndKept)
{
    THome Home;
    TPlayerSettings Settings(Home.SettingsFile());
    TFModSoundManager* pSound = s_pDriver->GetSound();
    {
        TFormOptions Options(nullptr, Settings, pSound, s_pDriver->GetBank());
        std::vector<bool> vecSwitched;
        QObject::connect(&Options, &TFormOptions::MusicSwitched, [&](bool bOn) { vecSwitched.push_back(bOn); });
        ShowActive(Options);
        EXPECT_EQ(Options.windowRole(), WindowNames::ROLE_OPTIONS);
        // The keyboard alone: Space switches the music off, Tab and the arrows set the volumes.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        EXPECT_EQ(vecSwitched, std::vector<bool>{false});
        EXPECT_FALSE(Settings.IsMusicOn());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        EXPECT_FLOAT_EQ(pSound->GetGroupVolume(SOUND_MUSIC), 0.8f);
        QTest::keyClick(&Options, Qt::Key_E, Qt::AltModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        EXPECT_FLOAT_EQ(pSound->GetGroupVolume(SOUND_EFFECTS), 0.9f);
        EXPECT_EQ(Options.findChild<QLabel*>("LabelEffectsPercent")->text(), "90 %");
        QTest::keyClick(&Options, Qt::Key_F, Qt::AltModifier);
        QTest::qWait(MNEMONIC_CLICK_MS);
        QTest::keyClick(&Options, Qt::Key_P, Qt::AltModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClick(&Options, Qt::Key_T, Qt::AltModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QTest::keyClick(&Options, Qt::Key_I, Qt::AltModifier);
        QTest::qWait(MNEMONIC_CLICK_MS);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_FALSE(Options.isVisible());
    }
    // Kept, the volumes too though the window closed at once.
    const TPlayerSettings Kept(Home.SettingsFile());
    EXPECT_FALSE(Kept.IsMusicOn());
    EXPECT_EQ(Kept.GetMusicVolume(), 80);
    EXPECT_EQ(Kept.GetEffectsVolume(), 90);
    EXPECT_TRUE(Kept.IsFullScreen());
    EXPECT_EQ(Kept.GetMaxFps(), "30");
    EXPECT_EQ(Kept.GetValue("effects"), "low");
    EXPECT_FALSE(Kept.IsAttractOn());

    // A pad alone: down to the music's volume, right to raise it, Back to close.
    TFormOptions Again(nullptr, Settings, pSound, s_pDriver->GetBank());
    ShowActive(Again);
    EXPECT_TRUE(Again.findChild<QCheckBox*>("CheckAttract")->isChecked() == false);
    Again.PadPressed(TGamepad::PAD_DOWN);
    Again.PadPressed(TGamepad::PAD_RIGHT);
    EXPECT_FLOAT_EQ(pSound->GetGroupVolume(SOUND_MUSIC), 0.85f);
    Again.PadPressed(TGamepad::PAD_BACK);
    EXPECT_FALSE(Again.isVisible());
    EXPECT_EQ(TPlayerSettings(Home.SettingsFile()).GetMusicVolume(), 85);
    pSound->SetGroupVolume(SOUND_MUSIC, 1.0f);
    pSound->SetGroupVolume(SOUND_EFFECTS, 1.0f);
}

TEST_F(UiTest, TheScoresWindowOpensOnTheBestAndWatchesOnlyWhatPlaysHere)
{
    THome Home;
    const TReplay Good = PlayGame(*s_pDriver, 250);
    TReplay Foreign = PlayGame(*s_pDriver, 120);
    Foreign.nRulesVersion = TRules::VERSION + 1;
    TBestScores Scores;
    TReplayShelf Shelf;
    const QDateTime When = QDateTime(QDate(2025, 3, 4), QTime(5, 6, 7), Qt::UTC);
    // Best first: a game with its replay, one without, one recorded under other rules.
    const struct
    {
        int32_t nScore;
        const TReplay* pReplay;
    } GAMES[] = {{300, &Good}, {200, nullptr}, {100, &Foreign}};
    for (size_t i = 0; i < 3; ++i) {
        const QDateTime Ended = When.addSecs(static_cast<qint64>(i) * 60);
        Scores.Record(GAMES[i].nScore, 2, Ended);
        QString strError;
        if (GAMES[i].pReplay) {
            ASSERT_TRUE(Shelf.Keep(Ended, GAMES[i].nScore, 2, Bytes(*GAMES[i].pReplay), Scores.GetEntries(), strError));
        }
    }
    TFormScores Window(nullptr, *s_pDriver);
    auto* pTable = Window.findChild<QTableWidget*>("TableScores");
    auto* pWatch = Window.findChild<QPushButton*>("ButtonWatch");
    const int nResult = RunModal(Window, [&] {
        ASSERT_EQ(pTable->rowCount(), 3);
        EXPECT_EQ(pTable->currentRow(), 0);
        EXPECT_EQ(pTable->item(0, 1)->text(), "300");
        EXPECT_EQ(pTable->item(0, 4)->text(), "replay");
        EXPECT_EQ(pTable->item(1, 4)->text(), "");
        EXPECT_EQ(pTable->item(2, 4)->text(), "other rules");
        EXPECT_TRUE(pWatch->isEnabled());
        // Down to a game without a replay: Enter plays nothing, and the window says why.
        QTest::keyClick(pTable, Qt::Key_Down);
        EXPECT_FALSE(pWatch->isEnabled());
        QTest::keyClick(pTable, Qt::Key_Return);
        EXPECT_TRUE(Window.isVisible());
        QTest::keyClick(pTable, Qt::Key_Down);
        EXPECT_FALSE(pWatch->isEnabled());
        EXPECT_NE(Window.findChild<QLabel*>("LabelHint")->text().indexOf("other rules"), -1);
        // Back up to the best game, and Enter watches it.
        QTest::keyClick(pTable, Qt::Key_Up);
        QTest::keyClick(pTable, Qt::Key_Up);
        QTest::keyClick(pTable, Qt::Key_Return);
    });
    ASSERT_EQ(nResult, TFormScores::RESULT_WATCH);
    ASSERT_TRUE(Window.GetReplay());
    EXPECT_EQ(Window.GetReplay()->nTicks, Good.nTicks);
    EXPECT_EQ(Window.GetReplay()->vecDigests, Good.vecDigests);
    EXPECT_EQ(Window.GetReplayPath(), Shelf.PathOf(Scores.GetEntries()[0]));
}

TEST_F(UiTest, TheStartUpWindowOpensEachWindowAndAsksForTheDemoOnlyWhenLeftAlone)
{
    THome Home;
    setenv("DRELK2_ATTRACT_SECONDS", "1", 1);
    TPlayerSettings Settings(Home.SettingsFile());
    TBindings Bindings;
    TFormSplash Splash(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
    unsetenv("DRELK2_ATTRACT_SECONDS");
    Splash.SetPlayer({s_pDriver, &Settings, &Bindings, nullptr});
    int nIdle = 0;
    QObject::connect(&Splash, &TFormSplash::Idle, [&nIdle] { ++nIdle; });
    std::vector<std::string> vecOpened;
    // Opens a window by its key, notes its role, and closes it as the player would, once it shows
    // (a mnemonic presses its button a moment later, and the window runs its own loop).
    auto Open = [&](int nKey, bool bByPad) {
        bool bClosed = false;
        QTimer Look;
        Look.setInterval(20);
        QObject::connect(&Look, &QTimer::timeout, [&] {
            QWidget* pOpen = QApplication::activeModalWidget();
            if (!pOpen || pOpen == &Splash)
                return;
            Look.stop();
            vecOpened.push_back(pOpen->windowRole().toStdString());
            // Left open past the demo's time, it does not start: the player is in the window.
            QTest::qWait(1500);
            EXPECT_EQ(nIdle, 0);
            if (bByPad)
                Splash.PadPressed(TGamepad::PAD_BACK);
            else
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            bClosed = true;
        });
        Look.start();
        QTest::keyClick(&Splash, nKey, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&bClosed] { return bClosed; }, 5000));
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Splash));
    };
    const int nResult = RunModal(Splash, [&] {
        Open(Qt::Key_B, false);
        Open(Qt::Key_K, true);
        Open(Qt::Key_O, false);
        EXPECT_TRUE(Splash.isVisible());
        // Untouched, the demo is asked for once; a key puts it off again.
        QTest::qWait(700);
        QTest::keyClick(&Splash, Qt::Key_Tab);
        QTest::qWait(700);
        EXPECT_EQ(nIdle, 0);
        QTest::qWait(800);
        EXPECT_EQ(nIdle, 1);
        Splash.StartDemo();
    });
    EXPECT_EQ(vecOpened, (std::vector<std::string>{WindowNames::ROLE_SCORES, WindowNames::ROLE_CONTROLS,
                                                   WindowNames::ROLE_OPTIONS}));
    EXPECT_EQ(nResult, TFormSplash::RESULT_DEMO);
}

// A replay watched from the start-up window ends on its ending screen, which then closes and
// leaves the program running: the player is back on the start-up window.
TEST_F(UiTest, AnEndingThatDoesNotEndTheProgramOnlyClosesItself)
{
    for (const bool bEnds : {false, true}) {
        TDlgEnding Ending(nullptr, s_pDriver->GetBank(), s_pDriver->GetSound());
        Ending.SetEndsProgram(bEnds);
        QEventLoop Outer;
        QTimer::singleShot(0, [&Ending] {
            Ending.show();
            QTest::keyClick(&Ending, Qt::Key_A);
        });
        QTimer::singleShot(300, [&Outer] { Outer.exit(7); });
        // Ending the program ends every event loop at once, with status 0, the screen still up.
        EXPECT_EQ(Outer.exec(), bEnds ? 0 : 7);
        EXPECT_EQ(Ending.isVisible(), bEnds);
        EXPECT_FALSE(Ending.IsRunning());
    }
}

// The scripts find each window by its role: theirs are the game's.
TEST_F(UiTest, TheScriptsWindowRolesAreTheGames)
{
    std::ifstream In(DRELK_WINDOW_FACTS);
    std::stringstream Text;
    Text << In.rdbuf();
    const std::string strFacts = Text.str();
    const std::pair<const char*, const char*> ROLES[] = {
        {"ROLE_STARTUP", WindowNames::ROLE_STARTUP}, {"ROLE_GAME", WindowNames::ROLE_GAME},
        {"ROLE_ENDING", WindowNames::ROLE_ENDING},   {"ROLE_SCORES", WindowNames::ROLE_SCORES},
        {"ROLE_CONTROLS", WindowNames::ROLE_CONTROLS}, {"ROLE_OPTIONS", WindowNames::ROLE_OPTIONS},
    };
    for (const auto& Role : ROLES) {
        std::smatch Match;
        ASSERT_TRUE(std::regex_search(strFacts, Match, std::regex(std::string(Role.first) + " = \"([^\"]*)\""))) << Role.first;
        EXPECT_EQ(Match[1].str(), Role.second);
    }
}
