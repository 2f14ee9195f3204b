#include "input/Gamepad.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {
// Half way: a stick or trigger pushed this far acts as a button held.
constexpr Sint16 AXIS_PRESSED = 16384;

// The buttons that are one of the pad's buttons each, as SDL names them.
const std::pair<SDL_GameControllerButton, TGamepad::TButton> PLAIN_BUTTONS[] = {
    {SDL_CONTROLLER_BUTTON_A, TGamepad::PAD_FIRE},
    {SDL_CONTROLLER_BUTTON_START, TGamepad::PAD_START},
    {SDL_CONTROLLER_BUTTON_BACK, TGamepad::PAD_BACK},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, TGamepad::PAD_DOWN},
    {SDL_CONTROLLER_BUTTON_B, TGamepad::PAD_EAST},
    {SDL_CONTROLLER_BUTTON_X, TGamepad::PAD_WEST},
    {SDL_CONTROLLER_BUTTON_Y, TGamepad::PAD_NORTH},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, TGamepad::PAD_LEFT_SHOULDER},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, TGamepad::PAD_RIGHT_SHOULDER},
};

const SDL_GameControllerButton OTHER_BUTTONS[] = {
    SDL_CONTROLLER_BUTTON_GUIDE,   SDL_CONTROLLER_BUTTON_LEFTSTICK, SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_MISC1,   SDL_CONTROLLER_BUTTON_PADDLE1,   SDL_CONTROLLER_BUTTON_PADDLE2,
    SDL_CONTROLLER_BUTTON_PADDLE3, SDL_CONTROLLER_BUTTON_PADDLE4,   SDL_CONTROLLER_BUTTON_TOUCHPAD,
};

// The printed names, a column a type: Xbox (and any other make), PlayStation, Nintendo. SDL
// names a Nintendo pad's buttons by their labels, so its A is the button printed A.
const char* const LABELS[TGamepad::PAD_OTHER][3] = {
    {"Left", "Left", "Left"},
    {"Right", "Right", "Right"},
    {"Up", "Up", "Up"},
    {"A", "Cross", "A"},
    {"Start", "Options", "+"},
    {"Back", "Share", "-"},
    {"Down", "Down", "Down"},
    {"B", "Circle", "B"},
    {"X", "Square", "X"},
    {"Y", "Triangle", "Y"},
    {"LB", "L1", "L"},
    {"RB", "R1", "R"},
};
}  // namespace

const char* TGamepad::Label(TButton nButton, TType nType)
{
    if (nButton < 0 || nButton >= PAD_OTHER)
        return "other";
    const int nColumn = nType == TYPE_PLAYSTATION ? 1 : nType == TYPE_NINTENDO ? 2 : 0;
    return LABELS[nButton][nColumn];
}

TGamepad::TType TGamepad::GetType() const
{
    if (m_vecControllers.empty())
        return TYPE_NONE;
    switch (SDL_GameControllerGetType(m_vecControllers.front().pController)) {
    case SDL_CONTROLLER_TYPE_XBOX360:
    case SDL_CONTROLLER_TYPE_XBOXONE: return TYPE_XBOX;
    case SDL_CONTROLLER_TYPE_PS3:
    case SDL_CONTROLLER_TYPE_PS4:
    case SDL_CONTROLLER_TYPE_PS5: return TYPE_PLAYSTATION;
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_PRO:
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_LEFT:
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_RIGHT:
    case SDL_CONTROLLER_TYPE_NINTENDO_SWITCH_JOYCON_PAIR: return TYPE_NINTENDO;
    default: return TYPE_OTHER;
    }
}

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
        for (const auto& Plain : PLAIN_BUTTONS)
            pDown[Plain.second] |= SDL_GameControllerGetButton(p, Plain.first) != 0;
        for (SDL_GameControllerButton nButton : OTHER_BUTTONS)
            pDown[PAD_OTHER] |= SDL_GameControllerGetButton(p, nButton) != 0;
    }
}

bool TGamepad::Poll(uint64_t nNowMs, std::vector<TButton>& vecPresses, std::vector<bool>* pRepeats)
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
            if (pRepeats)
                pRepeats->push_back(false);
        } else if (m_Repeat.bOn && nNowMs >= Held.nNextMs) {
            // A late poll repeats once: the game takes one press a tick in any case.
            const uint64_t nInterval = static_cast<uint64_t>(std::max(1, m_Repeat.nIntervalMs));
            Held.nNextMs += ((nNowMs - Held.nNextMs) / nInterval + 1) * nInterval;
            vecPresses.push_back(static_cast<TButton>(i));
            if (pRepeats)
                pRepeats->push_back(true);
        }
    }
    return bChanged;
}
