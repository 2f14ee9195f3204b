#pragma once
// What the game remembers of the player's choices between runs (music on or off, the volumes,
// full screen, the frame cap, the demo, and whatever else is given a key),
// in the game's config folder (~/.config/drelk2/drelk2.conf).
//
// The file is INI text as QSettings writes it: groups ("[General]", "[keys]") of "key=value"
// lines; in [General] music=true|false, music_volume=0..100, effects_volume=0..100,
// fullscreen=true|false, maxfps=N, effects=low|normal|high (read by the game window) and
// attract=true|false. A value that cannot be read is no choice: the default holds. It is read
// defensively (a
// regular file of at most 64 KiB; a link to one is followed), and written whole through the
// store under the config folder's lock: the file is read again, the one changed key merged in,
// and every other key, group and comment kept as it was. A file that cannot serve is moved
// aside with one line, keeping the lines it still holds. Without a folder that can be written
// the choices last for the run only.

#include "store/KeptFiles.h"

#include <QString>
#include <QStringList>

#include <functional>

#include <vector>

class TPlayerSettings
{
public:
    static constexpr uint64_t MAX_FILE_BYTES = 64 * 1024;

    // The frame caps the options window offers (0: the screen's rate).
    static constexpr int FRAME_CAPS[] = {0, 30, 60, 120, 144};
    // What the file is opened for: to keep choices (the folder is made, leftovers removed, a
    // damaged file set aside), or only to read them (drelk2 --help: nothing made or moved).
    enum TAccess { ACCESS_KEEP, ACCESS_READ };

    // drelk2.conf in the game's config folder (TKeptFiles::ConfigFolder).
    static QString DefaultFile();
    explicit TPlayerSettings(const QString& strFile = DefaultFile(),
                             TKeptFiles::TSay pSay = TKeptFiles::SayOnStandardError, TAccess nAccess = ACCESS_KEEP);

    bool IsMusicOn() const;
    bool IsFullScreen() const;
    // Percent, 0 to 100: how loud the music and the effects play (100 when not chosen).
    int GetMusicVolume() const;
    int GetEffectsVolume() const;
    // The frame cap as written, 0 when not chosen (the window reads and checks it).
    QString GetMaxFps() const { return GetValue("maxfps"); }
    // The demo on the start-up window, on unless switched off.
    bool IsAttractOn() const;
    // Each choice is written at once, so that it survives whatever ends the program.
    void SetMusicOn(bool bOn);
    void SetFullScreen(bool bOn);
    void SetMusicVolume(int nPercent);
    void SetEffectsVolume(int nPercent);
    void SetMaxFps(int nMaxFps);
    void SetAttractOn(bool bOn);

    // Any setting by "GROUP/KEY" ("General/maxfps", "keys/turn_left"); a key without a group
    // is in General. Keys are letters, digits, '_', '.' and '-'; anything else is a caller's bug.
    // An empty string when the file does not hold the key.
    QString GetValue(const QString& strKey) const;
    // Remembered for the run, and written at once when the folder can be written (a failure
    // is said in one line).
    void SetValue(const QString& strKey, const QString& strValue);
    // The key's line gone from the file, the same way: the default holds again.
    void RemoveValue(const QString& strKey);
    // The keys a group holds, in the file's order ("keys": "fire", "warp"...).
    QStringList GetKeys(const QString& strGroup) const;

    // The file's text as kept: its groups with their lines in order, every line that is not
    // "key=value" (comments, blank lines) kept as it was.
    struct TLine
    {
        QString strKey;  // empty: a line kept as it is
        QString strText; // the value as written (quoted or not), or the whole line
    };
    struct TGroup
    {
        QString strName;  // empty: the lines before the first group
        std::vector<TLine> vecLines;
    };
    using TText = std::vector<TGroup>;
    static TText Parse(const QByteArray& Bytes);
    static QByteArray Serialize(const TText& Text);

private:
    bool ReadFlag(const char* szKey, bool bDefault) const;
    int ReadPercent(const char* szKey) const;
    // Changes the file under the lock: the text read again, Change applied to it, written whole.
    void Write(const std::function<void(TText&)>& Change);
    // The file as it is now: its text (empty when missing); of one that cannot serve, what
    // could be read of it, to be set aside; or, unavailable, only the reason.
    enum TLoad { LOAD_OK, LOAD_DAMAGED, LOAD_UNAVAILABLE };
    TLoad LoadFile(TText& Text, QString& strWhy) const;
    bool SetAside(QString& strWhy);
    void Say(const std::string& strLine);

    QString m_strFile;
    QString m_strFolder;
    TKeptFiles::TSay m_pSay;
    bool m_bKept = false;  // the folder can be written
    TText m_Text;
    std::string m_strLastSaid;
};
