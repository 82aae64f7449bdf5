#include "HostRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/SocketAddress.h>

namespace zid_test {

namespace {

bool SendAll(int fd, const char* data, size_t len) {
    while (len > 0) {
        ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

int ConnectLoopback(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// "GET http://host:port/key?x HTTP/1.1" -> "GET /key?x HTTP/1.1"
std::string RelativeRequestLine(const std::string& line) {
    size_t sp1 = line.find(' ');
    if (sp1 == std::string::npos) return line;
    size_t start = sp1 + 1;
    if (line.compare(start, 7, "http://") != 0) return line;
    size_t slash = line.find('/', start + 7);
    size_t sp2 = line.find(' ', start + 7);
    if (slash == std::string::npos || (sp2 != std::string::npos && slash > sp2)) {
        return line.substr(0, start) + "/" + line.substr(sp2 == std::string::npos ? line.size() : sp2);
    }
    return line.substr(0, start) + line.substr(slash);
}

std::string WithoutRequestId(const std::string& head) {
    std::string out;
    size_t pos = 0;
    while (pos < head.size()) {
        size_t eol = head.find("\r\n", pos);
        size_t end = eol == std::string::npos ? head.size() : eol + 2;
        std::string line = head.substr(pos, end - pos);
        std::string lower = line;
        for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (lower.compare(0, 17, "x-zid-request-id:") != 0) out += line;
        pos = end;
    }
    return out;
}

}  // namespace

HostRelay::HostRelay(uint16_t upstream_port)
    : upstream_port_(upstream_port), listener_(Poco::Net::SocketAddress("127.0.0.1", 0)) {
    port_ = listener_.address().port();
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

HostRelay::~HostRelay() {
    stopping_ = true;
    acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& t : connections) t.join();
    listener_.close();
}

void HostRelay::InstallAsGlobalProxy() {
    Poco::Net::HTTPClientSession::ProxyConfig config;
    config.host = "127.0.0.1";
    config.port = port_;
    Poco::Net::HTTPClientSession::setGlobalProxyConfig(config);
}

void HostRelay::RemoveGlobalProxy() {
    Poco::Net::HTTPClientSession::setGlobalProxyConfig(Poco::Net::HTTPClientSession::ProxyConfig());
}

void HostRelay::AcceptLoop() {
    const int listen_fd = listener_.impl()->sockfd();
    while (!stopping_) {
        pollfd p{listen_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int fd = ::accept(listen_fd, nullptr, nullptr);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.emplace_back([this, fd] { Serve(fd); });
    }
}

// One exchange per connection: rewrite the request line and ask the service to close the
// connection after its answer (so the client does not keep it), then copy bytes both ways
// until the service closes.
void HostRelay::Serve(int client_fd) {
    std::string head;
    char buf[16384];
    while (head.find("\r\n") == std::string::npos && !stopping_) {
        pollfd p{client_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        ssize_t n = ::recv(client_fd, buf, sizeof(buf), 0);
        if (n <= 0) {
            ::close(client_fd);
            return;
        }
        head.append(buf, static_cast<size_t>(n));
    }
    int upstream_fd = ConnectLoopback(upstream_port_);
    if (upstream_fd < 0) {
        ::close(client_fd);
        return;
    }
    size_t eol = head.find("\r\n");
    std::string first = eol == std::string::npos
                            ? head
                            : RelativeRequestLine(head.substr(0, eol)) + "\r\nConnection: close";
    std::string rest = eol == std::string::npos ? std::string() : head.substr(eol);
    bool ok = SendAll(upstream_fd, first.data(), first.size()) &&
              SendAll(upstream_fd, rest.data(), rest.size());
    bool client_open = true;
    bool filter_head = strip_request_ids_;
    std::string answer_head;
    while (ok && !stopping_) {
        pollfd p[2] = {{client_fd, static_cast<short>(client_open ? POLLIN : 0), 0},
                       {upstream_fd, POLLIN, 0}};
        if (::poll(p, 2, 50) <= 0) continue;
        if (client_open && (p[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t n = ::recv(client_fd, buf, sizeof(buf), 0);
            if (n <= 0) {
                client_open = false;
                ::shutdown(upstream_fd, SHUT_WR);
            } else if (!SendAll(upstream_fd, buf, static_cast<size_t>(n))) {
                break;
            }
        }
        if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = ::recv(upstream_fd, buf, sizeof(buf), 0);
            if (n <= 0) {
                if (!answer_head.empty()) SendAll(client_fd, answer_head.data(), answer_head.size());
                break;
            }
            if (filter_head) {
                answer_head.append(buf, static_cast<size_t>(n));
                size_t end = answer_head.find("\r\n\r\n");
                if (end == std::string::npos) continue;
                std::string out = WithoutRequestId(answer_head.substr(0, end + 2)) + answer_head.substr(end + 2);
                answer_head.clear();
                filter_head = false;
                if (!SendAll(client_fd, out.data(), out.size())) break;
            } else if (!SendAll(client_fd, buf, static_cast<size_t>(n))) {
                break;
            }
        }
    }
    ::close(upstream_fd);
    ::close(client_fd);
}

}  // namespace zid_test
