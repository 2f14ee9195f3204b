#pragma once
// Submissions an address may make: a bucket of BURST tokens an address, refilled at the rate a
// minute; a submission takes one. Addresses whose bucket is full again are forgotten when the
// book grows past MAX_ADDRESSES, so that a flood of addresses cannot fill the memory.

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

class TRateLimit
{
public:
    static constexpr size_t MAX_ADDRESSES = 100000;
    using TClock = std::chrono::steady_clock;

    // nPerMinute 0: no limit.
    TRateLimit(int nPerMinute, int nBurst);

    // True when the address may go on now (a token taken); otherwise the seconds until it may.
    bool Take(const std::string& strAddress, int& nRetrySeconds, TClock::time_point tNow = TClock::now());

private:
    struct TBucket
    {
        double dTokens;
        TClock::time_point tLast;
    };
    double Refilled(const TBucket& Bucket, TClock::time_point tNow) const;
    void Forget(TClock::time_point tNow);

    double m_dPerSecond;
    double m_dBurst;
    std::unordered_map<std::string, TBucket> m_mapBuckets;
    std::mutex m_Lock;
};
