#pragma once
// The game window's shape and place. The window has the size chosen at start-up, centred on the
// screen it opens on (the start-up window's), or covers that whole screen in full screen (F11),
// where the view keeps the field's shape between black bars. A size that does not fit the screen
// is played in full screen. The window keeps its shape when something else resizes it: it takes
// it back once the resizes settle, and gives in to a window manager that insists.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QTimer>

class QScreen;
class QWidget;

class TWindowShape : public QObject
{
    Q_OBJECT

public:
    // pWindow is shaped; pView is laid out inside pClient, the space between the bars.
    TWindowShape(QWidget* pWindow, QWidget* pClient, QWidget* pView);

    // The screen the window opens on and goes full screen on; the primary one when not told.
    void SetScreen(QScreen* pScreen);
    void SetChosenSize(const QSize& Size) { m_Chosen = Size; }
    // True when the chosen size fits the screen's space for windows.
    bool FitsScreen() const;

    bool IsFullScreen() const { return m_bFullScreen; }
    void SetFullScreen(bool bFullScreen) { m_bFullScreen = bFullScreen; }
    // F11: full screen, or back to the chosen size and place (which a window that does not fit
    // the screen never goes back to). False when nothing changed.
    bool ToggleFullScreen();

    // Tells the window manager (a fixed size, the full-screen state) and places the window, as no
    // window manager may be there to do it.
    void Place();
    // From now on the window is left as it is: it is on its way out.
    void Stop() { m_bStopped = true; }
    // It comes back, for another game or replay.
    void Resume() { m_bStopped = false; }

    // Where a window of the chosen size goes on a screen (its geometry on the desktop, origin
    // included): the whole screen in full screen, else centred, rounding toward zero as the
    // original sizing did, so a window larger than the screen starts off its top left corner.
    static QRect TargetGeometry(const QRect& Screen, const QSize& Chosen, bool bFullScreen);
    // The view inside the client panel: all of it, or in full screen the largest part of it of
    // the field's shape, centred.
    static QRect ViewGeometry(const QSize& Panel, bool bFullScreen);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private slots:
    void RestoreShape();

private:
    QRect Screen() const;
    QRect Target() const;
    bool HasTargetShape() const;
    void WatchShape();
    void LayOutView();

    QWidget* m_pWindow;
    QWidget* m_pClient;
    QWidget* m_pView;
    QPointer<QScreen> m_pScreen;
    QSize m_Chosen{800, 600};
    bool m_bFullScreen = false;
    bool m_bStopped = false;
    int m_nRestores = 0;  // in a row, against a window manager that insists
    QTimer m_TimerShape;
};
