#pragma once
// Ticks and frames. Ticks go first: a precise 10 ms timer runs the ticks that are due (a late
// event runs the few it missed), only while the game's ticks are due, so a paused game costs
// nothing. The ticks are due on the play clock, which runs only while they do: a resumed game
// goes on from where it stopped instead of catching up on the pause.
//
// Frames are drawn between ticks: each shows the game as far from the last tick to the next as
// the play clock has gone (Present), so motion is even at any frame rate. While the game ticks,
// a frame is drawn once a refresh of the screen the window is on (following it to another
// screen), or at the player's cap; with vertical sync the swap waits for the refresh. While it
// does not, frames come only when the view needs one (exposed, resized, changed).
//
// The game's commands go to the driver here, between two ticks. While a replay plays, its own
// commands drive the game; pause then stops and resumes the playing, and faster plays it at
// twice, four and eight times the speed, then at its own again.

#include "core/Commands.h"
#include "core/PlayClock.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <vector>

class QScreen;
class QWindow;
class SoNodeSensor;
class SoSensor;
class TGameDriver;
class TGameViewer;

class TGameLoop : public QObject
{
    Q_OBJECT

public:
    // What a session measured, for --stats.
    struct TStats
    {
        qint64 nFirstFrameMs = -1;   // from Start to the first game frame drawn
        uint64_t nTicks = 0;         // game ticks run
        uint64_t nFrames = 0;        // game frames drawn
        uint64_t nDroppedTicks = 0;  // due ticks dropped because they were too late
        qint64 nPlayMs = 0;          // time the game timer has been running
        double dFrameRate = 0;       // the frames a second aimed at while the game ticks
        bool bVerticalSync = false;  // the swap waits for the screen's refresh
        double dFrameP50Ms = 0;      // the time from one frame to the next while the game ticks
        double dFrameP99Ms = 0;
        double dLatencyP50Ms = 0;    // from a steering command to the first frame that shows it
        double dLatencyMaxMs = 0;
        uint64_t nLatencies = 0;
    };
    static constexpr int MAX_REPLAY_SPEED = 8;
    // The refresh rates a screen may report, beyond which it is not believed.
    static constexpr double MIN_RATE = 24, MAX_RATE = 500, DEFAULT_RATE = 60;

    TGameLoop(TGameDriver& Driver, QObject* pParent);
    ~TGameLoop() override;

    // Frames are drawn into this viewer; null when the view has gone.
    void SetViewer(TGameViewer* pViewer);
    // Frames at the refresh rate of the screen pWindow is on, following it to another screen,
    // with the swap of pGLWidget waiting for the refresh where its GL driver can; at most
    // nMaxFps a second (0: as many as the screen shows).
    void PaceFrames(QWindow* pWindow, QWidget* pGLWidget, int nMaxFps);
    // Each frame's time, its play time, alpha, the ticks dropped so far and the places the
    // rocks' transforms show, one line a frame, to the regular file szPath names: what the
    // window draws, for measuring how evenly it moves. False when it cannot be written.
    bool TraceFramesTo(const char* szPath);

    // The game (or the replay) has started: its ticks run from now on.
    void Start();
    // One of the game's commands, now, between two ticks.
    void GameCommand(TCommand nCommand);
    // Faster: the replay's next speed.
    void Faster();
    // No more ticks or frames: the game is left.
    void Stop();

    // A frame, as soon as the pace of frames allows: the view needs one.
    void ScheduleFrame();

    TStats GetStats() const;
    bool IsReplayPaused() const { return m_bReplayPaused; }
    int GetReplaySpeed() const { return m_PlayClock.GetSpeed(); }

signals:
    // The game is over (once).
    void GameOver();
    // A replay has played all its ticks.
    void ReplayOver();
    // A replay's playing was paused, resumed or sped up.
    void PlaybackChanged();

private slots:
    void TimerGameTimer();
    void RenderFrame();

private:
    // The refresh rate of the screen the window is on (0 or nonsense: 60).
    void FollowScreen(QScreen* pScreen);
    bool TicksDue() const;
    void Rehearse();
    void Sync();
    qint64 WallUs() const { return m_Clock.nsecsElapsed() / 1000; }
    // The clock the ticks are due on: microseconds of play, sped up while a replay plays faster.
    uint64_t PlayClockUs() const { return m_PlayClock.PlayUs(WallUs()); }
    void RunTicks();
    void CheckEnds();
    qint64 FrameIntervalUs() const;
    void NoteFrame(qint64 nStartUs);
    void TraceFrame(qint64 nWallUs, uint64_t nPlayUs);
    static void SceneChanged(void* pData, SoSensor* pSensor);

    TGameDriver& m_Driver;
    TGameViewer* m_pViewer = nullptr;
    SoNodeSensor* m_pSceneSensor = nullptr;
    FILE* m_fpTrace = nullptr;
    QTimer m_TimerGame;
    QTimer m_TimerFrame;
    QElapsedTimer m_Clock;
    qint64 m_nStartMs = -1;
    qint64 m_nRunningSinceMs = -1;  // when the game timer was last switched on
    TPlayClock m_PlayClock;
    bool m_bReplayPaused = false;
    bool m_bStopped = false;
    bool m_bRendering = false;
    // Waiting for the window before the rehearsal: no frame is drawn and no tick run meanwhile.
    bool m_bRehearsing = false;
    bool m_bGameOverTold = false;
    bool m_bReplayOverTold = false;
    // The pace of frames.
    double m_dScreenRate = DEFAULT_RATE;
    int m_nMaxFps = 0;
    bool m_bVerticalSync = false;
    qint64 m_nNextFrameUs = 0;     // when the next frame is due while the game ticks
    qint64 m_nLastFrameUs = -1;    // when the last frame started
    // A steering command's way to the screen: when it came, and whether a tick has taken it.
    qint64 m_nCommandUs = -1;
    bool m_bCommandTicked = false;
    // How often each time came, in bins of 0.1 ms up to 200 ms (and one for longer): a long
    // game's thousands of frames in a fixed space.
    std::vector<uint64_t> m_vecFrameTimes;   // frame to frame while ticking
    std::vector<uint64_t> m_vecLatencies;
    TStats m_Stats;
};
