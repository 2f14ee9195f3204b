#include "fx/Backgrounds.h"

#include "base/Assert.h"

#include <Inventor/nodekits/SoNodeKit.h>
#include <Inventor/nodekits/SoWrapperKit.h>
#include <Inventor/nodes/SoComplexity.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTexture2.h>
#include <Inventor/nodes/SoTextureCoordinate2.h>

#include <limits>

TBackground::TBackground(SoGroup* pRootParent) : m_pRootParent(pRootParent)
{
}

namespace {
// Below 0.2 the scene library samples textures without filtering and without mipmaps.
constexpr float NEAREST_TEXTURE_QUALITY = 0.1f;
}  // namespace

TBackground2D::TBackground2D(SoGroup* pRootParent, const SbVec3f& vPosition, const SbVec2f& vSize,
                             const TVecPtrTextures* pTextures)
    : TBackground(pRootParent)
{
    DRELK_ASSERT(m_pRootParent);
    m_pRoot = new SoSeparator;
    DRELK_ASSERT(m_pRoot);
    // Headless runs have no viewer to initialise the node kits; a second call costs nothing.
    SoNodeKit::init();
    m_pShape = new SoWrapperKit;
    DRELK_ASSERT(m_pShape);
    SoSeparator* pSep = SO_GET_PART(m_pShape, "contents", SoSeparator);
    DRELK_ASSERT(pSep);

    // Nearest texels: the picture is magnified less than two times, so stars stay crisp, and
    // this quad covers every pixel of every frame, where a software renderer pays most for
    // filtering.
    SoComplexity* pComplexity = SO_GET_PART(m_pShape, "appearance.complexity", SoComplexity);
    DRELK_ASSERT(pComplexity);
    pComplexity->textureQuality.setValue(NEAREST_TEXTURE_QUALITY);

    SoTextureCoordinate2* pTexCoords = new SoTextureCoordinate2;
    DRELK_ASSERT(pTexCoords);
    const SbVec2f TexPoints[4] = {SbVec2f(0, 0), SbVec2f(1, 0), SbVec2f(1, 1), SbVec2f(0, 1)};
    pTexCoords->point.setValues(0, 4, TexPoints);
    pSep->addChild(pTexCoords);

    const float fX = vPosition[0], fY = vPosition[1], fZ = vPosition[2];
    const float fHalfW = vSize[0] / 2, fHalfH = vSize[1] / 2;
    // Counter-clockwise seen from the camera above.
    const SbVec3f Corners[4] = {SbVec3f(fX - fHalfW, fY - fHalfH, fZ), SbVec3f(fX + fHalfW, fY - fHalfH, fZ),
                                SbVec3f(fX + fHalfW, fY + fHalfH, fZ), SbVec3f(fX - fHalfW, fY + fHalfH, fZ)};
    SoCoordinate3* pCoords = new SoCoordinate3;
    DRELK_ASSERT(pCoords);
    pCoords->point.setValues(0, 4, Corners);

    m_pSwitch = new SoSwitch;
    DRELK_ASSERT(m_pSwitch);
    AddTextures(pTextures);
    m_pSwitch->whichChild.setValue(0);

    SoFaceSet* pFaceSet = new SoFaceSet;
    DRELK_ASSERT(pFaceSet);

    pSep->addChild(m_pSwitch);
    pSep->addChild(pCoords);
    pSep->addChild(pFaceSet);
    m_pRoot->addChild(m_pShape);
    m_pRootParent->addChild(m_pRoot);
}

void TBackground2D::AddTextures(const TVecPtrTextures* pTextures)
{
    if (!pTextures)
        return;
    for (SoTexture2* pTex : *pTextures) {
        DRELK_ASSERT(pTex);
        pTex->wrapS.setValue(SoTexture2::CLAMP);
        pTex->wrapT.setValue(SoTexture2::CLAMP);
        m_pSwitch->addChild(pTex);
    }
}
