#include "store/PlayerSettings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {
const char KEY_MUSIC[] = "music";
const char KEY_FULL_SCREEN[] = "fullscreen";

// The file may be read by QSettings: missing, or a regular file of a sensible size. Anything
// else (a FIFO would block its read) is moved aside.
bool MakeReadable(const QString& strFile, const TKeptFiles::TSay& pSay)
{
    QByteArray Bytes;
    QString strReason;
    if (TKeptFiles::Read(strFile, TPlayerSettings::MAX_FILE_BYTES, 0, Bytes, strReason) != TKeptFiles::READ_DAMAGED)
        return true;
    QString strError;
    const QString strAside = TKeptFiles::SetAside(strFile, strError);
    if (strAside.isEmpty()) {
        pSay("choices are not remembered: " + strReason.toStdString() + "; " + strError.toStdString());
        return false;
    }
    pSay("settings set aside as " + strAside.toStdString() + ": " + strReason.toStdString());
    return true;
}
}  // namespace

QString TPlayerSettings::DefaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/drelk2/drelk2.conf";
}

TPlayerSettings::TPlayerSettings(const QString& strFile, TKeptFiles::TSay pSay)
{
    QString strError;
    if (!TKeptFiles::PrepareFolder(QFileInfo(strFile).path(), strError) || !MakeReadable(strFile, pSay))
        return;
    m_pSettings = std::make_unique<QSettings>(strFile, QSettings::IniFormat);
    m_bMusicOn = ReadFlag(KEY_MUSIC, m_bMusicOn);
    m_bFullScreen = ReadFlag(KEY_FULL_SCREEN, m_bFullScreen);
}

TPlayerSettings::~TPlayerSettings() = default;

// "true" or "false" as QSettings writes them; anything else is no choice.
bool TPlayerSettings::ReadFlag(const char* szKey, bool bDefault) const
{
    const QString strValue = m_pSettings->value(szKey).toString();
    return strValue == "true" ? true : strValue == "false" ? false : bDefault;
}

void TPlayerSettings::WriteFlag(const char* szKey, bool bValue)
{
    if (!m_pSettings)
        return;
    m_pSettings->setValue(szKey, bValue);
    m_pSettings->sync();
}

void TPlayerSettings::SetMusicOn(bool bOn)
{
    m_bMusicOn = bOn;
    WriteFlag(KEY_MUSIC, bOn);
}

void TPlayerSettings::SetFullScreen(bool bOn)
{
    m_bFullScreen = bOn;
    WriteFlag(KEY_FULL_SCREEN, bOn);
}
