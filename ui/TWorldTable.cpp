#include "ui/TWorldTable.h"

#include "store/PlayerSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

#include <pwd.h>
#include <unistd.h>

#include <memory>

namespace {
constexpr int MAX_NAME_CHARACTERS = 24;
constexpr int MAX_REASON_CHARACTERS = 300;

QUrl Endpoint(const QUrl& Server, const QString& strPath)
{
    QUrl Url = Server;
    QString strBase = Url.path();
    if (strBase.endsWith('/'))
        strBase.chop(1);
    Url.setPath(strBase + strPath);
    Url.setQuery(QString());
    Url.setFragment(QString());
    return Url;
}

// The server's {"error": "..."}, else the HTTP status.
QString ServerReason(int nStatus, const QByteArray& Body)
{
    const QJsonDocument Doc = QJsonDocument::fromJson(Body);
    const QString strError = Doc.isObject() ? Doc.object().value("error").toString() : QString();
    if (!strError.isEmpty())
        return QString("%1 (status %2)").arg(TWorldTable::Printable(strError, MAX_REASON_CHARACTERS)).arg(nStatus);
    return QString("the server answered status %1").arg(nStatus);
}
}  // namespace

QUrl TWorldTable::ServerOf(const TPlayerSettings& Settings, QString& strError)
{
    strError.clear();
    const QString strValue = Settings.GetValue(SETTING_SERVER).trimmed();
    if (strValue.isEmpty())
        return QUrl();
    const QUrl Url(strValue, QUrl::StrictMode);
    if (!Url.isValid() || (Url.scheme() != "http" && Url.scheme() != "https") || Url.host().isEmpty()) {
        strError = QString("server=%1 in drelk2.conf is not an http:// or https:// address").arg(strValue);
        return QUrl();
    }
    return Url;
}

QString TWorldTable::NameOf(const TPlayerSettings& Settings)
{
    const QString strName = Settings.GetValue(SETTING_NAME).trimmed();
    if (!strName.isEmpty())
        return strName;
    if (const passwd* pUser = getpwuid(getuid()); pUser && pUser->pw_name && *pUser->pw_name)
        return QString::fromLocal8Bit(pUser->pw_name).left(MAX_NAME_CHARACTERS);
    return "Player";
}

QString TWorldTable::Printable(const QString& strText, int nMaxCharacters)
{
    QString strOut;
    const QVector<uint> vecCodes = strText.toUcs4();
    int nCount = 0;
    for (const uint nCode : vecCodes) {
        if (++nCount > nMaxCharacters)
            break;
        const QChar::Category nCategory = QChar::category(nCode);
        const bool bHidden = nCategory == QChar::Other_Control || nCategory == QChar::Other_Format ||
                             nCategory == QChar::Separator_Line || nCategory == QChar::Separator_Paragraph ||
                             nCategory == QChar::Other_Surrogate || nCategory == QChar::Other_NotAssigned;
        if (bHidden)
            strOut += '?';
        else
            strOut += QString::fromUcs4(&nCode, 1);
    }
    return strOut;
}

TWorldTable::TWorldTable(const QUrl& Server, QObject* pParent)
    : QObject(pParent), m_Server(Server), m_pNetwork(new QNetworkAccessManager(this))
{
}

TWorldTable::~TWorldTable() = default;

void TWorldTable::Watch(QNetworkReply* pReply, int nTimeoutMs,
                        std::function<void(int, const QByteArray&, const QString&)> Done)
{
    auto pTimer = new QTimer(pReply);
    pTimer->setSingleShot(true);
    auto pWhy = std::make_shared<QString>();
    connect(pTimer, &QTimer::timeout, pReply, [pReply, pWhy, nTimeoutMs] {
        *pWhy = QString("no answer within %1 s").arg(nTimeoutMs / 1000);
        pReply->abort();
    });
    connect(pReply, &QNetworkReply::downloadProgress, pReply, [pReply, pWhy](qint64 nReceived, qint64) {
        if (nReceived > MAX_ANSWER_BYTES && pWhy->isEmpty()) {
            *pWhy = "the server's answer is too large";
            pReply->abort();
        }
    });
    connect(pReply, &QNetworkReply::finished, this, [pReply, pWhy, Done] {
        pReply->deleteLater();
        const int nStatus = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!pWhy->isEmpty()) {
            Done(0, QByteArray(), *pWhy);
            return;
        }
        const QByteArray Body = pReply->read(MAX_ANSWER_BYTES);
        // An HTTP status is an answer, whatever it says; no status is no answer.
        if (nStatus == 0) {
            Done(0, QByteArray(), pReply->errorString().simplified());
            return;
        }
        Done(nStatus, Body, QString());
    });
    pTimer->start(nTimeoutMs);
}

void TWorldTable::Submit(const QByteArray& Replay, const QString& strName, std::function<void(const TSubmitted&)> Done)
{
    QUrl Url = Endpoint(m_Server, "/api/replays");
    QUrlQuery Query;
    Query.addQueryItem("name", QString::fromLatin1(QUrl::toPercentEncoding(strName)));
    Url.setQuery(Query.query(QUrl::FullyEncoded), QUrl::StrictMode);
    QNetworkRequest Request(Url);
    Request.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    Request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    Watch(m_pNetwork->post(Request, Replay), SUBMIT_TIMEOUT_MS,
          [Done](int nStatus, const QByteArray& Body, const QString& strError) {
              TSubmitted Result;
              if (!strError.isEmpty()) {
                  Result.strError = strError;
              } else if (nStatus != 201) {
                  Result.strError = ServerReason(nStatus, Body);
              } else {
                  const QJsonObject Answer = QJsonDocument::fromJson(Body).object();
                  Result.nId = Answer.value("id").toVariant().toLongLong();
                  Result.nRank = Answer.value("rank").toVariant().toLongLong();
                  Result.nScore = Answer.value("score").toInt();
                  Result.nLevel = Answer.value("level").toInt();
                  Result.bOk = Result.nRank > 0;
                  if (!Result.bOk)
                      Result.strError = "the server's answer holds no rank";
              }
              Done(Result);
          });
}

void TWorldTable::List(int nLimit, std::function<void(const TListed&)> Done)
{
    QUrl Url = Endpoint(m_Server, "/api/scores");
    Url.setQuery(QString("limit=%1").arg(nLimit));
    QNetworkRequest Request(Url);
    Request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    Watch(m_pNetwork->get(Request), LIST_TIMEOUT_MS, [Done](int nStatus, const QByteArray& Body, const QString& strError) {
        TListed Result;
        if (!strError.isEmpty()) {
            Result.strError = strError;
        } else if (nStatus != 200) {
            Result.strError = ServerReason(nStatus, Body);
        } else {
            const QJsonDocument Doc = QJsonDocument::fromJson(Body);
            if (!Doc.isArray()) {
                Result.strError = "the server's answer is not a table";
            } else {
                for (const QJsonValue& Value : Doc.array()) {
                    const QJsonObject Row = Value.toObject();
                    Result.vecRows.push_back({Row.value("rank").toVariant().toLongLong(),
                                              Row.value("id").toVariant().toLongLong(), Row.value("name").toString(),
                                              Row.value("score").toVariant().toLongLong(),
                                              Row.value("level").toVariant().toLongLong(),
                                              Row.value("date").toString().left(20)});
                }
                Result.bOk = true;
            }
        }
        Done(Result);
    });
}
