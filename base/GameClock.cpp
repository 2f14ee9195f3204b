#include "base/GameClock.h"

#include <Inventor/sensors/SoTimerSensor.h>

#include <algorithm>
#include <chrono>
#include <cmath>

bool TGameClock::s_bVirtual = false;
uint64_t TGameClock::s_nVirtualMs = 0;
std::vector<TGameClock::TEntry> TGameClock::s_vecSensors;

void TGameClock::UseVirtualTime(uint32_t nStartMs)
{
    s_bVirtual = true;
    s_nVirtualMs = nStartMs;
    s_vecSensors.clear();
}

void TGameClock::UseRealTime()
{
    s_bVirtual = false;
    s_vecSensors.clear();
}

bool TGameClock::IsVirtual()
{
    return s_bVirtual;
}

uint32_t TGameClock::GetTickCount()
{
    if (s_bVirtual)
        return static_cast<uint32_t>(s_nVirtualMs);
    const auto nMs = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(nMs.count());
}

void TGameClock::Advance(uint32_t nMs)
{
    if (!s_bVirtual)
        return;
    const uint64_t nTarget = s_nVirtualMs + nMs;
    for (;;) {
        // The earliest due sensor; ties go to the one scheduled first.
        auto it = std::min_element(s_vecSensors.begin(), s_vecSensors.end(),
                                   [](const TEntry& a, const TEntry& b) { return a.nDueMs < b.nDueMs; });
        if (it == s_vecSensors.end() || it->nDueMs > nTarget)
            break;
        s_nVirtualMs = it->nDueMs;
        it->nDueMs += it->nIntervalMs;
        // The callback may schedule or unschedule sensors, so `it` is not used after it.
        SoTimerSensor* pSensor = it->pSensor;
        if (SoSensorCB* pFunc = pSensor->getFunction())
            pFunc(pSensor->getData(), pSensor);
    }
    s_nVirtualMs = nTarget;
}

void TGameClock::Schedule(SoTimerSensor* pSensor)
{
    if (!s_bVirtual) {
        pSensor->schedule();
        return;
    }
    Unschedule(pSensor);
    // A sensor with no interval would fire for ever within one Advance.
    const uint64_t nInterval =
        std::max<uint64_t>(1, static_cast<uint64_t>(std::llround(pSensor->getInterval().getValue() * 1000.0)));
    s_vecSensors.push_back({pSensor, s_nVirtualMs + nInterval, nInterval});
}

void TGameClock::Unschedule(SoTimerSensor* pSensor)
{
    if (!s_bVirtual) {
        if (pSensor->isScheduled())
            pSensor->unschedule();
        return;
    }
    s_vecSensors.erase(std::remove_if(s_vecSensors.begin(), s_vecSensors.end(),
                                      [pSensor](const TEntry& e) { return e.pSensor == pSensor; }),
                       s_vecSensors.end());
}

int TGameClock::VirtualSensorCount()
{
    return static_cast<int>(s_vecSensors.size());
}
