#pragma once
// The ending screen: a borderless 512 x 340 window on which the credits picture climbs one pixel
// every 50 ms over the scaled background, to the ending music. Any key, any click or a close
// request ends the program with status 0; so does the screen itself after 1000 steps. With a
// world table set, the screen also offers to send the game there (TWorldSend), which takes its
// own keys and button.

#include "input/Gamepad.h"

#include <QDialog>
#include <QImage>
#include <QTimer>

#include <memory>
#include <vector>

class QUrl;
class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
class TWorldSend;

namespace Ui {
class TDlgEnding;
}

class TDlgEnding : public QDialog
{
    Q_OBJECT

public:
    static constexpr int WIDTH = 512;
    static constexpr int HEIGHT = 340;
    static constexpr int STEP_MS = 50;
    static constexpr int LAST_STEP = 1000;
    // The picture starts with its top this far above the bottom edge.
    static constexpr int START_RISE = 100;
    // The score line's place and size.
    static constexpr int SCORE_TOP = 10;
    static constexpr int SCORE_FONT_PX = 16;

    TDlgEnding(QWidget* pOwner, TDataBanker* pDB, TFModSoundManager* pSM);
    ~TDlgEnding() override;

    // A line across the top of the background (the game's score and the best), under the
    // climbing picture, which it leaves whole. Set before the screen shows.
    void SetScoreLine(const QString& strLine);
    // The offer to send the game's replay to the world table at Server under strName.
    void OfferWorldSend(const QUrl& Server, const QByteArray& Replay, const QString& strName);
    TWorldSend* GetWorldSend() const { return m_pWorldSend; }

    int GetStep() const { return m_nStep; }
    bool IsRunning() const { return m_bRunning; }
    // What the window shows now.
    const QImage& GetCanvas() const { return m_BmpCanvas; }

protected:
    void showEvent(QShowEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

public slots:
    void reject() override;
    // Any gamepad button ends it, as any key does.
    void PadPressed(TGamepad::TButton nButton);

private slots:
    void TimerTimer();

private:
    struct TRows
    {
        int nFirst;
        int nCount;
    };
    static constexpr int NOT_COMPOSED = -1000000;

    void Compose();
    void Finish();
    static std::vector<TRows> OpaqueRows(const QImage& Picture);

    std::unique_ptr<Ui::TDlgEnding> m_pUi;
    bool m_bRunning = false;
    int m_nStep = 0;
    std::unique_ptr<TFModSoundSource> m_pSnd;
    QImage m_BmpCanvas;
    QImage m_BmpBack;  // scaled to the window once: every step draws it whole
    QImage m_BmpFore;
    QRect m_rcDraw{0, 0, WIDTH, HEIGHT};
    std::vector<TRows> m_vecForeRows;     // where the picture has anything to show
    int m_nComposedTop = NOT_COMPOSED;    // the picture's top on the canvas now
    QTimer m_Timer;
    TWorldSend* m_pWorldSend = nullptr;  // a child, when offered
};
