#pragma once
// How a game looks and sounds: the scene the viewer renders (the background, the ship, the
// rocks, the missiles, the explosions, the banners) and the game's music and sounds, made from
// the rules' plain state and the events they note. Nothing here is read by the rules: the scene
// follows the game, after each step of the driver (the sounds, the explosions, new and purged
// rocks, the banners, the music) and at each frame (where everything lies between two ticks).
// Its effects' timers and generator are its own, so how it looks never changes the game.

#include "fx/Debris.h"
#include "fx/FxTimers.h"

#include <cstdint>
#include <memory>
#include <vector>

class SoSeparator;
class TAsteroid;
class TAsteroidShape;
class TBackground2D;
class TBanner;
class TDataBanker;
class TFModSoundManager;
class TFModSoundSource;
class TGame;
class TMissileShape;
class TShipShape;

class TGameScene
{
public:
    // The game's music, the scene roots, the background, the ship, the first level's rocks, the
    // explosions' debris (as many pieces as nDetail asks) and the banners, in that order, as
    // the game stands.
    TGameScene(TFModSoundManager* pSM, const TDataBanker* pDB, const TGame& Game,
               TEffectsDetail nDetail = TFxDebris::DEFAULT_DETAIL);
    ~TGameScene();
    TGameScene(const TGameScene&) = delete;
    TGameScene& operator=(const TGameScene&) = delete;

    // The root of everything the game shows; the viewer renders it.
    SoSeparator* GetRoot() const { return m_pRoot; }

    // Catches up with the game (at a frame, after a command): the events' sounds and
    // explosions, each at its own game time, shapes for the rocks made and none for those
    // purged, the effects' timers at the game's time, the banners, the music. The game's events
    // stay for the caller to clear.
    void Follow(const TGame& Game);
    // Writes the game to the scene as it shows dAlpha of the way from the last tick to this one
    // (1: as it is now): a frame drawn between two ticks.
    void Present(const TGame& Game, double dAlpha);
    // The player has left or the replay is over: the music stops with the game.
    void Stop();

    // For measuring what is drawn, and for the tests.
    TShipShape* GetShipShape() const { return m_pShip.get(); }
    // The shape of the rock with that serial, or null.
    TAsteroidShape* FindRock(uint32_t nSerial) const;
    // The shape that showed the n-th missile in flight at the last frame, or null.
    TMissileShape* GetMissileShape(size_t n) const { return n < m_nMissilesShown ? m_vecMissiles[n].get() : nullptr; }
    const TFxTimers& GetTimers() const { return m_Timers; }
    const TFxDebris& GetDebris() const { return *m_pDebris; }
    SoSeparator* GetMissilesRoot() const { return m_pRootMisls; }
    SoSeparator* GetAsteroidsRoot() const { return m_pRootAsteroids; }

private:
    struct TRockEntry
    {
        uint32_t nSerial;
        std::unique_ptr<TAsteroidShape> pShape;
        const TAsteroid* pRock;  // valid from one Follow to the next step
    };

    void CreateMusic();
    void CreateSceneRoots();
    void CreateBackground();
    void CreateBanners();
    void FollowRocks(const TGame& Game);
    void PlayEvents(const TGame& Game);
    void UpdateBanners(const TGame& Game);
    void UpdateMusic(const TGame& Game);
    void PresentMissiles(const TGame& Game, double dAlpha);

    TFModSoundManager* m_pSM;
    const TDataBanker* m_pDB;
    TFxTimers m_Timers;
    std::unique_ptr<TFModSoundSource> m_pBkSnd;
    SoSeparator* m_pRoot = nullptr;
    SoSeparator* m_pRootMisls = nullptr;
    SoSeparator* m_pRootAsteroids = nullptr;
    SoSeparator* m_pRootBanners = nullptr;
    std::unique_ptr<TBackground2D> m_pBkgnd;
    std::unique_ptr<TShipShape> m_pShip;
    std::unique_ptr<TFxDebris> m_pDebris;
    std::vector<TRockEntry> m_vecRocks;  // by serial, as the game lists them
    std::vector<std::unique_ptr<TMissileShape>> m_vecMissiles;
    size_t m_nMissilesShown = 0;
    std::unique_ptr<TBanner> m_pShipsBanner;
    std::unique_ptr<TBanner> m_pLevelBanner;
    std::unique_ptr<TBanner> m_pScoresBanner;
    std::unique_ptr<TBanner> m_pGameOverBanner;
    // What the banners show now, so that an unchanged text is not set again (setting it makes
    // the scene library rebuild the 3D text).
    int32_t m_nShownShips = -1, m_nShownLevel = -1, m_nShownScore = -1;
    bool m_bGameOverShown = false;
    // The music as last set: playing, and at its volume or silent.
    bool m_bMusicPlaying = false;
    bool m_bMusicLoud = true;
    bool m_bStopped = false;
};
