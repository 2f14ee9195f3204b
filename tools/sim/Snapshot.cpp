#include "tools/sim/Snapshot.h"

#include "core/SceneView.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoSensorManager.h>

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

#include <X11/Xlib.h>

#include <cstdlib>

TSnapshot::TSnapshot() = default;

TSnapshot::~TSnapshot()
{
    if (m_pContext)
        m_pContext->doneCurrent();
}

bool TSnapshot::Prepare(std::string& strError)
{
    // Asked here, not of Qt: Qt ends the program when the display is missing.
    const char* szDisplay = std::getenv("DISPLAY");
    Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay) {
        strError = std::string("--shot needs an X display, and ") +
                   (szDisplay && *szDisplay ? "'" + std::string(szDisplay) + "' cannot be opened" : "DISPLAY is not set");
        return false;
    }
    XCloseDisplay(pDisplay);

    if (!QGuiApplication::instance()) {
        // Kept to the end of the process, as a window's application is: closing it would close
        // the display and unload the GL driver before the leak check could name the driver's
        // own allocations.
        static int s_nArgc = 1;
        static char s_szName[] = "drelk2-sim";
        static char* s_pArgv[] = {s_szName, nullptr};
        static QGuiApplication* s_pApp = new QGuiApplication(s_nArgc, s_pArgv);
        (void)s_pApp;
    }
    QSurfaceFormat Format;
    Format.setDepthBufferSize(24);
    m_pSurface = std::make_unique<QOffscreenSurface>();
    m_pSurface->setFormat(Format);
    m_pSurface->create();
    m_pContext = std::make_unique<QOpenGLContext>();
    m_pContext->setFormat(Format);
    if (!m_pSurface->isValid() || !m_pContext->create() || !m_pContext->makeCurrent(m_pSurface.get())) {
        strError = "--shot needs OpenGL, and the display gives no context (is GLX there?)";
        return false;
    }
    return true;
}

bool TSnapshot::RenderToPng(SoNode* pScene, int nWidth, int nHeight, const std::string& strPath, std::string& strError)
{
    if (!m_pContext || !m_pContext->makeCurrent(m_pSurface.get())) {
        strError = "no OpenGL context for the picture";
        return false;
    }
    // What the viewer's event loop would have done by now: blinkers settle, kits update.
    SoDB::getSensorManager()->processDelayQueue(FALSE);

    QOpenGLFramebufferObjectFormat FboFormat;
    FboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
    QOpenGLFramebufferObject Fbo(nWidth, nHeight, FboFormat);
    Fbo.bind();
    QOpenGLFunctions* pGL = m_pContext->functions();
    pGL->glViewport(0, 0, nWidth, nHeight);
    pGL->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    pGL->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    pGL->glEnable(GL_DEPTH_TEST);

    SoSeparator* pRoot = TSceneView::MakeViewedScene(pScene, static_cast<float>(nWidth) / static_cast<float>(nHeight));
    pRoot->ref();
    SoGLRenderAction Render(SbViewportRegion(static_cast<short>(nWidth), static_cast<short>(nHeight)));
    Render.setCacheContext(SoGLCacheContextElement::getUniqueCacheContext());
    Render.setTransparencyType(TSceneView::TRANSPARENCY);
    Render.apply(pRoot);
    pRoot->unref();
    pGL->glFinish();

    const bool bSaved = Fbo.toImage().convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(strPath), "PNG");
    Fbo.release();
    if (!bSaved)
        strError = "cannot write " + strPath;
    return bSaved;
}
