#pragma once
// The look of the windows the start-up window opens (best scores, controls, options): the
// start-up window's own, white bold Verdana on black, grey bevelled frames, the list's dark
// blue for what is chosen, and a gold mark on whatever has the keyboard, so that a player
// without a mouse always sees where they are. Each is borderless, stays on top, and opens
// centred over the window that opens it.

#include <Qt>

class QWidget;

class TGameStyle
{
public:
    static constexpr Qt::WindowFlags WINDOW_FLAGS = Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

    // Applies the look, the game's title and the window's role to a window built from its
    // layout; pOver is the window it opens over.
    static void Apply(QWidget* pWindow, QWidget* pOver, const char* szRole);
    // The colour of a line that says something went wrong, and of a choice being made.
    static const char* const WARNING_COLOUR;
    static const char* const CAPTURE_COLOUR;
    // Marks a list as waiting for a key (its chosen cell in the choice's colour), or not.
    static void SetWaiting(QWidget* pList, bool bWaiting);
};
