#include "util/HttpConnection.h"

#include <pthread.h>
#include <sys/socket.h>
#include <time.h>

#include <cerrno>

#include <Poco/Exception.h>
#include <Poco/Net/Socket.h>

namespace zuzezi_zid {

namespace {

// 1: a byte is waiting, 0: the peer closed or reset the connection, -1: nothing yet.
int PeekByte(const Poco::Net::StreamSocket& socket) {
    char c = 0;
    for (;;) {
        const ssize_t n = ::recv(socket.impl()->sockfd(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
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
        // available() also counts bytes the TLS library has decrypted but not handed out.
        if (!session.connected() || HasBuffered() || session.socket().available() > 0) {
            return false;
        }
        return !session.socket().poll(Poco::Timespan(0),
                                      Poco::Net::Socket::SELECT_READ |
                                          Poco::Net::Socket::SELECT_ERROR);
    } catch (...) {
        return false;
    }
}

bool HttpConnection::AnswerArrives(const Poco::Timespan& timeout) {
    const Poco::Net::StreamSocket& socket = Session().socket();
    if (!socket.poll(timeout, Poco::Net::Socket::SELECT_READ | Poco::Net::Socket::SELECT_ERROR)) {
        throw Poco::TimeoutException();
    }
    return PeekByte(socket) != 0;
}

}  // namespace zuzezi_zid
