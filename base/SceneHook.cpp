#include "base/SceneHook.h"

#include "base/Assert.h"

#include <Inventor/nodes/SoGroup.h>

#include <unordered_set>

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

void TSceneHook::RemoveChildren(SoGroup* pParent, const std::vector<SoNode*>& vecNodes)
{
    DRELK_ASSERT(pParent);
    if (vecNodes.empty())
        return;
    const std::unordered_set<SoNode*> setGone(vecNodes.begin(), vecNodes.end());
    std::vector<SoNode*> vecKept;
    for (int i = 0; i < pParent->getNumChildren(); ++i) {
        SoNode* pChild = pParent->getChild(i);
        if (setGone.count(pChild) != 0)
            continue;
        pChild->ref();  // the parent lets go of it for a moment
        vecKept.push_back(pChild);
    }
    pParent->removeAllChildren();
    for (SoNode* pChild : vecKept) {
        pParent->addChild(pChild);
        pChild->unref();
    }
}
