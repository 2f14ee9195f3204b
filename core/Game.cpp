#include "core/Game.h"

#include "base/Assert.h"
#include "base/Digest.h"
#include "base/GameClock.h"
#include "base/MathConstants.h"
#include "base/SceneHook.h"
#include "base/Random.h"
#include "core/RockBoxes.h"
#include "databank/DataBanker.h"
#include "fx/Backgrounds.h"
#include "fx/GraphicFx.h"
#include "fx/Banners.h"
#include "media/SoundLoader.h"
#include "objects/Asteroids.h"
#include "objects/Ships.h"
#include "objects/Weapons.h"
#include "sound/FModSoundManager.h"

#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr double RAND_SCALE = TRandom::MAX;
constexpr double HALF_WIDTH = TRules::FIELD_HALF_WIDTH;
constexpr double HALF_HEIGHT = TRules::FIELD_HALF_HEIGHT;

double Draw()
{
    return TRandom::Draw();
}

// A random place on the field: x from the second draw, y from the first.
SbVec3f RandomPlace()
{
    const double r1 = Draw();
    const double r2 = Draw();
    return SbVec3f(static_cast<float>(HALF_WIDTH - r2 * (2 * HALF_WIDTH) / RAND_SCALE),
                   static_cast<float>(HALF_HEIGHT - r1 * (2 * HALF_HEIGHT) / RAND_SCALE), 0.0f);
}
}  // namespace

TGame::TGame(TDataBanker* pDB, TFModSoundManager* pSM) : m_pDB(pDB), m_pSM(pSM)
{
    DRELK_ASSERT(m_pDB);
    DRELK_ASSERT(m_pSM);
}

TGame::~TGame()
{
    // Objects take their nodes out of the scene roots, so they go before the roots; emptied
    // at once first, the roots leave the objects nothing to search for.
    if (m_pRoot) {
        m_pRootMisls->removeAllChildren();
        m_pRootAsteroids->removeAllChildren();
    }
    for (TMissile* pMissile : m_vecMissiles)
        delete pMissile;
    for (TMissile* pMissile : m_vecSpentMissiles)
        delete pMissile;
    for (TAsteroid* pAsteroid : m_vecAsteroids)
        delete pAsteroid;
    delete m_pManShip;
    delete m_pBkgnd;
    delete m_pShipsBanner;
    delete m_pLevelBanner;
    delete m_pScoresBanner;
    delete m_pGameOverBanner;
    delete m_pBkSnd;
    if (m_pRoot)
        m_pRoot->unref();
}

void TGame::Build(int nLevel)
{
    DRELK_ASSERT(!m_pRoot);
    DRELK_ASSERT(nLevel >= 1);
    m_nLevel = nLevel;
    CreateMusic();
    CreateSceneRoots();
    CreateBackground();
    CreateShip();
    StartLevel(TRules::ASTEROIDS_PER_LEVEL * m_nLevel);
    CreateBanners();
    UpdateBanners();
    Present();
}

void TGame::CreateMusic()
{
    DRELK_ASSERT(m_pSM);
    DRELK_ASSERT(m_pDB);
    // Without music in the data file the game plays on silently.
    m_pBkSnd = TSoundLoader::CreateSource(m_pSM, m_pDB, ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, true);
    DRELK_ASSERT(m_pBkSnd);
    m_pBkSnd->SetVolume(TRules::MUSIC_VOLUME);
}

void TGame::CreateSceneRoots()
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

void TGame::CreateBackground()
{
    DRELK_ASSERT(m_pDB);
    // Without a background picture the quad shows untextured.
    TVecPtrTextures vecTextures;
    if (SoTexture2* pTex = m_pDB->GetTexture(ID_PLAYLIST_BITMAPS, ID_BMP_BACKGROUND))
        vecTextures.push_back(pTex);
    m_pBkgnd = new TBackground2D(m_pRoot, SbVec3f(0.0f, 0.0f, -20.0f), SbVec2f(100.0f, 100.0f), &vecTextures);
    DRELK_ASSERT(m_pBkgnd);
}

void TGame::CreateShip()
{
    DRELK_ASSERT(m_pSM);
    DRELK_ASSERT(m_pDB);
    DRELK_ASSERT(m_pRoot);
    m_pManShip = new TManShip(m_pRoot, m_pSM, m_pDB, SbVec3f(0.0f, 0.0f, 0.0f), 2.0);
    DRELK_ASSERT(m_pManShip);
}

