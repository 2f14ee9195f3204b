#pragma once
// Ticks and frames. Ticks go first: a precise 10 ms timer runs the ticks that are due (a late
// event runs the few it missed), only while the game's ticks are due, so a paused game costs
// nothing; a resumed game starts its ticks afresh instead of catching up on the pause. Frames
// are drawn only when the scene changed or the view was exposed or resized, at most about 60 a
// second, so a slow frame on a software renderer slows neither the game nor the keys.
//
// The game's commands go to the driver here, between two ticks. While a replay plays, its own
// commands drive the game; pause then stops and resumes the playing, and faster plays it at
// twice, four and eight times the speed, then at its own again.

#include "core/Commands.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>

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
    };
    static constexpr int MAX_REPLAY_SPEED = 8;

    TGameLoop(TGameDriver& Driver, QObject* pParent);
    ~TGameLoop() override;

    // Frames are drawn into this viewer; null when the view has gone.
    void SetViewer(TGameViewer* pViewer);
    // The game (or the replay) has started: its ticks run from now on.
    void Start();
    // One of the game's commands, now, between two ticks.
    void GameCommand(TCommand nCommand);
    // Faster: the replay's next speed.
    void Faster();
    // No more ticks or frames: the game is left.
    void Stop();

    // A frame as soon as one screen refresh has passed since the last.
    void ScheduleFrame();

    TStats GetStats() const;
    bool IsReplayPaused() const { return m_bReplayPaused; }
    int GetReplaySpeed() const { return m_nSpeed; }

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
    bool TicksDue() const;
    void Sync();
    // The clock the ticks are due on: the wall clock, sped up while a replay plays faster.
    uint64_t PlayClockMs() const;
    void CheckEnds();
    static void SceneChanged(void* pData, SoSensor* pSensor);

    TGameDriver& m_Driver;
    TGameViewer* m_pViewer = nullptr;
    SoNodeSensor* m_pSceneSensor = nullptr;
    QTimer m_TimerGame;
    QTimer m_TimerFrame;
    QElapsedTimer m_Clock;
    qint64 m_nLastFrameMs = -1000;
    qint64 m_nStartMs = -1;
    qint64 m_nRunningSinceMs = -1;  // when the game timer was last switched on
    // The play clock: its value and the wall clock's when the speed last changed.
    uint64_t m_nPlayBaseMs = 0;
    qint64 m_nWallBaseMs = 0;
    int m_nSpeed = 1;
    bool m_bReplayPaused = false;
    bool m_bStopped = false;
    bool m_bRendering = false;
    bool m_bGameOverTold = false;
    bool m_bReplayOverTold = false;
    TStats m_Stats;
};
