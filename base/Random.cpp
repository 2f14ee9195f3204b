#include "base/Random.h"

int32_t TRandom::Draw()
{
    m_nState = m_nState * 22695477u + 1u;
    return static_cast<int32_t>((m_nState >> 16) & 0x7fffu);
}

void TRandom::Seed(uint32_t s)
{
    m_nState = s;
    Draw();
}
