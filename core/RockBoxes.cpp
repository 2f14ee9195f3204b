#include "core/RockBoxes.h"

#include "base/Assert.h"

#include <algorithm>

namespace {
// Far wider than the rounding of a turned corner on a 60 x 40 field, far narrower than a rock.
constexpr float BOUNDS_MARGIN = 1e-3f;
}  // namespace

TBox3 TRockBoxes::Widened(const TBox3& Bounds)
{
    if (Bounds.IsEmpty())
        return TBox3();
    const TFloat3 vMargin(BOUNDS_MARGIN, BOUNDS_MARGIN, BOUNDS_MARGIN);
    return TBox3(Bounds.GetMin() - vMargin, Bounds.GetMax() + vMargin);
}

void TRockBoxes::ListNewRocks()
{
    for (; m_nListed < m_vecRocks.size(); ++m_nListed) {
        const TAsteroid* pRock = m_vecRocks[m_nListed];
        if (pRock && pRock->IsAlive())
            m_vecLive.push_back({pRock, m_nListed, Widened(pRock->GetWorldBounds()), -1});
    }
}

const TCollisionBox& TRockBoxes::ExactBox(TEntry& Entry)
{
    if (Entry.nBox < 0) {
        Entry.nBox = static_cast<int>(m_vecBoxes.size());
        m_vecBoxes.push_back(Entry.pRock->GetBoundingBox());
    }
    return m_vecBoxes[static_cast<size_t>(Entry.nBox)];
}

const TCollisionBox& TRockBoxes::BoxOf(size_t nIndex)
{
    const auto it = std::lower_bound(m_vecLive.begin(), m_vecLive.end(), nIndex,
                                     [](const TEntry& Entry, size_t n) { return Entry.nIndex < n; });
    DRELK_ASSERT(it != m_vecLive.end() && it->nIndex == nIndex);
    return ExactBox(*it);
}

int TRockBoxes::FirstHolding(const TFloat3& vPoint)
{
    ListNewRocks();
    for (TEntry& Entry : m_vecLive) {
        if (Entry.Bounds.Holds(vPoint) && Entry.pRock->IsAlive() && ExactBox(Entry).Holds(vPoint))
            return static_cast<int>(Entry.nIndex);
    }
    return -1;
}

int TRockBoxes::FirstMeeting(const TCollisionBox& Box)
{
    if (Box.IsEmpty())
        return -1;
    ListNewRocks();
    const TBox3 Bounds = Widened(Box.GetWorldBounds());
    for (TEntry& Entry : m_vecLive) {
        if (Entry.Bounds.Meets(Bounds) && Entry.pRock->IsAlive() && Box.Meets(ExactBox(Entry)))
            return static_cast<int>(Entry.nIndex);
    }
    return -1;
}
