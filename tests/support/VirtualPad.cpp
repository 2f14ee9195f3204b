#include "tests/support/VirtualPad.h"

TVirtualPad::TVirtualPad()
{
    SDL_VirtualJoystickDesc Desc;
    SDL_zero(Desc);
    Desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    Desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    Desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    Desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    Desc.name = "test pad";
    const int nDevice = SDL_JoystickAttachVirtualEx(&Desc);
    m_pJoystick = nDevice >= 0 ? SDL_JoystickOpen(nDevice) : nullptr;
}

TVirtualPad::~TVirtualPad()
{
    Detach();
}

void TVirtualPad::Detach()
{
    if (!m_pJoystick)
        return;
    const SDL_JoystickID nInstance = SDL_JoystickInstanceID(m_pJoystick);
    SDL_JoystickClose(m_pJoystick);
    m_pJoystick = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickGetDeviceInstanceID(i) == nInstance)
            SDL_JoystickDetachVirtual(i);
}

void TVirtualPad::Button(SDL_GameControllerButton nButton, bool bDown)
{
    SDL_JoystickSetVirtualButton(m_pJoystick, nButton, bDown ? 1 : 0);
}

void TVirtualPad::Axis(SDL_GameControllerAxis nAxis, Sint16 nValue)
{
    SDL_JoystickSetVirtualAxis(m_pJoystick, nAxis, nValue);
}
