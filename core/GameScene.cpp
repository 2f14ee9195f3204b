#include "core/GameScene.h"

#include "base/Assert.h"
#include "base/SceneHook.h"
#include "core/Game.h"
#include "databank/DataBanker.h"
#include "fx/Backgrounds.h"
#include "fx/Banners.h"
#include "fx/GraphicFx.h"
#include "media/SoundLoader.h"
#include "objects/AsteroidShape.h"
#include "objects/MissileShape.h"
#include "objects/ShipShape.h"
#include "objects/Ships.h"
#include "sound/FModSoundManager.h"

#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cstdio>

TGameScene::TGameScene(TFModSoundManager* pSM, const TDataBanker* pDB, const TGame& Game, TEffectsDetail nDetail)
    : m_pSM(pSM), m_pDB(pDB), m_Timers(Game.GetClock().GetMs())
{
    DRELK_ASSERT(m_pSM);
    DRELK_ASSERT(m_pDB);
    CreateMusic();
    CreateSceneRoots();
    CreateBackground();
    m_pShip = std::make_unique<TShipShape>(m_pRoot, m_pSM, m_pDB, m_Timers, *Game.GetShip());
    SoTexture2* pRockTex = m_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_ROCK);
    DRELK_ASSERT(pRockTex);
    m_pDebris = std::make_unique<TFxDebris>(m_pRoot, pRockTex, nDetail);
    CreateBanners();
    Follow(Game);
    Present(Game, 1.0);
}

TGameScene::~TGameScene()
{
    // Shapes take their nodes out of the scene roots, so they go before the roots; emptied at
    // once first, the roots leave the shapes nothing to search for.
    m_pRootMisls->removeAllChildren();
    m_pRootAsteroids->removeAllChildren();
    m_vecMissiles.clear();
    m_vecRocks.clear();
    m_pShip.reset();
    m_pDebris.reset();
    m_pBkgnd.reset();
    m_pShipsBanner.reset();
    m_pLevelBanner.reset();
    m_pScoresBanner.reset();
    m_pGameOverBanner.reset();
    m_pBkSnd.reset();
    m_pRoot->unref();
}

void TGameScene::CreateMusic()
{
    // Without music in the data file the game plays on silently.
    m_pBkSnd.reset(TSoundLoader::CreateSource(m_pSM, m_pDB, ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, true));
    DRELK_ASSERT(m_pBkSnd);
    m_pBkSnd->SetVolume(TRules::MUSIC_VOLUME);
}

void TGameScene::CreateSceneRoots()
{
    m_pRoot = new SoSeparator;
    DRELK_ASSERT(m_pRoot);
    m_pRoot->ref();
    m_pRootMisls = new SoSeparator;
    DRELK_ASSERT(m_pRootMisls);
    m_pRootAsteroids = new SoSeparator;
    DRELK_ASSERT(m_pRootAsteroids);
    m_pRootBanners = new SoSeparator;
    DRELK_ASSERT(m_pRootBanners);
    m_pRoot->addChild(m_pRootMisls);
    m_pRoot->addChild(m_pRootAsteroids);
    m_pRoot->addChild(m_pRootBanners);
}

void TGameScene::CreateBackground()
{
    // Without a background picture the quad shows untextured.
    TVecPtrTextures vecTextures;
    if (SoTexture2* pTex = m_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND))
        vecTextures.push_back(pTex);
    m_pBkgnd = std::make_unique<TBackground2D>(m_pRoot, SbVec3f(0.0f, 0.0f, -20.0f), SbVec2f(100.0f, 100.0f),
                                               &vecTextures);
}

void TGameScene::CreateBanners()
{
    m_pShipsBanner = std::make_unique<TBanner>(m_pRootBanners, SbVec3f(-20.0f, -16.0f, 10.0f), "", 0.75f);
    m_pLevelBanner = std::make_unique<TBanner>(m_pRootBanners, SbVec3f(-1.0f, -16.0f, 10.0f), "", 0.75f);
    m_pScoresBanner = std::make_unique<TBanner>(m_pRootBanners, SbVec3f(17.0f, -16.0f, 10.0f), "", 0.75f);
    m_pGameOverBanner = std::make_unique<TBanner>(m_pRootBanners, SbVec3f(-4.75f, 0.0f, 10.0f), "", 2.0f);
    m_pGameOverBanner->SetBlink(false);
    m_pGameOverBanner->SetText("Game Over");
    m_pGameOverBanner->SetColor(SbColor(1.0f, 0.0f, 0.0f));
}

