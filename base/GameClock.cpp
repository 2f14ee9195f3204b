#include "base/GameClock.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoSceneManager.h>
#include <Inventor/fields/SoSFTime.h>
#include <Inventor/sensors/SoTimerSensor.h>

#include <algorithm>
#include <cmath>

uint64_t TGameClock::s_nMs = 0;
std::vector<TGameClock::TEntry> TGameClock::s_vecSensors;

void TGameClock::Reset(uint32_t nStartMs)
{
    s_nMs = nStartMs;
    s_vecSensors.clear();
    SoDB::init();
    // The library's own clock would move the blinkers by the wall clock, between ticks and at
    // every frame drawn.
    SoDB::enableRealTimeSensor(FALSE);
    SoSceneManager::enableRealTimeUpdate(FALSE);
    SetSceneTime();
}

uint32_t TGameClock::GetTickCount()
{
    return static_cast<uint32_t>(s_nMs);
}

void TGameClock::Advance(uint32_t nMs)
{
    const uint64_t nTarget = s_nMs + nMs;
    for (;;) {
        // The earliest due sensor; ties go to the one scheduled first.
        auto it = std::min_element(s_vecSensors.begin(), s_vecSensors.end(),
                                   [](const TEntry& a, const TEntry& b) { return a.nDueMs < b.nDueMs; });
        if (it == s_vecSensors.end() || it->nDueMs > nTarget)
            break;
        s_nMs = it->nDueMs;
        it->nDueMs += it->nIntervalMs;
        // The callback may schedule or unschedule sensors, so `it` is not used after it.
        SoTimerSensor* pSensor = it->pSensor;
        if (SoSensorCB* pFunc = pSensor->getFunction())
            pFunc(pSensor->getData(), pSensor);
    }
    s_nMs = nTarget;
    SetSceneTime();
}

void TGameClock::SetSceneTime()
{
    auto* pRealTime = static_cast<SoSFTime*>(SoDB::getGlobalField("realTime"));
    if (pRealTime)
        pRealTime->setValue(SbTime(static_cast<double>(s_nMs) / 1000.0));
}

void TGameClock::Schedule(SoTimerSensor* pSensor)
{
    Unschedule(pSensor);
    // A sensor with no interval would fire for ever within one Advance.
    const uint64_t nInterval =
        std::max<uint64_t>(1, static_cast<uint64_t>(std::llround(pSensor->getInterval().getValue() * 1000.0)));
    s_vecSensors.push_back({pSensor, s_nMs + nInterval, nInterval});
}

void TGameClock::Unschedule(SoTimerSensor* pSensor)
{
    s_vecSensors.erase(std::remove_if(s_vecSensors.begin(), s_vecSensors.end(),
                                      [pSensor](const TEntry& e) { return e.pSensor == pSensor; }),
                       s_vecSensors.end());
}

int TGameClock::SensorCount()
{
    return static_cast<int>(s_vecSensors.size());
}
