#include "service/SubmissionQueue.h"

#include <algorithm>
#include <cmath>

TSubmissionQueue::TSubmissionQueue(int nCheckers, int nWaiting)
    : m_nCheckers(std::max(1, nCheckers)), m_nWaitingMax(std::max(0, nWaiting))
{
}

TSubmissionQueue::TTicket::~TTicket()
{
    if (m_pQueue)
        m_pQueue->Leave();
}

TSubmissionQueue::TTicket TSubmissionQueue::Enter(int& nRetrySeconds)
{
    std::unique_lock<std::mutex> Guard(m_Lock);
    nRetrySeconds = 0;
    if (m_nRunning >= m_nCheckers && m_nWaiting >= m_nWaitingMax) {
        // The line ahead is worked off by every checker at once.
        const double dWait = m_dCheckSeconds * (m_nWaiting + 1) / m_nCheckers;
        nRetrySeconds = std::max(1, static_cast<int>(std::ceil(dWait)));
        return TTicket(nullptr);
    }
    ++m_nWaiting;
    m_Free.wait(Guard, [this] { return m_nRunning < m_nCheckers; });
    --m_nWaiting;
    ++m_nRunning;
    return TTicket(this);
}

void TSubmissionQueue::Leave()
{
    {
        std::lock_guard<std::mutex> Guard(m_Lock);
        --m_nRunning;
    }
    m_Free.notify_one();
}

void TSubmissionQueue::Took(std::chrono::steady_clock::duration Time)
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    m_dCheckSeconds = 0.8 * m_dCheckSeconds + 0.2 * std::chrono::duration<double>(Time).count();
}

int TSubmissionQueue::GetRunning() const
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    return m_nRunning;
}

int TSubmissionQueue::GetWaiting() const
{
    std::lock_guard<std::mutex> Guard(m_Lock);
    return m_nWaiting;
}
