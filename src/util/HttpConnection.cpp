#include "util/HttpConnection.h"

#include <sys/socket.h>

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

}  // namespace

bool HttpConnection::FitForReuse() {
    try {
        Poco::Net::HTTPClientSession& session = Session();
        if (!session.connected() || HasBuffered()) return false;
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
