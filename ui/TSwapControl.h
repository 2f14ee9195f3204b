#pragma once
// Vertical sync for the viewer's drawing area: its swap made to wait for the screen's refresh,
// where the GL driver offers that. A software renderer (Mesa's llvmpipe under Xvfb) has no
// refresh to wait for: frames are paced by a timer at the screen's rate instead.

class QWidget;

class TSwapControl
{
public:
    // True when the swaps of pGLWidget's context now wait for the refresh.
    static bool WaitForRefresh(QWidget* pGLWidget);
};
