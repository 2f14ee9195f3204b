#pragma once
// Where the asset bank meets the sound manager: the one way a sound of the data file becomes a
// source. The ship, the rocks, the game music and the windows' music all load through here, so a
// sound that cannot be used is reported the same way everywhere, and every source plays the
// bank's own bytes of its sound.

#include <cstdint>

class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;

class TSoundLoader
{
public:
    // A new 2D source (the caller owns it, never null) holding item nItem of list nPlaylist,
    // paused at its start, looping with bLoop; it must go before the bank. An item that is
    // there but does not decode is named on standard error, once per item in a run, and the
    // source stays silent: the game plays on without that sound. An item that is not there is
    // left out quietly: music is optional, and the bank refuses a file that lacks a sound the
    // game needs. Without an audio device every source is silent and nothing is said. The
    // music list's pieces play in the music group, every other sound in the effects'.
    static TFModSoundSource* CreateSource(TFModSoundManager* pSM, const TDataBanker* pDB, int32_t nPlaylist,
                                          int32_t nItem, bool bLoop);
};
