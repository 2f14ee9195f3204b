#pragma once
// The nodes every game object and effect hangs its drawing under, made here and only here: its
// own separator, its show/hide switch and its transform, in one of two orders.
//   SWITCH_INSIDE:  own separator -> switch -> inner separator -> (transform, drawing...)
//                   missiles, rocks, explosions: a hidden one has an empty box.
//   SWITCH_OUTSIDE: switch -> own separator -> (transform, drawing...)
//                   the ship and its flame: the box below the switch is there whether shown or not.
// The objects keep their state in plain members and write it here once a tick (Write): the
// fields change quietly and the object's top node alone tells the scene, so the separators of
// the frame keep no caches that the change would have to reach.

#include <Inventor/SbRotation.h>
#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>

class SbBox3f;
class SoCoordinate3;
class SoGroup;
class SoNode;
class SoSeparator;
class SoSwitch;
class SoTransform;

class TSceneHook;

class TObjectFrame
{
public:
    enum TOrder { SWITCH_INSIDE, SWITCH_OUTSIDE };

    // The frame's nodes, made into the object's own members: the own separator, the switch at
    // nWhichChild and the transform at vTranslation; the hook holds the top node, not yet hung
    // anywhere. Returns the group the drawing goes in, after the transform.
    static SoGroup* Make(TOrder nOrder, int nWhichChild, const SbVec3f& vTranslation, SoSeparator*& pThisRoot,
                         SoSwitch*& pSwitch, SoTransform*& pXf, TSceneHook& Hook);

    // Writes what differs from the nodes, with one notice up the scene from the top node; true
    // when anything differed.
    static bool Write(SoNode* pTop, SoTransform* pXf, SoSwitch* pSwitch, const SbVec3f& vTranslation,
                      const SbRotation& Rotation, bool bShown);

    // A w x h quad centred on the origin in the plane z = 0, counter-clockwise seen from +z. It
    // has no texture coordinates: the default mapping stretches a texture over it.
    static SoCoordinate3* NewQuad(const SbVec2f& vSize);
    // The quad's box, as a bounding-box traversal finds it.
    static SbBox3f QuadBox(const SbVec2f& vSize);
};
