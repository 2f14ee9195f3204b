#pragma once
// The player's ten best games (score, level reached, date), kept in the game's data folder
// (~/.local/share/drelk2/scores), the table before the last change beside it (scores.bak).
//
// The file is a line "drelk2 best scores 1", then one line "SCORE LEVEL DATE" per game, best
// first, the date in ISO 8601, UTC. A table or backup that cannot serve (damaged, foreign, cut
// short, too large, a folder, a FIFO, a link that leads nowhere...) is moved aside with one line
// to the player, and its good lines and those of the other copy make the new table, so no other
// game is lost. A missing table is restored from a good backup, and the only good copy is never
// written over. A table that cannot be read for a reason not its own (no descriptor left, no
// permission) is left as it is, and no game is written over it.
//
// A game is recorded under the folder's lock (re-read, merge, write), so that games ending
// together keep each other's entries. Without a folder that can be written, the table is still
// shown, and the game says once that new scores are not kept.

#include "store/KeptFiles.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class TBestScores
{
public:
    struct TEntry
    {
        int32_t nScore = 0;
        int32_t nLevel = 1;
        QDateTime When;  // UTC
        bool operator==(const TEntry& Other) const
        {
            return nScore == Other.nScore && nLevel == Other.nLevel && When == Other.When;
        }
    };
    static constexpr int MAX_ENTRIES = 10;
    // A table is a few hundred bytes. Of a larger file the start is read for the good lines it
    // holds (TKeptFiles::MAX_SALVAGE_BYTES).
    static constexpr uint64_t MAX_FILE_BYTES = 64 * 1024;

    // What the table is opened for: to record games (the folder is made, leftovers removed,
    // damaged copies set aside, a missing table restored), or only to be shown (drelk2
    // --scores: nothing is made, moved or written).
    enum TAccess { ACCESS_RECORD, ACCESS_SHOW };

    // The game's data folder (TKeptFiles::DataFolder).
    static QString DefaultFolder();

    // Reads the table in strFolder; notes for the player go through pSay.
    explicit TBestScores(const QString& strFolder = DefaultFolder(),
                         TKeptFiles::TSay pSay = TKeptFiles::SayOnStandardError, TAccess nAccess = ACCESS_RECORD);

    // False once a game could not be written (the reason was said), and from the start when the
    // folder cannot be written: the ending screen must not claim the game was kept.
    bool IsKept() const { return m_bKept; }
    const std::vector<TEntry>& GetEntries() const { return m_vecEntries; }
    // The best score so far, 0 without one.
    int32_t GetBest() const { return m_vecEntries.empty() ? 0 : m_vecEntries.front().nScore; }

    // A finished game. Its place in the table (1 for a new best), or 0 when it scored nothing
    // or is not among the ten best. Under the folder's lock the table on disk is read again and
    // the game merged in, so that games played at once keep each other's entries; IsKept then
    // says whether it was written.
    int Record(int32_t nScore, int32_t nLevel, const QDateTime& When);

    // The table for a person to read (drelk2 --scores).
    std::string ToText() const;

    // The file's bytes, and back: Parse keeps every good line of a damaged table and says what
    // is wrong with it.
    static QByteArray Serialize(const std::vector<TEntry>& vecEntries);
    static bool Parse(const QByteArray& Bytes, std::vector<TEntry>& vecEntries, QString& strError);

private:
    // One of the two files as read: its games (the good lines of a damaged one), and why it
    // cannot serve.
    struct TCopy
    {
        TKeptFiles::TRead nRead = TKeptFiles::READ_MISSING;
        std::vector<TEntry> vecEntries;
        QString strReason;
    };
    static TCopy ReadCopy(const QString& strPath);
    // Reads both files into the table; then sets damaged ones aside, and writes the table that
    // was saved from them or from a lone backup. True when something needed that.
    enum TLoad { LOAD_READ, LOAD_SET_ASIDE, LOAD_REWRITE };
    bool Load(TLoad nLoad);
    bool SetAside(const QString& strPath, const TCopy& Copy, const char* szWhat);
    void SayIfNotLocked(const TKeptFiles::TLock& Lock);
    bool Save(const std::vector<TEntry>& vecBefore);
    void NotKept(const QString& strReason);
    static void Rank(std::vector<TEntry>& vecEntries);

    QString m_strFolder;
    QString m_strPath;
    QString m_strBackup;
    TKeptFiles::TSay m_pSay;
    TAccess m_nAccess;
    bool m_bWritable = false;     // the folder is there and can be written
    bool m_bKept = true;
    bool m_bTableOnDisk = false;  // the table file holds the entries read: its backup may be renewed
    QString m_strDamaged;         // why the table read cannot serve, when it cannot
    QString m_strUnreadable;      // why the table could not be read, when it could not
    std::vector<TEntry> m_vecEntries;
};
