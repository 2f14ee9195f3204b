#pragma once
// A gamepad for the tests: one of SDL's virtual joysticks, with every button and axis of SDL's
// standard controller layout, seen by the game controller API as a real controller. The
// controller subsystem must be started before one is made.

#include <SDL.h>

class TVirtualPad
{
public:
    TVirtualPad();
    ~TVirtualPad();
    TVirtualPad(const TVirtualPad&) = delete;
    TVirtualPad& operator=(const TVirtualPad&) = delete;

    bool IsAttached() const { return m_pJoystick != nullptr; }
    // Unplugs it.
    void Detach();
    void Button(SDL_GameControllerButton nButton, bool bDown);
    void Axis(SDL_GameControllerAxis nAxis, Sint16 nValue);

private:
    SDL_Joystick* m_pJoystick = nullptr;
};
