#include "ui/TFormMain.h"

#include "ui/TCommandInput.h"
#include "ui/TFormSplash.h"
#include "ui/TGameEnding.h"
#include "ui/TGameViewer.h"
#include "ui/TPlayerAway.h"
#include "ui/TWindowShape.h"
#include "ui/WindowNames.h"
#include "ui_TFormMain.h"

#include "core/SceneView.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"
#include "store/KeptFiles.h"
#include "store/PlayerSettings.h"

#include <Inventor/Qt/SoQt.h>
#include <Inventor/nodes/SoSeparator.h>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {
// Closes on any key, as its text says, not only on Enter, Space or Escape.
class TAnyKeyCloses : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::KeyPress) {
            if (auto* pBox = qobject_cast<QMessageBox*>(pWatched)) {
                pBox->done(QMessageBox::Ok);
                return true;
            }
        }
        return QObject::eventFilter(pWatched, pEvent);
    }
};
}  // namespace

TFormMain::TFormMain(const TOptions& Options)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_pUi(std::make_unique<Ui::TFormMain>()),
      m_Options(Options)
{
    m_Clock.start();
    m_pUi->setupUi(this);
    setWindowTitle(WindowNames::TITLE);
    setWindowRole(WindowNames::ROLE_GAME);
    m_pUi->LabelTitle->setText(WindowNames::TITLE);
    m_pShape = new TWindowShape(this, m_pUi->PanelClient, m_pUi->PanelView);
    m_pAway = new TPlayerAway(this);
    connect(m_pAway, &TPlayerAway::Away, this, &TFormMain::PauseForAbsence);
    m_pInput = new TCommandInput(m_Bindings, this);
    connect(m_pInput, &TCommandInput::Command, this, &TFormMain::OnCommand);
    m_pLoop = new TGameLoop(m_Driver, this);
    connect(m_pLoop, &TGameLoop::GameOver, this, [this] { m_pEnding->GameOver(); });
    connect(m_pLoop, &TGameLoop::ReplayOver, this, &TFormMain::ExitGame);
    connect(m_pLoop, &TGameLoop::PlaybackChanged, this, &TFormMain::ShowStatus);
}

TFormMain::~TFormMain()
{
    // The loop and the viewer let go of the scene before the driver drops the game.
    delete m_pLoop;
    m_pLoop = nullptr;
    if (m_pViewer)
        m_pViewer->setSceneGraph(nullptr);
    delete m_pViewer;
}

bool TFormMain::FormCreate(int& nExitCode)
{
    // The scene library's sensors and timers run in this window's event loop from here on.
    SoQt::init(this);
    if (m_Options.pReplay) {
        std::string strReason;
        if (!OpenData(strReason)) {
            RefuseData(strReason, nExitCode);
            return false;
        }
        if (!StartReplay(nExitCode))
            return false;
    } else {
        // A file that is not there, or is no data file at all, is refused before any window;
        // the whole check waits until the start-up window is on screen.
        std::string strError;
        if (!TDataBanker::Glance(DataFile(), strError)) {
            RefuseData(NamingTheFile(strError), nExitCode);
            return false;
        }
        if (!RunSplash(nExitCode))
            return false;
    }
    InitGame();
    return true;
}

std::string TFormMain::DataFile() const
{
    return m_Options.strDataFile.empty() ? TGameDriver::DefaultDataFile() : m_Options.strDataFile;
}

// Most of the bank's reasons name the file already.
std::string TFormMain::NamingTheFile(const std::string& strError) const
{
    const std::string strPath = DataFile();
    return strError.rfind(strPath, 0) == 0 ? strError : strPath + ": " + strError;
}

// The sound manager and the whole data file, checked, its textures made; then the player's
// own files. False with the reason when the file cannot serve the game.
bool TFormMain::OpenData(std::string& strReason)
{
    if (m_Driver.GetBank())
        return true;
    std::string strError;
    if (!m_Driver.Open(DataFile(), strError)) {
        strReason = NamingTheFile(strError);
        return false;
    }
    m_pSettings = std::make_unique<TPlayerSettings>();
    m_Bindings.ApplySettings([this](const QString& strKey) { return m_pSettings->GetValue(strKey); },
                             TKeptFiles::SayOnStandardError);
    m_Driver.SetEffectsDetail(EffectsDetail());
    m_pEnding = std::make_unique<TGameEnding>(m_Driver);
    return true;
}

