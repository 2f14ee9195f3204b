#pragma once
// The player's gamepads, through SDL's game controller API: any number of controllers, which
// may come and go while the game runs. Their buttons, sticks and triggers become the game's few
// commands, and a held one repeats as a held key does, at the desktop's delay and rate.
//
//   left stick or D-pad left/right   turn          D-pad up or right trigger   thrust
//   south button (A)                 fire          Start                       pause
//   Back                             leave
//
// and, for the player to bind or to move through the windows: D-pad or left stick down, the
// east, west and north buttons (B, X, Y on Xbox pads), the shoulder buttons; any other button
// is "other". A button's name on screen follows the pad's type (cross on PlayStation pads).
//
// Nothing here waits or spends time between polls: the owner polls, often while a controller is
// there and seldom otherwise, only to notice one arriving.

#include <cstdint>
#include <vector>

struct _SDL_GameController;

class TGamepad
{
public:
    enum TButton {
        PAD_LEFT,
        PAD_RIGHT,
        PAD_THRUST,  // up
        PAD_FIRE,    // the south button
        PAD_START,
        PAD_BACK,
        PAD_DOWN,
        PAD_EAST,
        PAD_WEST,
        PAD_NORTH,
        PAD_LEFT_SHOULDER,
        PAD_RIGHT_SHOULDER,
        PAD_OTHER,
        PAD_COUNT
    };
    // Who made the pad, as far as its buttons' names go.
    enum TType { TYPE_NONE, TYPE_XBOX, TYPE_PLAYSTATION, TYPE_NINTENDO, TYPE_OTHER };
    // How a held button repeats: after nDelayMs, then every nIntervalMs; or not at all.
    struct TRepeat
    {
        int nDelayMs = 660;
        int nIntervalMs = 40;
        bool bOn = true;
    };
    // How often to poll: with a controller, about as often as the game ticks; without one, a
    // newly plugged controller is noticed within half a second.
    static constexpr int POLL_MS_ACTIVE = 10;
    static constexpr int POLL_MS_IDLE = 500;

    // Starts SDL's game controller subsystem; without it (an SDL error, said on standard
    // error) the pad never presses.
    TGamepad();
    ~TGamepad();
    TGamepad(const TGamepad&) = delete;
    TGamepad& operator=(const TGamepad&) = delete;

    bool IsAvailable() const { return m_bAvailable; }
    void SetRepeat(const TRepeat& Repeat) { m_Repeat = Repeat; }
    int CountControllers() const { return static_cast<int>(m_vecControllers.size()); }
    int GetPollInterval() const { return m_vecControllers.empty() ? POLL_MS_IDLE : POLL_MS_ACTIVE; }
    // The type of the first controller plugged in; TYPE_NONE without one.
    TType GetType() const;
    // A button's name as printed on a pad of that type ("A", "Cross", "Options"); without a pad
    // or of an unknown make, the names of the Xbox layout.
    static const char* Label(TButton nButton, TType nType);

    // Takes in controllers that came, lets go of those gone, and appends the presses since the
    // last poll at nNowMs: a button gone down, or held past the delay and then each interval.
    // pRepeats, when given, gets for each press whether it is a repeat of a held button. True
    // when a controller came or went.
    bool Poll(uint64_t nNowMs, std::vector<TButton>& vecPresses, std::vector<bool>* pRepeats = nullptr);

private:
    struct TController
    {
        _SDL_GameController* pController;
        int32_t nInstance;
    };
    struct THeld
    {
        bool bDown = false;
        uint64_t nNextMs = 0;  // the next repeat
    };

    bool UpdateControllers();
    void ReadButtons(bool* pDown) const;

    bool m_bAvailable = false;
    TRepeat m_Repeat;
    std::vector<TController> m_vecControllers;
    THeld m_Held[PAD_COUNT];
};
