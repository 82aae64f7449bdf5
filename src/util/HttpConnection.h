#pragma once

// One client connection of the sender, internal to the library.

#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include <Poco/Net/HTTPClientSession.h>

namespace zuzezi_zid {

// A client session that also lets our own framing read the bytes that follow the response
// head, and tells whether an idle connection is still fit for another request.
class HttpConnection {
public:
    virtual ~HttpConnection() = default;

    virtual Poco::Net::HTTPClientSession& Session() = 0;
    // Connects the session to its host (or proxy).
    void Connect() {
        m_held_at = m_held_end = 0;
        SessionConnect();
    }

    // Forgets the network error of an earlier exchange on this connection, as the session does
    // when it sends a request itself.
    virtual void ClearNetworkError() = 0;

    // Bytes after the response head: those the head's reader took first, then the session's
    // buffer, then the socket; 0 when the connection has ended.
    int ReadRaw(char* buffer, int length);
    // The next bytes of the answer, ending after the first line end or with what has come
    // (only the first byte is waited for); *line points at them until the next read. Bytes
    // after the line stay for the next read of either kind. 0 when the connection has ended.
    int GetLine(const char** line);
    // True when bytes have come that were not handed out.
    bool HasBuffered() const { return m_held_at < m_held_end || SessionBuffered() > 0; }
    // Waits for the first byte of the answer through the session (for TLS, past any alert or
    // handshake record), leaving it for the head's parser; false at the end of the stream.
    bool PeekAnswer() { return m_held_at < m_held_end || SessionPeek(); }

    // An idle connection is fit when it is open, holds nothing unread and the peer has neither
    // closed it nor sent anything since the last answer.
    bool FitForReuse();
    // Waits up to the receive time-out (set before) for the first byte of an answer; false when
    // the peer closed or reset the connection before sending any (over TLS a close alert is no
    // answer). Throws Poco::TimeoutException.
    bool AnswerArrives();
    // After a failed write: true when the peer's answer has arrived. Does not wait on a plain
    // connection; over TLS, bytes that have come are read through the TLS layer first.
    bool AnswerWaiting();

    // A connection not yet opened: it connects, and over TLS shakes hands, each within
    // `timeout`; sending and receiving are bounded by it too until set otherwise.
    void SetUpNew(const Poco::Timespan& timeout);
    // Connects when not connected; over TLS the handshake and the peer's check follow at once,
    // where a failure is seen as it is (the request head's stream would swallow it and let the
    // body shake hands again).
    void Open();

    // The socket's time-outs, set only when they change: a kept connection carries many
    // exchanges, mostly with the same ones. Each wait of a send or receive ends within it, over
    // TLS as over plain TCP.
    void SetSendTimeout(const Poco::Timespan& timeout);
    void SetReceiveTimeout(const Poco::Timespan& timeout);
    // The receive time-out the socket has; negative when not known.
    Poco::Timespan ReceiveTimeout();
    // Before a read: when nothing is buffered, the wait for bytes ends by the deadline. Throws
    // Poco::TimeoutException when it has passed.
    void WaitNoLaterThan(std::chrono::steady_clock::time_point deadline);

protected:
    // The session's own reading: its buffer, then the socket.
    virtual int SessionRead(char* buffer, int length) = 0;
    virtual int SessionBuffered() const = 0;
    virtual bool SessionPeek() = 0;
    virtual void SessionConnect() = 0;

private:
    // Forgets the time-outs set when the session has a socket other than the one they were for.
    void FollowSocket();

    // Bytes taken off the connection and not yet handed out: the rest of a head, and what
    // followed it. Room for a small answer whole, so that it comes in one read.
    char m_held[16384];
    int m_held_at = 0;
    int m_held_end = 0;

    int m_timeouts_fd = -1;
    Poco::Timespan m_send_timeout{-1};
    Poco::Timespan m_receive_timeout{-1};
};

// A TLS write to a connection the peer has reset raises SIGPIPE, which would end the process
// (plain sockets are written without it). While this lives, the thread holds SIGPIPE back,
// and one it raised is dropped when it ends.
class SigpipeHold {
public:
    SigpipeHold();
    ~SigpipeHold();
    SigpipeHold(const SigpipeHold&) = delete;
    SigpipeHold& operator=(const SigpipeHold&) = delete;

private:
    sigset_t m_old;
    bool m_held = false;
};

template <class S>
class ConnectionOf final : public HttpConnection {
public:
    template <class... Args>
    explicit ConnectionOf(Args&&... args) : m_session(std::forward<Args>(args)...) {}

    Poco::Net::HTTPClientSession& Session() override { return m_session; }
    void ClearNetworkError() override { m_session.ClearError(); }

protected:
    int SessionRead(char* buffer, int length) override { return m_session.ReadRaw(buffer, length); }
    int SessionBuffered() const override { return m_session.Buffered(); }
    bool SessionPeek() override { return m_session.PeekChar() != std::char_traits<char>::eof(); }
    void SessionConnect() override { m_session.Connect(); }

private:
    class Raw : public S {
    public:
        using S::S;
        int ReadRaw(char* buffer, int length) { return this->read(buffer, length); }
        int Buffered() const { return this->buffered(); }
        int PeekChar() { return this->peek(); }
        void Connect() { this->reconnect(); }
        void ClearError() { this->clearException(); }
    };
    Raw m_session;
};

}  // namespace zuzezi_zid
