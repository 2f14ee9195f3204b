#pragma once
// The files the game keeps for the player (best scores, remembered choices, replays), in the
// folders the XDG base directory rules give. Each is written whole by TAtomicFile, following
// links (a link to a regular file is read and written through). They are read back as untrusted
// input, and a file that cannot serve (a link that leads nowhere, or to anything but a regular
// file, included) is moved aside under a new name, never deleted. A folder that cannot be
// written only means nothing new is kept.

#include "databank/AtomicFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

class TKeptFiles
{
public:
    // Where the one-line notes for the player go ("scores set aside", "not kept").
    using TSay = std::function<void(const std::string&)>;
    // "drelk2: " and the line, on standard error.
    static void SayOnStandardError(const std::string& strLine);

    // The game's folders: $XDG_DATA_HOME/drelk2 (else ~/.local/share/drelk2), where the best
    // scores and the replays are kept, and $XDG_CONFIG_HOME/drelk2 (else ~/.config/drelk2). A
    // relative XDG path is ignored, as the XDG rules say, with one line the first time.
    static QString DataFolder();
    static QString ConfigFolder();

    // Makes the folder and its missing parents, but never a missing home folder itself. False
    // with the reason when the folder cannot be written.
    static bool PrepareFolder(const QString& strFolder, QString& strError);

    enum TRead {
        READ_OK,
        READ_MISSING,
        // It cannot serve as it is: not a regular file, a link that leads nowhere, larger than
        // allowed. To be set aside; of a file too large, its start is read for what it holds.
        READ_DAMAGED,
        // It could not be read for a reason that is not its own (no descriptor left, no
        // permission, an I/O error): to be left as it is.
        READ_UNAVAILABLE,
    };
    // The whole file, when it is a regular file of at most nMaxBytes bytes. Of a larger one,
    // READ_DAMAGED with its first nSalvageBytes in Bytes. The reason starts with the path.
    // MAX_SALVAGE_BYTES bounds what is read of a kept file too large to serve.
    static constexpr uint64_t MAX_SALVAGE_BYTES = 1024 * 1024;
    static TRead Read(const QString& strPath, uint64_t nMaxBytes, uint64_t nSalvageBytes, QByteArray& Bytes,
                      QString& strError);

    // Moves whatever is at strPath (a file, a folder, a FIFO, a link...) to a free name beside
    // it that says it was set aside (PATH.damaged-DATE); that name, or empty with the reason.
    static QString SetAside(const QString& strPath, QString& strError);

    // Replaces strPath whole with the bytes (see above). False with the reason ("PATH: ...")
    // when anything failed; the old file is then untouched and no temporary is left.
    static bool Write(const QString& strPath, const QByteArray& Bytes, QString& strError);

    // Removes from strFolder the temporary files of writers that are no longer running (a write
    // killed half way), and those an earlier version of the game left beside the files kept
    // there, vecKeptNames (NAME.XXXXXX, over a minute old). Of a kept file that is a link, the
    // dead writers' temporaries beside the file it leads to go too.
    static void RemoveLeftovers(const QString& strFolder, const QStringList& vecKeptNames = {});

    // A read, merge and write by one game at a time: the lock on a folder (flock on the folder
    // itself, so no lock file can be damaged into a hang), held while this object lives. It
    // waits at most LOCK_WAIT_MS for another game to let go; a lock that cannot be had (a hung
    // holder, a file system without locks) is not held, and GetError says why.
    static constexpr int LOCK_WAIT_MS = 1500;
    class TLock
    {
    public:
        explicit TLock(const QString& strFolder, int nWaitMs = LOCK_WAIT_MS);
        ~TLock();
        TLock(const TLock&) = delete;
        TLock& operator=(const TLock&) = delete;
        bool IsHeld() const { return m_bHeld; }
        const QString& GetError() const { return m_strError; }

    private:
        int m_nFd = -1;
        bool m_bHeld = false;
        QString m_strError;
    };

    // The system calls Write goes through (TAtomicFile's). Tests replace them to inject the
    // faults of a full or failing disk; nothing else does.
    using TSystemCalls = TAtomicFile::TSystemCalls;
    static TSystemCalls& SystemCalls() { return TAtomicFile::SystemCalls(); }
    static void RestoreSystemCalls() { TAtomicFile::RestoreSystemCalls(); }
};