void TGame::CreateBanners()
{
    DRELK_ASSERT(m_pRootBanners);
    m_pShipsBanner = new TBanner(m_pRootBanners, SbVec3f(-20.0f, -16.0f, 10.0f), "", 0.75f);
    DRELK_ASSERT(m_pShipsBanner);
    m_pLevelBanner = new TBanner(m_pRootBanners, SbVec3f(-1.0f, -16.0f, 10.0f), "", 0.75f);
    DRELK_ASSERT(m_pLevelBanner);
    m_pScoresBanner = new TBanner(m_pRootBanners, SbVec3f(17.0f, -16.0f, 10.0f), "", 0.75f);
    DRELK_ASSERT(m_pScoresBanner);
    m_pGameOverBanner = new TBanner(m_pRootBanners, SbVec3f(-4.75f, 0.0f, 10.0f), "", 2.0f);
    DRELK_ASSERT(m_pGameOverBanner);
    m_pGameOverBanner->SetBlink(false);
    m_pGameOverBanner->SetText("Game Over");
    m_pGameOverBanner->SetColor(SbColor(1.0f, 0.0f, 0.0f));
}

TBanner* TGame::GetBanner(int nIndex) const
{
    TBanner* const BANNERS[] = {m_pShipsBanner, m_pLevelBanner, m_pScoresBanner, m_pGameOverBanner};
    return nIndex >= 0 && nIndex < 4 ? BANNERS[nIndex] : nullptr;
}

uint64_t TGame::Digest() const
{
    TDigest Digest;
    for (int32_t n : {m_nGameState, m_nStateBeforePause, m_nLevel, m_nScore, m_nShips})
        Digest.Add(n);
    Digest.Add(m_bMusicOn);
    Digest.Add(m_nLevelEndCount);
    Digest.Add(m_nRespawnCount);
    for (bool bLatched : m_bSteering)
        Digest.Add(bLatched);
    Digest.Add(TRandom::GetState());
    Digest.Add(TGameClock::GetTickCount());
    m_pManShip->AddToDigest(Digest);
    // The lists' lengths too: a purged entry is not the same as no entry.
    Digest.Add(static_cast<uint64_t>(m_vecAsteroids.size()));
    for (const TAsteroid* pAsteroid : m_vecAsteroids)
        if (pAsteroid)
            pAsteroid->AddToDigest(Digest);
    Digest.Add(static_cast<uint64_t>(m_vecMissiles.size()));
    for (const TMissile* pMissile : m_vecMissiles)
        if (pMissile)
            pMissile->AddToDigest(Digest);
    return Digest.Get();
}

// ---- the loop ----

void TGame::Command(TCommand nCommand)
{
    DRELK_ASSERT(IsGameCommand(nCommand));
    if (nCommand == CMD_PAUSE)
        TogglePause();
    else if (nCommand == CMD_MUSIC)
        ToggleMusic();
    else
        m_bSteering[nCommand] = true;
}

void TGame::SampleCommands(bool* pSteering)
{
    // Read and cleared on every tick, whatever the state: a command given in a state that
    // ignores it is used up.
    for (int i = 0; i < STEERING_COMMANDS; ++i) {
        pSteering[i] = m_bSteering[i];
        m_bSteering[i] = false;
    }
}

bool TGame::IsTicking() const
{
    return m_nGameState == GS_PLAYING || m_nGameState == GS_RESPAWN || m_nGameState == GS_GAMEOVER;
}

void TGame::GameTick(double dt)
{
    DRELK_ASSERT(m_pManShip);
    BeginTick();
    bool bSteering[STEERING_COMMANDS];
    SampleCommands(bSteering);
    if (m_nGameState == GS_PLAYING) {
        PlayingTick(dt, bSteering);
    } else if (m_nGameState == GS_RESPAWN) {
        MoveAsteroids(dt);
        MoveMissiles(dt);
        TryRespawn();
    } else if (m_nGameState == GS_GAMEOVER) {
        MoveMissiles(dt);
        MoveAsteroids(dt);
    }
    UpdateBanners();
    DeleteSpentMissiles();
}

