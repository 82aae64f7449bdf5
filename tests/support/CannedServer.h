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
    // The same, given the request head; it may read further requests with ReadHead.
    using Dialogue = std::function<void(Poco::Net::StreamSocket&, const std::string& head)>;

    // The reply is sent whole after silent_ms, then the connection is shut down.
    explicit CannedServer(std::string reply, int silent_ms = 0);
    explicit CannedServer(Writer writer);
    explicit CannedServer(Dialogue dialogue);
    // Over TLS, with a server certificate and key (PEM files).
    CannedServer(Dialogue dialogue, const std::string& cert_file, const std::string& key_file);
    ~CannedServer();
    CannedServer(const CannedServer&) = delete;
    CannedServer& operator=(const CannedServer&) = delete;

    std::string DestDomain() const;
    int Connections() const { return m_connections; }

    // False once the peer no longer takes bytes (never raises SIGPIPE, over TLS neither).
    static bool Send(Poco::Net::StreamSocket& peer, const std::string& bytes);
    // The next request head, through its empty line; empty when the peer closed first.
    static std::string ReadHead(Poco::Net::StreamSocket& peer);
    // Keeps the connection open without reading or sending until the peer closes it or the
    // server stops.
    static void Hold(Poco::Net::StreamSocket& peer);
    // The target of a request head ("GET /k HTTP/1.1" gives "/k").
    static std::string TargetOf(const std::string& head);

private:
    void Serve();

    Poco::Net::ServerSocket m_socket;
    Dialogue m_dialogue;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_peer_fd{-1};  // shut down by the destructor, so a dialogue ends
    std::thread m_thread;
};

}  // namespace zid_test
