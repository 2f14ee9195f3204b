#include "ui/TWindowShape.h"

#include "core/Rules.h"
#include "core/SceneView.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace {
// A window manager that resizes the window again at once is given in to after this many tries:
// the view fits any size anyway.
constexpr int MAX_SHAPE_RESTORES = 3;
// Resizes from outside come in bursts; the window takes its shape back once they settle.
constexpr int SHAPE_SETTLE_MS = 50;
// Full screen shows the view at the shape that holds the field's whole width (the 800x600
// window's shape): width / height of the view.
const double FIELD_ASPECT = TRules::FIELD_HALF_WIDTH / (TSceneView::CAMERA_Z * std::tan(TSceneView::HEIGHT_ANGLE / 2));
}  // namespace

TWindowShape::TWindowShape(QWidget* pWindow, QWidget* pClient, QWidget* pView)
    : QObject(pWindow), m_pWindow(pWindow), m_pClient(pClient), m_pView(pView)
{
    m_TimerShape.setSingleShot(true);
    m_TimerShape.setInterval(SHAPE_SETTLE_MS);
    connect(&m_TimerShape, &QTimer::timeout, this, &TWindowShape::RestoreShape);
    m_pWindow->installEventFilter(this);
    m_pClient->installEventFilter(this);
}

void TWindowShape::SetScreen(QScreen* pScreen)
{
    m_pScreen = pScreen;
}

QRect TWindowShape::Screen() const
{
    QScreen* pScreen = m_pScreen ? m_pScreen.data() : QGuiApplication::primaryScreen();
    return pScreen->geometry();
}

bool TWindowShape::FitsScreen() const
{
    QScreen* pScreen = m_pScreen ? m_pScreen.data() : QGuiApplication::primaryScreen();
    const QSize Available = pScreen->availableGeometry().size();
    return m_Chosen.width() <= Available.width() && m_Chosen.height() <= Available.height();
}

QRect TWindowShape::TargetGeometry(const QRect& Screen, const QSize& Chosen, bool bFullScreen)
{
    if (bFullScreen)
        return Screen;
    return QRect(Screen.x() + (Screen.width() - Chosen.width()) / 2, Screen.y() + (Screen.height() - Chosen.height()) / 2,
                 Chosen.width(), Chosen.height());
}

QRect TWindowShape::ViewGeometry(const QSize& Panel, bool bFullScreen)
{
    if (!bFullScreen || Panel.height() <= 0)
        return QRect(QPoint(0, 0), Panel);
    if (Panel.width() > Panel.height() * FIELD_ASPECT) {
        const int nWidth = qRound(Panel.height() * FIELD_ASPECT);
        return QRect((Panel.width() - nWidth) / 2, 0, nWidth, Panel.height());
    }
    const int nHeight = qRound(Panel.width() / FIELD_ASPECT);
    return QRect(0, (Panel.height() - nHeight) / 2, Panel.width(), nHeight);
}

QRect TWindowShape::Target() const
{
    return TargetGeometry(Screen(), m_Chosen, m_bFullScreen);
}

// A window may be moved, not resized; a full-screen one neither.
bool TWindowShape::HasTargetShape() const
{
    const QRect Target = this->Target();
    return m_bFullScreen ? m_pWindow->geometry() == Target : m_pWindow->size() == Target.size();
}

void TWindowShape::Place()
{
    const QRect Target = this->Target();
    if (m_bFullScreen) {
        m_pWindow->setMinimumSize(0, 0);
        m_pWindow->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_pWindow->setWindowState(m_pWindow->windowState() | Qt::WindowFullScreen);
    } else {
        m_pWindow->setWindowState(m_pWindow->windowState() & ~Qt::WindowFullScreen);
        m_pWindow->setFixedSize(Target.size());
    }
    m_nRestores = 0;
    m_pWindow->setGeometry(Target);
    LayOutView();
}

bool TWindowShape::ToggleFullScreen()
{
    if (m_bFullScreen && !FitsScreen())
        return false;
    m_bFullScreen = !m_bFullScreen;
    Place();
    return true;
}

void TWindowShape::LayOutView()
{
    m_pView->setGeometry(ViewGeometry(m_pClient->size(), m_bFullScreen));
}

bool TWindowShape::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pClient && pEvent->type() == QEvent::Resize)
        LayOutView();
    else if (pWatched == m_pWindow && (pEvent->type() == QEvent::Resize || pEvent->type() == QEvent::Move))
        WatchShape();
    return QObject::eventFilter(pWatched, pEvent);
}

// Only a window manager that refuses the window's own shape keeps the count of tries rising.
void TWindowShape::WatchShape()
{
    if (HasTargetShape())
        m_nRestores = 0;
    else if (m_pWindow->isVisible() && m_nRestores < MAX_SHAPE_RESTORES)
        m_TimerShape.start();
}

void TWindowShape::RestoreShape()
{
    if (HasTargetShape() || m_bStopped)
        return;
    ++m_nRestores;
    const QRect Target = this->Target();
    if (m_bFullScreen)
        m_pWindow->setGeometry(Target);
    else
        m_pWindow->resize(Target.size());
}
