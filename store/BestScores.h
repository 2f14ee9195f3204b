#pragma once
// The player's ten best games (score, level reached, date), kept in the desktop's data folder
// (~/.local/share/drelk2/scores), the table before the last change beside it (scores.bak).
//
// The file is a line "drelk2 best scores 1", then one line "SCORE LEVEL DATE" per game, best
// first, the date in ISO 8601, UTC. A table that cannot be read whole (damaged, foreign, cut
// short, larger than 64 KiB, unreadable, a folder, a FIFO...) is moved aside with one line to
// the player; its good lines and those of the backup make the new table, so no other game is
// lost. Without a folder that can be written, the game plays on and says once that scores are
// not kept.

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
    static constexpr uint64_t MAX_FILE_BYTES = 64 * 1024;

    // The game's folder among the desktop's data folders.
    static QString DefaultFolder();

    // Reads the table in strFolder; notes for the player go through pSay.
    explicit TBestScores(const QString& strFolder = DefaultFolder(),
                         TKeptFiles::TSay pSay = TKeptFiles::SayOnStandardError);

    bool IsKept() const { return m_bKept; }
    const std::vector<TEntry>& GetEntries() const { return m_vecEntries; }
    // The best score so far, 0 without one.
    int32_t GetBest() const { return m_vecEntries.empty() ? 0 : m_vecEntries.front().nScore; }
    QString GetPath() const { return m_strPath; }

    // A finished game. Its place in the table (1 for a new best), or 0 when it scored nothing
    // or is not among the ten best. The table on disk is read again first, so that two games
    // played at once keep each other's entries.
    int Record(int32_t nScore, int32_t nLevel, const QDateTime& When);

    // The table for a person to read (drelk2 --scores).
    std::string ToText() const;

    // The file's bytes, and back: Parse keeps every good line of a damaged table and says what
    // is wrong with it.
    static QByteArray Serialize(const std::vector<TEntry>& vecEntries);
    static bool Parse(const QByteArray& Bytes, std::vector<TEntry>& vecEntries, QString& strError);

private:
    void Load();
    void Recover(const std::vector<TEntry>& vecSalvaged, const QString& strReason);
    bool Save(const std::vector<TEntry>& vecBefore, bool bHadFile);
    void NotKept(const QString& strReason);
    static void Rank(std::vector<TEntry>& vecEntries);

    QString m_strFolder;
    QString m_strPath;
    QString m_strBackup;
    TKeptFiles::TSay m_pSay;
    bool m_bKept = true;
    bool m_bHaveFile = false;
    std::vector<TEntry> m_vecEntries;
};
