#include "util/HttpConnection.h"

#include <pthread.h>
#include <sys/socket.h>
#include <time.h>

#include <cerrno>

#include <Poco/Exception.h>
#include <Poco/Net/StreamSocket.h>

namespace zuzezi_zid {

namespace {

// 1: a byte is waiting, 0: the peer closed or reset the connection, -1: nothing yet (or, when
// waiting, nothing within the receive time-out).
int PeekByte(const Poco::Net::StreamSocket& socket, bool wait) {
    char c = 0;
    for (;;) {
        const ssize_t n =
            ::recv(socket.impl()->sockfd(), &c, 1, MSG_PEEK | (wait ? 0 : MSG_DONTWAIT));
        if (n > 0) return 1;
        if (n == 0) return 0;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : 0;
    }
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

bool HttpConnection::FitForReuse() {
    try {
        Poco::Net::HTTPClientSession& session = Session();
        if (!session.connected() || HasBuffered()) return false;
        const Poco::Net::StreamSocket& socket = session.socket();
        // Bytes the TLS library has decrypted but not handed out.
        if (socket.secure() && socket.available() > 0) return false;
        return PeekByte(socket, false) < 0;
    } catch (...) {
        return false;
    }
}

bool HttpConnection::AnswerArrives() {
    if (HasBuffered()) return true;
    const int peek = PeekByte(Session().socket(), true);
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
        if (PeekByte(socket, false) <= 0) return false;
        return !socket.secure() || PeekAnswer();
    } catch (...) {
        return false;
    }
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
        Session().socket().setSendTimeout(timeout);
        m_send_timeout = timeout;
    }
}

void HttpConnection::SetReceiveTimeout(const Poco::Timespan& timeout) {
    FollowSocket();
    if (timeout != m_receive_timeout) {
        Session().socket().setReceiveTimeout(timeout);
        m_receive_timeout = timeout;
    }
}

}  // namespace zuzezi_zid
