#include "core/RockBoxes.h"

#include "base/Assert.h"

#include <algorithm>

namespace {
// Far wider than the rounding of a transformed corner on a 60 x 40 field, far narrower than a rock.
constexpr float BOUNDS_MARGIN = 1e-3f;
}  // namespace

SbBox3f TRockBoxes::Widened(const SbBox3f& Bounds)
{
    if (Bounds.isEmpty())
        return SbBox3f();
    const SbVec3f vMargin(BOUNDS_MARGIN, BOUNDS_MARGIN, BOUNDS_MARGIN);
    return SbBox3f(Bounds.getMin() - vMargin, Bounds.getMax() + vMargin);
}

void TRockBoxes::ListNewRocks()
{
    for (; m_nListed < m_vecRocks.size(); ++m_nListed) {
        const TAsteroid* pRock = m_vecRocks[m_nListed];
        if (pRock && pRock->IsAlive())
            m_vecLive.push_back({pRock, m_nListed, Widened(pRock->GetWorldBounds()), -1});
    }
}

const SbXfBox3f& TRockBoxes::ExactBox(TEntry& Entry)
{
    if (Entry.nBox < 0) {
        Entry.nBox = static_cast<int>(m_vecBoxes.size());
        m_vecBoxes.push_back(Entry.pRock->GetBoundingBox());
    }
    return m_vecBoxes[static_cast<size_t>(Entry.nBox)];
}

const SbXfBox3f& TRockBoxes::BoxOf(size_t nIndex)
{
    const auto it = std::lower_bound(m_vecLive.begin(), m_vecLive.end(), nIndex,
                                     [](const TEntry& Entry, size_t n) { return Entry.nIndex < n; });
    DRELK_ASSERT(it != m_vecLive.end() && it->nIndex == nIndex);
    return ExactBox(*it);
}

int TRockBoxes::FirstHolding(const SbVec3f& vPoint)
{
    ListNewRocks();
    for (TEntry& Entry : m_vecLive) {
        if (Entry.Bounds.intersect(vPoint) && Entry.pRock->IsAlive() && ExactBox(Entry).intersect(vPoint))
            return static_cast<int>(Entry.nIndex);
    }
    return -1;
}

int TRockBoxes::FirstMeeting(const SbXfBox3f& Box)
{
    if (Box.isEmpty())
        return -1;
    ListNewRocks();
    const SbBox3f Bounds = Widened(Box.project());
    for (TEntry& Entry : m_vecLive) {
        if (Entry.Bounds.intersect(Bounds) && Entry.pRock->IsAlive() && Box.intersect(ExactBox(Entry)))
            return static_cast<int>(Entry.nIndex);
    }
    return -1;
}
