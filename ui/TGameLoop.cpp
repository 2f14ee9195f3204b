#include "ui/TGameLoop.h"

#include "ui/TGameViewer.h"
#include "ui/TSwapControl.h"

#include "base/Assert.h"
#include "core/GameDriver.h"
#include "core/GameScene.h"
#include "objects/AsteroidShape.h"
#include "objects/Asteroids.h"

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>
#include <Inventor/sensors/SoNodeSensor.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QWindow>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace {
// Frames drawn unseen before play, with and without what is rehearsed: enough for the scene
// library to cache what stays the same.
constexpr int REHEARSED_FRAMES = 3;
// How long the rehearsal waits for the window to come on screen: a window manager maps a new
// window within a few frames; past this the rehearsal is drawn without it.
constexpr qint64 EXPOSE_WAIT_MS = 500;
constexpr size_t HISTOGRAM_BINS = 2001;  // 0.1 ms each, the last for 200 ms and more
// With vertical sync the timer comes a little before the refresh and the swap waits for it:
// frames lock to the screen instead of now and then missing a refresh.
constexpr double VSYNC_LEAD = 0.9;

void Count(std::vector<uint64_t>& vecHistogram, qint64 nUs)
{
    vecHistogram[std::min<size_t>(HISTOGRAM_BINS - 1, static_cast<size_t>(std::max<qint64>(0, nUs) / 100))]++;
}

// The time below which a share of the counted times lie, in ms.
double Percentile(const std::vector<uint64_t>& vecHistogram, double dShare)
{
    uint64_t nTotal = 0;
    for (uint64_t n : vecHistogram)
        nTotal += n;
    if (nTotal == 0)
        return 0;
    const uint64_t nRank = static_cast<uint64_t>(std::ceil(dShare * static_cast<double>(nTotal)));
    uint64_t nSeen = 0;
    for (size_t i = 0; i < vecHistogram.size(); ++i) {
        nSeen += vecHistogram[i];
        if (nSeen >= std::max<uint64_t>(1, nRank))
            return (static_cast<double>(i) + 0.5) / 10.0;
    }
    return 0;
}
}  // namespace

TGameLoop::TGameLoop(TGameDriver& Driver, QObject* pParent)
    : QObject(pParent), m_Driver(Driver), m_vecFrameTimes(HISTOGRAM_BINS), m_vecLatencies(HISTOGRAM_BINS)
{
    m_Clock.start();
    m_TimerGame.setTimerType(Qt::PreciseTimer);
    m_TimerGame.setInterval(static_cast<int>(TGameDriver::TICK_MS));
    connect(&m_TimerGame, &QTimer::timeout, this, &TGameLoop::TimerGameTimer);
    m_TimerFrame.setSingleShot(true);
    m_TimerFrame.setTimerType(Qt::PreciseTimer);
    connect(&m_TimerFrame, &QTimer::timeout, this, &TGameLoop::RenderFrame);
}

TGameLoop::~TGameLoop()
{
    delete m_pSceneSensor;
    if (m_fpTrace)
        std::fclose(m_fpTrace);
}

void TGameLoop::SetViewer(TGameViewer* pViewer)
{
    m_pViewer = pViewer;
    if (!m_pViewer)
        m_TimerFrame.stop();
}

void TGameLoop::PaceFrames(QWindow* pWindow, QWidget* pGLWidget, int nMaxFps)
{
    m_nMaxFps = std::max(0, nMaxFps);
    m_bVerticalSync = TSwapControl::WaitForRefresh(pGLWidget);
    FollowScreen(pWindow->screen());
    connect(pWindow, &QWindow::screenChanged, this, &TGameLoop::FollowScreen);
}

void TGameLoop::FollowScreen(QScreen* pScreen)
{
    const double dHz = pScreen ? pScreen->refreshRate() : 0.0;
    m_dScreenRate = std::isfinite(dHz) && dHz >= MIN_RATE && dHz <= MAX_RATE ? dHz : DEFAULT_RATE;
}

