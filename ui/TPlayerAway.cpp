#include "ui/TPlayerAway.h"

#include <QEvent>
#include <QWidget>

TPlayerAway::TPlayerAway(QWidget* pWindow) : QObject(pWindow), m_pWindow(pWindow)
{
    m_pWindow->installEventFilter(this);
}

bool TPlayerAway::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pWindow) {
        const bool bDeactivated = pEvent->type() == QEvent::ActivationChange && !m_pWindow->isActiveWindow();
        const bool bMinimised = pEvent->type() == QEvent::WindowStateChange && m_pWindow->isMinimized();
        if (bDeactivated || bMinimised)
            emit Away();
    }
    return QObject::eventFilter(pWatched, pEvent);
}
