#include "ui/TPadNavigation.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QTimer>

namespace {
void SendKey(QWidget* pTarget, int nKey)
{
    QKeyEvent Press(QEvent::KeyPress, nKey, Qt::NoModifier);
    QCoreApplication::sendEvent(pTarget, &Press);
    QKeyEvent Release(QEvent::KeyRelease, nKey, Qt::NoModifier);
    QCoreApplication::sendEvent(pTarget, &Release);
}

// Up and down: from row to row in a list, and to the widget before or after it past its ends.
void Vertical(QWidget* pFocus, bool bDown)
{
    if (auto* pView = qobject_cast<QAbstractItemView*>(pFocus)) {
        const QModelIndex Before = pView->currentIndex();
        SendKey(pView, bDown ? Qt::Key_Down : Qt::Key_Up);
        // A list that pops up keeps the focus until it is closed.
        if (pView->currentIndex() != Before || pView->window()->windowType() == Qt::Popup)
            return;
    }
    SendKey(pFocus, bDown ? Qt::Key_Tab : Qt::Key_Backtab);
}

void Horizontal(QWidget* pFocus, bool bRight)
{
    if (auto* pCombo = qobject_cast<QComboBox*>(pFocus)) {
        const int nIndex = pCombo->currentIndex() + (bRight ? 1 : -1);
        if (nIndex >= 0 && nIndex < pCombo->count())
            pCombo->setCurrentIndex(nIndex);
        return;
    }
    SendKey(pFocus, bRight ? Qt::Key_Right : Qt::Key_Left);
}

void Activate(QWidget* pFocus)
{
    // From the event loop: a button may open a window of its own, which must not run inside the
    // pad's poll.
    if (auto* pButton = qobject_cast<QAbstractButton*>(pFocus))
        QTimer::singleShot(0, pButton, &QAbstractButton::click);
    else if (auto* pCombo = qobject_cast<QComboBox*>(pFocus))
        pCombo->showPopup();
    else if (!qobject_cast<QAbstractSlider*>(pFocus))
        SendKey(pFocus, Qt::Key_Return);
}
}  // namespace

bool TPadNavigation::Press(QWidget* pWindow, TGamepad::TButton nButton)
{
    // A list popped up from a choice has the focus while it shows.
    QWidget* pFocus = QApplication::focusWidget();
    if (!pFocus || (pFocus->window() != pWindow && pFocus->window()->windowType() != Qt::Popup))
        pFocus = pWindow->focusWidget() ? pWindow->focusWidget() : pWindow;
    switch (nButton) {
    case TGamepad::PAD_THRUST: Vertical(pFocus, false); return true;
    case TGamepad::PAD_DOWN: Vertical(pFocus, true); return true;
    case TGamepad::PAD_LEFT: Horizontal(pFocus, false); return true;
    case TGamepad::PAD_RIGHT: Horizontal(pFocus, true); return true;
    case TGamepad::PAD_FIRE: Activate(pFocus); return true;
    case TGamepad::PAD_BACK: SendKey(pFocus, Qt::Key_Escape); return true;
    case TGamepad::PAD_WEST: SendKey(pFocus, Qt::Key_Delete); return true;
    default: return false;
    }
}