bool TGameLoop::TraceFramesTo(const char* szPath)
{
    // Opened so that a FIFO there cannot hold the game, and written only if a regular file.
    const int nFd = open(szPath, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (nFd < 0)
        return false;
    struct stat St;
    if (fstat(nFd, &St) != 0 || !S_ISREG(St.st_mode) || !(m_fpTrace = fdopen(nFd, "w"))) {
        close(nFd);
        return false;
    }
    return true;
}

qint64 TGameLoop::FrameIntervalUs() const
{
    double dRate = m_dScreenRate;
    if (m_nMaxFps > 0 && m_nMaxFps < dRate)
        dRate = m_nMaxFps;
    const double dUs = 1e6 / dRate;
    // Only at the screen's own rate does the swap's wait keep the pace.
    const bool bSwapPaces = m_bVerticalSync && dRate == m_dScreenRate;
    return static_cast<qint64>(std::llround(bSwapPaces ? dUs * VSYNC_LEAD : dUs));
}

void TGameLoop::Start()
{
    DRELK_ASSERT(m_Driver.GetScene());
    m_nStartMs = m_Clock.elapsed();
    m_pSceneSensor = new SoNodeSensor(SceneChanged, this);
    m_pSceneSensor->setPriority(0);
    m_pSceneSensor->attach(m_Driver.GetScene());
    Rehearse();
    m_PlayClock.RestartSchedule(PlayClockUs());
    Sync();
    ScheduleFrame();
}

// Before the first frame, everything the game may show later is drawn once unseen, so that no
// first shot, explosion or "Game Over" has the renderer stop the game to get it ready.
void TGameLoop::Rehearse()
{
    TGameScene* pScene = m_Driver.GetGameScene();
    if (!m_pViewer || !pScene)
        return;
    const SbBool bNotify = m_pSceneSensor->isScheduled();
    // The scene library caches the parts that stay the same after they have been drawn a few
    // times unchanged: each draw here is written as a frame writes it (what moves, moved), so
    // those caches are made now and not at the third frame of play.
    // The software renderer takes the window's size from the frames shown: two are, the game as
    // it starts, so that the rehearsal is drawn at the size play will be and nothing is made
    // again at the first frames of play. They need the window on screen: it is waited for, the
    // player's input left for the game.
    QElapsedTimer Waited;
    Waited.start();
    m_bRehearsing = true;
    while (!m_pViewer->IsExposed() && Waited.elapsed() < EXPOSE_WAIT_MS)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 10);
    m_bRehearsing = false;
    for (int i = 0; i < 2 && m_pViewer->IsExposed(); ++i) {
        m_Driver.Present(0.0);
        m_pViewer->DrawUnseen(true);
    }
    pScene->Rehearse(true);
    for (int i = 0; i < REHEARSED_FRAMES; ++i) {
        m_Driver.Present(0.0);
        m_pViewer->DrawUnseen();
    }
    pScene->Rehearse(false);
    for (int i = 0; i < REHEARSED_FRAMES; ++i) {
        m_Driver.Present(0.0);
        m_pViewer->DrawUnseen();
    }
    if (!bNotify)
        m_pSceneSensor->unschedule();
}

void TGameLoop::GameCommand(TCommand nCommand)
{
    DRELK_ASSERT(IsGameCommand(nCommand));
    if (m_bStopped)
        return;
    if (!m_Driver.IsReplaying()) {
        if (nCommand < CMD_PAUSE && m_nCommandUs < 0 && m_Driver.IsTicking()) {
            m_nCommandUs = WallUs();
            m_bCommandTicked = false;
        }
        m_Driver.Command(nCommand);
    } else if (nCommand == CMD_PAUSE) {
        m_bReplayPaused = !m_bReplayPaused;
        emit PlaybackChanged();
    }
    Sync();
}

void TGameLoop::Faster()
{
    if (!m_Driver.IsReplaying() || m_bStopped)
        return;
    const int nSpeed = m_PlayClock.GetSpeed();
    m_PlayClock.SetSpeed(nSpeed >= MAX_REPLAY_SPEED ? 1 : nSpeed * 2, WallUs());
    emit PlaybackChanged();
}

void TGameLoop::Stop()
{
    m_bStopped = true;
    Sync();
    m_TimerFrame.stop();
}

bool TGameLoop::TicksDue() const
{
    if (m_bStopped || !m_Driver.GetGame())
        return false;
    // A replay steps through its pauses too, as they were recorded.
    if (m_Driver.IsReplaying())
        return !m_bReplayPaused && !m_Driver.IsReplayOver();
    return m_Driver.IsTicking();
}

// The game timer and the play clock run exactly while ticks are due; stopped, the play clock
// holds, and with it the frames' place between two ticks.
void TGameLoop::Sync()
{
    const bool bDue = TicksDue();
    if (bDue == m_TimerGame.isActive())
        return;
    const qint64 nNowMs = m_Clock.elapsed();
    m_PlayClock.Run(bDue, WallUs());
    if (bDue) {
        m_nRunningSinceMs = nNowMs;
        m_TimerGame.start();
        m_nNextFrameUs = WallUs();
        ScheduleFrame();
    } else {
        m_TimerGame.stop();
        m_Stats.nPlayMs += nNowMs - m_nRunningSinceMs;
        m_nCommandUs = -1;
    }
}

void TGameLoop::TimerGameTimer()
{
    if (m_bRehearsing)
        return;
    RunTicks();
}

void TGameLoop::RunTicks()
{
    const int nRan = m_PlayClock.TakeDueTicks(PlayClockUs());
    for (int i = 0; i < nRan; ++i)
        m_Driver.Step();
    m_Stats.nTicks += static_cast<uint64_t>(nRan);
    if (nRan > 0 && m_nCommandUs >= 0)
        m_bCommandTicked = true;
    CheckEnds();
}

