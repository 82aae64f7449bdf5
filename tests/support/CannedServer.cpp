#include "support/CannedServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

#include <Poco/Net/Context.h>
#include <Poco/Net/SecureServerSocket.h>

#include "util/HttpConnection.h"

namespace zid_test {

CannedServer::CannedServer(std::string reply, int silent_ms)
    : CannedServer([reply, silent_ms](Poco::Net::StreamSocket& peer) {
          if (silent_ms > 0) {
              std::this_thread::sleep_for(std::chrono::milliseconds(silent_ms));
          }
          Send(peer, reply);
      }) {}

CannedServer::CannedServer(Writer writer)
    : CannedServer(Dialogue([writer](Poco::Net::StreamSocket& peer, const std::string&) {
          writer(peer);
      })) {}

CannedServer::CannedServer(Dialogue dialogue)
    : m_socket(Poco::Net::SocketAddress("127.0.0.1", 0)), m_dialogue(std::move(dialogue)) {
    m_thread = std::thread([this] { Serve(); });
}

CannedServer::CannedServer(Dialogue dialogue, const std::string& cert_file,
                           const std::string& key_file)
    : m_socket(Poco::Net::SecureServerSocket(
          Poco::Net::SocketAddress("127.0.0.1", 0), 64,
          new Poco::Net::Context(Poco::Net::Context::TLS_SERVER_USE, key_file, cert_file, "",
                                 Poco::Net::Context::VERIFY_NONE))),
      m_dialogue(std::move(dialogue)) {
    m_thread = std::thread([this] { Serve(); });
}

CannedServer::~CannedServer() {
    m_stop = true;
    const int fd = m_peer_fd.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    // The listening socket is closed by its own destructor, once the thread no longer polls it.
    m_thread.join();
}

std::string CannedServer::DestDomain() const {
    return "127.0.0.1:" + std::to_string(m_socket.address().port());
}

bool CannedServer::Send(Poco::Net::StreamSocket& peer, const std::string& bytes) {
    if (peer.secure()) {
        zuzezi_zid::SigpipeHold hold;
        try {
            return peer.sendBytes(bytes.data(), static_cast<int>(bytes.size())) ==
                   static_cast<int>(bytes.size());
        } catch (...) {
            return false;
        }
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::send(peer.impl()->sockfd(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string CannedServer::ReadHead(Poco::Net::StreamSocket& peer) {
    std::string head;
    char c;
    while (head.find("\r\n\r\n") == std::string::npos && peer.receiveBytes(&c, 1) == 1) {
        head += c;
    }
    return head.find("\r\n\r\n") == std::string::npos ? std::string() : head;
}

void CannedServer::Hold(Poco::Net::StreamSocket& peer) {
    // POLLRDHUP tells of the peer's close without reading what it sent.
    pollfd p{peer.impl()->sockfd(), POLLRDHUP, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

std::string CannedServer::TargetOf(const std::string& head) {
    const size_t start = head.find(' ');
    if (start == std::string::npos) return "";
    const size_t end = head.find(' ', start + 1);
    return head.substr(start + 1, end == std::string::npos ? end : end - start - 1);
}

void CannedServer::Serve() {
    while (!m_stop) {
        try {
            if (!m_socket.poll(Poco::Timespan(0, 50000), Poco::Net::Socket::SELECT_READ)) {
                continue;
            }
            Poco::Net::StreamSocket peer = m_socket.acceptConnection();
            ++m_connections;
            m_peer_fd = peer.impl()->sockfd();
            if (m_stop) return;
            const std::string head = ReadHead(peer);
            m_dialogue(peer, head);
            m_peer_fd = -1;
            peer.shutdown();
        } catch (...) {
            m_peer_fd = -1;
            if (m_stop) return;
        }
    }
}

}  // namespace zid_test
