#pragma once

// The process-wide pool of idle connections, internal to the library.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <Poco/Net/Session.h>

#include "util/HttpConnection.h"

namespace zuzezi_zid {

// Connects and TLS handshakes cost more than a small exchange itself, so every exchange takes
// an idle keep-alive connection from here and gives it back once done: requests one after
// another, the slices of a download and the parts of an upload share a few connections. Keys
// name everything that makes a connection different (scheme, host, port, and for TLS the
// verification, CA and peer name). A connection comes back only after its answer was read to
// its end and allowed keep-alive. A request that fails on a reused connection before any byte
// of the answer arrived may be sent once more on a new connection, but only when that cannot
// repeat an action: GET and HEAD, or a request whose bytes were not all sent; a POST that may
// have been acted on is never sent twice.
//
// Idle connections are closed when they reach the idle limit (below common server limits), by
// a thread of the pool that sleeps until the earliest one is due, so that no socket lingers
// after the last transfer; the pool keeps a bounded number of them. A connection given back
// falls due after every one already kept, so it wakes the thread only when the thread sleeps
// with no due time (the pool stayed empty for a whole idle limit): requests one after another
// never wake it. It is built once and never destroyed, like the library's other process-wide
// tables, so that a process may end while transfers still run; `exit` stops the closing
// thread first, so that it closes nothing while the HTTP library's own tables are destroyed.
class ConnectionPool {
public:
    static ConnectionPool& Instance();

    // A fit idle connection for the key, or null.
    std::unique_ptr<HttpConnection> Take(const std::string& key);
    // Keeps a connection that may carry another request.
    void Give(const std::string& key, std::unique_ptr<HttpConnection> connection);

    // The last TLS session made for the key, to resume on a new connection (may be null).
    Poco::Net::Session::Ptr TlsSession(const std::string& key);
    void KeepTlsSession(const std::string& key, Poco::Net::Session::Ptr session);

    void SetIdleLimit(std::chrono::milliseconds limit);
    std::chrono::milliseconds GetIdleLimit() const;
    size_t IdleCount() const;
    // Closes every idle connection.
    void CloseIdle();

private:
    using Clock = std::chrono::steady_clock;
    struct Idle {
        std::string key;
        std::unique_ptr<HttpConnection> connection;
        Clock::time_point since;
    };

    ConnectionPool() = default;
    // Moves what has been idle too long into `out`, to be closed outside the lock.
    void TakeExpired(Clock::time_point now, std::deque<Idle>* out);
    // Starts the closing thread in this process, once; called with the lock held.
    void StartReaperLocked();
    // The closing thread's loop.
    void Reap();
    static void StopReaper();
    // Fork handlers: the lock is not held by another thread across the fork, and the child
    // starts without the parent's connections.
    static void BeforeFork();
    static void AfterForkInParent();
    static void AfterForkInChild();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;     // the earliest expiry or the limit changed, or exit
    std::condition_variable m_stopped;  // the closing thread has ended
    // When the closing thread wakes by itself next; max while it waits to be woken.
    Clock::time_point m_reaper_due = Clock::time_point::max();
    bool m_given = false;  // a connection came back since the thread last looked
    int m_reaper_pid = 0;               // of the process that started the closing thread
    bool m_reaper_running = false;
    bool m_stopping = false;
    std::deque<Idle> m_idle;  // oldest first
    std::map<std::string, Poco::Net::Session::Ptr> m_tls_sessions;
    std::chrono::milliseconds m_idle_limit{10000};
};

}  // namespace zuzezi_zid
