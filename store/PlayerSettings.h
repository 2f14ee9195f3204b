#pragma once
// What the game remembers of the player's choices between runs: music on or off, and full
// screen. Kept with QSettings in the desktop's config folder (~/.config/drelk2/drelk2.conf); a
// file there that is not a regular file, or a huge one, is moved aside with one line. Without a
// folder that can be written the choices last for the run only.

#include "store/KeptFiles.h"

#include <QString>

#include <memory>

class QSettings;

class TPlayerSettings
{
public:
    static constexpr uint64_t MAX_FILE_BYTES = 64 * 1024;

    static QString DefaultFile();
    explicit TPlayerSettings(const QString& strFile = DefaultFile(),
                             TKeptFiles::TSay pSay = TKeptFiles::SayOnStandardError);
    ~TPlayerSettings();
    TPlayerSettings(const TPlayerSettings&) = delete;
    TPlayerSettings& operator=(const TPlayerSettings&) = delete;

    // A setting as the file has it ("keys/fire"); empty when it has none.
    QString GetValue(const QString& strKey) const;

    bool IsMusicOn() const { return m_bMusicOn; }
    bool IsFullScreen() const { return m_bFullScreen; }
    // Each choice is written at once, so that it survives whatever ends the program.
    void SetMusicOn(bool bOn);
    void SetFullScreen(bool bOn);

private:
    bool ReadFlag(const char* szKey, bool bDefault) const;
    void WriteFlag(const char* szKey, bool bValue);

    std::unique_ptr<QSettings> m_pSettings;  // null when choices are not kept
    bool m_bMusicOn = true;
    bool m_bFullScreen = false;
};
