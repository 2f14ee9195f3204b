#include "fx/Banners.h"

#include "base/Assert.h"

#include <Inventor/nodekits/SoNodeKit.h>
#include <Inventor/nodekits/SoAppearanceKit.h>
#include <Inventor/nodekits/SoShapeKit.h>
#include <Inventor/nodes/SoBlinker.h>
#include <Inventor/nodes/SoFont.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoText3.h>
#include <Inventor/nodes/SoTransform.h>

TBanner::TBanner(SoGroup* pRoot, const SbVec3f& vPosition, const std::string& strFontName, float fFontSize)
    : m_pRoot(pRoot)
{
    DRELK_ASSERT(m_pRoot);
    Build(vPosition, strFontName, fFontSize);
}

void TBanner::Build(const SbVec3f& vPosition, const std::string& strFontName, float fFontSize)
{
    DRELK_ASSERT(m_pRoot);
    // Headless runs have no viewer to initialise the node kits; a second call costs nothing.
    SoNodeKit::init();
    m_pShape = new SoShapeKit;
    DRELK_ASSERT(m_pShape);

    SoTransform* pXf = SO_GET_PART(m_pShape, "transform", SoTransform);
    DRELK_ASSERT(pXf);
    pXf->translation.setValue(vPosition);

    SoText3* pText = new SoText3;
    DRELK_ASSERT(pText);

    SoAppearanceKit* pApp = SO_GET_PART(m_pShape, "appearance", SoAppearanceKit);
    DRELK_ASSERT(pApp);
    SoFont* pFont = SO_GET_PART(pApp, "font", SoFont);
    DRELK_ASSERT(pFont);
    pFont->size.setValue(fFontSize);
    if (!strFontName.empty())
        pFont->name.setValue(strFontName.c_str());

    m_pShape->setPart("shape", pText);

    m_pBlinker = new SoBlinker;
    DRELK_ASSERT(m_pBlinker);
    m_pBlinker->addChild(m_pShape);
    m_pBlinker->on.setValue(false);
    m_pBlinker->whichChild.setValue(SO_SWITCH_ALL);

    m_pRoot->addChild(m_pBlinker);
}

void TBanner::SetText(const std::string& strText)
{
    DRELK_ASSERT(m_pShape);
    // Only fetched, never created: a kit that has lost its text is a bug.
    SoNode* pShapePart = m_pShape->getPart("shape", false);
    SoText3* pText = (pShapePart && pShapePart->isOfType(SoText3::getClassTypeId()))
                         ? static_cast<SoText3*>(pShapePart)
                         : nullptr;
    DRELK_ASSERT(pText);
    pText->string.setValue(strText.c_str());
}

void TBanner::SetBlink(bool bBlink)
{
    DRELK_ASSERT(m_pBlinker);
    m_pBlinker->on.setValue(bBlink);
    m_pBlinker->whichChild.setValue(bBlink ? SO_SWITCH_ALL : SO_SWITCH_NONE);
}

void TBanner::SetColor(const SbColor& Color)
{
    DRELK_ASSERT(m_pShape);
    SoAppearanceKit* pApp = SO_GET_PART(m_pShape, "appearance", SoAppearanceKit);
    DRELK_ASSERT(pApp);
    SoMaterial* pMat = SO_GET_PART(pApp, "material", SoMaterial);
    DRELK_ASSERT(pMat);
    pMat->diffuseColor.setValue(Color);
}
