#pragma once
// Mesa unloads its GL driver when the display closes, and what the driver still holds then
// shows as a leak "from an unknown module" at exit (112 bytes from swrast_dri.so under Xvfb).
// In the sanitizer build every library stays loaded to the end, so that the leak check sees
// what each holds and still finds the game's own leaks. Elsewhere this does nothing.

class TKeptLibraries
{
public:
    static void KeepLoaded();
};
