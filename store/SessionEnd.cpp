#include "store/SessionEnd.h"

#include <algorithm>
#include <vector>

namespace {
// Never destroyed: the hooks may run from the program's exit, after static objects made later
// than its handler are gone.
std::vector<TSessionEnd::THook*>& Hooks()
{
    static auto* s_pHooks = new std::vector<TSessionEnd::THook*>;
    return *s_pHooks;
}
bool s_bEnded = false;
}  // namespace

TSessionEnd::THook::THook(std::function<void()> pKeepNow) : m_pKeepNow(std::move(pKeepNow))
{
    Hooks().push_back(this);
}

TSessionEnd::THook::~THook()
{
    Hooks().erase(std::remove(Hooks().begin(), Hooks().end(), this), Hooks().end());
}

void TSessionEnd::KeepNow()
{
    if (s_bEnded)
        return;
    s_bEnded = true;
    // A hook may end another's owner: each is looked up again before it runs.
    const std::vector<THook*> vecHooks = Hooks();
    for (auto it = vecHooks.rbegin(); it != vecHooks.rend(); ++it)
        if (std::find(Hooks().begin(), Hooks().end(), *it) != Hooks().end() && (*it)->m_pKeepNow)
            (*it)->m_pKeepNow();
}

bool TSessionEnd::HasEnded()
{
    return s_bEnded;
}
