#include "util/HttpConnection.h"

#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>

#include <Poco/Exception.h>
#include <Poco/Net/SSLException.h>
#include <Poco/Net/SecureStreamSocket.h>
#include <Poco/Net/StreamSocket.h>

namespace zuzezi_zid {

namespace {

// 1: a byte is waiting, 0: the peer closed or reset the connection, -1: nothing within `wait`
// (none: no waiting).
int PeekByte(const Poco::Net::StreamSocket& socket, const Poco::Timespan& wait = 0) {
    const int fd = socket.impl()->sockfd();
    if (wait > 0) {
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::microseconds(wait.totalMicroseconds());
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(std::min<int64_t>(
                                                                    left.count(), INT_MAX)))
                                               : 0;
            if (ready > 0) break;
            if (ready == 0) return -1;
            if (errno != EINTR) return 0;
        }
    }
    char c = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) return 1;
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : 0;
    }
}

// The TLS library waits out the socket's own time-out and then polls once more for as long, so a
// TLS socket gets half of what a wait may take.
Poco::Timespan SocketTimeout(const Poco::Timespan& timeout, bool secure) {
    if (!secure || timeout <= 0) return timeout;
    return Poco::Timespan((timeout.totalMicroseconds() + 1) / 2);
}

sigset_t OnlySigpipe() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

}  // namespace

SigpipeHold::SigpipeHold() {
    const sigset_t pipe = OnlySigpipe();
    m_held = pthread_sigmask(SIG_BLOCK, &pipe, &m_old) == 0 && !sigismember(&m_old, SIGPIPE);
}

SigpipeHold::~SigpipeHold() {
    if (!m_held) return;
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
        const sigset_t pipe = OnlySigpipe();
        const timespec now{0, 0};
        sigtimedwait(&pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

int HttpConnection::ReadRaw(char* buffer, int length) {
    if (m_held_at == m_held_end) return SessionRead(buffer, length);
    const int n = std::min(length, m_held_end - m_held_at);
    std::memcpy(buffer, m_held + m_held_at, static_cast<size_t>(n));
    m_held_at += n;
    return n;
}

int HttpConnection::GetLine(const char** line) {
    if (m_held_at == m_held_end) {
        const int n = SessionRead(m_held, sizeof m_held);
        if (n <= 0) return 0;
        m_held_at = 0;
        m_held_end = n;
    }
    const char* from = m_held + m_held_at;
    const size_t left = static_cast<size_t>(m_held_end - m_held_at);
    const void* end = std::memchr(from, '\n', left);
    const int n = end ? static_cast<int>(static_cast<const char*>(end) - from + 1)
                      : static_cast<int>(left);
    m_held_at += n;
    *line = from;
    return n;
}

bool HttpConnection::FitForReuse() {
    try {
        Poco::Net::HTTPClientSession& session = Session();
        if (!session.connected() || HasBuffered()) return false;
        const Poco::Net::StreamSocket& socket = session.socket();
        // Bytes the TLS library has decrypted but not handed out.
        if (socket.secure() && socket.available() > 0) return false;
        return PeekByte(socket) < 0;
    } catch (...) {
        return false;
    }
}

bool HttpConnection::AnswerArrives() {
    if (HasBuffered()) return true;
    if (!Session().socket().secure() && m_receive_timeout > 0) {
        // The read is the wait, bounded by the socket's receive time-out: the answer's first
        // bytes are then at hand for the head's reader, a system call less than a peek.
        const int fd = Session().socket().impl()->sockfd();
        for (;;) {
            const ssize_t n = ::recv(fd, m_held, sizeof m_held, 0);
            if (n > 0) {
                m_held_at = 0;
                m_held_end = static_cast<int>(n);
                return true;
            }
            if (n == 0) return false;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) throw Poco::TimeoutException();
            return false;  // reset before any answer
        }
    }
    const int peek = PeekByte(Session().socket(), m_receive_timeout);
    if (peek < 0) throw Poco::TimeoutException();
    if (peek == 0) return false;
    if (!Session().socket().secure()) return true;
    // The raw bytes may be only the TLS close alert: read through the TLS layer into the
    // session's buffer, where the head's parser finds them.
    try {
        return PeekAnswer();
    } catch (const Poco::TimeoutException&) {
        throw;
    } catch (const Poco::Exception&) {
        return false;  // reset or a TLS failure before any answer
    }
}

bool HttpConnection::AnswerWaiting() {
    try {
        if (HasBuffered()) return true;
        const Poco::Net::StreamSocket& socket = Session().socket();
        if (PeekByte(socket) <= 0) return false;
        return !socket.secure() || PeekAnswer();
    } catch (...) {
        return false;
    }
}

void HttpConnection::SetUpNew(const Poco::Timespan& timeout) {
    Poco::Net::HTTPClientSession& session = Session();
    const bool secure = session.socket().secure();
    if (secure) {
        // Shaken on the first write, where the library waits as for any other send or receive;
        // at the connect it would wait several times the time-out.
        Poco::Net::SecureStreamSocket(session.socket()).setLazyHandshake(true);
    }
    const Poco::Timespan wait = SocketTimeout(timeout, secure);
    session.setTimeout(timeout, wait, wait);
    // The pool decides when an idle connection is too old, not the session.
    session.setKeepAliveTimeout(Poco::Timespan(24 * 3600, 0));
}

void HttpConnection::Open() {
    if (Session().connected()) return;
    Connect();
    Poco::Net::StreamSocket& socket = Session().socket();
    if (!socket.secure()) return;
    Poco::Net::SecureStreamSocket secure(socket);
    if (secure.completeHandshake() != 1) {
        throw Poco::Net::SSLException("TLS handshake did not complete");
    }
    secure.verifyPeerCertificate();
}

void HttpConnection::FollowSocket() {
    const int fd = Session().socket().impl()->sockfd();
    if (fd != m_timeouts_fd) {
        m_timeouts_fd = fd;
        m_send_timeout = Poco::Timespan(-1);
        m_receive_timeout = Poco::Timespan(-1);
    }
}

void HttpConnection::SetSendTimeout(const Poco::Timespan& timeout) {
    FollowSocket();
    if (timeout != m_send_timeout) {
        Session().socket().setSendTimeout(SocketTimeout(timeout, Session().socket().secure()));
        m_send_timeout = timeout;
    }
}

void HttpConnection::SetReceiveTimeout(const Poco::Timespan& timeout) {
    FollowSocket();
    if (timeout != m_receive_timeout) {
        Session().socket().setReceiveTimeout(
            SocketTimeout(timeout, Session().socket().secure()));
        m_receive_timeout = timeout;
    }
}

Poco::Timespan HttpConnection::ReceiveTimeout() {
    FollowSocket();
    return m_receive_timeout;
}

void HttpConnection::WaitNoLaterThan(std::chrono::steady_clock::time_point deadline) {
    if (HasBuffered()) return;
    // How far past the deadline a read may wait rather than have its time-out set again.
    constexpr int64_t kSlackMicros = 20000;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() < 1000) throw Poco::TimeoutException();
    // The socket's own time-out serves while it ends near enough the deadline: setting it costs
    // two system calls an answer.
    const Poco::Timespan now_set = ReceiveTimeout();
    if (now_set <= 0 || now_set.totalMicroseconds() > left.count() + kSlackMicros) {
        SetReceiveTimeout(Poco::Timespan(left.count()));
    }
}

}  // namespace zuzezi_zid
