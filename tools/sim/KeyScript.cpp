#include "tools/sim/KeyScript.h"

#include <fstream>
#include <sstream>

namespace {
bool KeyFromName(const std::string& strName, TKeyScript::TKeyName& nKey)
{
    static const std::pair<const char*, TKeyScript::TKeyName> KEYS[] = {
        {"left", TKeyScript::KEY_LEFT},   {"right", TKeyScript::KEY_RIGHT}, {"up", TKeyScript::KEY_UP},
        {"space", TKeyScript::KEY_SPACE}, {"p", TKeyScript::KEY_PAUSE},     {"m", TKeyScript::KEY_MUSIC},
    };
    for (const auto& Key : KEYS) {
        if (strName == Key.first) {
            nKey = Key.second;
            return true;
        }
    }
    return false;
}
}  // namespace

bool TKeyScript::Load(const std::string& strPath, std::string& strError)
{
    std::ifstream In(strPath);
    if (!In) {
        strError = strPath + ": cannot read";
        return false;
    }
    std::stringstream Text;
    Text << In.rdbuf();
    if (!Parse(Text.str(), strError)) {
        strError = strPath + ":" + strError;
        return false;
    }
    return true;
}

bool TKeyScript::Parse(const std::string& strText, std::string& strError)
{
    std::istringstream In(strText);
    std::string strLine;
    for (int nLine = 1; std::getline(In, strLine); ++nLine) {
        std::istringstream Words(strLine);
        std::string strTick;
        if (!(Words >> strTick) || strTick[0] == '#')
            continue;
        size_t nUsed = 0;
        long nTick = -1;
        try {
            nTick = std::stol(strTick, &nUsed);
        } catch (const std::exception&) {
            nUsed = 0;
        }
        if (nUsed != strTick.size() || nTick < 0) {
            strError = std::to_string(nLine) + ": '" + strTick + "' is not a tick number";
            return false;
        }
        std::string strKey;
        int nKeys = 0;
        while (Words >> strKey) {
            TKeyName nKey;
            if (!KeyFromName(strKey, nKey)) {
                strError = std::to_string(nLine) + ": unknown key '" + strKey + "' (left right up space p m)";
                return false;
            }
            m_mapKeys[nTick].push_back(nKey);
            ++nKeys;
        }
        if (nKeys == 0) {
            strError = std::to_string(nLine) + ": no key after tick " + strTick;
            return false;
        }
    }
    return true;
}

const std::vector<TKeyScript::TKeyName>& TKeyScript::KeysBefore(long nTick) const
{
    static const std::vector<TKeyName> s_vecNone;
    const auto it = m_mapKeys.find(nTick);
    return it == m_mapKeys.end() ? s_vecNone : it->second;
}