void TGameScene::Follow(const TGame& Game)
{
    // Rocks first: one made and shot in the same step explodes from its own shape.
    FollowRocks(Game);
    PlayEvents(Game);
    m_Timers.AdvanceTo(Game.GetClock().GetMs());
    m_Timers.SetSceneTime();
    UpdateBanners(Game);
    UpdateMusic(Game);
}

// The game lists its rocks in the order it made them, by rising serial, and only ever appends
// to the list or takes the dead out of it: one walk down both lists finds the new and the gone.
void TGameScene::FollowRocks(const TGame& Game)
{
    std::vector<TRockEntry> vecNow;
    vecNow.reserve(Game.GetAsteroids().size());
    std::vector<SoNode*> vecGone;
    auto itOld = m_vecRocks.begin();
    auto Purge = [&vecGone](const TRockEntry& Entry) {
        vecGone.push_back(Entry.pShape->GetRootNode());
        if (SoNode* pExplosion = Entry.pShape->GetExplosion()->GetRootNode())
            vecGone.push_back(pExplosion);
    };
    for (const TAsteroid* pRock : Game.GetAsteroids()) {
        for (; itOld != m_vecRocks.end() && itOld->nSerial < pRock->GetSerial(); ++itOld)
            Purge(*itOld);
        if (itOld != m_vecRocks.end() && itOld->nSerial == pRock->GetSerial()) {
            vecNow.push_back({pRock->GetSerial(), std::move(itOld->pShape), pRock});
            ++itOld;
        } else {
            vecNow.push_back({pRock->GetSerial(),
                              std::make_unique<TAsteroidShape>(m_pRootAsteroids, m_pSM, m_pDB, m_Timers, *pRock),
                              pRock});
        }
    }
    for (; itOld != m_vecRocks.end(); ++itOld)
        Purge(*itOld);
    // A level's thousands of purged nodes leave the scene together; the shapes' hooks then find
    // nothing left to take out.
    if (!vecGone.empty())
        TSceneHook::RemoveChildren(m_pRootAsteroids, vecGone);
    m_vecRocks = std::move(vecNow);
}

TAsteroidShape* TGameScene::FindRock(uint32_t nSerial) const
{
    const auto it = std::lower_bound(m_vecRocks.begin(), m_vecRocks.end(), nSerial,
                                     [](const TRockEntry& Entry, uint32_t n) { return Entry.nSerial < n; });
    return it != m_vecRocks.end() && it->nSerial == nSerial ? it->pShape.get() : nullptr;
}

// The events of the ticks since the scene last looked, in order, each at its own time: the
// effects' timers are brought to it first, so an explosion runs from when it happened.
void TGameScene::PlayEvents(const TGame& Game)
{
    for (const TGameEvent& Event : Game.GetEvents()) {
        m_Timers.AdvanceTo(Event.nMs);
        const double dTickStartMs = static_cast<double>(Event.nMs);
        switch (Event.nKind) {
        case TGameEvent::MISSILE_FIRED:
            m_pShip->OnFired();
            break;
        case TGameEvent::ENGINE_STARTED:
            m_pShip->OnThrust(static_cast<uint32_t>(Event.nMs));
            break;
        case TGameEvent::SHIP_EXPLODED:
            m_pShip->Explode(Event.vPlace, Event.fScale);
            m_pDebris->ShipBurst(Event.vPlace, dTickStartMs);
            break;
        case TGameEvent::ROCK_EXPLODED:
            if (TAsteroidShape* pShape = FindRock(Event.nSerial))
                pShape->Explode(Event.vPlace, Event.bWithEffect);
            m_pDebris->RockBurst(Event.vPlace, Event.nType, dTickStartMs);
            break;
        case TGameEvent::GAME_OVER:
            if (!m_bGameOverShown) {
                m_pGameOverBanner->SetBlink(true);
                m_bGameOverShown = true;
            }
            break;
        }
    }
}

