#include "fx/FxTimers.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoSceneManager.h>
#include <Inventor/fields/SoSFTime.h>
#include <Inventor/sensors/SoTimerSensor.h>

#include <algorithm>
#include <cmath>

TFxTimers::TFxTimers(uint64_t nStartMs) : m_nMs(nStartMs)
{
    SoDB::init();
    // The library's own clock would move the blinkers by the wall clock, between ticks and at
    // every frame drawn.
    SoDB::enableRealTimeSensor(FALSE);
    SoSceneManager::enableRealTimeUpdate(FALSE);
}

void TFxTimers::AdvanceTo(uint64_t nTarget)
{
    for (;;) {
        // The earliest due sensor; ties go to the one scheduled first.
        auto it = std::min_element(m_vecSensors.begin(), m_vecSensors.end(),
                                   [](const TEntry& a, const TEntry& b) { return a.nDueMs < b.nDueMs; });
        if (it == m_vecSensors.end() || it->nDueMs > nTarget)
            break;
        m_nMs = it->nDueMs;
        it->nDueMs += it->nIntervalMs;
        // The callback may schedule or unschedule sensors, so `it` is not used after it.
        SoTimerSensor* pSensor = it->pSensor;
        if (SoSensorCB* pFunc = pSensor->getFunction())
            pFunc(pSensor->getData(), pSensor);
    }
    m_nMs = std::max(m_nMs, nTarget);
}

void TFxTimers::SetSceneTime() const
{
    auto* pRealTime = static_cast<SoSFTime*>(SoDB::getGlobalField("realTime"));
    if (pRealTime)
        pRealTime->setValue(SbTime(static_cast<double>(m_nMs) / 1000.0));
}

void TFxTimers::Schedule(SoTimerSensor* pSensor)
{
    Unschedule(pSensor);
    // A sensor with no interval would fire for ever within one advance.
    const uint64_t nInterval =
        std::max<uint64_t>(1, static_cast<uint64_t>(std::llround(pSensor->getInterval().getValue() * 1000.0)));
    m_vecSensors.push_back({pSensor, m_nMs + nInterval, nInterval});
}

void TFxTimers::Unschedule(SoTimerSensor* pSensor)
{
    m_vecSensors.erase(std::remove_if(m_vecSensors.begin(), m_vecSensors.end(),
                                      [pSensor](const TEntry& e) { return e.pSensor == pSensor; }),
                       m_vecSensors.end());
}
