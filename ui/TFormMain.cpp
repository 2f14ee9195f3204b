#include "ui/TFormMain.h"

#include "ui/TCommandInput.h"
#include "ui/TFormSplash.h"
#include "ui/TGameEnding.h"
#include "ui/TGameViewer.h"
#include "ui/TPlayerAway.h"
#include "ui/TReplayPicker.h"
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

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {
const char DEMO_STATUS[] = "DEMO    any key, click or pad button: back to the start-up window";

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
    NewSession();
}

// A fresh loop for the next game or replay.
void TFormMain::NewSession()
{
    delete m_pLoop;
    m_pLoop = new TGameLoop(m_Driver, this);
    connect(m_pLoop, &TGameLoop::GameOver, this, [this] { m_pEnding->GameOver(); });
    connect(m_pLoop, &TGameLoop::ReplayOver, this, [this] { m_nSession == SESSION_DEMO ? EndDemo() : ExitGame(); });
    connect(m_pLoop, &TGameLoop::PlaybackChanged, this, &TFormMain::ShowStatus);
    m_bLeaving = false;
    m_pShape->Resume();
}

TFormMain::~TFormMain()
{
    qApp->removeEventFilter(this);
    // The start-up window's music goes before the sound manager.
    m_pSplash.reset();
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
        m_nSession = SESSION_REPLAY;
        if (!StartReplay(nExitCode))
            return false;
        InitGame();
        return true;
    }
    // A file that is not there, or is no data file at all, is refused before any window;
    // the whole check waits until the start-up window is on screen.
    std::string strError;
    if (!TDataBanker::Glance(DataFile(), strError)) {
        RefuseData(NamingTheFile(strError), nExitCode);
        return false;
    }
    return RunStartUp(nExitCode);
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
                             TKeptFiles::SayOnStandardError, m_pSettings->GetKeys("keys"));
    ApplyVolumes(false);
    m_Driver.SetEffectsDetail(EffectsDetail());
    m_pEnding = std::make_unique<TGameEnding>(m_Driver);
    return true;
}

