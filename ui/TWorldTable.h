#pragma once
// The game's side of the world table: a replay sent to the server the player named (server=URL
// in drelk2.conf; without one nothing is ever sent), and the table read back. Every request is
// asynchronous and given up after its time, so that a server that is down or slow costs a line,
// never the game or what it keeps; what the server answers is untrusted and read with limits.
// The ending screen, the command line and the lists of games all send through here.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class TPlayerSettings;

class TWorldTable : public QObject
{
    Q_OBJECT

public:
    // A submission waits for the server to play the game again: a long game takes it seconds.
    static constexpr int SUBMIT_TIMEOUT_MS = 8000;
    static constexpr int LIST_TIMEOUT_MS = 5000;
    // Most an answer may hold.
    static constexpr qint64 MAX_ANSWER_BYTES = 2 * 1024 * 1024;
    static constexpr const char* SETTING_SERVER = "server";
    static constexpr const char* SETTING_NAME = "name";

    struct TSubmitted
    {
        bool bOk = false;
        QString strError;  // one line: the server's reason, or why it did not answer
        qint64 nId = 0;
        qint64 nRank = 0;
        int nScore = 0;
        int nLevel = 0;
    };
    struct TRow
    {
        qint64 nRank = 0;
        qint64 nId = 0;
        QString strName;
        qint64 nScore = 0;
        qint64 nLevel = 0;
        QString strDate;
    };
    struct TListed
    {
        bool bOk = false;
        QString strError;
        std::vector<TRow> vecRows;
    };

    // The server the settings name; an empty URL when none (nothing is sent). A URL that is not
    // http or https, or has no host, is no server: strError says why.
    static QUrl ServerOf(const TPlayerSettings& Settings, QString& strError);
    // The name a game is sent under: the settings' name=, else the login name, else "Player".
    static QString NameOf(const TPlayerSettings& Settings);

    explicit TWorldTable(const QUrl& Server, QObject* pParent = nullptr);
    ~TWorldTable() override;

    QUrl GetServer() const { return m_Server; }
    // Sends a replay; Done runs once, on this thread, with the rank or why not.
    void Submit(const QByteArray& Replay, const QString& strName, std::function<void(const TSubmitted&)> Done);
    // The best nLimit games.
    void List(int nLimit, std::function<void(const TListed&)> Done);

    // Text from the server made safe for a terminal or a label: controls and invisible
    // characters shown as '?', at most nMaxCharacters (a name's 24 by default).
    static QString Printable(const QString& strText, int nMaxCharacters = 24);

private:
    // The reply given up after nTimeoutMs or past MAX_ANSWER_BYTES; Done with its status and
    // bytes, or an error line.
    void Watch(QNetworkReply* pReply, int nTimeoutMs,
               std::function<void(int nStatus, const QByteArray& Body, const QString& strError)> Done);

    QUrl m_Server;
    QNetworkAccessManager* m_pNetwork;
};
