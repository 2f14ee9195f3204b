#pragma once
// How many submissions are verified at once (one checker process each) and how many may wait
// for a checker. A submission that finds every checker busy and the waiting line full is turned
// away at once, with a guess of when to come back, instead of waiting unbounded.

#include <chrono>
#include <condition_variable>
#include <mutex>

class TSubmissionQueue
{
public:
    TSubmissionQueue(int nCheckers, int nWaiting);

    // A checker's place, held until the ticket goes.
    class TTicket
    {
    public:
        explicit TTicket(TSubmissionQueue* pQueue) : m_pQueue(pQueue) {}
        TTicket(TTicket&& Other) noexcept : m_pQueue(Other.m_pQueue) { Other.m_pQueue = nullptr; }
        TTicket(const TTicket&) = delete;
        TTicket& operator=(const TTicket&) = delete;
        TTicket& operator=(TTicket&&) = delete;
        ~TTicket();
        bool IsValid() const { return m_pQueue != nullptr; }

    private:
        TSubmissionQueue* m_pQueue;
    };

    // Waits for a checker; an empty ticket at once when the line is full, with the seconds
    // after which one is likely to be free.
    TTicket Enter(int& nRetrySeconds);
    // How long the last checks took, to guess the wait.
    void Took(std::chrono::steady_clock::duration Time);

    int GetRunning() const;
    int GetWaiting() const;

private:
    void Leave();

    const int m_nCheckers;
    const int m_nWaitingMax;
    int m_nRunning = 0;
    int m_nWaiting = 0;
    double m_dCheckSeconds = 1.0;  // a running average
    mutable std::mutex m_Lock;
    std::condition_variable m_Free;
};
