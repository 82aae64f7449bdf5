#pragma once

// Writing a request body to a plain connection of the sender, internal to the library.

#include <algorithm>
#include <chrono>
#include <cstddef>

#include <Poco/Timespan.h>

namespace zuzezi_zid {

// A time-out as a span to add to a clock's time; a huge one stays in range.
inline std::chrono::microseconds DeadlineSpan(const Poco::Timespan& timeout) {
    const Poco::Timespan::TimeDiff year = 365LL * 24 * 3600 * 1000000;
    return std::chrono::microseconds(std::min(timeout.totalMicroseconds(), year));
}

// Writes one request body to a plain socket without blocking: when the server no longer reads,
// an answer it sent is seen instead of waiting for the send time-out. An interim answer
// ("100 Continue") is let by, and then no longer watched for.
class WatchedBodyWriter {
public:
    // A write waits at most send_timeout for room; the rest of a head that may be interim is
    // waited for at most head_timeout.
    WatchedBodyWriter(const Poco::Timespan& send_timeout, const Poco::Timespan& head_timeout)
        : m_send_timeout(send_timeout), m_head_timeout(head_timeout) {}

    // Writes all of data; true when, instead, the server's answer has come. Throws on a failed
    // write and on time-outs.
    bool Write(int fd, const char* data, size_t size);

private:
    class LowWaterGuard;

    bool AnswerBegan(int fd, short revents, LowWaterGuard* low_water);

    Poco::Timespan m_send_timeout;
    Poco::Timespan m_head_timeout;
    bool m_watch_answer = true;
    bool m_partial_seen = false;  // the start of a head that may be interim
    std::chrono::steady_clock::time_point m_partial_head_until;
};

}  // namespace zuzezi_zid