// The player's volumes, or none while a demo plays silent.
void TFormMain::ApplyVolumes(bool bSilent)
{
    TFModSoundManager* pSound = m_Driver.GetSound();
    pSound->SetGroupVolume(SOUND_MUSIC, bSilent ? 0.0f : static_cast<float>(m_pSettings->GetMusicVolume()) / 100.0f);
    pSound->SetGroupVolume(SOUND_EFFECTS, bSilent ? 0.0f : static_cast<float>(m_pSettings->GetEffectsVolume()) / 100.0f);
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

// The start-up window, made once and kept while replays and the demo play from it; it shows
// before the data file is read, which is read and checked whole once the window is on screen.
void TFormMain::MakeSplash()
{
    m_pSplash = std::make_unique<TFormSplash>(this);
    TFormSplash* pWindow = m_pSplash.get();
    connect(pWindow, &TFormSplash::Drawn, this, [this, pWindow] {
        if (m_nSplashShownMs < 0)
            m_nSplashShownMs = m_Clock.elapsed();
        // Once the window is on screen: the data file read and checked whole, then its music and
        // what the player has (scores, replays, keys, choices), and the sound device and the
        // pads once it has settled (SDL starts its parts from one thread at a time). Gone with
        // the window when the player leaves first.
        QTimer::singleShot(0, pWindow, [this, pWindow] {
            if (!OpenData(m_strRefused)) {
                pWindow->done(TFormSplash::RESULT_CANCEL);
                return;
            }
            pWindow->SetPlayer({&m_Driver, m_pSettings.get(), &m_Bindings, &m_Pad});
            pWindow->DataOpened(m_Driver.GetBank(), m_Driver.GetSound());
            QTimer::singleShot(0, this, [this] {
                LoadGl();
                m_Driver.GetSound()->HasDevice();
                m_Pad.Start();
            });
        });
    });
    connect(&m_Pad, &TPadInput::Pressed, pWindow, &TFormSplash::PadPressed);
    connect(pWindow, &TFormSplash::Idle, this, &TFormMain::OnIdle);
}

// The start-up window until a game, a replay or the demo starts. False, with the exit status,
// when the player left or the data file was refused.
bool TFormMain::RunStartUp(int& nExitCode)
{
    if (!m_pSplash)
        MakeSplash();
    for (;;) {
        const int nResult = m_pSplash->exec();
        // Started before the check came round: it comes now.
        if (m_strRefused.empty() && nResult == TFormSplash::RESULT_OK)
            OpenData(m_strRefused);
        if (!m_strRefused.empty()) {
            m_pSplash.reset();
            RefuseData(m_strRefused, nExitCode);
            return false;
        }
        switch (nResult) {
        case TFormSplash::RESULT_OK: StartGame(); return true;
        case TFormSplash::RESULT_WATCH:
            if (StartWatching(*m_pSplash->GetReplay(), m_pSplash->GetReplayPath(), SESSION_WATCH))
                return true;
            break;
        case TFormSplash::RESULT_DEMO:
            if (m_pDemo && StartWatching(*m_pDemo, QString(), SESSION_DEMO))
                return true;
            break;
        default: nExitCode = 0; return false;
        }
    }
}

// The player pressed Start: the chosen size is the window's.
void TFormMain::StartGame()
{
    m_nSession = SESSION_GAME;
    m_nStartMs = m_Clock.elapsed();
    m_pShape->SetChosenSize(QSize(m_pSplash->GetResolution().first, m_pSplash->GetResolution().second));
    // The game opens where the player looked.
    m_pShape->SetScreen(m_pSplash->screen());
    // A window whose counters would lie off screen is no choice: the screen is used whole.
    m_pShape->SetFullScreen(m_Options.bFullScreen || m_pSettings->IsFullScreen() || !m_pShape->FitsScreen());
    // The start-up window and its music go now: the game needs the memory more.
    m_pSplash.reset();
    m_Driver.GetBank()->ReleaseSound(ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH);
    NewSession();
    m_Driver.SetEffectsDetail(EffectsDetail());
    m_Driver.Start(m_Options.nLevel);
    // The music as the player left it last time: a command of the game's, so the replay has it.
    if (m_Driver.IsMusicOn() != m_pSettings->IsMusicOn())
        m_Driver.Command(CMD_MUSIC);
    InitGame();
}

// A replay watched from the start-up window, or the demo, in a window of the size chosen there;
// the start-up window waits, hidden, to come back. False, said, when it cannot be played.
bool TFormMain::StartWatching(const TReplay& Replay, const QString& strPath, TSession nSession)
{
    m_Driver.SetEffectsDetail(EffectsDetail());
    std::string strError;
    if (!m_Driver.StartReplay(Replay, strError)) {
        std::fprintf(stderr, "drelk2: %s: %s\n", qPrintable(strPath), strError.c_str());
        return false;
    }
    m_nSession = nSession;
    m_nStartMs = m_Clock.elapsed();
    m_pShape->SetChosenSize(QSize(m_pSplash->GetResolution().first, m_pSplash->GetResolution().second));
    m_pShape->SetScreen(m_pSplash->screen());
    // The demo stays in its window; a replay watched is shown as the player plays.
    const bool bFullScreen = nSession == SESSION_WATCH && (m_Options.bFullScreen || m_pSettings->IsFullScreen());
    m_pShape->SetFullScreen(bFullScreen || !m_pShape->FitsScreen());
    // A player who switched the music off hears no demo.
    ApplyVolumes(nSession == SESSION_DEMO && !m_pSettings->IsMusicOn());
    NewSession();
    InitGame();
    if (nSession == SESSION_DEMO)
        qApp->installEventFilter(this);
    return true;
}

// The start-up window was left untouched: the demo, when there is one and it is wanted.
void TFormMain::OnIdle()
{
    if (!m_pSettings || !m_pSettings->IsAttractOn())
        return;
    QString strPath;
    m_pDemo = TReplayPicker::Demo(m_Driver, strPath);
    if (m_pDemo)
        m_pSplash->StartDemo();
}

// Any key, click or pad button, the player away, or the demo's end: the start-up window comes
// back as it was, first, and the view goes after.
void TFormMain::EndDemo()
{
    if (m_bLeaving)
        return;
    m_bLeaving = true;
    qApp->removeEventFilter(this);
    disconnect(&m_Pad, &TPadInput::Pressed, this, &TFormMain::EndDemo);
    m_pShape->Stop();
    m_pLoop->Stop();
    m_Driver.Leave();
    hide();
    QTimer::singleShot(0, this, &TFormMain::BackToStartUp);
}

bool TFormMain::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    const QEvent::Type nType = pEvent->type();
    if (m_nSession == SESSION_DEMO && !m_bLeaving &&
        (nType == QEvent::KeyPress || nType == QEvent::MouseButtonPress || nType == QEvent::ShortcutOverride)) {
        // The press ends the demo and does nothing else.
        if (nType != QEvent::ShortcutOverride)
            EndDemo();
        pEvent->accept();
        return true;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

void TFormMain::BackToStartUp()
{
    ApplyVolumes(false);
    // While the start-up window shows again.
    QTimer::singleShot(0, this, &TFormMain::ReleaseView);
    int nExitCode = 0;
    if (!RunStartUp(nExitCode))
        QCoreApplication::exit(nExitCode);
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
    if (m_nSession == SESSION_DEMO)
        connect(&m_Pad, &TPadInput::Pressed, this, &TFormMain::EndDemo);
    else
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
    // The viewer follows its panel's resizes; a panel that keeps the size an earlier viewer had
    // sends none.
    m_pViewer->getWidget()->setGeometry(m_pUi->PanelView->rect());
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

// How many sparks and fragments the settings ask for (a bad word named, once, and the default
// kept). Read again for each game or replay: the options may have changed it meanwhile.
TEffectsDetail TFormMain::EffectsDetail()
{
    const QString strValue = m_pSettings->GetValue("effects").trimmed();
    TEffectsDetail nDetail = TFxDebris::DEFAULT_DETAIL;
    if (!strValue.isEmpty() && !TFxDebris::ParseDetail(strValue.toStdString(), nDetail) && !m_bEffectsSaid) {
        m_bEffectsSaid = true;
        TKeptFiles::SayOnStandardError("settings: effects: '" + strValue.left(40).toStdString() +
                                       "' is not low, normal or high; normal kept");
    }
    return nDetail;
}

void TFormMain::ShowStatus()
{
    if (m_nSession == SESSION_DEMO) {
        m_pUi->LabelStatus->setText(DEMO_STATUS);
        return;
    }
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
    if (m_nSession == SESSION_DEMO)
        return EndDemo();
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
    const bool bWatched = m_nSession == SESSION_WATCH;
    m_pEnding->ShowEnding(this, m_Pad, !bWatched);
    if (bWatched)
        BackToStartUp();
}

// The field's drawing area, its GL context and the renderer's textures and buffers: the ending
// screen needs the memory more.
void TFormMain::ReleaseView()
{
    if (!m_pViewer)
        return;
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
    if (m_nSession == SESSION_DEMO)
        EndDemo();
    else if (m_Driver.GetScene())
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
