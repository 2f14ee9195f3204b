#include "service/HttpServer.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {
// Headers every answer carries: nothing is sniffed or framed, the page runs no script and loads
// nothing from elsewhere.
const std::pair<const char*, const char*> COMMON_HEADERS[] = {
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'"},
    {"Cache-Control", "no-store"},
};

std::string AddressOf(MHD_Connection* pConnection)
{
    const MHD_ConnectionInfo* pInfo = MHD_get_connection_info(pConnection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!pInfo || !pInfo->client_addr)
        return "?";
    char szHost[INET6_ADDRSTRLEN] = "?";
    const sockaddr* pAddress = pInfo->client_addr;
    if (pAddress->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(pAddress)->sin_addr, szHost, sizeof szHost);
    else if (pAddress->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(pAddress)->sin6_addr, szHost, sizeof szHost);
    return szHost;
}

// A query argument, NUL bytes and all; false when it is not there.
bool Argument(MHD_Connection* pConnection, const char* szKey, std::string& strValue)
{
    const char* szValue = nullptr;
    size_t nLength = 0;
    if (MHD_lookup_connection_value_n(pConnection, MHD_GET_ARGUMENT_KIND, szKey, std::strlen(szKey), &szValue,
                                      &nLength) != MHD_YES)
        return false;
    strValue.assign(szValue ? szValue : "", szValue ? nLength : 0);
    return true;
}

bool Send(MHD_Connection* pConnection, const TAnswer& Answer)
{
    MHD_Response* pResponse = MHD_create_response_from_buffer(Answer.strBody.size(),
                                                              const_cast<char*>(Answer.strBody.data()),
                                                              MHD_RESPMEM_MUST_COPY);
    if (!pResponse)
        return false;
    MHD_add_response_header(pResponse, MHD_HTTP_HEADER_CONTENT_TYPE, Answer.strType.c_str());
    for (const auto& Header : COMMON_HEADERS)
        MHD_add_response_header(pResponse, Header.first, Header.second);
    for (const auto& Header : Answer.vecHeaders)
        MHD_add_response_header(pResponse, Header.first.c_str(), Header.second.c_str());
    const MHD_Result nResult = MHD_queue_response(pConnection, static_cast<unsigned>(Answer.nStatus), pResponse);
    MHD_destroy_response(pResponse);
    return nResult == MHD_YES;
}

// "ADDRESS:PORT" or "[IPV6]:PORT" as a socket address; false with the reason.
bool ParseListen(const std::string& strListen, sockaddr_storage& Address, std::string& strError)
{
    const size_t nColon = strListen.rfind(':');
    if (nColon == std::string::npos || nColon + 1 == strListen.size()) {
        strError = "--listen wants ADDRESS:PORT, not '" + strListen + "'";
        return false;
    }
    std::string strHost = strListen.substr(0, nColon);
    const std::string strPort = strListen.substr(nColon + 1);
    if (strHost.size() >= 2 && strHost.front() == '[' && strHost.back() == ']')
        strHost = strHost.substr(1, strHost.size() - 2);
    addrinfo Hints{};
    Hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* pFound = nullptr;
    const int nResult = getaddrinfo(strHost.empty() ? nullptr : strHost.c_str(), strPort.c_str(), &Hints, &pFound);
    if (nResult != 0 || !pFound) {
        strError = "--listen '" + strListen + "': " + gai_strerror(nResult);
        return false;
    }
    std::memcpy(&Address, pFound->ai_addr, pFound->ai_addrlen);
    freeaddrinfo(pFound);
    return true;
}
}  // namespace

struct THttpServer::TRequest
{
    bool bStarted = false;
    bool bAdmitted = false;
    std::string strAddress;
    std::string strName;
    std::vector<uint8_t> Body;
    bool bTooLarge = false;
    std::chrono::steady_clock::time_point tStart = std::chrono::steady_clock::now();
};

struct THttpCallbacks
{
    static MHD_Result Handle(void* pSelf, MHD_Connection* pConnection, const char* szUrl, const char* szMethod,
                             const char* /*szVersion*/, const char* pUpload, size_t* pUploadSize, void** ppRequest)
    {
        auto* pRequest = static_cast<THttpServer::TRequest*>(*ppRequest);
        if (!pRequest) {
            pRequest = new THttpServer::TRequest();
            *ppRequest = pRequest;
        }
        return static_cast<THttpServer*>(pSelf)->Route(pConnection, szUrl, szMethod, pUpload, pUploadSize, *pRequest)
                   ? MHD_YES
                   : MHD_NO;
    }
    static void Completed(void* /*pSelf*/, MHD_Connection* /*pConnection*/, void** ppRequest,
                          MHD_RequestTerminationCode /*nHow*/)
    {
        delete static_cast<THttpServer::TRequest*>(*ppRequest);
        *ppRequest = nullptr;
    }
    static void Log(void* pSelf, const char* szFormat, va_list Args)
    {
        char szLine[512];
        std::vsnprintf(szLine, sizeof szLine, szFormat, Args);
        std::string strLine = szLine;
        while (!strLine.empty() && strLine.back() == '\n')
            strLine.pop_back();
        static_cast<THttpServer*>(pSelf)->m_Log("http: " + strLine);
    }
};

