#include "ui/TFormMain.h"

#include "ui/TDlgEnding.h"
#include "ui/TFormSplash.h"
#include "ui/TGameViewer.h"
#include "ui/WindowNames.h"
#include "ui_TFormMain.h"

#include "core/Rules.h"
#include "core/SceneView.h"
#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"
#include "store/BestScores.h"
#include "store/PlayerSettings.h"

#include <Inventor/Qt/SoQt.h>
#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoNodeSensor.h>

#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>

#include <cmath>
#include <cstdio>

namespace {
const char STATUS_TEXT[] = "ESC/Q=exit    LEFT/RIGHT=rotate    UP=engine    SPACE-bar=shot    M=music on/off";
// No more frames than a screen shows, a little under 60 a second: on a software renderer every
// frame costs as much as several ticks.
constexpr int FRAME_MS = 17;
// A window manager that resizes the window again at once is given in to after this many tries:
// the view fits any size anyway.
constexpr int MAX_SHAPE_RESTORES = 3;
// Resizes from outside come in bursts; the window takes its shape back once they settle.
constexpr int SHAPE_SETTLE_MS = 50;
// Full screen shows the view at the shape that holds the field's whole width (the 800x600
// window's shape): width / height of the view.
const double FIELD_ASPECT = TRules::FIELD_HALF_WIDTH / (TSceneView::CAMERA_Z * std::tan(TSceneView::HEIGHT_ANGLE / 2));

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
      m_Options(Options),
      m_Driver(TGameDriver::CLOCK_REAL)
{
    m_Clock.start();
    m_pUi->setupUi(this);
    setWindowTitle(WindowNames::TITLE);
    setWindowRole(WindowNames::ROLE_GAME);
    m_pUi->LabelTitle->setText(WindowNames::TITLE);
    m_pUi->LabelStatus->setText(STATUS_TEXT);
    m_TimerGame.setTimerType(Qt::PreciseTimer);
    m_TimerGame.setInterval(static_cast<int>(TGameDriver::TICK_MS));
    connect(&m_TimerGame, &QTimer::timeout, this, &TFormMain::TimerGameTimer);
    m_TimerFrame.setSingleShot(true);
    m_TimerFrame.setTimerType(Qt::PreciseTimer);
    connect(&m_TimerFrame, &QTimer::timeout, this, &TFormMain::RenderFrame);
    m_TimerShape.setSingleShot(true);
    m_TimerShape.setInterval(SHAPE_SETTLE_MS);
    connect(&m_TimerShape, &QTimer::timeout, this, &TFormMain::RestoreShape);
    m_pUi->PanelClient->installEventFilter(this);
}

TFormMain::~TFormMain()
{
    delete m_pSceneSensor;
    // The viewer lets go of the scene before the driver drops the game.
    if (m_pViewer)
        m_pViewer->setSceneGraph(nullptr);
    delete m_pViewer;
}

bool TFormMain::FormCreate(int& nExitCode)
{
    // The scene library's sensors and timers run in this window's event loop from here on.
    SoQt::init(this);
    if (!OpenData(nExitCode))
        return false;
    m_pSettings = std::make_unique<TPlayerSettings>();
    m_pScores = std::make_unique<TBestScores>();
    if (!RunSplash()) {
        nExitCode = 0;
        return false;
    }
    InitGame();
    SetRunning(true);
    return true;
}

bool TFormMain::OpenData(int& nExitCode)
{
    const std::string strPath = m_Options.strDataFile.empty() ? TGameDriver::DefaultDataFile() : m_Options.strDataFile;
    std::string strError;
    if (m_Driver.Open(strPath, strError))
        return true;
    // Most of the bank's reasons name the file already.
    const std::string strReason = strError.rfind(strPath, 0) == 0 ? strError : strPath + ": " + strError;
    std::fprintf(stderr, "drelk2: %s\n", strReason.c_str());
    ShowBadDataFile();
    nExitCode = 255;
    return false;
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

// True when the player chose Start; the chosen size is then the window's.
bool TFormMain::RunSplash()
{
    auto pSplash = std::make_unique<TFormSplash>(this, m_Driver.GetBank(), m_Driver.GetSound());
    connect(pSplash.get(), &TFormSplash::Drawn, this, [this] {
        if (m_Stats.nSplashShownMs < 0)
            m_Stats.nSplashShownMs = m_Clock.elapsed();
        // Once the window shows and the sound device has settled: SDL starts its parts from
        // one thread at a time.
        QTimer::singleShot(0, this, [this] {
            m_Driver.GetSound()->HasDevice();
            m_Pad.Start();
        });
    });
    connect(&m_Pad, &TPadInput::Pressed, pSplash.get(), &TFormSplash::PadPressed);
    const int nResult = pSplash->exec();
    if (nResult != TFormSplash::RESULT_OK)
        return false;
    m_nWidth = pSplash->GetResolution().first;
    m_nHeight = pSplash->GetResolution().second;
    // A window whose counters would lie off screen is no choice: the screen is used whole.
    m_bFullScreen = m_Options.bFullScreen || m_pSettings->IsFullScreen() || !FitsScreen();
    // The start-up window and its music go now: the game needs the memory more.
    pSplash.reset();
    m_Driver.GetBank()->ReleaseSound(ID_PLAYLIST_MUSICS, ID_MUSIC_SPLASH);
    return true;
}

void TFormMain::InitGame()
{
    m_nStartMs = m_Clock.elapsed();
    m_Driver.Start(m_Options.nLevel);
    m_Driver.SetMusicOn(m_pSettings->IsMusicOn());
    CreateViewer();
    PlaceWindow();
    show();
    m_pViewer->show();
    m_pViewer->setEventCallback(ViewerEventCallback, this);
    // Every key goes to the viewer's drawing area, whose callback hands it to the game.
    setFocusProxy(m_pViewer->getGLWidget());
    m_pViewer->getGLWidget()->setFocus();
    activateWindow();
    connect(&m_Pad, &TPadInput::Pressed, this, &TFormMain::PadPressed);
    m_pSceneSensor = new SoNodeSensor(SceneChanged, this);
    m_pSceneSensor->setPriority(0);
    m_pSceneSensor->attach(m_Driver.GetScene());
    ScheduleFrame();
}

void TFormMain::CreateViewer()
{
    m_pViewer = new TGameViewer(m_pUi->PanelView, [this] { ScheduleFrame(); });
    m_pViewer->setDecoration(FALSE);
    m_pViewer->setSceneGraph(TSceneView::MakeViewerScene(m_Driver.GetScene()));
    m_pViewer->setTransparencyType(TSceneView::TRANSPARENCY);
    m_pViewer->setPopupMenuEnabled(FALSE);
    // The mouse does not turn the field, and the field's depth is known: no clipping planes
    // worked out from the scene for every frame.
    m_pViewer->setViewing(FALSE);
    m_pViewer->setAutoClipping(FALSE);
    // Frames are drawn by the form, at most one per screen refresh.
    m_pViewer->setAutoRedraw(FALSE);
    m_pViewer->viewAll();
    TSceneView::PlaceCamera(m_pViewer->getCamera());
}

// ---- the window's shape ----

bool TFormMain::FitsScreen() const
{
    const QSize Available = QGuiApplication::primaryScreen()->availableGeometry().size();
    return m_nWidth <= Available.width() && m_nHeight <= Available.height();
}

// The whole screen, or the chosen size centred on it. Toward zero, as in the original sizing.
QRect TFormMain::TargetGeometry() const
{
    const QRect Screen = QGuiApplication::primaryScreen()->geometry();
    if (m_bFullScreen)
        return Screen;
    return QRect((Screen.width() - m_nWidth) / 2, (Screen.height() - m_nHeight) / 2, m_nWidth, m_nHeight);
}

// A window may be moved, not resized; a full-screen one neither.
bool TFormMain::HasTargetShape() const
{
    const QRect Target = TargetGeometry();
    return m_bFullScreen ? geometry() == Target : size() == Target.size();
}

// The window manager is told (a fixed size, the full-screen state) and the window placed, as no
// window manager may be there to do it.
void TFormMain::PlaceWindow()
{
    const QRect Target = TargetGeometry();
    if (m_bFullScreen) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setWindowState(windowState() | Qt::WindowFullScreen);
    } else {
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        setFixedSize(Target.size());
    }
    m_nShapeRestores = 0;
    setGeometry(Target);
    LayOutView();
}

// The view fills the client panel; in full screen it keeps the field's shape, centred between
// black bars.
void TFormMain::LayOutView()
{
    const QSize Panel = m_pUi->PanelClient->size();
    QRect View(QPoint(0, 0), Panel);
    if (m_bFullScreen && Panel.height() > 0) {
        if (Panel.width() > Panel.height() * FIELD_ASPECT) {
            const int nWidth = qRound(Panel.height() * FIELD_ASPECT);
            View = QRect((Panel.width() - nWidth) / 2, 0, nWidth, Panel.height());
        } else {
            const int nHeight = qRound(Panel.width() / FIELD_ASPECT);
            View = QRect(0, (Panel.height() - nHeight) / 2, Panel.width(), nHeight);
        }
    }
    m_pUi->PanelView->setGeometry(View);
}

void TFormMain::ToggleFullScreen()
{
    if (m_bFullScreen && !FitsScreen())
        return;
    m_bFullScreen = !m_bFullScreen;
    m_pSettings->SetFullScreen(m_bFullScreen);
    PlaceWindow();
}

bool TFormMain::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pUi->PanelClient && pEvent->type() == QEvent::Resize)
        LayOutView();
    return QWidget::eventFilter(pWatched, pEvent);
}

