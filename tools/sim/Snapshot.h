#pragma once
// Renders a scene off screen as the game's viewer shows it: a perspective camera at (0, 0, 50)
// looking down at the play field, a headlight, delayed-blend transparency. Needs an X display.

#include <string>

class SoNode;

class TSnapshot
{
public:
    // False with a one-line reason when no GL context can be had or the file cannot be written.
    static bool RenderToPng(SoNode* pScene, int nWidth, int nHeight, const std::string& strPath, std::string& strError);
};
