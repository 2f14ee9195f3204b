#pragma once
// The game window: a borderless window with a title bar, the 3D viewer and a status bar. It turns
// the player's keys into the game's commands and the game timer into ticks, and shows what the
// driver's game has become; it holds no rule of the game.
//
// Ticks go first: a precise 10 ms timer runs the ticks that are due (a late event runs the few it
// missed), and frames are drawn only when the scene changed or the view was exposed or resized,
// at most about 60 times a second, so a slow frame on a software renderer slows neither the game
// nor the keys.
//
// The window has the size chosen at start-up, centred, or covers the screen in full screen (F11),
// where the view keeps the field's shape between black bars. It keeps that size when something
// else resizes it. When the player leaves it for another window or minimises it, the game pauses.

#include "core/GameDriver.h"
#include "ui/TPadInput.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <Inventor/SbBasic.h>

#include <cstdint>
#include <memory>
#include <string>

class QEvent;
class QKeyEvent;
class SoNodeSensor;
class SoSensor;
class TBestScores;
class TGameViewer;
class TPlayerSettings;

namespace Ui {
class TFormMain;
}

class TFormMain : public QWidget
{
    Q_OBJECT

public:
    struct TOptions
    {
        std::string strDataFile;  // empty: TGameDriver::DefaultDataFile()
        int nLevel = 1;           // the level the game starts at
        bool bFullScreen = false; // start in full screen, this time
    };
    // What a session measured, for --stats.
    struct TStats
    {
        qint64 nSplashShownMs = -1;  // from the window's creation to the start-up window drawn
        qint64 nFirstFrameMs = -1;   // from Start to the first game frame drawn
        uint64_t nTicks = 0;         // game ticks run
        uint64_t nFrames = 0;        // game frames drawn
        uint64_t nDroppedTicks = 0;  // due ticks dropped because they were too late
        qint64 nPlayMs = 0;          // time the game timer has been running
    };

    explicit TFormMain(const TOptions& Options);
    ~TFormMain() override;

    // The start-up: the sound manager, the data file, the start-up window, and the game when the
    // player starts it. False when the program is to end now, with nExitCode.
    bool FormCreate(int& nExitCode);

    // Run (playing) or pause, with the music and the game timer.
    void SetRunning(bool bRun);
    // M and P.
    void ToggleMusic();
    void TogglePause();
    // Escape and Q: the game stops and hides, and the ending screen ends the program.
    void ExitGame();
    void HideGame();
    // F11: full screen, or back to the chosen size and place (which a window that does not fit
    // the screen never goes back to).
    void ToggleFullScreen();

    // A key-down as the viewer hands it over: Escape, Q, M, P act at once; the arrows and the
    // space bar are latched for the next tick.
    void OnKeyDown(QKeyEvent* pEvent);
    // A gamepad press in the game: the same commands as the keys.
    void PadPressed(TGamepad::TButton nButton);
    // Installed on the viewer: true for the key-downs the viewer must not see itself (arrows, S).
    static SbBool ViewerEventCallback(void* pViewer, QEvent* pEvent);

    TGameViewer* GetViewer() const { return m_pViewer; }
    TStats GetStats() const;
    // The size chosen at start-up: the whole window.
    int GetChosenWidth() const { return m_nWidth; }
    int GetChosenHeight() const { return m_nHeight; }

protected:
    // A close request (the window manager, Alt+F4) leaves the game as Escape does.
    void closeEvent(QCloseEvent* pEvent) override;
    // Focus lost or minimised: the game pauses.
    void changeEvent(QEvent* pEvent) override;
    // Resized or moved from outside: the window takes its own shape back.
    void resizeEvent(QResizeEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;
    // The view panel follows the client panel.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private slots:
    void TimerGameTimer();
    void RenderFrame();
    void RestoreShape();

private:
    bool OpenData(int& nExitCode);
    void ShowEnding();
    void ReleaseView();
    void RecordScore();
    QString ScoreLine() const;
    bool RunSplash();
    void InitGame();
    void CreateViewer();
    bool FitsScreen() const;
    QRect TargetGeometry() const;
    bool HasTargetShape() const;
    void WatchShape();
    void PlaceWindow();
    void LayOutView();
    void PauseForAbsence();
    void SyncTimer();
    void ScheduleFrame();
    static void SceneChanged(void* pData, SoSensor* pSensor);
    static void ShowBadDataFile();

    std::unique_ptr<Ui::TFormMain> m_pUi;
    TOptions m_Options;
    TGameDriver m_Driver;
    TGameViewer* m_pViewer = nullptr;
    TPadInput m_Pad;
    std::unique_ptr<TPlayerSettings> m_pSettings;
    std::unique_ptr<TBestScores> m_pScores;
    bool m_bScoreRecorded = false;
    int m_nScorePlace = 0;           // the game's place among the best, 0 when not among them
    int m_nWidth = 800;
    int m_nHeight = 600;
    bool m_bFullScreen = false;
    int m_nShapeRestores = 0;        // in a row, against a window manager that insists
    QTimer m_TimerShape;
    QTimer m_TimerGame;
    QTimer m_TimerFrame;
    QElapsedTimer m_Clock;           // since the window was made
    qint64 m_nLastFrameMs = -1000;
    qint64 m_nStartMs = -1;          // when the player pressed Start
    qint64 m_nRunningSinceMs = -1;   // when the game timer was last switched on
    SoNodeSensor* m_pSceneSensor = nullptr;
    bool m_bLeaving = false;
    bool m_bRendering = false;
    TStats m_Stats;
};
