#pragma once
// The game window: a borderless window with a title bar, the 3D viewer and a status bar. It
// starts the game (the sound manager, the data file, the start-up window, then the game or a
// replay), owns the viewer and the parts that each do one job of the window, and sends each
// command where it belongs; it holds no rule of the game.
//
// What plays in it, one after the other: a replay watched from the start-up window or the demo
// (the start-up window left untouched) bring the player back to the start-up window, a replay
// through its ending screen, the demo at any key, click or pad button; a game, or the replay
// the command line names, ends the program through the ending screen.
//
//   TWindowShape    the window's shape and place, full screen
//   TPlayerAway     the player going away, which pauses the game
//   TCommandInput   keys and pad presses turned into commands through the binding table
//   TGameLoop       ticks and frames
//   TGameEnding     the score, the replay and the ending screen

#include "core/GameDriver.h"
#include "core/Replay.h"
#include "input/Bindings.h"
#include "store/SessionEnd.h"
#include "ui/TGameLoop.h"
#include "ui/TPadInput.h"

#include <QWidget>

#include <memory>
#include <string>

class TCommandInput;
class TFormSplash;
class TGameEnding;
class TGameViewer;
class TPlayerAway;
class TPlayerSettings;
class TWindowShape;

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
        int nMaxFps = -1;         // frames a second at most (0: the screen's rate; -1: as the settings say)
        // A replay to play instead of a game of the player's: the start-up window is skipped.
        std::shared_ptr<const TReplay> pReplay;
        std::string strReplayName;  // the replay's file, for messages
    };
    struct TStats : TGameLoop::TStats
    {
        qint64 nSplashShownMs = -1;  // from the window's creation to the start-up window drawn
        bool bPlayed = false;        // a game (or a replay) was started
        uint32_t nGameTicks = 0;     // the game's own ticks, paused ones of a replay included
        int32_t nScore = 0;          // the game's score and level when it ended
        int32_t nLevel = 0;
    };
    // drelk2's exit status for a replay this game cannot play.
    static constexpr int EXIT_BAD_REPLAY = 3;
    // A cap on frames a second above this is no cap.
    static constexpr int MAX_FPS = 500;

    explicit TFormMain(const TOptions& Options);
    ~TFormMain() override;

    // The start-up: the sound manager, the data file, the start-up window, and the game when the
    // player starts it (or the replay). False when the program is to end now, with nExitCode.
    bool FormCreate(int& nExitCode);

    // A command, wherever it came from: the game's go to the game, the window's are done here.
    void OnCommand(TCommand nCommand);
    // Escape and Q: the game stops and hides, and the ending screen ends the program.
    void ExitGame();

    TStats GetStats() const;

protected:
    // A close request (the window manager, Alt+F4) leaves the game as Escape does.
    void closeEvent(QCloseEvent* pEvent) override;
    // While the demo plays: any key or click ends it.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    // What the window plays.
    enum TSession { SESSION_GAME, SESSION_REPLAY, SESSION_WATCH, SESSION_DEMO };

    std::string DataFile() const;
    std::string NamingTheFile(const std::string& strError) const;
    bool OpenData(std::string& strReason);
    void RefuseData(const std::string& strReason, int& nExitCode);
    void MakeSplash();
    bool RunStartUp(int& nExitCode);
    void StartGame();
    bool StartWatching(const TReplay& Replay, const QString& strPath, TSession nSession);
    void OnIdle();
    void EndDemo();
    void BackToStartUp();
    void NewSession();
    void ApplyVolumes(bool bSilent);
    static void LoadGl();
    bool StartReplay(int& nExitCode);
    void InitGame();
    void CreateViewer();
    void PaceFrames();
    TEffectsDetail EffectsDetail();
    int MaxFps() const;
    void ShowStatus();
    void PauseForAbsence();
    void ShowEnding();
    void ReleaseView();
    static void ShowBadDataFile();

    std::unique_ptr<Ui::TFormMain> m_pUi;
    TOptions m_Options;
    TGameDriver m_Driver;
    TBindings m_Bindings;
    TGameViewer* m_pViewer = nullptr;
    TPadInput m_Pad;
    std::unique_ptr<TPlayerSettings> m_pSettings;
    TWindowShape* m_pShape = nullptr;
    TPlayerAway* m_pAway = nullptr;
    TCommandInput* m_pInput = nullptr;
    TGameLoop* m_pLoop = nullptr;
    std::unique_ptr<TGameEnding> m_pEnding;
    std::unique_ptr<TFormSplash> m_pSplash;
    TSession m_nSession = SESSION_GAME;
    std::shared_ptr<const TReplay> m_pDemo;
    std::string m_strRefused;  // why the data file cannot serve, once read whole
    // While a game runs: a session ended from outside (a signal, the display gone) keeps its
    // score and its replay first.
    std::unique_ptr<TSessionEnd::THook> m_pSessionEnd;
    QElapsedTimer m_Clock;  // since the window was made
    bool m_bLeaving = false;
    bool m_bEffectsSaid = false;
    qint64 m_nSplashShownMs = -1;
    qint64 m_nStartMs = -1;      // when the player pressed Start (or the replay began)
    qint64 m_nLoopStartMs = -1;  // when the window's ticks and frames began
};
