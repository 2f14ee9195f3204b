#pragma once
// The game window: a borderless window with a title bar, the 3D viewer and a status bar. It turns
// the player's keys into the game's commands and the game timer into ticks, and shows what the
// driver's game has become; it holds no rule of the game.
//
// Ticks go first: a precise 10 ms timer runs the ticks that are due (a late event runs the few it
// missed), and frames are drawn only when the scene changed and at most about 60 times a second,
// so a slow frame on a software renderer slows neither the game nor the keys.

#include "core/GameDriver.h"

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
class SoQtExaminerViewer;
class SoSensor;

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

    // A key-down as the viewer hands it over: Escape, Q, M, P act at once; the arrows and the
    // space bar are latched for the next tick.
    void OnKeyDown(QKeyEvent* pEvent);
    // Installed on the viewer: true for the key-downs the viewer must not see itself (arrows, S).
    static SbBool ViewerEventCallback(void* pViewer, QEvent* pEvent);

    TGame* GetGame() const { return m_Driver.GetGame(); }
    SoQtExaminerViewer* GetViewer() const { return m_pViewer; }
    TStats GetStats() const;
    // The size chosen at start-up: the whole window.
    int GetChosenWidth() const { return m_nWidth; }
    int GetChosenHeight() const { return m_nHeight; }

protected:
    // A close request (the window manager, Alt+F4) leaves the game as Escape does.
    void closeEvent(QCloseEvent* pEvent) override;

private slots:
    void TimerGameTimer();
    void RenderFrame();

private:
    bool OpenData(int& nExitCode);
    bool RunSplash();
    void InitGame();
    void CreateViewer();
    void CenterWindow();
    void SyncTimer();
    void ScheduleFrame();
    static void SceneChanged(void* pData, SoSensor* pSensor);
    static void ShowBadDataFile();

    std::unique_ptr<Ui::TFormMain> m_pUi;
    TOptions m_Options;
    TGameDriver m_Driver;
    SoQtExaminerViewer* m_pViewer = nullptr;
    int m_nWidth = 800;
    int m_nHeight = 600;
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
