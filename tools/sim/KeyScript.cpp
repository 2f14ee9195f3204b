#include "tools/sim/KeyScript.h"

#include <fstream>
#include <sstream>

namespace {
bool KeyFromName(const std::string& strName, TGame::TKey& nKey)
{
    static const std::pair<const char*, TGame::TKey> KEYS[] = {
        {"left", TGame::KEY_LEFT},   {"right", TGame::KEY_RIGHT}, {"up", TGame::KEY_UP},
        {"space", TGame::KEY_SPACE}, {"p", TGame::KEY_PAUSE},     {"m", TGame::KEY_MUSIC},
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
            TGame::TKey nKey;
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

const std::vector<TGame::TKey>& TKeyScript::KeysBefore(long nTick) const
{
    static const std::vector<TGame::TKey> s_vecNone;
    const auto it = m_mapKeys.find(nTick);
    return it == m_mapKeys.end() ? s_vecNone : it->second;
}
