#pragma once
// The player's gamepads, through SDL's game controller API: any number of controllers, which
// may come and go while the game runs. Their buttons, sticks and triggers become the game's few
// commands, and a held one repeats as a held key does, at the desktop's delay and rate.
//
//   left stick or D-pad left/right   turn          D-pad up or right trigger   thrust
//   south button (A)                 fire          Start                       pause
//   Back                             leave         any other button            other
//
// Nothing here waits or spends time between polls: the owner polls, often while a controller is
// there and seldom otherwise, only to notice one arriving.

#include <cstdint>
#include <vector>

struct _SDL_GameController;

class TGamepad
{
public:
    enum TButton { PAD_LEFT, PAD_RIGHT, PAD_THRUST, PAD_FIRE, PAD_START, PAD_BACK, PAD_OTHER, PAD_COUNT };
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

    // Takes in controllers that came, lets go of those gone, and appends the presses since the
    // last poll at nNowMs: a button gone down, or held past the delay and then each interval.
    // True when a controller came or went.
    bool Poll(uint64_t nNowMs, std::vector<TButton>& vecPresses);

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
