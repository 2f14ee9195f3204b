#pragma once
// An audio server that takes every connection and never answers: what a stuck sound daemon
// looks like to a client. Reach it with SDL_AUDIODRIVER=pulseaudio and PULSE_SERVER=Address().

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class THungAudioServer
{
public:
    // Listens on a socket in a fresh temporary directory.
    THungAudioServer();
    ~THungAudioServer();
    THungAudioServer(const THungAudioServer&) = delete;
    THungAudioServer& operator=(const THungAudioServer&) = delete;

    // "unix:PATH", as PULSE_SERVER takes it.
    std::string Address() const { return "unix:" + m_strPath; }
    // Connections taken so far.
    int Connections() const;
    // Closes every connection and the socket: the clients then see the server go away.
    void Stop();

private:
    void Serve();

    std::string m_strPath;
    int m_nListen = -1;
    std::atomic<bool> m_bStop{false};
    mutable std::mutex m_Mutex;
    std::vector<int> m_vecConnections;
    std::thread m_Thread;
};
