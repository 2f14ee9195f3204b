#pragma once
// Notices the player going away from the game window: another window taking the focus, or the
// window minimised. The window then pauses the game, which waits for P when the player is back.

#include <QObject>

class QWidget;

class TPlayerAway : public QObject
{
    Q_OBJECT

public:
    explicit TPlayerAway(QWidget* pWindow);

signals:
    void Away();

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QWidget* m_pWindow;
};
