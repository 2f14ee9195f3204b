#pragma once
// Where the games' replays are kept: a folder of their own beside the best scores
// (~/.local/share/drelk2/replays), one file a game, named by when it ended, its score and its
// level (20261211-024833-score-120-level-2.drelk2-replay), which is also how an entry of the
// best scores finds its game. The last KEEP_LAST games are kept, and every game the best
// scores list; older ones are removed when a new one comes, one game at a time (under the
// folder's lock). Each is written whole through the store. The bytes are the caller's: the
// shelf neither reads nor checks them.

#include "store/BestScores.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class TReplayShelf
{
public:
    static constexpr int KEEP_LAST = 20;
    static constexpr const char* SUFFIX = ".drelk2-replay";

    // The replays' folder among the desktop's data folders.
    static QString DefaultFolder();
    explicit TReplayShelf(const QString& strFolder = DefaultFolder());

    QString GetFolder() const { return m_strFolder; }
    // The name a game's replay is kept under.
    static QString NameFor(const QDateTime& When, int32_t nScore, int32_t nLevel);
    // Where the replay of a listed game is, or an empty string when it has none.
    QString PathOf(const TBestScores::TEntry& Entry) const;

    // Writes the replay of a game that ended at When, whole or not at all, then removes the
    // replays that are neither among the last KEEP_LAST nor listed in vecBest. False with the
    // reason when it could not be kept.
    bool Keep(const QDateTime& When, int32_t nScore, int32_t nLevel, const QByteArray& Bytes,
              const std::vector<TBestScores::TEntry>& vecBest, QString& strError);

    // The newest replay's path; empty when there is none.
    QString Last() const;
    // The replay of the best listed game that has one; empty when none has. Without a list, the
    // table of best scores is read for it (and only read).
    QString Best(const std::vector<TBestScores::TEntry>& vecBest) const;
    QString Best() const;
    // The file a player names: "last", "best", or a path as it is. Empty, with the line to say,
    // when the shelf holds no such game.
    QString Resolve(const QString& strName, QString& strError) const;

private:
    // The replays there, newest first.
    QStringList Names() const;
    void Prune(const std::vector<TBestScores::TEntry>& vecBest) const;

    QString m_strFolder;
    bool m_bTidied = false;  // the leftovers of killed writes removed, once a run
};
