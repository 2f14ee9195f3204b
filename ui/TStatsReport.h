#pragma once
// drelk2 --stats: at exit, on standard error, how fast the start-up window and the first game
// frame came, ticks and frames a second, frame to frame times, key to screen latency, and the
// tick, score and level the game ended with.

class TFormMain;

class TStatsReport
{
public:
    static void Print(const TFormMain& Form);
};
