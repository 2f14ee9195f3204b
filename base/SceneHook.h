#pragma once
// A game object's subtree hung under a parent group for the object's life. The hook holds a
// reference on the subtree from the moment it is made and on the parent while it hangs there,
// and takes the subtree down again when it goes, whatever became of the parent meanwhile, so
// that objects that come and go leave nothing behind in the scene.

#include <vector>

class SoGroup;
class SoNode;

class TSceneHook
{
public:
    TSceneHook() = default;
    ~TSceneHook() { Release(); }
    TSceneHook(const TSceneHook&) = delete;
    TSceneHook& operator=(const TSceneHook&) = delete;

    // Keeps a new subtree alive while it is built.
    void Hold(SoNode* pNode);
    // Hangs the subtree under the parent: built whole first, so the ancestors hear of it once.
    void AttachTo(SoGroup* pParent);
    // Takes the subtree out of its parent and drops both references.
    void Release();

    // Takes the given children out of the parent together, the others staying in order: one
    // pass and one notice up the scene, where releasing each hook would search and shift the
    // list once per child. The hooks of the subtrees taken out then find nothing to remove.
    static void RemoveChildren(SoGroup* pParent, const std::vector<SoNode*>& vecNodes);

private:
    SoNode* m_pNode = nullptr;
    SoGroup* m_pParent = nullptr;
};
