#pragma once
// The start-up window: the game's picture, the choice of window size, Start and Exit, with the
// start-up music while it is on screen (loaded once the window is drawn and the data file is
// open, so that it shows at once). Shown modally; the result is RESULT_OK after Start and
// RESULT_CANCEL after Exit or any other way of closing it.

#include "input/Gamepad.h"

#include <QDialog>

#include <memory>
#include <utility>

class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;

namespace Ui {
class TFormSplash;
}

class TFormSplash : public QDialog
{
    Q_OBJECT

public:
    static constexpr int RESULT_OK = 1;
    static constexpr int RESULT_CANCEL = 2;

    // The asset bank and the sound manager may come later, through DataOpened: the window shows
    // before the data file is read.
    TFormSplash(QWidget* pOwner, TDataBanker* pDB = nullptr, TFModSoundManager* pSM = nullptr);
    ~TFormSplash() override;

    // The data file is open: the music plays from it once the window is drawn.
    void DataOpened(TDataBanker* pDB, TFModSoundManager* pSM);

    // The chosen window size in pixels: (800, 600) until a choice is made.
    const std::pair<int, int>& GetResolution() const { return m_Resolution; }

signals:
    // The window has been drawn once.
    void Drawn();

protected:
    void showEvent(QShowEvent* pEvent) override;
    void hideEvent(QHideEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;

public slots:
    // Escape, Alt+F4, the window manager: Exit.
    void reject() override;
    // The gamepad: the south button starts, Back exits.
    void PadPressed(TGamepad::TButton nButton);

private slots:
    void ButtonStartClick();
    void ButtonExitClick();
    void ComboBoxResolutionChange(int nIndex);

private:
    void CenterOnScreen();
    void StartMusic();

    std::unique_ptr<Ui::TFormSplash> m_pUi;
    TDataBanker* m_pDB;
    TFModSoundManager* m_pSM;
    std::pair<int, int> m_Resolution{800, 600};
    std::unique_ptr<TFModSoundSource> m_pSnd;
    bool m_bDrawn = false;
};
