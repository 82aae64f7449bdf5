#include "util/ConnectionPool.h"

#include <iterator>

namespace zuzezi_zid {

namespace {

// A download or an upload runs at most 16 workers on one host.
const size_t kMaxIdlePerKey = 32;
const size_t kMaxIdle = 64;
const size_t kMaxTlsSessions = 64;

}  // namespace

ConnectionPool& ConnectionPool::Instance() {
    static ConnectionPool* pool = new ConnectionPool();
    return *pool;
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
