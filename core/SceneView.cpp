#include "core/SceneView.h"

#include "base/Assert.h"

#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>

namespace {
// Everything the game shows lies between the banners at z = 10 and the background at z = -20.
constexpr float NEAR_DISTANCE = 1.0f;
constexpr float FAR_DISTANCE = 200.0f;
}  // namespace

void TSceneView::PlaceCamera(SoCamera* pCamera)
{
    DRELK_ASSERT(pCamera);
    pCamera->position.setValue(CAMERA_X, CAMERA_Y, CAMERA_Z);
    pCamera->nearDistance.setValue(NEAR_DISTANCE);
    pCamera->farDistance.setValue(FAR_DISTANCE);
}

SoSeparator* TSceneView::MakeViewerScene(SoNode* pScene)
{
    DRELK_ASSERT(pScene);
    SoSeparator* pRoot = new SoSeparator;
    SoShapeHints* pHints = new SoShapeHints;
    pHints->vertexOrdering.setValue(SoShapeHints::COUNTERCLOCKWISE);
    pHints->shapeType.setValue(SoShapeHints::SOLID);
    pRoot->addChild(pHints);
    pRoot->addChild(pScene);
    return pRoot;
}

SoSeparator* TSceneView::MakeViewedScene(SoNode* pScene, float fAspectRatio)
{
    DRELK_ASSERT(pScene);
    SoSeparator* pRoot = new SoSeparator;
    SoPerspectiveCamera* pCamera = new SoPerspectiveCamera;
    PlaceCamera(pCamera);
    pCamera->heightAngle.setValue(HEIGHT_ANGLE);
    pCamera->aspectRatio.setValue(fAspectRatio);
    pRoot->addChild(pCamera);
    // The viewer's headlight: white, along the view.
    SoDirectionalLight* pHeadlight = new SoDirectionalLight;
    pHeadlight->direction.setValue(0.0f, 0.0f, -1.0f);
    pRoot->addChild(pHeadlight);
    pRoot->addChild(MakeViewerScene(pScene));
    return pRoot;
}