void TFormMain::RefuseData(const std::string& strReason, int& nExitCode)
{
    std::fprintf(stderr, "drelk2: %s\n", strReason.c_str());
    ShowBadDataFile();
    nExitCode = 255;
}

void TFormMain::ShowBadDataFile()
{
    const QString strCaption = " Drelk II: Error!";
    const QString strText = "Bad data file!  \nHit any key to exit...";
    std::fprintf(stderr, "%s\n", qPrintable(strText));
    QMessageBox Box(QMessageBox::Warning, strCaption, strText, QMessageBox::Ok);
    Box.setWindowModality(Qt::ApplicationModal);
    TAnyKeyCloses Filter;
    Box.installEventFilter(&Filter);
    Box.exec();
}

// True when the player chose Start; the chosen size is then the window's. False, with the exit
// status, when the player left or the data file was refused.
bool TFormMain::RunSplash(int& nExitCode)
{
    auto pSplash = std::make_unique<TFormSplash>(this);
    TFormSplash* pWindow = pSplash.get();
    std::string strRefused;
    connect(pWindow, &TFormSplash::Drawn, this, [this, pWindow, &strRefused] {
        if (m_nSplashShownMs < 0)
            m_nSplashShownMs = m_Clock.elapsed();
        // Once the window is on screen: the data file read and checked whole, then its music,
        // and the sound device and the pads once it has settled (SDL starts its parts from one
        // thread at a time). Gone with the window when the player leaves first.
        QTimer::singleShot(0, pWindow, [this, pWindow, &strRefused] {
            if (!OpenData(strRefused)) {
                pWindow->done(TFormSplash::RESULT_CANCEL);
                return;
            }
            pWindow->DataOpened(m_Driver.GetBank(), m_Driver.GetSound());
            QTimer::singleShot(0, this, [this] {
                LoadGl();
                m_Driver.GetSound()->HasDevice();
                m_Pad.Start();
            });
        });
    });
    connect(&m_Pad, &TPadInput::Pressed, pWindow, &TFormSplash::PadPressed);
    const int nResult = pSplash->exec();
    // Started before the check came round: it comes now.
    if (strRefused.empty() && nResult == TFormSplash::RESULT_OK)
        OpenData(strRefused);
    if (!strRefused.empty()) {
        pSplash.reset();
        RefuseData(strRefused, nExitCode);
        return false;
    }
    if (nResult != TFormSplash::RESULT_OK) {
        nExitCode = 0;
        return false;
    }
    m_nStartMs = m_Clock.elapsed();
    m_pShape->SetChosenSize(QSize(pSplash->GetResolution().first, pSplash->GetResolution().second));
    // The game opens where the player looked.
    m_pShape->SetScreen(pSplash->screen());
    // A window whose counters would lie off screen is no choice: the screen is used whole.
    m_pShape->SetFullScreen(m_Options.bFullScreen || m_pSettings->IsFullScreen() || !m_pShape->FitsScreen());
    // The start-up window and its music go now: the game needs the memory more.
    pSplash.reset();
    m_Driver.GetBank()->ReleaseSound(ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH);
    m_Driver.Start(m_Options.nLevel);
    // The music as the player left it last time: a command of the game's, so the replay has it.
    if (m_Driver.IsMusicOn() != m_pSettings->IsMusicOn())
        m_Driver.Command(CMD_MUSIC);
    return true;
}

// The GL library and its driver, which only the game's viewer draws through, are loaded while
// the start-up window is on screen rather than after Start: a context made and let go keeps
// them loaded.
void TFormMain::LoadGl()
{
    QOffscreenSurface Surface;
    Surface.create();
    QOpenGLContext Context;
    if (Context.create())
        Context.makeCurrent(&Surface);
}

