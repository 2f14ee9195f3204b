#include "tests/support/HungAudioServer.h"

#include "tests/support/TestDataFile.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

THungAudioServer::THungAudioServer() : m_strPath(MakeTempDir() + "/native")
{
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    if (m_strPath.size() >= sizeof Address.sun_path)
        throw std::runtime_error("socket path too long: " + m_strPath);
    std::strcpy(Address.sun_path, m_strPath.c_str());
    m_nListen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_nListen < 0 || bind(m_nListen, reinterpret_cast<sockaddr*>(&Address), sizeof Address) != 0 ||
        listen(m_nListen, 16) != 0)
        throw std::runtime_error("cannot listen on " + m_strPath + ": " + std::strerror(errno));
    m_Thread = std::thread(&THungAudioServer::Serve, this);
}

THungAudioServer::~THungAudioServer()
{
    Stop();
}

int THungAudioServer::Connections() const
{
    std::lock_guard<std::mutex> Lock(m_Mutex);
    return static_cast<int>(m_vecConnections.size());
}

void THungAudioServer::Stop()
{
    m_bStop = true;
    if (m_Thread.joinable())
        m_Thread.join();
    std::lock_guard<std::mutex> Lock(m_Mutex);
    for (int nFd : m_vecConnections)
        close(nFd);
    m_vecConnections.clear();
    if (m_nListen >= 0)
        close(m_nListen);
    m_nListen = -1;
}

// Takes connections until stopped; reads nothing, writes nothing.
void THungAudioServer::Serve()
{
    while (!m_bStop) {
        pollfd Poll{m_nListen, POLLIN, 0};
        if (poll(&Poll, 1, 20) <= 0)
            continue;
        const int nFd = accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (nFd < 0)
            continue;
        std::lock_guard<std::mutex> Lock(m_Mutex);
        m_vecConnections.push_back(nFd);
    }
}
