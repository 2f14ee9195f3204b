#include "ui/TGameLoop.h"

#include "ui/TGameViewer.h"

#include "base/Assert.h"
#include "core/GameDriver.h"

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoNodeSensor.h>

#include <algorithm>

namespace {
// No more frames than a screen shows, a little under 60 a second: on a software renderer every
// frame costs as much as several ticks.
constexpr int FRAME_MS = 17;
}  // namespace

TGameLoop::TGameLoop(TGameDriver& Driver, QObject* pParent) : QObject(pParent), m_Driver(Driver)
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
}

void TGameLoop::SetViewer(TGameViewer* pViewer)
{
    m_pViewer = pViewer;
    if (!m_pViewer)
        m_TimerFrame.stop();
}

void TGameLoop::Start()
{
    DRELK_ASSERT(m_Driver.GetScene());
    m_nStartMs = m_Clock.elapsed();
    m_pSceneSensor = new SoNodeSensor(SceneChanged, this);
    m_pSceneSensor->setPriority(0);
    m_pSceneSensor->attach(m_Driver.GetScene());
    Sync();
    ScheduleFrame();
}

void TGameLoop::GameCommand(TCommand nCommand)
{
    DRELK_ASSERT(IsGameCommand(nCommand));
    if (m_bStopped)
        return;
    if (!m_Driver.IsReplaying()) {
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
    m_nPlayBaseMs = PlayClockMs();
    m_nWallBaseMs = m_Clock.elapsed();
    m_nSpeed = m_nSpeed >= MAX_REPLAY_SPEED ? 1 : m_nSpeed * 2;
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

uint64_t TGameLoop::PlayClockMs() const
{
    return m_nPlayBaseMs + static_cast<uint64_t>(m_Clock.elapsed() - m_nWallBaseMs) * static_cast<uint64_t>(m_nSpeed);
}

// The game timer runs exactly while ticks are due.
void TGameLoop::Sync()
{
    const bool bDue = TicksDue();
    if (bDue == m_TimerGame.isActive())
        return;
    const qint64 nNow = m_Clock.elapsed();
    if (bDue) {
        m_nPlayBaseMs = PlayClockMs();
        m_nWallBaseMs = nNow;
        m_Driver.RestartSchedule(m_nPlayBaseMs);
        m_nRunningSinceMs = nNow;
        m_TimerGame.start();
    } else {
        m_TimerGame.stop();
        m_Stats.nPlayMs += nNow - m_nRunningSinceMs;
    }
}

void TGameLoop::TimerGameTimer()
{
    const int nRan = m_Driver.RunDueTicks(PlayClockMs(), TGameDriver::MAX_DUE_TICKS * m_nSpeed);
    m_Stats.nTicks += static_cast<uint64_t>(nRan);
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
    const qint64 nWait = m_nLastFrameMs + FRAME_MS - m_Clock.elapsed();
    m_TimerFrame.start(static_cast<int>(std::max<qint64>(0, nWait)));
}

void TGameLoop::RenderFrame()
{
    if (!m_pViewer || m_bStopped)
        return;
    // Ticks go first: the frame shows the game as it is now.
    m_bRendering = true;
    if (m_TimerGame.isActive())
        TimerGameTimer();
    m_nLastFrameMs = m_Clock.elapsed();
    // The ticks may have ended the game's view (a replay over): nothing to draw then.
    if (m_pViewer && !m_bStopped) {
        m_pViewer->render();
        ++m_Stats.nFrames;
        if (m_Stats.nFirstFrameMs < 0)
            m_Stats.nFirstFrameMs = m_Clock.elapsed() - m_nStartMs;
    }
    m_bRendering = false;
    if (m_pViewer && m_pViewer->OwesFrame())
        ScheduleFrame();
}

TGameLoop::TStats TGameLoop::GetStats() const
{
    TStats Stats = m_Stats;
    Stats.nDroppedTicks = m_Driver.GetDroppedTicks();
    if (m_TimerGame.isActive())
        Stats.nPlayMs += m_Clock.elapsed() - m_nRunningSinceMs;
    return Stats;
}
