#include "ui/TPadInput.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <vector>

TPadInput::TPadInput(QObject* pParent) : QObject(pParent)
{
    m_Timer.setSingleShot(true);
    connect(&m_Timer, &QTimer::timeout, this, &TPadInput::Poll);
}

TPadInput::~TPadInput() = default;

void TPadInput::Start()
{
    if (m_pPad)
        return;
    m_pPad = std::make_unique<TGamepad>();
    if (!m_pPad->IsAvailable())
        return;
    m_pPad->SetRepeat(DesktopKeyRepeat());
    m_Clock.start();
    Poll();
}

void TPadInput::Poll()
{
    std::vector<TGamepad::TButton> vecPresses;
    std::vector<bool> vecRepeats;
    // A controller that comes brings the desktop's repeat as it is now.
    if (m_pPad->Poll(static_cast<uint64_t>(m_Clock.elapsed()), vecPresses, &vecRepeats))
        m_pPad->SetRepeat(DesktopKeyRepeat());
    m_Timer.start(m_pPad->GetPollInterval());
    for (size_t i = 0; i < vecPresses.size(); ++i) {
        m_bRepeat = vecRepeats[i];
        emit Pressed(vecPresses[i]);
    }
    m_bRepeat = false;
}

TGamepad::TRepeat TPadInput::DesktopKeyRepeat()
{
    TGamepad::TRepeat Repeat;
    Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay)
        return Repeat;
    unsigned int nDelay = 0;
    unsigned int nInterval = 0;
    if (XkbGetAutoRepeatRate(pDisplay, XkbUseCoreKbd, &nDelay, &nInterval) && nInterval > 0) {
        Repeat.nDelayMs = static_cast<int>(nDelay);
        Repeat.nIntervalMs = static_cast<int>(nInterval);
    }
    XKeyboardState State;
    XGetKeyboardControl(pDisplay, &State);
    Repeat.bOn = State.global_auto_repeat == AutoRepeatModeOn;
    XCloseDisplay(pDisplay);
    return Repeat;
}