// Where the frames until the next tick start from: what moves this tick moves from here.
void TGame::BeginTick()
{
    m_pManShip->BeginTick();
    for (TAsteroid* pAsteroid : m_vecAsteroids)
        if (pAsteroid && pAsteroid->IsAlive())
            pAsteroid->BeginTick();
    for (TMissile* pMissile : m_vecMissiles)
        if (pMissile && pMissile->IsAlive())
            pMissile->BeginTick();
}

void TGame::PlayingTick(double dt, const bool* pSteering)
{
    if (pSteering[CMD_TURN_LEFT])
        m_pManShip->Rotate(TRules::TURN_STEP_DEGREES);
    if (pSteering[CMD_TURN_RIGHT])
        m_pManShip->Rotate(-TRules::TURN_STEP_DEGREES);
    if (pSteering[CMD_THRUST])
        m_pManShip->Thrust(static_cast<double>(TRules::THRUST));
    if (pSteering[CMD_FIRE])
        FireMissile();
    MoveAsteroids(dt);
    MoveShip(dt);
    MoveMissiles(dt);
    CheckCollisions();
    if (AllAsteroidsDestroyed())
        CheckLevelEnd();
}

void TGame::TogglePause()
{
    if (m_nGameState == GS_PAUSED) {
        SetRunning(true);
        // A lost ship still waits for its place to clear.
        if (m_nStateBeforePause == GS_RESPAWN)
            m_nGameState = GS_RESPAWN;
    } else if (m_nGameState == GS_PLAYING || m_nGameState == GS_RESPAWN) {
        m_nStateBeforePause = m_nGameState;
        SetRunning(false);
    }
}

void TGame::ToggleMusic()
{
    DRELK_ASSERT(m_pBkSnd);
    m_bMusicOn = !m_bMusicOn;
    m_pBkSnd->SetVolume(m_bMusicOn ? TRules::MUSIC_VOLUME : 0.0f);
}

void TGame::SetRunning(bool bRun)
{
    DRELK_ASSERT(m_pBkSnd);
    m_nGameState = bRun ? GS_PLAYING : GS_PAUSED;
    m_pBkSnd->SetPlaying(bRun);
}

// ---- motion ----

bool TGame::WrapPosition(SbVec3f& vPosition)
{
    // Each test sees the value the one before left; a position exactly on an edge stays.
    constexpr float W = TRules::FIELD_HALF_WIDTH, H = TRules::FIELD_HALF_HEIGHT;
    bool bWrapped = false;
    if (vPosition[0] > W) {
        vPosition[0] = -W;
        bWrapped = true;
    }
    if (vPosition[0] < -W) {
        vPosition[0] = W;
        bWrapped = true;
    }
    if (vPosition[1] > H) {
        vPosition[1] = -H;
        bWrapped = true;
    }
    if (vPosition[1] < -H) {
        vPosition[1] = H;
        bWrapped = true;
    }
    return bWrapped;
}

void TGame::MoveShip(double dt)
{
    DRELK_ASSERT(m_pManShip);
    if (!m_pManShip->IsAlive())
        return;
    m_pManShip->Move(dt);
    SbVec3f vPosition = m_pManShip->GetPosition();
    if (WrapPosition(vPosition))
        m_pManShip->SetPosition(vPosition);
}

void TGame::MoveAsteroids(double dt)
{
    for (TAsteroid* pAsteroid : m_vecAsteroids) {
        if (!pAsteroid || !pAsteroid->IsAlive())
            continue;
        pAsteroid->Move(dt);
        SbVec3f vPosition = pAsteroid->GetPosition();
        if (WrapPosition(vPosition))
            pAsteroid->SetPosition(vPosition);
    }
}

void TGame::MoveMissiles(double dt)
{
    for (TMissile* pMissile : m_vecMissiles) {
        if (!pMissile || !pMissile->IsAlive())
            continue;
        pMissile->Move(dt);
        const SbVec3f vPosition = pMissile->GetPosition();
        // Missiles do not wrap: past an edge they are spent.
        constexpr float W = TRules::FIELD_HALF_WIDTH, H = TRules::FIELD_HALF_HEIGHT;
        if (vPosition[0] > W || !(vPosition[0] >= -W) || vPosition[1] > H || !(vPosition[1] >= -H))
            pMissile->Kill();
    }
}

