#pragma once
// The files the game keeps for the player (best scores, remembered choices), in the folders the
// desktop gives. They are written whole or not at all (a temporary file beside, synced, renamed
// over), read back as untrusted input, and a file that cannot serve is moved aside under a new
// name, never deleted. A folder that cannot be written only means nothing is kept.

#include <QByteArray>
#include <QString>

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

    // Makes the folder and its missing parents, but never a missing home folder itself. False
    // with the reason when the folder cannot be written.
    static bool PrepareFolder(const QString& strFolder, QString& strError);

    enum TRead { READ_OK, READ_MISSING, READ_REFUSED };
    // The whole file, when it is a regular file of at most nMaxBytes bytes; READ_REFUSED with
    // the reason for anything else (a directory, a FIFO, a device, too large, unreadable).
    static TRead Read(const QString& strPath, uint64_t nMaxBytes, QByteArray& Bytes, QString& strError);

    // Moves whatever is at strPath (a file, a folder, a FIFO...) to a free name beside it that
    // says it was set aside; that name, or an empty string with the reason.
    static QString SetAside(const QString& strPath, QString& strError);

    // Replaces strPath whole with the bytes, synced before the rename. Something other than a
    // regular file there is left alone and refused.
    static bool Write(const QString& strPath, const QByteArray& Bytes, QString& strError);
};
