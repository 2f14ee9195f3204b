#include "tests/support/ReplayMaker.h"

TReplay PlayRecorded(TGameDriver& Driver, uint32_t nSeed, uint32_t nTicks, int nLevel)
{
    Driver.Start(nLevel, TGameDriver::SHOW_NOTHING);
    // Its own generator: the game's is the rules'.
    uint32_t nState = nSeed * 2654435761u + 12345u;
    auto Draw = [&nState] {
        nState = nState * 1664525u + 1013904223u;
        return nState >> 24;
    };
    // The seed is in the first command's tick: two seeds never play the same game.
    const uint32_t nFirst = 1 + nSeed % 50;
    for (uint32_t nTick = 1; nTick <= nTicks; ++nTick) {
        if (nTick >= nFirst) {
            const uint32_t n = Draw();
            if (nTick == nFirst || n < 40)
                Driver.Command(CMD_FIRE);
            if (n % 7 == 0)
                Driver.Command(n & 8 ? CMD_TURN_LEFT : CMD_TURN_RIGHT);
            if (n % 11 == 0)
                Driver.Command(CMD_THRUST);
        }
        Driver.Step();
    }
    Driver.Leave();
    return Driver.GetRecord();
}
