#pragma once
// The gamepads as the windows hear them: polled on the event loop, often while a controller is
// there and twice a second otherwise, each press (or repeat, at the desktop's keyboard delay and
// rate) handed to whichever window listens.

#include "input/Gamepad.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class TPadInput : public QObject
{
    Q_OBJECT

public:
    explicit TPadInput(QObject* pParent = nullptr);
    ~TPadInput() override;

    // Starts SDL's controller support and the polling. SDL is started from one thread at a time:
    // call this once the sound device has settled.
    void Start();

    // The desktop's key repeat (the X keyboard extension's); X's defaults without a display.
    static TGamepad::TRepeat DesktopKeyRepeat();

    // While Pressed is being emitted: the press is a held button's repeat.
    bool IsRepeat() const { return m_bRepeat; }
    // The make of the first pad plugged in, for naming its buttons.
    TGamepad::TType GetPadType() const { return m_pPad ? m_pPad->GetType() : TGamepad::TYPE_NONE; }

signals:
    void Pressed(TGamepad::TButton nButton);

private slots:
    void Poll();

private:
    std::unique_ptr<TGamepad> m_pPad;
    QTimer m_Timer;
    QElapsedTimer m_Clock;
    bool m_bRepeat = false;
};
