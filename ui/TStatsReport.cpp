#include "ui/TStatsReport.h"

#include "ui/TFormMain.h"

#include <cstdio>

void TStatsReport::Print(const TFormMain& Form)
{
    const TFormMain::TStats Stats = Form.GetStats();
    const double dSeconds = static_cast<double>(Stats.nPlayMs) / 1000.0;
    // A replay or --level has no start-up window, a game left before its first frame no frame.
    if (Stats.nSplashShownMs >= 0)
        std::fprintf(stderr, "drelk2: start-up window drawn after %lld ms\n", static_cast<long long>(Stats.nSplashShownMs));
    if (Stats.nFirstFrameMs >= 0)
        std::fprintf(stderr, "drelk2: first game frame %lld ms after Start\n", static_cast<long long>(Stats.nFirstFrameMs));
    std::fprintf(stderr, "drelk2: %.1f s played: %llu ticks (%.1f a second), %llu frames (%.1f a second), %llu ticks dropped\n",
                 dSeconds, static_cast<unsigned long long>(Stats.nTicks),
                 dSeconds > 0 ? static_cast<double>(Stats.nTicks) / dSeconds : 0.0,
                 static_cast<unsigned long long>(Stats.nFrames),
                 dSeconds > 0 ? static_cast<double>(Stats.nFrames) / dSeconds : 0.0,
                 static_cast<unsigned long long>(Stats.nDroppedTicks));
    std::fprintf(stderr, "drelk2: frames at %.0f a second%s: frame to frame %.1f ms (median), %.1f ms (99th percentile)\n",
                 Stats.dFrameRate, Stats.bVerticalSync ? " with vertical sync" : "", Stats.dFrameP50Ms, Stats.dFrameP99Ms);
    if (Stats.nLatencies > 0)
        std::fprintf(stderr, "drelk2: a key on screen after %.1f ms (median), %.1f ms at most, %llu keys\n",
                     Stats.dLatencyP50Ms, Stats.dLatencyMaxMs, static_cast<unsigned long long>(Stats.nLatencies));
    if (Stats.bPlayed)
        std::fprintf(stderr, "drelk2: the game ended after %u ticks with score %d level %d\n", Stats.nGameTicks,
                     Stats.nScore, Stats.nLevel);
}
