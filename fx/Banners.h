#pragma once
// One line of 3D text in the scene: the head-up display is made of these (ships, level, score,
// "Game Over"). The text sits in a shape kit under a blinker, so one banner can be shown
// steadily, made to blink, or hidden.

#include <Inventor/SbColor.h>
#include <Inventor/SbVec3f.h>

#include <string>

class SoBlinker;
class SoGroup;
class SoShapeKit;

class TBanner
{
public:
    // An empty font name keeps the scene library's default font. The banner is shown steadily,
    // with no text until the first SetText.
    TBanner(SoGroup* pRoot, const SbVec3f& vPosition, const std::string& strFontName, float fFontSize);
    TBanner(const TBanner&) = delete;
    TBanner& operator=(const TBanner&) = delete;

    // 8-bit text, one line.
    void SetText(const std::string& strText);
    // True: visible and blinking. False: hidden. There is no way back to steady display.
    void SetBlink(bool bBlink);
    void SetColor(const SbColor& Color);

private:
    void Build(const SbVec3f& vPosition, const std::string& strFontName, float fFontSize);

    SoGroup* m_pRoot = nullptr;
    SoShapeKit* m_pShape = nullptr;
    SoBlinker* m_pBlinker = nullptr;
};