THttpServer::THttpServer(TScoreService& Service, TScoreService::TLog Log) : m_Service(Service), m_Log(std::move(Log))
{
}

THttpServer::~THttpServer()
{
    Stop();
}

bool THttpServer::Start(const std::string& strListen, const TLimits& Limits, std::string& strError)
{
    m_Limits = Limits;
    sockaddr_storage Address{};
    if (!ParseListen(strListen, Address, strError))
        return false;
    unsigned nFlags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL |
                      MHD_USE_ERROR_LOG | MHD_USE_ITC;
    if (Address.ss_family == AF_INET6)
        nFlags |= MHD_USE_IPv6;
    m_pDaemon = MHD_start_daemon(
        nFlags, 0, nullptr, nullptr, &THttpCallbacks::Handle, this,
        // First, so that the library's every message goes through it.
        MHD_OPTION_EXTERNAL_LOGGER, &THttpCallbacks::Log, this,
        MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr*>(&Address),
        MHD_OPTION_CONNECTION_LIMIT, MAX_CONNECTIONS,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, Limits.nPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, IDLE_SECONDS,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, HEADER_BYTES,
        MHD_OPTION_THREAD_STACK_SIZE, static_cast<size_t>(512 * 1024),
        MHD_OPTION_NOTIFY_COMPLETED, &THttpCallbacks::Completed, this,
        MHD_OPTION_END);
    if (!m_pDaemon) {
        strError = "cannot listen on " + strListen + " (the address is taken, or not this machine's)";
        return false;
    }
    return true;
}

unsigned THttpServer::GetPort() const
{
    const MHD_DaemonInfo* pInfo = m_pDaemon ? MHD_get_daemon_info(m_pDaemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
    return pInfo ? pInfo->port : 0;
}

void THttpServer::Stop()
{
    if (!m_pDaemon)
        return;
    MHD_quiesce_daemon(m_pDaemon);
    MHD_stop_daemon(m_pDaemon);
    m_pDaemon = nullptr;
}

bool THttpServer::Route(MHD_Connection* pConnection, const std::string& strUrl, const std::string& strMethod,
                        const char* pUpload, size_t* pUploadSize, TRequest& Request)
{
    const bool bFirst = !Request.bStarted;
    Request.bStarted = true;
    const bool bGet = strMethod == MHD_HTTP_METHOD_GET || strMethod == MHD_HTTP_METHOD_HEAD;
    if (strUrl == "/api/replays") {
        if (strMethod != MHD_HTTP_METHOD_POST) {
            TAnswer Answer = TAnswer::Error(405, "a replay is sent with POST");
            Answer.vecHeaders.emplace_back("Allow", "POST");
            return Send(pConnection, Answer);
        }
        if (bFirst) {
            // Refused before the body comes, the body is never read.
            Request.strAddress = AddressOf(pConnection);
            const bool bHasName = Argument(pConnection, "name", Request.strName);
            uint64_t nDeclared = 0;
            if (const char* szLength = MHD_lookup_connection_value(pConnection, MHD_HEADER_KIND,
                                                                   MHD_HTTP_HEADER_CONTENT_LENGTH))
                nDeclared = std::strtoull(szLength, nullptr, 10);
            TAnswer Refusal;
            if (!m_Service.Admit(Request.strAddress, Request.strName, bHasName, nDeclared, Refusal))
                return Send(pConnection, Refusal);
            Request.bAdmitted = true;
            return true;
        }
        if (*pUploadSize > 0) {
            if (std::chrono::steady_clock::now() - Request.tStart > std::chrono::seconds(m_Limits.nBodySeconds)) {
                m_Log("cut off a slow upload from " + Request.strAddress);
                return false;
            }
            if (Request.Body.size() + *pUploadSize > TReplay::MAX_BYTES)
                Request.bTooLarge = true;
            else
                Request.Body.insert(Request.Body.end(), pUpload, pUpload + *pUploadSize);
            *pUploadSize = 0;
            return true;
        }
        if (Request.bTooLarge)
            return Send(pConnection, TAnswer::Error(413, "a replay is at most " + std::to_string(TReplay::MAX_BYTES) +
                                                            " bytes"));
        return Send(pConnection, m_Service.Submit(Request.strAddress, Request.strName, Request.Body));
    }
    if (!bGet) {
        TAnswer Answer = TAnswer::Error(405, "only GET here");
        Answer.vecHeaders.emplace_back("Allow", "GET, HEAD");
        return Send(pConnection, Answer);
    }
    if (strUrl == "/api/scores") {
        std::string strLimit;
        const bool bHasLimit = Argument(pConnection, "limit", strLimit);
        return Send(pConnection, m_Service.Scores(strLimit, bHasLimit));
    }
    if (strUrl == "/")
        return Send(pConnection, m_Service.Page());
    static const std::string REPLAYS = "/replays/";
    if (strUrl.compare(0, REPLAYS.size(), REPLAYS) == 0)
        return Send(pConnection, m_Service.Replay(strUrl.substr(REPLAYS.size())));
    return Send(pConnection, TAnswer::Error(404, "nothing here"));
}
