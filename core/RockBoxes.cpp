#include "core/RockBoxes.h"

#include "objects/Asteroids.h"

namespace {
// Far wider than the rounding of a transformed corner on a 60 x 40 field, far narrower than a rock.
constexpr float BOUNDS_MARGIN = 1e-3f;
}  // namespace

SbBox3f TRockBoxes::WorldBounds(const SbXfBox3f& Box)
{
    if (Box.isEmpty())
        return SbBox3f();
    SbBox3f Bounds = Box.project();
    const SbVec3f vMargin(BOUNDS_MARGIN, BOUNDS_MARGIN, BOUNDS_MARGIN);
    Bounds.setBounds(Bounds.getMin() - vMargin, Bounds.getMax() + vMargin);
    return Bounds;
}

const TRockBoxes::TEntry* TRockBoxes::EntryOf(size_t nIndex)
{
    const TAsteroid* pRock = m_vecRocks[nIndex];
    if (!pRock || !pRock->IsAlive())
        return nullptr;
    if (m_vecEntries.size() < m_vecRocks.size()) {
        m_vecEntries.resize(m_vecRocks.size());
        m_vecMade.resize(m_vecRocks.size(), false);
    }
    TEntry& Entry = m_vecEntries[nIndex];
    if (!m_vecMade[nIndex]) {
        Entry.Box = pRock->GetBoundingBox();
        Entry.Bounds = WorldBounds(Entry.Box);
        m_vecMade[nIndex] = true;
    }
    return &Entry;
}

const SbXfBox3f& TRockBoxes::BoxOf(size_t nIndex)
{
    static const SbXfBox3f s_Empty;
    const TEntry* pEntry = EntryOf(nIndex);
    return pEntry ? pEntry->Box : s_Empty;
}

int TRockBoxes::FirstHolding(const SbVec3f& vPoint)
{
    for (size_t i = 0; i < m_vecRocks.size(); ++i) {
        const TEntry* pEntry = EntryOf(i);
        if (pEntry && pEntry->Bounds.intersect(vPoint) && pEntry->Box.intersect(vPoint))
            return static_cast<int>(i);
    }
    return -1;
}

int TRockBoxes::FirstMeeting(const SbXfBox3f& Box)
{
    const SbBox3f Bounds = WorldBounds(Box);
    if (Bounds.isEmpty())
        return -1;
    for (size_t i = 0; i < m_vecRocks.size(); ++i) {
        const TEntry* pEntry = EntryOf(i);
        if (pEntry && pEntry->Bounds.intersect(Bounds) && Box.intersect(pEntry->Box))
            return static_cast<int>(i);
    }
    return -1;
}
