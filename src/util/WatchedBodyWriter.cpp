#include "util/WatchedBodyWriter.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <Poco/Exception.h>
#include <Poco/Net/NetException.h>

namespace zuzezi_zid {

namespace {

using Clock = std::chrono::steady_clock;

int PollMillis(const Poco::Timespan& span) {
    return static_cast<int>(std::max<Poco::Timespan::TimeDiff>(
        0, std::min<Poco::Timespan::TimeDiff>(span.totalMilliseconds(), INT_MAX)));
}

int PollMillis(Clock::duration span) {
    return PollMillis(
        Poco::Timespan(std::chrono::duration_cast<std::chrono::microseconds>(span).count()));
}

// Whether the first bytes of an answer may still be an interim status line ("HTTP/1.x 1").
bool CouldBeInterim(const char* head, size_t n) {
    static const char kPattern[] = "HTTP/1.? 1";
    for (size_t i = 0; i < n; ++i) {
        if (kPattern[i] != '?' && head[i] != kPattern[i]) return false;
    }
    return true;
}

}  // namespace

// The socket's low-water mark, raised while the start of an answer that may be interim is
// waited for: poll then wakes only once the status is there (or the peer has closed), rather
// than at once for bytes already seen.
class WatchedBodyWriter::LowWaterGuard {
public:
    explicit LowWaterGuard(int fd) : m_fd(fd) {}
    ~LowWaterGuard() { Set(1); }
    LowWaterGuard(const LowWaterGuard&) = delete;
    LowWaterGuard& operator=(const LowWaterGuard&) = delete;

    bool Raised() const { return m_mark > 1; }
    void Set(int mark) {
        if (mark != m_mark &&
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVLOWAT, &mark, sizeof(mark)) == 0) {
            m_mark = mark;
        }
    }

private:
    int m_fd;
    int m_mark = 1;
};

bool WatchedBodyWriter::Write(int fd, const char* data, size_t size) {
    const int timeout_ms = PollMillis(m_send_timeout);
    LowWaterGuard low_water(fd);
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        const int err = n == 0 ? EPIPE : errno;
        if (err == EINTR) {
            continue;
        }
        if (err != EAGAIN && err != EWOULDBLOCK) {
            if (err == ECONNRESET || err == EPIPE) {
                throw Poco::Net::ConnectionResetException();
            }
            throw Poco::Net::NetException(std::strerror(err), err);
        }
        int wait_ms = timeout_ms;
        if (m_partial_seen) {
            wait_ms = std::min(wait_ms, PollMillis(m_partial_head_until - Clock::now()));
        }
        pollfd p{fd,
                 static_cast<short>(POLLOUT | (m_watch_answer ? POLLIN | POLLRDHUP : 0)), 0};
        const int ready = wait_ms > 0 ? ::poll(&p, 1, wait_ms) : 0;
        if (ready == 0) {
            const bool head_late = m_partial_seen && Clock::now() >= m_partial_head_until;
            throw Poco::TimeoutException(head_late ? "the answer's head did not arrive whole"
                                                   : "sending the request body");
        }
        if (ready > 0 && (p.revents & (POLLIN | POLLRDHUP)) &&
            AnswerBegan(fd, p.revents, &low_water)) {
            return true;
        }
    }
    return false;
}

// Bytes have come while the body is sent: a final answer, or an interim one (a server's
// "100 Continue"), after which it is no longer watched for. The end of the stream with
// nothing before it throws, as a failed write would.
bool WatchedBodyWriter::AnswerBegan(int fd, short revents, LowWaterGuard* low_water) {
    char head[12];
    const ssize_t n = ::recv(fd, head, sizeof(head), MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) {
        throw Poco::Net::ConnectionResetException(
            "connection closed while sending the request");
    }
    if (n < 0) {
        return false;  // the write says what went wrong
    }
    if (n >= 10 && std::memcmp(head, "HTTP/1.", 7) == 0 && head[9] == '1') {
        m_watch_answer = false;
        low_water->Set(1);
        return false;
    }
    if (n < 10 && !(revents & (POLLRDHUP | POLLHUP)) &&
        CouldBeInterim(head, static_cast<size_t>(n))) {
        // Too little to tell yet: the rest is waited for, as long as for any answer.
        if (!m_partial_seen) {
            m_partial_seen = true;
            m_partial_head_until = Clock::now() + DeadlineSpan(m_head_timeout);
        }
        low_water->Set(10);
        return false;
    }
    low_water->Set(1);
    return true;
}

}  // namespace zuzezi_zid
