// A loopback server that answers every connection the same way, for answers the
// storage service never gives: plain-text errors, broken framing, silence, bodies
// that never end (include as "support/CannedServer.h").
#pragma once

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace zid_test {

class CannedServer {
public:
    // Answers one connection once its request head has arrived; may return early
    // when the peer has gone (Send says so).
    using Writer = std::function<void(Poco::Net::StreamSocket&)>;

    // The reply is sent whole after silent_ms, then the connection is shut down.
    explicit CannedServer(std::string reply, int silent_ms = 0);
    explicit CannedServer(Writer writer);
    ~CannedServer();
    CannedServer(const CannedServer&) = delete;
    CannedServer& operator=(const CannedServer&) = delete;

    std::string DestDomain() const;
    int Connections() const { return m_connections; }

    // False once the peer no longer takes bytes (never raises SIGPIPE).
    static bool Send(Poco::Net::StreamSocket& peer, const std::string& bytes);

private:
    void Serve();

    Poco::Net::ServerSocket m_socket;
    Writer m_writer;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

}  // namespace zid_test