void TGame::FireMissile()
{
    if (!m_pManShip || !m_pManShip->IsAlive())
        return;
    TMissile* pMissile = m_pManShip->Fire(m_pRootMisls);
    DRELK_ASSERT(pMissile);
    m_vecMissiles.push_back(pMissile);
}

// ---- collisions ----

void TGame::CheckCollisions()
{
    // Nothing moves during the pass: each rock's box is made once for it.
    TRockBoxes Boxes(m_vecAsteroids);
    CheckShipHit(Boxes);
    // The missiles are tested even when the ship has just been lost.
    CheckMissileHits(Boxes);
}

void TGame::CheckShipHit(TRockBoxes& Boxes)
{
    if (!m_pManShip->IsAlive())
        return;
    const SbXfBox3f ShipBox = m_pManShip->GetBoundingBox();
    const int nHit = Boxes.FirstMeeting(ShipBox);
    if (nHit < 0)
        return;
    // At most one rock meets the ship in a tick; it neither scores nor splits.
    TAsteroid* pAsteroid = m_vecAsteroids[static_cast<size_t>(nHit)];
    const SbVec3f vMiddle = (Boxes.BoxOf(static_cast<size_t>(nHit)).getCenter() + ShipBox.getCenter()) / 2.0f;
    m_pManShip->ExplodeAt(2.0f, vMiddle);
    pAsteroid->Explode(false);
    if (--m_nShips == 0)
        GameOver();
    else
        SetGameState(GS_RESPAWN);
}

void TGame::CheckMissileHits(TRockBoxes& Boxes)
{
    // By index, reading the lengths anew: the children of a rock split here are appended and
    // can be hit by later missiles of the same tick.
    for (size_t i = 0; i < m_vecMissiles.size(); ++i) {
        TMissile* pMissile = m_vecMissiles[i];
        if (!pMissile || !pMissile->IsAlive())
            continue;
        const int nHit = Boxes.FirstHolding(pMissile->GetPosition());
        if (nHit < 0)
            continue;
        TAsteroid* pAsteroid = m_vecAsteroids[static_cast<size_t>(nHit)];
        const TAsteroid::TClass& Class = TAsteroid::ClassOf(pAsteroid->GetType());
        pMissile->Kill();
        pAsteroid->Explode(true);
        if (Class.nChild >= 0) {
            TAsteroid* pChilds[2] = {nullptr, nullptr};
            SplitAsteroid(pAsteroid, pMissile, pChilds);
            DRELK_ASSERT(pChilds[0]);
            DRELK_ASSERT(pChilds[1]);
            m_vecAsteroids.push_back(pChilds[0]);
            m_vecAsteroids.push_back(pChilds[1]);
        }
        m_nScore += Class.nPoints;
    }
}

bool TGame::IsSpawnAreaClear()
{
    DRELK_ASSERT(m_pManShip);
    // Where the ship was lost: a dead ship is not moved.
    TRockBoxes Boxes(m_vecAsteroids);
    return Boxes.FirstHolding(m_pManShip->GetPosition()) < 0;
}

void TGame::SplitAsteroid(TAsteroid* pAsteroid, TMissile* /*pMissile*/, TAsteroid** pChilds)
{
    DRELK_ASSERT(pAsteroid);
    DRELK_ASSERT(pChilds);
    const double k0 = 1.5 * m_nLevel;
    const SbVec3f P = pAsteroid->GetPosition();
    const SbVec3f V = pAsteroid->GetVelocity();
    const int nChildSize = TAsteroid::ClassOf(pAsteroid->GetType()).nChild;
    // Child 0 is thrown along y, child 1 along x, both faster at higher levels.
    for (int i = 0; i < 2; ++i) {
        const double a = i == 0 ? PI / 2.0 : 0.0;
        const double s = std::sin(a);
        const double co = std::cos(a);
        const double r1 = Draw();
        const double vy = (r1 * 0.5 / RAND_SCALE + k0) * V[1] * s + 0.1;
        const double r2 = Draw();
        const double vx = (r2 * 0.5 / RAND_SCALE + k0) * V[0] * co + 0.1;
        SbVec3f vAxis;
        for (int nAxis = 2; nAxis >= 0; --nAxis)  // z, then y, then x
            vAxis[nAxis] = static_cast<float>(0.51 - Draw() / RAND_SCALE);
        const double dRate = (0.5 - Draw() / RAND_SCALE) * 0.75 + 0.05;
        pChilds[i] = CreateAsteroid(nChildSize, P, SbVec2f(static_cast<float>(vx), static_cast<float>(vy)), vAxis, dRate);
    }
}

