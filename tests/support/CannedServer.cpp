#include "support/CannedServer.h"

#include <sys/socket.h>

#include <chrono>

namespace zid_test {

CannedServer::CannedServer(std::string reply, int silent_ms)
    : CannedServer([reply, silent_ms](Poco::Net::StreamSocket& peer) {
          if (silent_ms > 0) {
              std::this_thread::sleep_for(std::chrono::milliseconds(silent_ms));
          }
          Send(peer, reply);
      }) {}

CannedServer::CannedServer(Writer writer)
    : m_socket(Poco::Net::SocketAddress("127.0.0.1", 0)), m_writer(std::move(writer)) {
    m_thread = std::thread([this] { Serve(); });
}

CannedServer::~CannedServer() {
    m_stop = true;
    m_socket.close();
    m_thread.join();
}

std::string CannedServer::DestDomain() const {
    return "127.0.0.1:" + std::to_string(m_socket.address().port());
}

bool CannedServer::Send(Poco::Net::StreamSocket& peer, const std::string& bytes) {
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

void CannedServer::Serve() {
    while (!m_stop) {
        try {
            if (!m_socket.poll(Poco::Timespan(0, 50000), Poco::Net::Socket::SELECT_READ)) {
                continue;
            }
            Poco::Net::StreamSocket peer = m_socket.acceptConnection();
            ++m_connections;
            std::string head;
            char c;
            while (head.find("\r\n\r\n") == std::string::npos && peer.receiveBytes(&c, 1) == 1) {
                head += c;
            }
            m_writer(peer);
            peer.shutdown();
        } catch (...) {
            if (m_stop) return;
        }
    }
}

}  // namespace zid_test
