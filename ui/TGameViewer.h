#pragma once
// The game's examiner viewer: SoQt's own, built as the game window wants it, with two mends.
//
// On a scaled screen (a device pixel ratio above 1) the binding gives its GL widget the size of
// the view in device pixels, but as if they were the desktop's: the widget comes out twice too
// large and the picture, drawn at its bottom left, lands outside the panel. The widget is put
// back to the view's size, and the viewport set to the device's pixels, so the field is drawn
// over the whole view at full resolution.
//
// With its own redraws off, the viewer draws an exposed or resized area again only when asked
// to: it asks its owner for a frame instead, whatever the game's state. Mesa's software renderer
// learns a window's new size only at the frame after a frame shown, so an exposed or resized
// view is drawn twice.

#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>

#include <functional>

class TGameViewer : public SoQtExaminerViewer
{
public:
    // pRequestFrame is called whenever the view needs drawing again.
    TGameViewer(QWidget* pParent, std::function<void()> pRequestFrame);
    // A frame is still owed to an exposed or resized view: ask for the next when one is done.
    bool OwesFrame() const { return m_nFramesOwed > 0; }
    // The scene drawn once into the back buffer and never shown: what it holds is made ready in
    // the renderer (textures loaded, its programs built) before a frame must show it.
    // bShow: swapped onto the screen after all, when the view is on screen (the scene as it
    // is; the renderer then learns the window's size).
    void DrawUnseen(bool bShow = false);
    // The view's window is on screen: a frame swapped shows.
    bool IsExposed() const;

protected:
    void sizeChanged(const SbVec2s& Size) override;
    SbBool glScheduleRedraw() override;
    void redraw() override;

private:
    void Owe();

    std::function<void()> m_pRequestFrame;
    int m_nFramesOwed = 0;
};