TAsteroid* TGame::CreateAsteroid(int nSize, const SbVec3f& vPosition, const SbVec2f& vVelocity, const SbVec3f& vAxis,
                                 double dRotationSpeed)
{
    const float* B = TAsteroid::ClassOf(nSize).fBaseExtents;
    SbVec3f D;
    for (int nAxis = 2; nAxis >= 0; --nAxis)  // z, then y, then x
        D[nAxis] = static_cast<float>(B[nAxis] * 0.5 + (Draw() / RAND_SCALE) * B[nAxis] * 0.1);
    TAsteroid* pAsteroid = new TAsteroid(m_pRootAsteroids, m_pSM, m_pDB, vPosition, D, nSize);
    DRELK_ASSERT(pAsteroid);
    pAsteroid->SetVelocity(vVelocity);
    pAsteroid->SetSpin(dRotationSpeed, vAxis);
    return pAsteroid;
}

// ---- levels, lives, score ----

void TGame::StartLevel(int nCount)
{
    DRELK_ASSERT(m_pSM);
    DRELK_ASSERT(m_pRoot);
    // Placed rocks stay where they are while the level fills.
    TRockBoxes Boxes(m_vecAsteroids);
    for (int i = 0; i < nCount; ++i) {
        const SbVec3f vPosition = RandomPlace();
        const double r3 = Draw();
        const double r4 = Draw();
        const SbVec2f vVelocity(static_cast<float>(0.25 - r4 * 0.5 / RAND_SCALE),
                                static_cast<float>(0.25 - r3 * 0.5 / RAND_SCALE));
        SbVec3f vAxis;
        for (int nAxis = 2; nAxis >= 0; --nAxis)  // z, then y, then x
            vAxis[nAxis] = static_cast<float>(Draw() / RAND_SCALE + 0.1);
        const double dRotationSpeed = (Draw() / RAND_SCALE) * 0.1;
        TAsteroid* pAsteroid = CreateAsteroid(TAsteroid::LARGE, vPosition, vVelocity, vAxis, dRotationSpeed);
        DRELK_ASSERT(pAsteroid);
        PlaceAsteroid(pAsteroid, Boxes);
        m_vecAsteroids.push_back(pAsteroid);
    }
}

void TGame::PlaceAsteroid(TAsteroid* pAsteroid, TRockBoxes& Boxes)
{
    // Away from every rock already listed; after MAX_PLACEMENT_ATTEMPTS places it stays.
    for (int nAttempt = 0; nAttempt < TRules::MAX_PLACEMENT_ATTEMPTS; ++nAttempt) {
        if (Boxes.FirstMeeting(pAsteroid->GetBoundingBox()) < 0)
            return;
        pAsteroid->SetPosition(RandomPlace());
    }
}

bool TGame::AllAsteroidsDestroyed() const
{
    for (const TAsteroid* pAsteroid : m_vecAsteroids)
        if (pAsteroid && pAsteroid->IsAlive())
            return false;
    return true;
}

void TGame::CheckLevelEnd()
{
    // The count survives ticks in other states: the next level comes on the 100th playing
    // tick without a rock.
    if (++m_nLevelEndCount < TRules::LEVEL_END_TICKS)
        return;
    m_nLevelEndCount = 0;
    PurgeDeadObjects();
    TRandom::Seed(TGameClock::GetTickCount());
    ++m_nLevel;
    StartLevel(TRules::ASTEROIDS_PER_LEVEL * m_nLevel);
}

