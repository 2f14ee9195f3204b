#pragma once
// Renders a scene off screen as the game's viewer shows it: a perspective camera at (0, 0, 50)
// looking down at the play field, a headlight, delayed-blend transparency. Needs an X display
// with GLX; Prepare finds out before any work is done, since Qt aborts the program when it
// cannot reach the display it was asked for.

#include <memory>
#include <string>

class QOffscreenSurface;
class QOpenGLContext;
class SoNode;

class TSnapshot
{
public:
    TSnapshot();
    ~TSnapshot();
    TSnapshot(const TSnapshot&) = delete;
    TSnapshot& operator=(const TSnapshot&) = delete;

    // The display and a GL context for the pictures; false with a one-line reason.
    bool Prepare(std::string& strError);
    // After Prepare: the scene as a PNG file; false with a one-line reason.
    bool RenderToPng(SoNode* pScene, int nWidth, int nHeight, const std::string& strPath, std::string& strError);

private:
    std::unique_ptr<QOffscreenSurface> m_pSurface;
    std::unique_ptr<QOpenGLContext> m_pContext;
};
