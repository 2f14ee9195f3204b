// drelk2-replay-check: plays replays with the rules alone and holds each against every digest it
// recorded and against how its header says it ended, as drelk2-sim --verify does; and prints a
// digest of the rules' own arithmetic over a sweep of angles, which every build must print alike.
// What the rules read from the data file comes in as drelk2-sim --rules-data prints it.
//
//   drelk2-replay-check RULES-DATA REPLAY...
//
// Exit status: 0 when every replay verified, 1 otherwise (or a file that cannot be used), 2 for a
// bad command line.
#include "base/PortableMath.h"
#include "core/GameRun.h"
#include "core/Replay.h"
#include "core/RulesData.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {
// The rules' data as hex, 64 digits: the box's six floats, then zeros.
bool ReadRulesData(const char* szHex, TRulesData::TBytes& Bytes)
{
    if (std::strlen(szHex) != 2 * TRulesData::BYTES)
        return false;
    for (size_t i = 0; i < TRulesData::BYTES; ++i) {
        unsigned n = 0;
        if (std::sscanf(szHex + 2 * i, "%2x", &n) != 1)
            return false;
        Bytes[i] = static_cast<uint8_t>(n);
    }
    return true;
}

bool Check(const TRulesData& Data, const char* szPath)
{
    TReplay Replay;
    std::string strError;
    if (!TReplayFile::Load(szPath, Replay, strError)) {
        std::printf("%s: %s\n", szPath, strError.c_str());
        return false;
    }
    std::unique_ptr<TGameRun> pRun = TGameRun::Replaying(Data, Replay, strError);
    if (!pRun) {
        std::printf("%s: %s\n", szPath, strError.c_str());
        return false;
    }
    const auto tStart = std::chrono::steady_clock::now();
    while (!pRun->IsReplayOver() && pRun->GetReplayDeparture() == 0)
        pRun->Step();
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    if (pRun->GetReplayDeparture() != 0) {
        std::printf("%s: departs at tick %u\n", szPath, pRun->GetReplayDeparture());
        return false;
    }
    const std::string strEnding = pRun->CheckEnding();
    if (!strEnding.empty()) {
        std::printf("%s: %s\n", szPath, strEnding.c_str());
        return false;
    }
    const double dRate = pRun->GetTicks() / (dSeconds > 1e-9 ? dSeconds : 1e-9);
    std::printf("%s: verified, %u ticks, %u digests, score %d level %d, %.0f ticks a second (%.0f times real time)\n",
                szPath, pRun->GetTicks(), pRun->GetDigestsChecked(), pRun->GetGame().GetScore(),
                pRun->GetGame().GetLevel(), dRate, dRate * TGameRun::TICK_MS / 1000.0);
    return true;
}
}  // namespace

int main(int argc, char** argv)
{
    TRulesData::TBytes Bytes{};
    if (argc < 3 || !ReadRulesData(argv[1], Bytes)) {
        std::fprintf(stderr, "usage: drelk2-replay-check RULES-DATA REPLAY... (RULES-DATA: 64 hex digits, as "
                             "drelk2-sim --rules-data prints them)\n");
        return 2;
    }
    const TRulesData Data = TRulesData::FromBytes(Bytes);
    std::printf("arithmetic digest %016" PRIx64 ", fused multiply-add %s\n", TPortableMath::SweepDigest(),
                TPortableMath::FusesMultiplyAdd() ? "USED" : "not used");
    bool bAll = !TPortableMath::FusesMultiplyAdd();
    for (int i = 2; i < argc; ++i)
        bAll = Check(Data, argv[i]) && bAll;
    return bAll ? 0 : 1;
}