void TGame::PurgeDeadObjects()
{
    // A level of held fire leaves thousands of spent missiles: their nodes leave the scene
    // together, before the objects go.
    std::vector<SoNode*> vecGone;
    for (const TMissile* pMissile : m_vecMissiles)
        if (pMissile && !pMissile->IsAlive())
            vecGone.push_back(pMissile->GetRootNode());
    TSceneHook::RemoveChildren(m_pRootMisls, vecGone);
    vecGone.clear();
    for (const TAsteroid* pAsteroid : m_vecAsteroids) {
        if (pAsteroid && !pAsteroid->IsAlive()) {
            vecGone.push_back(pAsteroid->GetRootNode());
            if (SoNode* pExplosion = pAsteroid->GetExplosion()->GetRootNode())
                vecGone.push_back(pExplosion);
        }
    }
    TSceneHook::RemoveChildren(m_pRootAsteroids, vecGone);

    // Unhooked, a spent missile is nothing but memory; its nodes cost a few microseconds to
    // tear down, too much for thousands in one tick. They go a batch a tick from now on.
    for (TMissile*& pMissile : m_vecMissiles) {
        if (pMissile && !pMissile->IsAlive()) {
            m_vecSpentMissiles.push_back(pMissile);
            pMissile = nullptr;
        }
    }
    for (TAsteroid*& pAsteroid : m_vecAsteroids) {
        if (pAsteroid && !pAsteroid->IsAlive()) {
            delete pAsteroid;
            pAsteroid = nullptr;
        }
    }
    // The emptied entries go at once, so that the lists, and the walks over them every tick,
    // do not grow level after level.
    m_vecMissiles.erase(std::remove(m_vecMissiles.begin(), m_vecMissiles.end(), nullptr), m_vecMissiles.end());
    m_vecAsteroids.erase(std::remove(m_vecAsteroids.begin(), m_vecAsteroids.end(), nullptr), m_vecAsteroids.end());
}

void TGame::DeleteSpentMissiles()
{
    for (int i = 0; i < SPENT_DELETES_PER_TICK && !m_vecSpentMissiles.empty(); ++i) {
        delete m_vecSpentMissiles.back();
        m_vecSpentMissiles.pop_back();
    }
}

void TGame::TryRespawn()
{
    DRELK_ASSERT(m_pManShip);
    if (++m_nRespawnCount <= TRules::RESPAWN_TICKS)
        return;
    // Clear where the ship was lost; the test repeats every tick until it is.
    if (!IsSpawnAreaClear())
        return;
    m_nRespawnCount = 0;
    m_pManShip->Revive();
    m_pManShip->SetAngle(0.0);
    m_pManShip->SetPosition(SbVec3f(0.0f, 0.0f, 0.0f));
    m_pManShip->SetVelocity(SbVec3f(0.0f, 0.0f, 0.0f));
    SetGameState(GS_PLAYING);
}

void TGame::GameOver()
{
    m_nGameState = GS_GAMEOVER;
    DRELK_ASSERT(m_pGameOverBanner);
    m_pGameOverBanner->SetBlink(true);
}

void TGame::UpdateBanners()
{
    char szText[64];
    if (m_nShips != m_nShownShips) {
        std::snprintf(szText, sizeof szText, "ships: %d", m_nShips);
        m_pShipsBanner->SetText(szText);
        m_nShownShips = m_nShips;
    }
    if (m_nLevel != m_nShownLevel) {
        std::snprintf(szText, sizeof szText, "level: %d", m_nLevel);
        m_pLevelBanner->SetText(szText);
        m_nShownLevel = m_nLevel;
    }
    if (m_nScore != m_nShownScore) {
        std::snprintf(szText, sizeof szText, "score: %d", m_nScore);
        m_pScoresBanner->SetText(szText);
        m_nShownScore = m_nScore;
    }
}

void TGame::Present(double dAlpha)
{
    m_pManShip->Present(dAlpha);
    // Each object's notice goes as far as its group, which then tells the scene once: a
    // hundred notices climbing the whole scene every tick would cost more than the rules.
    const SbBool bRocksNotify = m_pRootAsteroids->enableNotify(FALSE);
    const SbBool bMissilesNotify = m_pRootMisls->enableNotify(FALSE);
    bool bRocksChanged = false, bMissilesChanged = false;
    for (TAsteroid* pAsteroid : m_vecAsteroids)
        if (pAsteroid && pAsteroid->Present(dAlpha))
            bRocksChanged = true;
    for (TMissile* pMissile : m_vecMissiles)
        if (pMissile && pMissile->Present(dAlpha))
            bMissilesChanged = true;
    m_pRootAsteroids->enableNotify(bRocksNotify);
    m_pRootMisls->enableNotify(bMissilesNotify);
    if (bRocksChanged)
        m_pRootAsteroids->touch();
    if (bMissilesChanged)
        m_pRootMisls->touch();
}
