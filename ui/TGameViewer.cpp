#include "ui/TGameViewer.h"

#include "base/Assert.h"

#include <Inventor/SoSceneManager.h>

#include <QGLWidget>
#include <QWidget>
#include <QWindow>

#include <GL/gl.h>

TGameViewer::TGameViewer(QWidget* pParent, std::function<void()> pRequestFrame)
    : SoQtExaminerViewer(pParent, "3DViewer", TRUE, SoQtFullViewer::BUILD_ALL, SoQtViewer::BROWSER, FALSE),
      m_pRequestFrame(std::move(pRequestFrame))
{
    DRELK_ASSERT(m_pRequestFrame);
    // Built here, not by the base, so that the overrides below serve from the first size on.
    setBaseWidget(buildWidget(getParentWidget()));
}

void TGameViewer::sizeChanged(const SbVec2s& Size)
{
    SoQtExaminerViewer::sizeChanged(Size);
    QWidget* pArea = getGLWidget();
    if (!pArea || Size[0] <= 0 || Size[1] <= 0)
        return;
    pArea->setGeometry(0, 0, Size[0], Size[1]);
    const qreal dRatio = pArea->devicePixelRatioF();
    const SbVec2s Pixels(static_cast<short>(qRound(Size[0] * dRatio)), static_cast<short>(qRound(Size[1] * dRatio)));
    if (getViewportRegion().getWindowSize() != Pixels)
        setViewportRegion(SbViewportRegion(Pixels));
    Owe();
}

SbBool TGameViewer::glScheduleRedraw()
{
    Owe();
    return TRUE;
}

void TGameViewer::Owe()
{
    m_nFramesOwed = 2;
    m_pRequestFrame();
}

void TGameViewer::redraw()
{
    // What the binding's own redraw skips: nothing is drawn, and nothing is paid.
    if (!isVisible() || !hasNormalGLArea() || waitForExpose)
        return;
    SoQtExaminerViewer::redraw();
    if (m_nFramesOwed > 0)
        --m_nFramesOwed;
}

bool TGameViewer::IsExposed() const
{
    const QWidget* pArea = getGLWidget();
    const QWindow* pWindow = pArea ? pArea->windowHandle() : nullptr;
    return pWindow && pWindow->isExposed();
}

void TGameViewer::DrawUnseen(bool bShow)
{
    QGLWidget* pArea = qobject_cast<QGLWidget*>(getGLWidget());
    if (!pArea || !hasNormalGLArea())
        return;
    pArea->makeCurrent();
    getSceneManager()->render(TRUE, TRUE);
    if (bShow && IsExposed())
        pArea->swapBuffers();
    // The work done now, not at the next frame's swap.
    glFinish();
}