// A replay plays at once, in the window the player last chose the shape of.
bool TFormMain::StartReplay(int& nExitCode)
{
    std::string strError;
    m_nStartMs = m_Clock.elapsed();
    if (!m_Driver.StartReplay(*m_Options.pReplay, strError)) {
        std::fprintf(stderr, "drelk2: %s: %s\n", m_Options.strReplayName.c_str(), strError.c_str());
        nExitCode = EXIT_BAD_REPLAY;
        return false;
    }
    m_pShape->SetFullScreen(m_Options.bFullScreen || m_pSettings->IsFullScreen() || !m_pShape->FitsScreen());
    QTimer::singleShot(0, this, [this] {
        m_Driver.GetSound()->HasDevice();
        m_Pad.Start();
    });
    return true;
}

void TFormMain::InitGame()
{
    CreateViewer();
    ShowStatus();
    m_pShape->Place();
    show();
    m_pViewer->show();
    m_pInput->Listen(m_pViewer);
    // Every key goes to the viewer's drawing area, whose callback hands it to the game.
    setFocusProxy(m_pViewer->getGLWidget());
    m_pViewer->getGLWidget()->setFocus();
    activateWindow();
    connect(&m_Pad, &TPadInput::Pressed, m_pInput, &TCommandInput::PadPressed);
    m_pLoop->SetViewer(m_pViewer);
    // Only the game and the store: the display may be gone by then.
    m_pSessionEnd = std::make_unique<TSessionEnd::THook>([this] { m_pEnding->Leave(); });
    PaceFrames();
    m_nLoopStartMs = m_Clock.elapsed();
    m_pLoop->Start();
}

void TFormMain::CreateViewer()
{
    m_pViewer = new TGameViewer(m_pUi->PanelView, [this] { m_pLoop->ScheduleFrame(); });
    m_pViewer->setDecoration(FALSE);
    m_pViewer->setSceneGraph(TSceneView::MakeViewerScene(m_Driver.GetScene()));
    m_pViewer->setTransparencyType(TSceneView::TRANSPARENCY);
    m_pViewer->setPopupMenuEnabled(FALSE);
    // The mouse does not turn the field, and the field's depth is known: no clipping planes
    // worked out from the scene for every frame.
    m_pViewer->setViewing(FALSE);
    m_pViewer->setAutoClipping(FALSE);
    // Frames are drawn by the loop, at most one per screen refresh.
    m_pViewer->setAutoRedraw(FALSE);
    m_pViewer->viewAll();
    TSceneView::PlaceCamera(m_pViewer->getCamera());
}

// Frames at the rate of the screen the window is on, or the player's cap.
void TFormMain::PaceFrames()
{
    m_pLoop->PaceFrames(windowHandle(), m_pViewer->getGLWidget(), MaxFps());
    // What the window draws, frame by frame, for measuring how evenly it moves.
    if (const char* szTrace = std::getenv("DRELK2_FRAME_TRACE"))
        if (!m_pLoop->TraceFramesTo(szTrace))
            TKeptFiles::SayOnStandardError(std::string("no frame trace: ") + szTrace + " is not a file that can be written");
}

// The command line's cap, else the settings' (a bad one named, and no cap).
int TFormMain::MaxFps() const
{
    if (m_Options.nMaxFps >= 0)
        return m_Options.nMaxFps;
    const QString strValue = m_pSettings->GetValue("maxfps").trimmed();
    if (strValue.isEmpty())
        return 0;
    bool bNumber = false;
    const int nMaxFps = strValue.toInt(&bNumber);
    if (bNumber && nMaxFps >= 0 && nMaxFps <= MAX_FPS)
        return nMaxFps;
    TKeptFiles::SayOnStandardError("settings: maxfps: '" + strValue.left(40).toStdString() +
                                   "' is not a number of frames a second from 0 to " + std::to_string(MAX_FPS) +
                                   "; the screen's rate kept");
    return 0;
}

