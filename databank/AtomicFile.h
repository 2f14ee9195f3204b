#pragma once
// The one way the game and its tools write a file whole, the way a database writes its log: the
// bytes go to a new temporary file beside it (NAME.drelk2-temp-PID, so that a later run can tell
// a dead writer's leftover), every write counted, the temporary synced, renamed over the name,
// and the folder synced. On any failure the old file stays as it was, no temporary is left, and
// the caller is told why. The new file keeps the old one's permissions.
//
// What may be replaced: a missing name or a regular file; a FIFO, a device, a socket or a
// directory is refused, never opened. A symbolic link is refused too, unless the caller follows
// links (the player's own files: a link to a regular file is written through, the temporary
// going beside the file it leads to, and the link stays; a link that leads nowhere is refused).
// A file named on a command line that is read-only is refused, not replaced.

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

class TAtomicFile
{
public:
    enum TLinks {
        LINKS_REFUSED,  // a file named on a command line: only a missing or writable regular file
        LINKS_FOLLOWED, // a file kept for the player: written through a link to a regular file
    };
    // What a temporary file's name says after the name it replaces: whose it is, then the PID
    // of the process writing it.
    static constexpr const char* TEMP_MARK = ".drelk2-temp-";

    TAtomicFile() = default;
    // Removes the temporary file unless Commit succeeded.
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Checks the name and creates the temporary file; false with the reason ("PATH: ...").
    bool Open(const std::string& strPath, std::string& strError, TLinks nLinks = LINKS_REFUSED);
    // Appends bytes; a failure is kept and reported by Commit.
    void Write(const void* pBytes, size_t nBytes);
    // Syncs the temporary, renames it over the name and syncs the folder; false with the reason
    // ("PATH: ..."). After a failed folder sync the new file is in place, yet not known to be
    // kept: the caller must not say it was.
    bool Commit(std::string& strError);

    // Empty when strPath may be written as a file named on a command line (missing, or a
    // writable regular file); else why not.
    static std::string CheckTarget(const std::string& strPath);

    // The system calls writing goes through. Tests replace them to inject the faults of a full
    // or failing disk (a short write, ENOSPC, EIO); nothing else does.
    struct TSystemCalls
    {
        std::function<ssize_t(int nFd, const void* pBytes, size_t nBytes)> pWrite;
        std::function<int(int nFd)> pFsync;
        std::function<int(const char* szFrom, const char* szTo)> pRename;
    };
    static TSystemCalls& SystemCalls();
    static void RestoreSystemCalls();

private:
    bool Fail(const std::string& strWhy, std::string& strError);
    void Discard();

    int m_nFd = -1;
    int m_nWriteErrno = 0;
    bool m_bWroteNothing = false;
    TLinks m_nLinks = LINKS_REFUSED;
    std::string m_strPath;    // as the caller named it, for messages
    std::string m_strTarget;  // the file replaced: the name, or the file its link leads to
    std::string m_strTemp;
};
