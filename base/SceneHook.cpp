#include "base/SceneHook.h"

#include "base/Assert.h"

#include <Inventor/nodes/SoGroup.h>

void TSceneHook::Hold(SoNode* pNode)
{
    DRELK_ASSERT(pNode);
    DRELK_ASSERT(!m_pNode);
    m_pNode = pNode;
    m_pNode->ref();
}

void TSceneHook::AttachTo(SoGroup* pParent)
{
    DRELK_ASSERT(pParent);
    DRELK_ASSERT(m_pNode);
    DRELK_ASSERT(!m_pParent);
    m_pParent = pParent;
    m_pParent->ref();
    m_pParent->addChild(m_pNode);
}

void TSceneHook::Release()
{
    if (m_pParent) {
        const int nIndex = m_pParent->findChild(m_pNode);
        if (nIndex >= 0)
            m_pParent->removeChild(nIndex);
        // The parent belongs to whoever made it: not ours to delete.
        m_pParent->unrefNoDelete();
        m_pParent = nullptr;
    }
    if (m_pNode)
        m_pNode->unref();
    m_pNode = nullptr;
}