void TFormMain::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    WatchShape();
}

void TFormMain::moveEvent(QMoveEvent* pEvent)
{
    QWidget::moveEvent(pEvent);
    WatchShape();
}

// Only a window manager that refuses the window's own shape keeps the count of tries rising.
void TFormMain::WatchShape()
{
    if (HasTargetShape())
        m_nShapeRestores = 0;
    else if (isVisible() && m_nShapeRestores < MAX_SHAPE_RESTORES)
        m_TimerShape.start();
}

void TFormMain::RestoreShape()
{
    if (HasTargetShape() || m_bLeaving)
        return;
    ++m_nShapeRestores;
    const QRect Target = TargetGeometry();
    if (m_bFullScreen)
        setGeometry(Target);
    else
        resize(Target.size());
}

// ---- the player away ----

void TFormMain::changeEvent(QEvent* pEvent)
{
    QWidget::changeEvent(pEvent);
    const bool bDeactivated = pEvent->type() == QEvent::ActivationChange && !isActiveWindow();
    const bool bMinimised = pEvent->type() == QEvent::WindowStateChange && isMinimized();
    if (bDeactivated || bMinimised)
        PauseForAbsence();
}

// The game waits, paused as with P, until the player presses P.
void TFormMain::PauseForAbsence()
{
    if (m_bLeaving || !m_Driver.GetGame() || !m_Driver.IsRunning())
        return;
    m_Driver.Pause();
    SyncTimer();
}

