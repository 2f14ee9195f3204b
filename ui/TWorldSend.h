#pragma once
// The ending screen's offer to send the game to the world table: a button ("Send to the world
// table", Alt+S, or Start on a pad) and a line that says how it went. Sending leaves the screen
// where it is; the game is kept at home before the screen shows, whatever the server does.

#include "input/Gamepad.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWidget>

class QKeyEvent;
class QLabel;
class QPushButton;
class TWorldTable;

class TWorldSend : public QWidget
{
    Q_OBJECT

public:
    static constexpr int HEIGHT = 34;

    // Across the bottom of pParent; the replay's bytes go to Server under strName when asked.
    TWorldSend(QWidget* pParent, const QUrl& Server, const QByteArray& Replay, const QString& strName);

    // The keys and buttons the offer takes before the screen would end on them: Alt+S and Alt
    // alone (a player on the way to Alt+S), the pad's Start; only while nothing is sent yet.
    bool TakeKey(const QKeyEvent& Event);
    bool TakePad(TGamepad::TButton nButton);
    // Sends, once.
    void Send();

    bool IsSent() const { return m_bSent; }
    QString GetStatus() const;

signals:
    // The answer came, or none did in time: the line shown.
    void Answered(bool bOk, const QString& strLine);

private:
    QPushButton* m_pButton;
    QLabel* m_pStatus;
    TWorldTable* m_pTable;
    QByteArray m_Replay;
    QString m_strName;
    bool m_bSent = false;
};
