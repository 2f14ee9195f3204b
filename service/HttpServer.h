#pragma once
// The world table on HTTP, through libmicrohttpd: a thread a connection (a submission waits for
// its checker), at most MAX_CONNECTIONS at once and a few an address, headers within a small
// memory budget, a connection that sends nothing for IDLE_SECONDS closed, and a body that takes
// longer than its limit in all cut off, however it trickles.
//
//   POST /api/replays?name=NAME   a replay as the body
//   GET  /api/scores?limit=N      the table as JSON
//   GET  /replays/ID              a stored replay
//   GET  /                        the table as a page

#include "service/ScoreService.h"

#include <string>

struct MHD_Daemon;

class THttpServer
{
public:
    static constexpr unsigned MAX_CONNECTIONS = 256;
    static constexpr unsigned IDLE_SECONDS = 10;
    struct TLimits
    {
        unsigned nPerAddress = 16;  // connections an address may hold open
        int nBodySeconds = 30;      // the longest a body may take to come
    };
    // Room for the request line and headers of one connection.
    static constexpr size_t HEADER_BYTES = 16 * 1024;

    THttpServer(TScoreService& Service, TScoreService::TLog Log);
    ~THttpServer();
    THttpServer(const THttpServer&) = delete;
    THttpServer& operator=(const THttpServer&) = delete;

    // Listens on "ADDRESS:PORT" ("[::1]:8080" for IPv6; port 0 takes a free one). False with the
    // reason when the address cannot be used.
    bool Start(const std::string& strListen, const TLimits& Limits, std::string& strError);
    // The port listened on.
    unsigned GetPort() const;
    // Stops taking connections, lets those in progress finish, and stops.
    void Stop();

private:
    struct TRequest;
    // The library's callbacks, which reach Route.
    friend struct THttpCallbacks;
    // One call of the library for a request: true to go on with the connection, false to drop it.
    bool Route(struct MHD_Connection* pConnection, const std::string& strUrl, const std::string& strMethod,
               const char* pUpload, size_t* pUploadSize, TRequest& Request);

    TScoreService& m_Service;
    TScoreService::TLog m_Log;
    TLimits m_Limits;
    MHD_Daemon* m_pDaemon = nullptr;
};