void TGameLoop::CheckEnds()
{
    if (!m_bGameOverTold && m_Driver.IsGameOver()) {
        m_bGameOverTold = true;
        emit GameOver();
    }
    if (!m_bReplayOverTold && m_Driver.IsReplayOver()) {
        m_bReplayOverTold = true;
        Sync();
        emit ReplayOver();
    }
}

void TGameLoop::SceneChanged(void* pData, SoSensor* /*pSensor*/)
{
    static_cast<TGameLoop*>(pData)->ScheduleFrame();
}

void TGameLoop::ScheduleFrame()
{
    // Changes made while a frame is being made are in that frame.
    if (m_bRendering || m_TimerFrame.isActive() || m_bStopped || !m_pViewer)
        return;
    const qint64 nNowUs = WallUs();
    // While the game ticks, frames keep their pace from one to the next; otherwise a frame comes
    // one interval after the last at the soonest.
    qint64 nDueUs = m_TimerGame.isActive() ? m_nNextFrameUs : m_nLastFrameUs + FrameIntervalUs();
    if (m_nLastFrameUs < 0)
        nDueUs = nNowUs;
    m_TimerFrame.start(static_cast<int>(std::max<qint64>(0, nDueUs - nNowUs) / 1000));
}

void TGameLoop::RenderFrame()
{
    if (!m_pViewer || m_bStopped || m_bRehearsing)
        return;
    const qint64 nStartUs = WallUs();
    // Ticks go first: the frame shows the game as it is now, between the last tick and the next.
    m_bRendering = true;
    if (m_TimerGame.isActive())
        RunTicks();
    // The ticks may have ended the game's view (a replay over): nothing to draw then.
    if (m_pViewer && !m_bStopped) {
        const uint64_t nPlayUs = PlayClockUs();
        m_Driver.Present(m_PlayClock.AlphaAt(nPlayUs));
        m_pViewer->render();
        NoteFrame(nStartUs);
        TraceFrame(nStartUs, nPlayUs);
    }
    m_bRendering = false;
    if (m_TimerGame.isActive()) {
        // The next frame one interval after this one was due, or after now when it came late.
        m_nNextFrameUs = std::max(m_nNextFrameUs + FrameIntervalUs(), WallUs() - FrameIntervalUs() / 2);
        ScheduleFrame();
    } else if (m_pViewer && m_pViewer->OwesFrame()) {
        ScheduleFrame();
    }
}

void TGameLoop::NoteFrame(qint64 nStartUs)
{
    ++m_Stats.nFrames;
    if (m_Stats.nFirstFrameMs < 0)
        m_Stats.nFirstFrameMs = m_Clock.elapsed() - m_nStartMs;
    if (m_TimerGame.isActive() && m_nLastFrameUs >= 0)
        Count(m_vecFrameTimes, nStartUs - m_nLastFrameUs);
    m_nLastFrameUs = nStartUs;
    if (m_bCommandTicked) {
        Count(m_vecLatencies, WallUs() - m_nCommandUs);
        ++m_Stats.nLatencies;
        m_nCommandUs = -1;
        m_bCommandTicked = false;
    }
}

void TGameLoop::TraceFrame(qint64 nWallUs, uint64_t nPlayUs)
{
    if (!m_fpTrace || !m_Driver.GetGame())
        return;
    std::fprintf(m_fpTrace, "%lld %llu %.4f %llu", static_cast<long long>(nWallUs),
                 static_cast<unsigned long long>(nPlayUs), m_PlayClock.AlphaAt(nPlayUs),
                 static_cast<unsigned long long>(m_PlayClock.GetDroppedTicks()));
    const TGameScene* pScene = m_Driver.GetGameScene();
    for (const TAsteroid* pRock : m_Driver.GetGame()->GetAsteroids()) {
        const TAsteroidShape* pShape = pScene ? pScene->FindRock(pRock->GetSerial()) : nullptr;
        if (!pShape)
            continue;
        const SbVec3f vShown = pShape->GetTransform()->translation.getValue();
        std::fprintf(m_fpTrace, " %.4f %.4f", vShown[0], vShown[1]);
    }
    std::fputc('\n', m_fpTrace);
}

TGameLoop::TStats TGameLoop::GetStats() const
{
    TStats Stats = m_Stats;
    Stats.nDroppedTicks = m_PlayClock.GetDroppedTicks();
    if (m_TimerGame.isActive())
        Stats.nPlayMs += m_Clock.elapsed() - m_nRunningSinceMs;
    Stats.dFrameRate = m_nMaxFps > 0 && m_nMaxFps < m_dScreenRate ? m_nMaxFps : m_dScreenRate;
    Stats.bVerticalSync = m_bVerticalSync;
    Stats.dFrameP50Ms = Percentile(m_vecFrameTimes, 0.50);
    Stats.dFrameP99Ms = Percentile(m_vecFrameTimes, 0.99);
    Stats.dLatencyP50Ms = Percentile(m_vecLatencies, 0.50);
    Stats.dLatencyMaxMs = Percentile(m_vecLatencies, 1.0);
    return Stats;
}
