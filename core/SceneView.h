#pragma once
// How the game's scene is looked at: a perspective camera at (0, 0, 50) looking down the
// negative z axis at the play plane, a headlight along the view, delayed-blend transparency, and
// faces drawn from their front only: every shape of the game is a closed solid or a quad facing
// the camera, wound counter-clockwise, so the rocks' far sides cost a software renderer nothing.
// The window's viewer and the off-screen pictures both take their setup from here, so a
// picture of the game is what the player sees.

#include <Inventor/actions/SoGLRenderAction.h>

class SoCamera;
class SoNode;
class SoSeparator;

class TSceneView
{
public:
    static constexpr float CAMERA_X = 0.0f;
    static constexpr float CAMERA_Y = 0.0f;
    static constexpr float CAMERA_Z = 50.0f;
    // The viewer's own perspective camera: 45 degrees high.
    static constexpr float HEIGHT_ANGLE = 0.785398163f;
    static constexpr SoGLRenderAction::TransparencyType TRANSPARENCY = SoGLRenderAction::DELAYED_BLEND;

    // Puts a viewer's camera at (0, 0, 50) with fixed clipping planes around the play field; its
    // orientation stays the default, looking down -z.
    static void PlaceCamera(SoCamera* pCamera);
    // The scene as a viewer is given it, with the way its faces are drawn. The caller references
    // the result.
    static SoSeparator* MakeViewerScene(SoNode* pScene);
    // The same under a camera and headlight of its own, as the viewer shows it in a viewport of
    // the given width / height. The caller references the result.
    static SoSeparator* MakeViewedScene(SoNode* pScene, float fAspectRatio);
};
