#include "util/AnswerHead.h"

#include <cstdint>
#include <exception>
#include <streambuf>
#include <string>
#include <vector>

#include <Poco/Exception.h>
#include <Poco/Net/NetException.h>
#include <Poco/String.h>

#include "util/HttpConnection.h"

namespace zuzezi_zid {

namespace {

using Clock = std::chrono::steady_clock;

// How far past the deadline a read may wait rather than have its time-out set again.
constexpr int64_t kSlackMicros = 20000;

// Hands the head's parser a line at a time, so that it never takes a byte of the body. The
// parser's stream swallows exceptions; the first one is kept for the caller.
class HeadBuf : public std::streambuf {
public:
    HeadBuf(HttpConnection& conn, Clock::time_point deadline)
        : m_conn(conn), m_deadline(deadline) {}

    void RethrowIfFailed() const {
        if (m_error) std::rethrow_exception(m_error);
    }

protected:
    int_type underflow() override {
        if (m_error) return traits_type::eof();
        try {
            if (!m_conn.HasBuffered()) {
                const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                    m_deadline - Clock::now());
                if (left.count() < 1000) {
                    throw Poco::TimeoutException("no final answer within the receive time-out");
                }
                // The socket's own time-out serves while it ends near enough the deadline:
                // setting it costs two system calls an answer.
                const Poco::Timespan now_set = m_conn.ReceiveTimeout();
                if (now_set <= 0 || now_set.totalMicroseconds() > left.count() + kSlackMicros) {
                    m_conn.SetReceiveTimeout(Poco::Timespan(left.count()));
                }
            }
            const int n = m_conn.GetLine(m_line, sizeof m_line);
            if (n <= 0) return traits_type::eof();
            setg(m_line, m_line, m_line + n);
        } catch (...) {
            m_error = std::current_exception();
            return traits_type::eof();
        }
        return traits_type::to_int_type(m_line[0]);
    }

private:
    HttpConnection& m_conn;
    Clock::time_point m_deadline;
    char m_line[512];
    std::exception_ptr m_error;
};

}  // namespace

bool ReadAnswerHead(HttpConnection& conn, Poco::Net::HTTPResponse& response,
                    Clock::time_point deadline) {
    Poco::Net::HTTPClientSession& session = conn.Session();
    session.flushRequest();  // a chunked request's last chunk goes out here
    response.clear();
    HeadBuf buf(conn, deadline);
    std::istream in(&buf);
    try {
        response.read(in);
    } catch (const Poco::Net::NoMessageException&) {
        buf.RethrowIfFailed();
        return false;
    } catch (const Poco::Exception&) {
        // What stopped the bytes says more than the parser that ran out of them.
        buf.RethrowIfFailed();
        if (session.networkException()) session.networkException()->rethrow();
        throw;
    }
    return true;
}

ResponseBodyBuf::Framing FramingOfHead(const Poco::Net::HTTPResponse& response, bool has_body,
                                       uint64_t* length, bool* plain_codings) {
    const auto it = response.find("Content-Length");
    if (has_body && it != response.end()) {
        // Two framings of one body are a split answer waiting to happen: which bytes belong
        // to the next answer depends on which one is believed.
        if (response.has("Transfer-Encoding")) {
            throw Poco::Net::MessageException(
                "response has both Content-Length and Transfer-Encoding");
        }
        for (auto other = it; other != response.end(); ++other) {
            if (Poco::icompare(other->first, "Content-Length") == 0 &&
                other->second != it->second) {
                throw Poco::Net::MessageException(
                    "conflicting Content-Length values in response: [" + it->second + "] and [" +
                    other->second + "]");
            }
        }
    }
    std::vector<std::string> fields;
    for (const auto& h : response) {
        if (Poco::icompare(h.first, "Transfer-Encoding") == 0) fields.push_back(h.second);
    }
    const std::vector<std::string> codings = ResponseBodyBuf::TransferCodings(fields);
    // Anything but a lone "chunked" is rare enough that the connection is not worth keeping.
    *plain_codings = codings.empty() || (codings.size() == 1 && codings[0] == "chunked");
    ResponseBodyBuf::Framing framing = ResponseBodyBuf::Framing::kNone;
    std::string reason;
    if (!ResponseBodyBuf::FramingOf(has_body, codings,
                                    it == response.end() ? nullptr : &it->second, &framing,
                                    length, &reason)) {
        throw Poco::Net::MessageException(reason);
    }
    return framing;
}

}  // namespace zuzezi_zid