// ---- running, pausing, leaving ----

void TFormMain::SetRunning(bool bRun)
{
    m_Driver.SetRunning(bRun);
    SyncTimer();
}

void TFormMain::ToggleMusic()
{
    m_Driver.KeyDown(TGame::KEY_MUSIC);
    m_pSettings->SetMusicOn(m_Driver.IsMusicOn());
}

void TFormMain::TogglePause()
{
    m_Driver.KeyDown(TGame::KEY_PAUSE);
    SyncTimer();
}

// The game timer runs exactly while the game ticks; a resumed game starts its ticks afresh
// instead of catching up on the pause.
void TFormMain::SyncTimer()
{
    const bool bTicking = m_Driver.IsTicking() && !m_bLeaving;
    if (bTicking == m_TimerGame.isActive())
        return;
    const qint64 nNow = m_Clock.elapsed();
    if (bTicking) {
        m_Driver.RestartSchedule(static_cast<uint64_t>(nNow));
        m_nRunningSinceMs = nNow;
        m_TimerGame.start();
    } else {
        m_TimerGame.stop();
        m_Stats.nPlayMs += nNow - m_nRunningSinceMs;
    }
}

void TFormMain::HideGame()
{
    SetRunning(false);
    hide();
}

void TFormMain::ExitGame()
{
    if (m_bLeaving)
        return;
    HideGame();
    RecordScore();
    m_bLeaving = true;
    m_TimerFrame.stop();
    // The scene is never shown again: its clock of real time need not tick through it.
    SoDB::enableRealTimeSensor(FALSE);
    // From the event loop: the key that leaves arrives inside the viewer's own callback, and the
    // viewer goes before the ending screen.
    QTimer::singleShot(0, this, &TFormMain::ShowEnding);
}

void TFormMain::ShowEnding()
{
    ReleaseView();
    TDlgEnding Ending(this, m_Driver.GetBank(), m_Driver.GetSound());
    Ending.SetScoreLine(ScoreLine());
    disconnect(&m_Pad, &TPadInput::Pressed, this, &TFormMain::PadPressed);
    connect(&m_Pad, &TPadInput::Pressed, &Ending, &TDlgEnding::PadPressed);
    // The ending screen ends the program when it finishes.
    Ending.exec();
}

// The field's drawing area, its GL context and the renderer's textures and buffers: the ending
// screen needs the memory more.
void TFormMain::ReleaseView()
{
    setFocusProxy(nullptr);
    QWidget* pView = m_pViewer->getWidget();
    m_pViewer->setSceneGraph(nullptr);
    delete m_pViewer;
    m_pViewer = nullptr;
    // The binding leaves a viewer's widget to its parent: the drawing area and its context go here.
    delete pView;
}

