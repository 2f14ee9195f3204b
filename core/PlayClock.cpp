#include "core/PlayClock.h"

#include "base/Assert.h"

#include <algorithm>

uint64_t TPlayClock::PlayUs(int64_t nWallUs) const
{
    if (!m_bRunning || nWallUs <= m_nWallBaseUs)
        return m_nPlayBaseUs;
    return m_nPlayBaseUs + static_cast<uint64_t>(nWallUs - m_nWallBaseUs) * static_cast<uint64_t>(m_nSpeed);
}

void TPlayClock::Run(bool bRun, int64_t nWallUs)
{
    if (bRun == m_bRunning)
        return;
    m_nPlayBaseUs = PlayUs(nWallUs);
    m_nWallBaseUs = nWallUs;
    m_bRunning = bRun;
}

void TPlayClock::SetSpeed(int nSpeed, int64_t nWallUs)
{
    DRELK_ASSERT(nSpeed >= 1);
    m_nPlayBaseUs = PlayUs(nWallUs);
    m_nWallBaseUs = nWallUs;
    m_nSpeed = nSpeed;
}

void TPlayClock::RestartSchedule(uint64_t nPlayUs)
{
    m_nNextDueUs = nPlayUs + TICK_US;
}

int TPlayClock::TakeDueTicks(uint64_t nPlayUs)
{
    if (nPlayUs < m_nNextDueUs)
        return 0;
    uint64_t nDue = (nPlayUs - m_nNextDueUs) / TICK_US + 1;
    const uint64_t nMax = static_cast<uint64_t>(MAX_DUE_TICKS) * static_cast<uint64_t>(m_nSpeed);
    if (nDue > nMax) {
        m_nDropped += nDue - nMax;
        m_nNextDueUs += (nDue - nMax) * TICK_US;
        nDue = nMax;
    }
    m_nNextDueUs += nDue * TICK_US;
    return static_cast<int>(nDue);
}

double TPlayClock::AlphaAt(uint64_t nPlayUs) const
{
    const uint64_t nLastDueUs = m_nNextDueUs - TICK_US;
    if (nPlayUs <= nLastDueUs)
        return 0.0;
    return std::min(1.0, static_cast<double>(nPlayUs - nLastDueUs) / static_cast<double>(TICK_US));
}
