#pragma once
// The windows with a pad alone: the D-pad moves the keyboard's focus up and down (in a list, from
// row to row, and on past its ends) and changes a value left and right, the south button presses
// what has the focus, Back closes the window, and the west button clears (Delete). Each press
// becomes what the keyboard would do there, sent to the widget that has the focus.

#include "input/Gamepad.h"

class QWidget;

class TPadNavigation
{
public:
    // Acts on the focus inside pWindow (or in a list that pops up from it); false when the button
    // does nothing in the windows.
    static bool Press(QWidget* pWindow, TGamepad::TButton nButton);
};