// Once a game, when it is over or the player leaves it.
void TFormMain::RecordScore()
{
    if (m_bScoreRecorded)
        return;
    m_bScoreRecorded = true;
    m_nScorePlace = m_pScores->Record(m_Driver.GetScore(), m_Driver.GetLevel(), QDateTime::currentDateTimeUtc());
}

QString TFormMain::ScoreLine() const
{
    const QString strScore = QString("Score %1").arg(m_Driver.GetScore());
    if (!m_pScores->IsKept() || m_pScores->GetBest() == 0)
        return strScore;
    if (m_nScorePlace == 1)
        return strScore + "   New best!";
    return strScore + QString("   Best %1").arg(m_pScores->GetBest());
}

void TFormMain::closeEvent(QCloseEvent* pEvent)
{
    pEvent->ignore();
    if (m_Driver.GetScene())
        ExitGame();
}

// ---- keys ----

SbBool TFormMain::ViewerEventCallback(void* pViewer, QEvent* pEvent)
{
    auto* pForm = static_cast<TFormMain*>(pViewer);
    if (pEvent->type() != QEvent::KeyPress)
        return FALSE;
    auto* pKey = static_cast<QKeyEvent*>(pEvent);
    pForm->OnKeyDown(pKey);
    // The arrows and S would move the viewer's camera.
    switch (pKey->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_S:
        return TRUE;
    default:
        return FALSE;
    }
}

void TFormMain::OnKeyDown(QKeyEvent* pEvent)
{
    switch (pEvent->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Q: ExitGame(); break;
    case Qt::Key_M: ToggleMusic(); break;
    case Qt::Key_P: TogglePause(); break;
    case Qt::Key_F11: ToggleFullScreen(); break;
    case Qt::Key_Left: m_Driver.KeyDown(TGame::KEY_LEFT); break;
    case Qt::Key_Right: m_Driver.KeyDown(TGame::KEY_RIGHT); break;
    case Qt::Key_Up: m_Driver.KeyDown(TGame::KEY_UP); break;
    case Qt::Key_Space: m_Driver.KeyDown(TGame::KEY_SPACE); break;
    default: break;
    }
}

void TFormMain::PadPressed(TGamepad::TButton nButton)
{
    switch (nButton) {
    case TGamepad::PAD_LEFT: m_Driver.KeyDown(TGame::KEY_LEFT); break;
    case TGamepad::PAD_RIGHT: m_Driver.KeyDown(TGame::KEY_RIGHT); break;
    case TGamepad::PAD_THRUST: m_Driver.KeyDown(TGame::KEY_UP); break;
    case TGamepad::PAD_FIRE: m_Driver.KeyDown(TGame::KEY_SPACE); break;
    case TGamepad::PAD_START: TogglePause(); break;
    case TGamepad::PAD_BACK: ExitGame(); break;
    default: break;
    }
}

// ---- ticks and frames ----

void TFormMain::TimerGameTimer()
{
    m_Stats.nTicks += static_cast<uint64_t>(m_Driver.RunDueTicks(static_cast<uint64_t>(m_Clock.elapsed())));
    if (!m_bScoreRecorded && m_Driver.IsGameOver())
        RecordScore();
}

void TFormMain::SceneChanged(void* pData, SoSensor* /*pSensor*/)
{
    static_cast<TFormMain*>(pData)->ScheduleFrame();
}

// The next frame, as soon as one screen refresh has passed since the last.
void TFormMain::ScheduleFrame()
{
    // Changes made while a frame is being made are in that frame.
    if (m_bRendering || m_TimerFrame.isActive() || m_bLeaving)
        return;
    const qint64 nWait = m_nLastFrameMs + FRAME_MS - m_Clock.elapsed();
    m_TimerFrame.start(static_cast<int>(std::max<qint64>(0, nWait)));
}

void TFormMain::RenderFrame()
{
    if (!m_pViewer || !isVisible())
        return;
    // Ticks go first: the frame shows the game as it is now.
    m_bRendering = true;
    if (m_TimerGame.isActive())
        TimerGameTimer();
    m_nLastFrameMs = m_Clock.elapsed();
    m_pViewer->render();
    m_bRendering = false;
    ++m_Stats.nFrames;
    if (m_Stats.nFirstFrameMs < 0)
        m_Stats.nFirstFrameMs = m_Clock.elapsed() - m_nStartMs;
    if (m_pViewer->OwesFrame())
        ScheduleFrame();
}

TFormMain::TStats TFormMain::GetStats() const
{
    TStats Stats = m_Stats;
    Stats.nDroppedTicks = m_Driver.GetDroppedTicks();
    if (m_TimerGame.isActive())
        Stats.nPlayMs += m_Clock.elapsed() - m_nRunningSinceMs;
    return Stats;
}
