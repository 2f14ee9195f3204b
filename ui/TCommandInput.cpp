#include "ui/TCommandInput.h"

#include "ui/TGameViewer.h"

#include <QKeyEvent>

TCommandInput::TCommandInput(const TBindings& Bindings, QObject* pParent) : QObject(pParent), m_Bindings(Bindings)
{
}

void TCommandInput::Listen(TGameViewer* pViewer)
{
    pViewer->setEventCallback(ViewerEventCallback, this);
}

void TCommandInput::KeyDown(int nKey)
{
    TCommand nCommand;
    if (m_Bindings.CommandForKey(nKey, nCommand))
        emit Command(nCommand);
}

void TCommandInput::PadPressed(TGamepad::TButton nButton)
{
    TCommand nCommand;
    if (m_Bindings.CommandForButton(nButton, nCommand))
        emit Command(nCommand);
}

SbBool TCommandInput::ViewerEventCallback(void* pData, QEvent* pEvent)
{
    if (pEvent->type() != QEvent::KeyPress)
        return FALSE;
    const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
    static_cast<TCommandInput*>(pData)->KeyDown(nKey);
    switch (nKey) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_S:
        return TRUE;
    default:
        return FALSE;
    }
}
