#pragma once
// The player's input as commands: the key-downs the viewer hands over (fresh presses and
// auto-repeats) and the gamepad's presses, each looked up in the one binding table. Keys and
// buttons the table does not bind do nothing.

#include "core/Commands.h"
#include "input/Bindings.h"

#include <QObject>

#include <Inventor/SbBasic.h>

class QEvent;
class TGameViewer;

class TCommandInput : public QObject
{
    Q_OBJECT

public:
    TCommandInput(const TBindings& Bindings, QObject* pParent);

    // The viewer's key-downs come here from now on.
    void Listen(TGameViewer* pViewer);
    // A key-down (a Qt key code) or a pad press.
    void KeyDown(int nKey);
    void PadPressed(TGamepad::TButton nButton);

    // Installed on the viewer: true for the key-downs the viewer must not see itself (the arrows
    // and S would move its camera).
    static SbBool ViewerEventCallback(void* pData, QEvent* pEvent);

signals:
    void Command(TCommand nCommand);

private:
    const TBindings& m_Bindings;
};
