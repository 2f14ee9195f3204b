#pragma once
// What a scene holds and shows, asked the way the scene library's own actions ask it, so that
// tests check what is drawn rather than where a node sits among its siblings. Node kits keep
// their parts to themselves: search a kit's part, not through the kit.

#include <Inventor/SbBox3f.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoNode.h>

#include <vector>

namespace scene {

inline SoPathList Search(SoNode* pRoot, SoType Type, bool bDrawnOnly, int nInterest)
{
    SoSearchAction Action;
    Action.setType(Type);
    Action.setInterest(static_cast<SoSearchAction::Interest>(nInterest));
    Action.setSearchingAll(!bDrawnOnly);
    Action.apply(pRoot);
    SoPathList Paths;
    if (nInterest == SoSearchAction::ALL)
        Paths = Action.getPaths();
    else if (Action.getPath())
        Paths.append(Action.getPath());
    return Paths;
}

// Every node of type T below pRoot (pRoot included), in traversal order, drawn or not.
template <class T>
std::vector<T*> FindAll(SoNode* pRoot)
{
    const SoPathList Paths = Search(pRoot, T::getClassTypeId(), false, SoSearchAction::ALL);
    std::vector<T*> vecFound;
    for (int i = 0; i < Paths.getLength(); ++i)
        vecFound.push_back(static_cast<T*>(Paths[i]->getTail()));
    return vecFound;
}

// The first node of type T below pRoot, drawn or not; null when there is none.
template <class T>
T* Find(SoNode* pRoot)
{
    const SoPathList Paths = Search(pRoot, T::getClassTypeId(), false, SoSearchAction::FIRST);
    return Paths.getLength() ? static_cast<T*>(Paths[0]->getTail()) : nullptr;
}

// The first node of type T that drawing pRoot would reach, each switch followed to the child
// it shows; null when none is drawn.
template <class T>
T* Drawn(SoNode* pRoot)
{
    const SoPathList Paths = Search(pRoot, T::getClassTypeId(), true, SoSearchAction::FIRST);
    return Paths.getLength() ? static_cast<T*>(Paths[0]->getTail()) : nullptr;
}

// True when drawing pRoot reaches pNode: every switch on the way shows it.
inline bool IsDrawn(SoNode* pRoot, SoNode* pNode)
{
    SoSearchAction Action;
    Action.setNode(pNode);
    Action.setSearchingAll(FALSE);
    Action.apply(pRoot);
    return Action.getPath() != nullptr;
}

// The box of what pRoot draws, in the world; empty when nothing is shown.
inline SbBox3f WorldBox(SoNode* pRoot)
{
    SoGetBoundingBoxAction Action{SbViewportRegion(800, 600)};
    Action.apply(pRoot);
    return Action.getBoundingBox();
}

}  // namespace scene
