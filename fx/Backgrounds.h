#pragma once
// The flat picture behind the play field: one textured quad in a wrapper kit, built once and
// then left alone. Its textures are the asset bank's, shared.

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
    // The textures under a switch, the first one on show, clamped at the quad's edges; the list
    // is only read. An empty list (or none) draws the quad untextured.
    TBackground2D(SoGroup* pRootParent, const SbVec3f& vPosition, const SbVec2f& vSize,
                  const TVecPtrTextures* pTextures);

private:
    void AddTextures(const TVecPtrTextures* pTextures);

    SoSeparator* m_pRoot = nullptr;
    SoWrapperKit* m_pShape = nullptr;
    SoSwitch* m_pSwitch = nullptr;
};
