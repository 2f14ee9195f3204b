#pragma once
// The start-up window: the game's picture, the choice of window size, Start and Exit, with the
// start-up music while it is on screen (loaded once the window is drawn and the data file is
// open, so that it shows at once; silent when the player has switched the music off). Below
// them, what else a player can do: the best scores and their replays, watching the last game,
// the controls and the options, each in a window of its own, made when first opened, offered
// once the player's files are read. Shown modally; the result is RESULT_OK
// after Start, RESULT_WATCH with a replay chosen to watch, RESULT_DEMO when the demo plays (the
// window was left untouched and the game window asked for it), and RESULT_CANCEL after Exit or
// any other way of closing it. Shown again after a replay or the demo, it is as it was.
//
// The pad moves through it as through every window of the game (TPadNavigation); its Start
// button starts, Back exits.

#include "core/Replay.h"
#include "input/Gamepad.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <utility>

class TBindings;
class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
class TGameDriver;
class TPadInput;
class TPlayerSettings;

namespace Ui {
class TFormSplash;
}

class TFormSplash : public QDialog
{
    Q_OBJECT

public:
    static constexpr int RESULT_OK = 1;
    static constexpr int RESULT_CANCEL = 2;
    static constexpr int RESULT_WATCH = 3;
    static constexpr int RESULT_DEMO = 4;
    // How long the window is left untouched before the demo; DRELK2_ATTRACT_SECONDS sets
    // another time, for tests.
    static constexpr int ATTRACT_SECONDS = 30;

    // What the windows it opens work on. Without it those buttons are not offered.
    struct TPlayer
    {
        const TGameDriver* pDriver = nullptr;
        TPlayerSettings* pSettings = nullptr;
        TBindings* pBindings = nullptr;
        TPadInput* pPad = nullptr;
    };

    // The asset bank and the sound manager may come later, through DataOpened: the window shows
    // before the data file is read.
    TFormSplash(QWidget* pOwner, TDataBanker* pDB = nullptr, TFModSoundManager* pSM = nullptr);
    ~TFormSplash() override;

    // The data file is open: the music plays from it once the window is drawn.
    void DataOpened(TDataBanker* pDB, TFModSoundManager* pSM);
    // The player's files are read: the windows that show them are offered.
    void SetPlayer(const TPlayer& Player);

    // The chosen window size in pixels: (800, 600) until a choice is made.
    const std::pair<int, int>& GetResolution() const { return m_Resolution; }
    // The replay chosen to watch, and its file, after RESULT_WATCH.
    std::shared_ptr<const TReplay> GetReplay() const { return m_pReplay; }
    QString GetReplayPath() const { return m_strReplayPath; }
    // The seconds the window waits untouched before asking for the demo.
    static int AttractSeconds();

signals:
    // The window has been drawn once.
    void Drawn();
    // The window has been left untouched for AttractSeconds, on top, with nothing opened from it.
    void Idle();

protected:
    void showEvent(QShowEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

public slots:
    // Escape, Alt+F4, the window manager: Exit.
    void reject() override;
    // The gamepad: it moves through the window, or the window opened from it.
    void PadPressed(TGamepad::TButton nButton);
    // The demo plays: the window closes with RESULT_DEMO.
    void StartDemo();
    // The music switched on or off in the options.
    void SetMusicOn(bool bOn);

private slots:
    void ButtonStartClick();
    void ButtonExitClick();
    void ComboBoxResolutionChange(int nIndex);
    void ButtonScoresClick();
    void ButtonWatchLastClick();
    void ButtonControlsClick();
    void ButtonOptionsClick();
    void IdleTimeout();

private:
    void CenterOnScreen();
    void StartMusic();
    bool IsMusicOn() const;
    // The last game's replay, once the window shows: Watch the last game only when it plays here.
    void CheckLastGame();
    // Opens a window over this one, modally, with the pad's presses; its result.
    int OpenWindow(QDialog& Window);
    void Watch(std::shared_ptr<const TReplay> pReplay, const QString& strPath);
    void Touched();

    std::unique_ptr<Ui::TFormSplash> m_pUi;
    TDataBanker* m_pDB;
    TFModSoundManager* m_pSM;
    TPlayer m_Player;
    std::pair<int, int> m_Resolution{800, 600};
    std::unique_ptr<TFModSoundSource> m_pSnd;
    bool m_bDrawn = false;
    bool m_bShownBefore = false;
    QPointer<QDialog> m_pOpen;        // the window opened from this one, while it is open
    QPointer<QWidget> m_pLastFocus;   // where the keyboard was when the window hid
    QString m_strLast;                // the last game's replay, when it plays here
    std::shared_ptr<const TReplay> m_pReplay;
    QString m_strReplayPath;
    QTimer m_TimerIdle;
};
