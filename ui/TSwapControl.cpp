#include "ui/TSwapControl.h"

#include <QGLWidget>

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstring>

namespace {
using TSwapIntervalExt = void (*)(Display*, GLXDrawable, int);
using TSwapIntervalInt = int (*)(int);

bool IsSoftware(const char* szRenderer)
{
    for (const char* szName : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
        if (std::strstr(szRenderer, szName))
            return true;
    return false;
}

template <typename TFunction>
TFunction Find(const char* szName)
{
    return reinterpret_cast<TFunction>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(szName)));
}

bool HasExtension(Display* pDisplay, const char* szName)
{
    const char* szExtensions = glXQueryExtensionsString(pDisplay, DefaultScreen(pDisplay));
    return szExtensions && std::strstr(szExtensions, szName);
}
}  // namespace

bool TSwapControl::WaitForRefresh(QWidget* pGLWidget)
{
    auto* pArea = qobject_cast<QGLWidget*>(pGLWidget);
    if (!pArea || !pArea->isValid())
        return false;
    pArea->makeCurrent();
    const auto* szRenderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    Display* pDisplay = glXGetCurrentDisplay();
    const GLXDrawable nDrawable = glXGetCurrentDrawable();
    if (!szRenderer || IsSoftware(szRenderer) || !pDisplay || !nDrawable)
        return false;
    if (HasExtension(pDisplay, "GLX_EXT_swap_control")) {
        if (auto pSwapInterval = Find<TSwapIntervalExt>("glXSwapIntervalEXT")) {
            pSwapInterval(pDisplay, nDrawable, 1);
            return true;
        }
    }
    for (const char* szName : {"glXSwapIntervalMESA", "glXSwapIntervalSGI"}) {
        const char* szExtension = std::strcmp(szName, "glXSwapIntervalMESA") == 0 ? "GLX_MESA_swap_control" : "GLX_SGI_swap_control";
        if (!HasExtension(pDisplay, szExtension))
            continue;
        if (auto pSwapInterval = Find<TSwapIntervalInt>(szName))
            if (pSwapInterval(1) == 0)
                return true;
    }
    return false;
}
