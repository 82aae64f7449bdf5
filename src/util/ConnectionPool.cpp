#include "util/ConnectionPool.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <system_error>
#include <thread>
#include <vector>

namespace zuzezi_zid {

namespace {

// A download or an upload runs at most 16 workers on one host.
const size_t kMaxIdlePerKey = 32;
const size_t kMaxIdle = 64;
const size_t kMaxTlsSessions = 64;

}  // namespace

ConnectionPool& ConnectionPool::Instance() {
    static ConnectionPool* pool = [] {
        ConnectionPool* made = new ConnectionPool();
        pthread_atfork(&ConnectionPool::BeforeFork, &ConnectionPool::AfterForkInParent,
                       &ConnectionPool::AfterForkInChild);
        return made;
    }();
    return *pool;
}

void ConnectionPool::BeforeFork() { Instance().m_mutex.lock(); }

void ConnectionPool::AfterForkInParent() { Instance().m_mutex.unlock(); }

void ConnectionPool::AfterForkInChild() {
    ConnectionPool& pool = Instance();
    // The parent still owns these sockets: a request of the child on one would mix with the
    // parent's exchanges, and an orderly close (a TLS alert) could end the parent's session.
    // Only the child's copies of the descriptors are closed, which sends nothing, so the
    // parent's own close still reaches the server while the child lives; the objects are
    // never used or destroyed.
    static auto* inherited = new std::vector<std::unique_ptr<HttpConnection>>;
    for (Idle& idle : pool.m_idle) {
        const Poco::Net::StreamSocket& socket = idle.connection->Session().socket();
        if (socket.impl()->initialized()) ::close(socket.impl()->sockfd());
        inherited->push_back(std::move(idle.connection));
    }
    pool.m_idle.clear();
    pool.m_reaper_due = Clock::time_point::min();  // the parent's thread is not here to wake
    pool.m_mutex.unlock();
}

void ConnectionPool::TakeExpired(Clock::time_point now, std::deque<Idle>* out) {
    while (!m_idle.empty() && now - m_idle.front().since >= m_idle_limit) {
        out->push_back(std::move(m_idle.front()));
        m_idle.pop_front();
    }
}

std::unique_ptr<HttpConnection> ConnectionPool::Take(const std::string& key) {
    std::deque<Idle> closing;
    for (;;) {
        std::unique_ptr<HttpConnection> found;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            TakeExpired(Clock::now(), &closing);
            // The most recently used first: the least likely to have been closed by the peer.
            for (auto it = m_idle.rbegin(); it != m_idle.rend(); ++it) {
                if (it->key == key) {
                    found = std::move(it->connection);
                    m_idle.erase(std::next(it).base());
                    break;
                }
            }
        }
        if (!found) return nullptr;
        if (found->FitForReuse()) return found;
        // Closed here, outside the lock; the next one may still be fit.
    }
}

void ConnectionPool::Give(const std::string& key, std::unique_ptr<HttpConnection> connection) {
    std::deque<Idle> closing;  // declared before the lock: closed once it is released
    std::lock_guard<std::mutex> lock(m_mutex);
    const Clock::time_point now = Clock::now();
    TakeExpired(now, &closing);
    size_t same_key = 0;
    for (const Idle& idle : m_idle) {
        if (idle.key == key) ++same_key;
    }
    if (same_key >= kMaxIdlePerKey) {
        for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
            if (it->key == key) {
                closing.push_back(std::move(*it));
                m_idle.erase(it);
                break;
            }
        }
    }
    if (m_idle.size() >= kMaxIdle) {
        closing.push_back(std::move(m_idle.front()));
        m_idle.pop_front();
    }
    m_idle.push_back(Idle{key, std::move(connection), now});
    m_given = true;
    StartReaperLocked();
    const Clock::time_point due = now + m_idle_limit;
    if (due < m_reaper_due) {
        m_reaper_due = due;
        m_wake.notify_one();
    }
}

void ConnectionPool::StartReaperLocked() {
    // Once per process: a forked child has none (its expired connections are closed when it
    // next uses the pool), since the state of the parent's thread came along with the fork.
    if (m_reaper_pid != 0 || m_stopping) {
        return;
    }
    const int pid = static_cast<int>(getpid());
    static const bool registered = std::atexit(&ConnectionPool::StopReaper) == 0;
    (void)registered;
    try {
        std::thread([this] { Reap(); }).detach();
    } catch (const std::system_error&) {
        return;  // expired connections are then closed when the pool is next used
    }
    m_reaper_pid = pid;
    m_reaper_running = true;
}

void ConnectionPool::Reap() {
    // Signals are for the application's threads; a TLS close writes and could raise SIGPIPE.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    pthread_setname_np(pthread_self(), "zid-idle-close");
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        const Clock::time_point now = Clock::now();
        if (!m_idle.empty()) {
            m_reaper_due = m_idle.front().since + m_idle_limit;
        } else if (m_given) {
            // Still in use: whatever comes back from now on is due no sooner than this, so
            // handing it back need not wake the thread.
            m_reaper_due = now + m_idle_limit;
        } else {
            m_reaper_due = Clock::time_point::max();
        }
        m_given = false;
        if (m_reaper_due == Clock::time_point::max()) {
            m_wake.wait(lock);
        } else if (now < m_reaper_due) {
            m_wake.wait_until(lock, m_reaper_due);
        }
        std::deque<Idle> closing;
        TakeExpired(Clock::now(), &closing);
        if (!closing.empty()) {
            lock.unlock();
            closing.clear();
            lock.lock();
        }
    }
    m_reaper_running = false;
    m_stopped.notify_all();
}

void ConnectionPool::StopReaper() {
    ConnectionPool& pool = Instance();
    std::unique_lock<std::mutex> lock(pool.m_mutex);
    pool.m_stopping = true;
    if (pool.m_reaper_pid != static_cast<int>(getpid())) {
        return;  // a forked child without a thread of its own
    }
    pool.m_wake.notify_all();
    pool.m_stopped.wait(lock, [&pool] { return !pool.m_reaper_running; });
}

Poco::Net::Session::Ptr ConnectionPool::TlsSession(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_tls_sessions.find(key);
    return it == m_tls_sessions.end() ? Poco::Net::Session::Ptr() : it->second;
}

void ConnectionPool::KeepTlsSession(const std::string& key, Poco::Net::Session::Ptr session) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_tls_sessions.size() >= kMaxTlsSessions && m_tls_sessions.count(key) == 0) {
        m_tls_sessions.clear();
    }
    m_tls_sessions[key] = session;
}

void ConnectionPool::SetIdleLimit(std::chrono::milliseconds limit) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_idle_limit = limit;
    m_wake.notify_one();
}

std::chrono::milliseconds ConnectionPool::GetIdleLimit() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_idle_limit;
}

size_t ConnectionPool::IdleCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_idle.size();
}

void ConnectionPool::CloseIdle() {
    SigpipeHold hold;  // closing a TLS connection writes to it
    std::deque<Idle> closing;
    std::lock_guard<std::mutex> lock(m_mutex);
    closing.swap(m_idle);
}

}  // namespace zuzezi_zid
