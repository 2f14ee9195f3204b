#include "store/PlayerSettings.h"

#include "base/Assert.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>

namespace {
const char KEY_MUSIC[] = "music";
const char KEY_FULL_SCREEN[] = "fullscreen";
const char KEY_MUSIC_VOLUME[] = "music_volume";
const char KEY_EFFECTS_VOLUME[] = "effects_volume";
const char KEY_MAX_FPS[] = "maxfps";
const char KEY_ATTRACT[] = "attract";

const char GROUP_GENERAL[] = "General";

// "GROUP/KEY" as the file's group and key; "a/b/c" is key "b\c" of group "a", as QSettings
// writes it, and a key without a group is in General.
std::pair<QString, QString> SplitKey(const QString& strKey)
{
    static const QRegularExpression Valid("^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*$");
    DRELK_ASSERT(Valid.match(strKey).hasMatch());
    const int nSlash = strKey.indexOf('/');
    if (nSlash < 0)
        return {GROUP_GENERAL, strKey};
    return {strKey.left(nSlash), strKey.mid(nSlash + 1).replace('/', '\\')};
}

// A value as written: plain, or in quotes with backslash escapes when plain text would not
// read back the same (spaces at an end, separators, quotes, control characters).
QString EncodeValue(const QString& strValue)
{
    static const QRegularExpression Plain("^([^\\s;,\"\\\\#\\x00-\\x1f\\x7f]([^;,\"\\\\#\\x00-\\x1f\\x7f]*[^\\s;,\"\\\\#\\x00-\\x1f\\x7f])?)?$");
    if (Plain.match(strValue).hasMatch())
        return strValue;
    QString strText = "\"";
    for (const QChar c : strValue) {
        switch (c.unicode()) {
        case '"': strText += "\\\""; break;
        case '\\': strText += "\\\\"; break;
        case '\n': strText += "\\n"; break;
        case '\r': strText += "\\r"; break;
        case '\t': strText += "\\t"; break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                strText += QString("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
            else
                strText += c;
        }
    }
    return strText + '"';
}

QString DecodeValue(const QString& strText)
{
    if (strText.size() < 2 || !strText.startsWith('"') || !strText.endsWith('"'))
        return strText;
    QString strValue;
    for (int i = 1; i < strText.size() - 1; ++i) {
        const QChar c = strText[i];
        if (c != '\\' || i + 1 >= strText.size() - 1) {
            strValue += c;
            continue;
        }
        const QChar e = strText[++i];
        bool bHex = false;
        const ushort nHex = e == 'x' && i + 2 < strText.size() - 1 ? strText.mid(i + 1, 2).toUShort(&bHex, 16) : 0;
        if (bHex) {
            strValue += QChar(nHex);
            i += 2;
        } else {
            strValue += e == 'n' ? QChar('\n') : e == 'r' ? QChar('\r') : e == 't' ? QChar('\t') : e;
        }
    }
    return strValue;
}

// The line of a key, in a text or in a text that may not change.
template <typename TText>
auto Find(TText& Text, const QString& strGroup, const QString& strKey) -> decltype(&Text.front().vecLines.front())
{
    for (auto& Group : Text)
        if (Group.strName == strGroup)
            for (auto& Line : Group.vecLines)
                if (Line.strKey == strKey)
                    return &Line;
    return nullptr;
}

void SetIn(TPlayerSettings::TText& Text, const QString& strGroup, const QString& strKey, const QString& strValue)
{
    if (TPlayerSettings::TLine* pLine = Find(Text, strGroup, strKey)) {
        pLine->strText = EncodeValue(strValue);
        return;
    }
    auto it = std::find_if(Text.begin(), Text.end(), [&](const TPlayerSettings::TGroup& g) { return g.strName == strGroup; });
    if (it == Text.end())
        it = Text.insert(Text.end(), TPlayerSettings::TGroup{strGroup, {}});
    // After the group's last key, before the blank lines and comments that close it.
    auto itLine = it->vecLines.end();
    while (itLine != it->vecLines.begin() && std::prev(itLine)->strKey.isEmpty())
        --itLine;
    it->vecLines.insert(itLine, TPlayerSettings::TLine{strKey, EncodeValue(strValue)});
}

// Every line of the key goes: a group written twice may hold it twice.
void RemoveFrom(TPlayerSettings::TText& Text, const QString& strGroup, const QString& strKey)
{
    for (TPlayerSettings::TGroup& Group : Text)
        if (Group.strName == strGroup)
            Group.vecLines.erase(std::remove_if(Group.vecLines.begin(), Group.vecLines.end(),
                                                [&](const TPlayerSettings::TLine& Line) { return Line.strKey == strKey; }),
                                 Group.vecLines.end());
}
}  // namespace

QString TPlayerSettings::DefaultFile()
{
    return TKeptFiles::ConfigFolder() + "/drelk2.conf";
}

TPlayerSettings::TPlayerSettings(const QString& strFile, TKeptFiles::TSay pSay, TAccess nAccess)
    : m_strFile(strFile), m_strFolder(QFileInfo(strFile).path()), m_pSay(std::move(pSay))
{
    QString strError;
    // Without a folder that can be written the choices last for the run, without a word: the
    // best scores say already that the home folder keeps nothing.
    m_bKept = nAccess == ACCESS_KEEP && TKeptFiles::PrepareFolder(m_strFolder, strError);
    if (m_bKept)
        TKeptFiles::RemoveLeftovers(m_strFolder, {QFileInfo(strFile).fileName()});
    TLoad nLoad = LoadFile(m_Text, strError);
    if (nLoad == LOAD_DAMAGED && m_bKept) {
        // Moved under the lock, so that no other game writes it meanwhile.
        TKeptFiles::TLock Lock(m_strFolder);
        nLoad = LoadFile(m_Text, strError);
        if (nLoad == LOAD_DAMAGED && !SetAside(strError))
            nLoad = LOAD_UNAVAILABLE;
    } else if (nLoad == LOAD_DAMAGED) {
        Say("settings: " + strError.toStdString() + "; read as far as it can be");
    }
    if (nLoad == LOAD_UNAVAILABLE)
        Say("choices: " + strError.toStdString() + "; the file is left as it is");
}

void TPlayerSettings::Say(const std::string& strLine)
{
    // A key pressed again and again on a full disk is told once.
    if (strLine == m_strLastSaid)
        return;
    m_strLastSaid = strLine;
    m_pSay(strLine);
}

TPlayerSettings::TLoad TPlayerSettings::LoadFile(TText& Text, QString& strWhy) const
{
    QByteArray Bytes;
    switch (TKeptFiles::Read(m_strFile, MAX_FILE_BYTES, TKeptFiles::MAX_SALVAGE_BYTES, Bytes, strWhy)) {
    case TKeptFiles::READ_MISSING: Text.clear(); return LOAD_OK;
    case TKeptFiles::READ_OK: Text = Parse(Bytes); return LOAD_OK;
    case TKeptFiles::READ_UNAVAILABLE: return LOAD_UNAVAILABLE;
    case TKeptFiles::READ_DAMAGED: break;
    }
    // The whole lines of what could be read are kept.
    Bytes.truncate(Bytes.lastIndexOf('\n') + 1);
    Text = Parse(Bytes);
    return LOAD_DAMAGED;
}

// With the folder's lock held; strWhy gets the reason when it cannot be moved.
bool TPlayerSettings::SetAside(QString& strWhy)
{
    QString strError;
    const QString strAside = TKeptFiles::SetAside(m_strFile, strError);
    if (strAside.isEmpty()) {
        strWhy += "; " + strError;
        return false;
    }
    Say("settings set aside as " + strAside.toStdString() + ": " + strWhy.toStdString());
    return true;
}

QString TPlayerSettings::GetValue(const QString& strKey) const
{
    const std::pair<QString, QString> Key = SplitKey(strKey);
    const TLine* pLine = Find(m_Text, Key.first, Key.second);
    return pLine ? DecodeValue(pLine->strText) : QString();
}

void TPlayerSettings::SetValue(const QString& strKey, const QString& strValue)
{
    const std::pair<QString, QString> Key = SplitKey(strKey);
    Write([&](TText& Text) { SetIn(Text, Key.first, Key.second, strValue); });
}

void TPlayerSettings::RemoveValue(const QString& strKey)
{
    const std::pair<QString, QString> Key = SplitKey(strKey);
    Write([&](TText& Text) { RemoveFrom(Text, Key.first, Key.second); });
}

void TPlayerSettings::Write(const std::function<void(TText&)>& Change)
{
    Change(m_Text);
    if (!m_bKept)
        return;
    TKeptFiles::TLock Lock(m_strFolder);
    if (!Lock.IsHeld())
        Say("settings: " + Lock.GetError().toStdString() + "; written without the lock");
    // What the file holds now, with this one key changed: another game's choices stay.
    TText Text;
    QString strError;
    const TLoad nLoad = LoadFile(Text, strError);
    if (nLoad == LOAD_UNAVAILABLE || (nLoad == LOAD_DAMAGED && !SetAside(strError))) {
        Say("choices are not remembered: " + strError.toStdString() + "; the file is left as it is");
        return;
    }
    if (Text.empty())
        Text = m_Text;
    else
        Change(Text);
    if (!TKeptFiles::Write(m_strFile, Serialize(Text), strError)) {
        Say("choices are not remembered: " + strError.toStdString());
        return;
    }
    m_Text = Text;
}

QStringList TPlayerSettings::GetKeys(const QString& strGroup) const
{
    QStringList vecKeys;
    for (const TGroup& Group : m_Text)
        if (Group.strName == strGroup)
            for (const TLine& Line : Group.vecLines)
                if (!Line.strKey.isEmpty() && !vecKeys.contains(Line.strKey))
                    vecKeys << Line.strKey;
    return vecKeys;
}

// "true" or "false" as QSettings writes them; anything else is no choice.
bool TPlayerSettings::ReadFlag(const char* szKey, bool bDefault) const
{
    const QString strValue = GetValue(QString(GROUP_GENERAL) + '/' + szKey);
    return strValue == "true" ? true : strValue == "false" ? false : bDefault;
}

bool TPlayerSettings::IsMusicOn() const
{
    return ReadFlag(KEY_MUSIC, true);
}

bool TPlayerSettings::IsFullScreen() const
{
    return ReadFlag(KEY_FULL_SCREEN, false);
}

void TPlayerSettings::SetMusicOn(bool bOn)
{
    SetValue(QString(GROUP_GENERAL) + '/' + KEY_MUSIC, bOn ? "true" : "false");
}

void TPlayerSettings::SetFullScreen(bool bOn)
{
    SetValue(QString(GROUP_GENERAL) + '/' + KEY_FULL_SCREEN, bOn ? "true" : "false");
}

// A whole number from 0 to 100; 100 when there is none.
int TPlayerSettings::ReadPercent(const char* szKey) const
{
    bool bNumber = false;
    const int nValue = GetValue(QString(GROUP_GENERAL) + '/' + szKey).trimmed().toInt(&bNumber);
    return bNumber && nValue >= 0 && nValue <= 100 ? nValue : 100;
}

int TPlayerSettings::GetMusicVolume() const
{
    return ReadPercent(KEY_MUSIC_VOLUME);
}

int TPlayerSettings::GetEffectsVolume() const
{
    return ReadPercent(KEY_EFFECTS_VOLUME);
}

bool TPlayerSettings::IsAttractOn() const
{
    return ReadFlag(KEY_ATTRACT, true);
}

void TPlayerSettings::SetMusicVolume(int nPercent)
{
    DRELK_ASSERT(nPercent >= 0 && nPercent <= 100);
    SetValue(QString(GROUP_GENERAL) + '/' + KEY_MUSIC_VOLUME, QString::number(nPercent));
}

void TPlayerSettings::SetEffectsVolume(int nPercent)
{
    DRELK_ASSERT(nPercent >= 0 && nPercent <= 100);
    SetValue(QString(GROUP_GENERAL) + '/' + KEY_EFFECTS_VOLUME, QString::number(nPercent));
}

void TPlayerSettings::SetMaxFps(int nMaxFps)
{
    DRELK_ASSERT(nMaxFps >= 0);
    SetValue(QString(GROUP_GENERAL) + '/' + KEY_MAX_FPS, QString::number(nMaxFps));
}

void TPlayerSettings::SetAttractOn(bool bOn)
{
    SetValue(QString(GROUP_GENERAL) + '/' + KEY_ATTRACT, bOn ? "true" : "false");
}

TPlayerSettings::TText TPlayerSettings::Parse(const QByteArray& Bytes)
{
    TText Text;
    QList<QByteArray> vecLines = Bytes.split('\n');
    if (!vecLines.isEmpty() && vecLines.back().isEmpty())
        vecLines.removeLast();
    size_t nGroup = 0;
    // Where the next line of the current group goes: its end, or, in a group written twice,
    // before the blank lines that closed its first part.
    size_t nAt = 0;
    for (QByteArray Raw : vecLines) {
        if (Raw.endsWith('\r'))
            Raw.chop(1);
        const QString strLine = QString::fromUtf8(Raw);
        const QString strTrimmed = strLine.trimmed();
        if (strTrimmed.startsWith('[') && strTrimmed.endsWith(']') && strTrimmed.size() > 2) {
            // A group written twice is one group, as QSettings reads it.
            const QString strName = strTrimmed.mid(1, strTrimmed.size() - 2);
            const auto it = std::find_if(Text.begin(), Text.end(), [&](const TGroup& g) { return g.strName == strName; });
            nGroup = static_cast<size_t>(it - Text.begin());
            if (it == Text.end())
                Text.push_back({strName, {}});
            const std::vector<TLine>& vecGroup = Text[nGroup].vecLines;
            nAt = vecGroup.size();
            while (nAt > 0 && vecGroup[nAt - 1].strKey.isEmpty() && vecGroup[nAt - 1].strText.trimmed().isEmpty())
                --nAt;
            continue;
        }
        if (Text.empty())
            Text.push_back({QString(), {}});
        const int nEquals = strTrimmed.indexOf('=');
        const bool bKey = nEquals > 0 && !strTrimmed.startsWith(';') && !strTrimmed.startsWith('#');
        std::vector<TLine>& vecGroup = Text[nGroup].vecLines;
        const TLine Line = bKey ? TLine{strTrimmed.left(nEquals).trimmed(), strTrimmed.mid(nEquals + 1).trimmed()}
                                : TLine{QString(), strLine};
        vecGroup.insert(vecGroup.begin() + static_cast<std::ptrdiff_t>(nAt++), Line);
    }
    return Text;
}

QByteArray TPlayerSettings::Serialize(const TText& Text)
{
    QString strText;
    for (size_t i = 0; i < Text.size(); ++i) {
        const TGroup& Group = Text[i];
        // Groups stand apart by a blank line, unless one is there already.
        const bool bBlankBefore = i > 0 && !Text[i - 1].strName.isEmpty() && !strText.endsWith("\n\n");
        if (!Group.strName.isEmpty())
            strText += (bBlankBefore ? "\n[" : "[") + Group.strName + "]\n";
        for (const TLine& Line : Group.vecLines)
            strText += (Line.strKey.isEmpty() ? Line.strText : Line.strKey + '=' + Line.strText) + '\n';
    }
    return strText.toUtf8();
}