// How many sparks and fragments the settings ask for (a bad word named, and the default kept).
TEffectsDetail TFormMain::EffectsDetail() const
{
    const QString strValue = m_pSettings->GetValue("effects").trimmed();
    TEffectsDetail nDetail = TFxDebris::DEFAULT_DETAIL;
    if (!strValue.isEmpty() && !TFxDebris::ParseDetail(strValue.toStdString(), nDetail))
        TKeptFiles::SayOnStandardError("settings: effects: '" + strValue.left(40).toStdString() +
                                       "' is not low, normal or high; normal kept");
    return nDetail;
}

void TFormMain::ShowStatus()
{
    if (!m_Driver.IsReplaying()) {
        m_pUi->LabelStatus->setText(m_Bindings.StatusLine());
        return;
    }
    QString strState = m_pLoop->IsReplayPaused() ? "paused" : QString("x%1").arg(m_pLoop->GetReplaySpeed());
    m_pUi->LabelStatus->setText(m_Bindings.ReplayStatusLine().replace("REPLAY", "REPLAY " + strState));
}

void TFormMain::OnCommand(TCommand nCommand)
{
    if (m_bLeaving)
        return;
    switch (nCommand) {
    case CMD_LEAVE: ExitGame(); break;
    case CMD_FULL_SCREEN:
        if (m_pShape->ToggleFullScreen() && !m_Driver.IsReplaying())
            m_pSettings->SetFullScreen(m_pShape->IsFullScreen());
        break;
    case CMD_FASTER: m_pLoop->Faster(); break;
    default:
        m_pLoop->GameCommand(nCommand);
        if (nCommand == CMD_MUSIC && !m_Driver.IsReplaying())
            m_pSettings->SetMusicOn(m_Driver.IsMusicOn());
        break;
    }
}

// The game waits, paused as with P, until the player presses P; a replay waits as well.
void TFormMain::PauseForAbsence()
{
    if (m_bLeaving || !m_Driver.GetGame())
        return;
    const bool bPlaying = m_Driver.IsReplaying() ? !m_pLoop->IsReplayPaused() : m_Driver.IsRunning();
    if (bPlaying)
        m_pLoop->GameCommand(CMD_PAUSE);
}

void TFormMain::ExitGame()
{
    if (m_bLeaving)
        return;
    m_bLeaving = true;
    m_pShape->Stop();
    m_pLoop->Stop();
    m_Driver.Leave();
    hide();
    m_pEnding->Leave();
    // From the event loop: the key that leaves arrives inside the viewer's own callback, and the
    // viewer goes before the ending screen.
    QTimer::singleShot(0, this, &TFormMain::ShowEnding);
}

void TFormMain::ShowEnding()
{
    ReleaseView();
    disconnect(&m_Pad, &TPadInput::Pressed, m_pInput, &TCommandInput::PadPressed);
    m_pEnding->ShowEnding(this, m_Pad);
}

// The field's drawing area, its GL context and the renderer's textures and buffers: the ending
// screen needs the memory more.
void TFormMain::ReleaseView()
{
    setFocusProxy(nullptr);
    m_pLoop->SetViewer(nullptr);
    QWidget* pView = m_pViewer->getWidget();
    m_pViewer->setSceneGraph(nullptr);
    delete m_pViewer;
    m_pViewer = nullptr;
    // The binding leaves a viewer's widget to its parent: the drawing area and its context go here.
    delete pView;
}

void TFormMain::closeEvent(QCloseEvent* pEvent)
{
    pEvent->ignore();
    if (m_Driver.GetScene())
        ExitGame();
}

TFormMain::TStats TFormMain::GetStats() const
{
    TStats Stats;
    static_cast<TGameLoop::TStats&>(Stats) = m_pLoop->GetStats();
    Stats.nSplashShownMs = m_nSplashShownMs;
    if (Stats.nFirstFrameMs >= 0)
        Stats.nFirstFrameMs += m_nLoopStartMs - m_nStartMs;
    if (m_Driver.GetGame()) {
        Stats.bPlayed = true;
        Stats.nGameTicks = m_Driver.GetTicks();
        Stats.nScore = m_Driver.GetScore();
        Stats.nLevel = m_Driver.GetLevel();
    }
    return Stats;
}
