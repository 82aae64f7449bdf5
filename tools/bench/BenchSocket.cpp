#include "BenchSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zid_bench {

int ListenLoopback(uint16_t* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(*port);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 128) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

int ConnectLoopback(const std::string& host_port) {
    const size_t colon = host_port.rfind(':');
    if (colon == std::string::npos) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(std::atoi(host_port.c_str() + colon + 1)));
    if (::inet_pton(AF_INET, host_port.substr(0, colon).c_str(), &addr.sin_addr) != 1) return -1;
    // Never anything but this machine.
    if ((ntohl(addr.sin_addr.s_addr) >> 24) != 127) return -1;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool SendAll(int fd, const char* data, size_t len) {
    while (len > 0) {
        ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

bool PwriteAll(int fd, const char* data, size_t len, uint64_t offset) {
    while (len > 0) {
        ssize_t n = ::pwrite(fd, data, len, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        len -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

long ReadHead(int fd, char* buf, size_t cap, size_t* head_len) {
    size_t have = 0;
    while (have < cap) {
        ssize_t n = ::recv(fd, buf + have, cap - have, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 && have == 0) return 0;
        if (n <= 0) return -1;
        // The terminator may straddle the previous read.
        const size_t from = have >= 3 ? have - 3 : 0;
        have += static_cast<size_t>(n);
        void* end = ::memmem(buf + from, have - from, "\r\n\r\n", 4);
        if (end) {
            *head_len = static_cast<size_t>(static_cast<char*>(end) - buf) + 4;
            return static_cast<long>(have);
        }
    }
    return -1;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
    size_t pos = head.find("\r\n");
    while (pos != std::string::npos && pos + 2 < head.size()) {
        const size_t line = pos + 2;
        const size_t eol = head.find("\r\n", line);
        if (eol == std::string::npos || eol == line) break;
        const size_t colon = head.find(':', line);
        if (colon < eol && colon - line == name.size() &&
            ::strncasecmp(head.c_str() + line, name.c_str(), name.size()) == 0) {
            size_t v = colon + 1;
            while (v < eol && (head[v] == ' ' || head[v] == '\t')) ++v;
            size_t e = eol;
            while (e > v && (head[e - 1] == ' ' || head[e - 1] == '\t')) --e;
            return head.substr(v, e - v);
        }
        pos = eol;
    }
    return "";
}

int StatusOf(const std::string& head) {
    if (head.compare(0, 5, "HTTP/") != 0) return -1;
    const size_t sp = head.find(' ');
    if (sp == std::string::npos) return -1;
    return std::atoi(head.c_str() + sp + 1);
}

int64_t ContentLength(const std::string& head) {
    const std::string v = HeaderValue(head, "Content-Length");
    if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos) return -1;
    return static_cast<int64_t>(std::strtoull(v.c_str(), nullptr, 10));
}

}  // namespace zid_bench