void TGameScene::UpdateBanners(const TGame& Game)
{
    char szText[64];
    if (Game.GetShips() != m_nShownShips) {
        std::snprintf(szText, sizeof szText, "ships: %d", Game.GetShips());
        m_pShipsBanner->SetText(szText);
        m_nShownShips = Game.GetShips();
    }
    if (Game.GetLevel() != m_nShownLevel) {
        std::snprintf(szText, sizeof szText, "level: %d", Game.GetLevel());
        m_pLevelBanner->SetText(szText);
        m_nShownLevel = Game.GetLevel();
    }
    if (Game.GetScore() != m_nShownScore) {
        std::snprintf(szText, sizeof szText, "score: %d", Game.GetScore());
        m_pScoresBanner->SetText(szText);
        m_nShownScore = Game.GetScore();
    }
}

// The music plays while the game runs and pauses with it; M turns it between its volume and
// silence, never off.
void TGameScene::UpdateMusic(const TGame& Game)
{
    const bool bPlaying = !m_bStopped && Game.GetGameState() != GS_PAUSED && Game.GetGameState() != GS_IDLE;
    if (bPlaying != m_bMusicPlaying) {
        m_pBkSnd->SetPlaying(bPlaying);
        m_bMusicPlaying = bPlaying;
    }
    if (Game.IsMusicOn() != m_bMusicLoud) {
        m_pBkSnd->SetVolume(Game.IsMusicOn() ? TRules::MUSIC_VOLUME : 0.0f);
        m_bMusicLoud = Game.IsMusicOn();
    }
}

void TGameScene::Stop()
{
    m_bStopped = true;
    if (m_bMusicPlaying) {
        m_pBkSnd->SetPlaying(false);
        m_bMusicPlaying = false;
    }
}

void TGameScene::Present(const TGame& Game, double dAlpha)
{
    m_pShip->Present(*Game.GetShip(), dAlpha);
    // Each object's notice goes as far as its group, which then tells the scene once: a
    // hundred notices climbing the whole scene every frame would cost more than the drawing.
    const SbBool bRocksNotify = m_pRootAsteroids->enableNotify(FALSE);
    bool bRocksChanged = false;
    for (const TRockEntry& Entry : m_vecRocks)
        if (Entry.pShape->Present(*Entry.pRock, dAlpha))
            bRocksChanged = true;
    m_pRootAsteroids->enableNotify(bRocksNotify);
    if (bRocksChanged)
        m_pRootAsteroids->touch();
    PresentMissiles(Game, dAlpha);
    // The frame's own time: dAlpha of the way through the last tick.
    m_pDebris->Present(static_cast<double>(Game.GetClock().GetMs()) - TRules::TICK_MS * (1.0 - dAlpha));
}

// Missiles look alike: the n-th missile in flight is drawn by the n-th shape, and the shapes
// past the last one in flight are hidden.
void TGameScene::PresentMissiles(const TGame& Game, double dAlpha)
{
    const SbBool bNotify = m_pRootMisls->enableNotify(FALSE);
    bool bChanged = false;
    size_t nShown = 0;
    for (const TMissile* pMissile : Game.GetMissiles()) {
        if (!pMissile->IsAlive())
            continue;
        if (nShown == m_vecMissiles.size()) {
            SoTexture2* pTex = m_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_MISSILE);
            m_vecMissiles.push_back(std::make_unique<TMissileShape>(m_pRootMisls, pTex, TManShip::MISSILE_SIZE));
            bChanged = true;
        }
        if (m_vecMissiles[nShown++]->Present(*pMissile, dAlpha))
            bChanged = true;
    }
    for (size_t i = nShown; i < m_nMissilesShown; ++i) {
        m_vecMissiles[i]->Hide();
        bChanged = true;
    }
    m_nMissilesShown = nShown;
    m_pRootMisls->enableNotify(bNotify);
    if (bChanged)
        m_pRootMisls->touch();
}
