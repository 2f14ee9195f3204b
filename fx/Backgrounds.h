#pragma once
// The flat picture behind the play field: one textured quad in a wrapper kit, built once and
// then left alone.

#include "databank/DataBanker.h"

#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>

class SoGroup;
class SoSeparator;
class SoSwitch;
class SoTexture2;
class SoWrapperKit;

class TBackground
{
public:
    explicit TBackground(SoGroup* pRootParent);
    TBackground(const TBackground&) = delete;
    TBackground& operator=(const TBackground&) = delete;

protected:
    SoGroup* m_pRootParent = nullptr;
};

class TBackground2D : public TBackground
{
public:
    // One texture per record, first one on show. The pixels are copied: the caller may free the
    // list as soon as the constructor returns. A record whose pixels do not fill its stated size
    // gets a texture node without an image, so the other records keep their places.
    TBackground2D(SoGroup* pRootParent, const SbVec3f& vPosition, const SbVec2f& vSize,
                  const TVecTextures* pTextures);

    // True when the record's pixels cover width x height x components (sides up to 32767).
    static bool IsUsableRecord(const TagTexture& Tex);

private:
    void AddTextures(const TVecTextures* pTextures);

    SoSeparator* m_pRoot = nullptr;
    SoWrapperKit* m_pShape = nullptr;
    SoSwitch* m_pSwitch = nullptr;
};
