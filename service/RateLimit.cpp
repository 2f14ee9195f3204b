#include "service/RateLimit.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

TRateLimit::TRateLimit(int nPerMinute, int nBurst)
    : m_dPerSecond(nPerMinute / 60.0), m_dBurst(std::max(1, nBurst))
{
}

double TRateLimit::Refilled(const TBucket& Bucket, TClock::time_point tNow) const
{
    const double dSeconds = std::chrono::duration<double>(tNow - Bucket.tLast).count();
    return std::min(m_dBurst, Bucket.dTokens + std::max(0.0, dSeconds) * m_dPerSecond);
}

bool TRateLimit::Take(const std::string& strAddress, int& nRetrySeconds, TClock::time_point tNow)
{
    nRetrySeconds = 0;
    if (m_dPerSecond <= 0)
        return true;
    std::lock_guard<std::mutex> Guard(m_Lock);
    if (m_mapBuckets.size() >= MAX_ADDRESSES)
        Forget(tNow);
    auto Found = m_mapBuckets.try_emplace(strAddress, TBucket{m_dBurst, tNow}).first;
    TBucket& Bucket = Found->second;
    Bucket.dTokens = Refilled(Bucket, tNow);
    Bucket.tLast = tNow;
    if (Bucket.dTokens >= 1.0) {
        Bucket.dTokens -= 1.0;
        return true;
    }
    nRetrySeconds = std::max(1, static_cast<int>(std::ceil((1.0 - Bucket.dTokens) / m_dPerSecond)));
    return false;
}

void TRateLimit::Forget(TClock::time_point tNow)
{
    for (auto It = m_mapBuckets.begin(); It != m_mapBuckets.end();)
        It = Refilled(It->second, tNow) >= m_dBurst ? m_mapBuckets.erase(It) : std::next(It);
    // Still full of busy addresses: the oldest half goes.
    if (m_mapBuckets.size() >= MAX_ADDRESSES) {
        std::vector<TClock::time_point> vecTimes;
        for (const auto& Entry : m_mapBuckets)
            vecTimes.push_back(Entry.second.tLast);
        std::nth_element(vecTimes.begin(), vecTimes.begin() + vecTimes.size() / 2, vecTimes.end());
        const TClock::time_point tMedian = vecTimes[vecTimes.size() / 2];
        for (auto It = m_mapBuckets.begin(); It != m_mapBuckets.end();)
            It = It->second.tLast <= tMedian ? m_mapBuckets.erase(It) : std::next(It);
    }
}
