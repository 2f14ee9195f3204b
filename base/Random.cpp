#include "base/Random.h"

uint32_t TRandom::s_nState = 1;

int32_t TRandom::Draw()
{
    s_nState = s_nState * 22695477u + 1u;
    return static_cast<int32_t>((s_nState >> 16) & 0x7fffu);
}

void TRandom::Seed(uint32_t s)
{
    s_nState = s;
    Draw();
}

void TRandom::Reset()
{
    s_nState = 1;
}

uint32_t TRandom::GetState()
{
    return s_nState;
}
