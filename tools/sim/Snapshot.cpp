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

#include <memory>


bool TSnapshot::RenderToPng(SoNode* pScene, int nWidth, int nHeight, const std::string& strPath, std::string& strError)
{
    // A GL context needs the GUI library: made here, only when a picture is asked for.
    std::unique_ptr<QGuiApplication> pApp;
    if (!QGuiApplication::instance()) {
        static int s_nArgc = 1;
        static char s_szName[] = "drelk2-sim";
        static char* s_pArgv[] = {s_szName, nullptr};
        pApp = std::make_unique<QGuiApplication>(s_nArgc, s_pArgv);
    }
    QSurfaceFormat Format;
    Format.setDepthBufferSize(24);
    QOffscreenSurface Surface;
    Surface.setFormat(Format);
    Surface.create();
    QOpenGLContext Context;
    Context.setFormat(Format);
    if (!Surface.isValid() || !Context.create() || !Context.makeCurrent(&Surface)) {
        strError = "no OpenGL context (is there an X display with GLX?)";
        return false;
    }

    // What the viewer's event loop would have done by now: blinkers settle, kits update.
    SoDB::getSensorManager()->processDelayQueue(FALSE);

    bool bSaved = false;
    {
        QOpenGLFramebufferObjectFormat FboFormat;
        FboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
        QOpenGLFramebufferObject Fbo(nWidth, nHeight, FboFormat);
        Fbo.bind();
        QOpenGLFunctions* pGL = Context.functions();
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

        bSaved = Fbo.toImage().convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(strPath), "PNG");
        Fbo.release();
    }
    Context.doneCurrent();
    if (!bSaved)
        strError = "cannot write " + strPath;
    return bSaved;
}
