#include "core/GameDriver.h"

#include "base/Assert.h"
#include "base/ExecutablePath.h"
#include "core/GameScene.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <filesystem>

TGameDriver::TGameDriver()
{
    SoDB::init();
}

TGameDriver::~TGameDriver()
{
    m_pScene.reset();
    m_pRun.reset();
    m_pBank.reset();
    m_pSound.reset();
}

std::vector<std::string> TGameDriver::DataFilePlaces()
{
    return {TExecutablePath::Dir() + DATA_FILE_NAME, std::string(DRELK_DATA_DIR "/") + DATA_FILE_NAME};
}

std::string TGameDriver::DefaultDataFile()
{
    const std::vector<std::string> vPlaces = DataFilePlaces();
    // Something there beside the executable is taken, even a bad file, so that the player hears
    // what is wrong with the file they meant.
    std::error_code Error;
    return std::filesystem::exists(vPlaces.front(), Error) ? vPlaces.front() : vPlaces.back();
}

bool TGameDriver::Open(const std::string& strDataFile, std::string& strError)
{
    DRELK_ASSERT(!m_pBank);
    if (!m_pSound)
        m_pSound = std::make_unique<TFModSoundManager>();
    try {
        m_pBank = std::make_unique<TDataBanker>(strDataFile);
    } catch (const TDataError& Error) {
        strError = Error.what();
        return false;
    }
    m_RulesData.ShipBox = ShipModelBox(*m_pBank);
    return true;
}

TBox3 TGameDriver::ShipModelBox(const TDataBanker& Bank)
{
    SoSeparator* pModel = Bank.LoadShapeFromBin(ID_PLAYLIST_MODELS, false);
    DRELK_ASSERT(pModel);
    pModel->ref();
    // The box of the model's own points: a model without transforms (the game's own) gives the
    // extremes of its coordinates as they are written, which every machine reads alike.
    SoGetBoundingBoxAction Action{SbViewportRegion()};
    Action.apply(pModel);
    const SbBox3f Box = Action.getBoundingBox();
    pModel->unref();
    if (Box.isEmpty())
        return TBox3();
    const SbVec3f vMin = Box.getMin(), vMax = Box.getMax();
    // The quarter turn about x that lays the model into the play plane, done exactly:
    // (x, y, z) goes to (x, -z, y).
    return TBox3(TFloat3(vMin[0], -vMax[2], vMin[1]), TFloat3(vMax[0], -vMin[2], vMax[1]));
}

void TGameDriver::NewScene(TShow nShow)
{
    if (nShow == SHOW_SCENE)
        m_pScene = std::make_unique<TGameScene>(m_pSound.get(), m_pBank.get(), m_pRun->GetGame(), m_nEffectsDetail);
    m_pRun->GetGame().ClearEvents();
}

TGame& TGameDriver::Start(int nLevel, TShow nShow)
{
    DRELK_ASSERT(m_pBank);
    DRELK_ASSERT(m_pSound);
    // The old game's scene goes before the game it shows.
    m_pScene.reset();
    m_pRun = std::make_unique<TGameRun>(m_RulesData, nLevel, DRELK_VERSION);
    NewScene(nShow);
    return m_pRun->GetGame();
}

bool TGameDriver::StartReplay(const TReplay& Replay, std::string& strError, TShow nShow)
{
    DRELK_ASSERT(m_pBank);
    std::unique_ptr<TGameRun> pRun = TGameRun::Replaying(m_RulesData, Replay, strError);
    if (!pRun)
        return false;
    m_pScene.reset();
    m_pRun = std::move(pRun);
    NewScene(nShow);
    return true;
}

SoSeparator* TGameDriver::GetScene() const
{
    return m_pScene ? m_pScene->GetRoot() : nullptr;
}

// The scene follows the game at frames, commands and the end; its events wait for it.
void TGameDriver::AfterChange()
{
    TGame& Game = m_pRun->GetGame();
    if (m_pScene) {
        m_pScene->Follow(Game);
        if (m_pRun->HasLeft() || m_pRun->IsReplayOver())
            m_pScene->Stop();
    }
    Game.ClearEvents();
}

void TGameDriver::Command(TCommand nCommand)
{
    Started().Command(nCommand);
    AfterChange();
}

bool TGameDriver::Step()
{
    TGameRun& Run = Started();
    if (Run.HasLeft() || Run.IsReplayOver())
        return false;
    const bool bTicked = Run.Step();
    // Without frames for long (a run with no window), the scene is not left to fall far behind.
    constexpr size_t MOST_WAITING_EVENTS = 1000;
    if (!m_pScene)
        Run.GetGame().ClearEvents();
    else if (Run.IsReplayOver() || Run.GetGame().GetEvents().size() > MOST_WAITING_EVENTS)
        AfterChange();
    return bTicked;
}

void TGameDriver::Present(double dAlpha)
{
    Started();
    if (!m_pScene)
        return;
    AfterChange();
    m_pScene->Present(m_pRun->GetGame(), dAlpha);
}

bool TGameDriver::IsTicking() const
{
    return m_pRun && m_pRun->IsTicking();
}

bool TGameDriver::IsRunning() const
{
    const TGame& Game = Started().GetGame();
    return Game.GetGameState() == GS_PLAYING || Game.GetGameState() == GS_RESPAWN;
}

bool TGameDriver::IsMusicOn() const
{
    return Started().GetGame().IsMusicOn();
}

bool TGameDriver::IsGameOver() const
{
    return Started().GetGame().IsGameOver();
}

int32_t TGameDriver::GetScore() const
{
    return Started().GetGame().GetScore();
}

int32_t TGameDriver::GetLevel() const
{
    return Started().GetGame().GetLevel();
}

void TGameDriver::Leave()
{
    TGameRun& Run = Started();
    if (Run.HasLeft())
        return;
    Run.Leave();
    AfterChange();
}

TGameRun& TGameDriver::Started() const
{
    DRELK_ASSERT(m_pRun);
    return *m_pRun;
}
