#include "input/Gamepad.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>

namespace {
// Half way: a stick or trigger pushed this far acts as a button held.
constexpr Sint16 AXIS_PRESSED = 16384;

const SDL_GameControllerButton OTHER_BUTTONS[] = {
    SDL_CONTROLLER_BUTTON_B,         SDL_CONTROLLER_BUTTON_X,          SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_GUIDE,     SDL_CONTROLLER_BUTTON_LEFTSTICK,  SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, SDL_CONTROLLER_BUTTON_DPAD_DOWN,
    SDL_CONTROLLER_BUTTON_MISC1,     SDL_CONTROLLER_BUTTON_PADDLE1,    SDL_CONTROLLER_BUTTON_PADDLE2,
    SDL_CONTROLLER_BUTTON_PADDLE3,   SDL_CONTROLLER_BUTTON_PADDLE4,    SDL_CONTROLLER_BUTTON_TOUCHPAD,
};
}  // namespace

TGamepad::TGamepad()
{
    // Signals are the program's own business, not SDL's quit events.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        std::fprintf(stderr, "drelk2: no gamepads: %s\n", SDL_GetError());
        return;
    }
    // The state is read at each poll; queued events would only pile up unread.
    SDL_GameControllerEventState(SDL_IGNORE);
    SDL_JoystickEventState(SDL_IGNORE);
    m_bAvailable = true;
}

TGamepad::~TGamepad()
{
    if (!m_bAvailable)
        return;
    for (const TController& Controller : m_vecControllers)
        SDL_GameControllerClose(Controller.pController);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

// True when a controller came or went.
bool TGamepad::UpdateControllers()
{
    // Updates the states and looks for devices that came or went.
    SDL_GameControllerUpdate();
    bool bChanged = false;
    for (auto it = m_vecControllers.begin(); it != m_vecControllers.end();) {
        if (SDL_GameControllerGetAttached(it->pController)) {
            ++it;
            continue;
        }
        SDL_GameControllerClose(it->pController);
        it = m_vecControllers.erase(it);
        bChanged = true;
    }
    const int nDevices = SDL_NumJoysticks();
    for (int i = 0; i < nDevices; ++i) {
        const SDL_JoystickID nInstance = SDL_JoystickGetDeviceInstanceID(i);
        const bool bOpen = std::any_of(m_vecControllers.begin(), m_vecControllers.end(),
                                       [nInstance](const TController& c) { return c.nInstance == nInstance; });
        if (bOpen || !SDL_IsGameController(i))
            continue;
        if (SDL_GameController* pController = SDL_GameControllerOpen(i)) {
            m_vecControllers.push_back({pController, nInstance});
            bChanged = true;
        }
    }
    return bChanged;
}

// What every controller holds, together.
void TGamepad::ReadButtons(bool* pDown) const
{
    std::fill(pDown, pDown + PAD_COUNT, false);
    for (const TController& Controller : m_vecControllers) {
        SDL_GameController* p = Controller.pController;
        const Sint16 nStick = SDL_GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_LEFTX);
        pDown[PAD_LEFT] |= SDL_GameControllerGetButton(p, SDL_CONTROLLER_BUTTON_DPAD_LEFT) || nStick <= -AXIS_PRESSED;
        pDown[PAD_RIGHT] |= SDL_GameControllerGetButton(p, SDL_CONTROLLER_BUTTON_DPAD_RIGHT) || nStick >= AXIS_PRESSED;
        pDown[PAD_THRUST] |= SDL_GameControllerGetButton(p, SDL_CONTROLLER_BUTTON_DPAD_UP) ||
                             SDL_GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_TRIGGERRIGHT) >= AXIS_PRESSED;
        pDown[PAD_FIRE] |= SDL_GameControllerGetButton(p, SDL_CONTROLLER_BUTTON_A) != 0;
        pDown[PAD_START] |= SDL_GameControllerGetButton(p, SDL_CONTROLLER_BUTTON_START) != 0;
        pDown[PAD_BACK] |= SDL_GameControllerGetButton(p, SDL_CONTROLLER_BUTTON_BACK) != 0;
        for (SDL_GameControllerButton nButton : OTHER_BUTTONS)
            pDown[PAD_OTHER] |= SDL_GameControllerGetButton(p, nButton) != 0;
    }
}

bool TGamepad::Poll(uint64_t nNowMs, std::vector<TButton>& vecPresses)
{
    if (!m_bAvailable)
        return false;
    const bool bChanged = UpdateControllers();
    bool bDown[PAD_COUNT];
    ReadButtons(bDown);
    for (int i = 0; i < PAD_COUNT; ++i) {
        THeld& Held = m_Held[i];
        if (!bDown[i]) {
            Held.bDown = false;
            continue;
        }
        if (!Held.bDown) {
            Held.bDown = true;
            Held.nNextMs = nNowMs + static_cast<uint64_t>(m_Repeat.nDelayMs);
            vecPresses.push_back(static_cast<TButton>(i));
        } else if (m_Repeat.bOn && nNowMs >= Held.nNextMs) {
            // A late poll repeats once: the game takes one press a tick in any case.
            const uint64_t nInterval = static_cast<uint64_t>(std::max(1, m_Repeat.nIntervalMs));
            Held.nNextMs += ((nNowMs - Held.nNextMs) / nInterval + 1) * nInterval;
            vecPresses.push_back(static_cast<TButton>(i));
        }
    }
    return bChanged;
}
