#include "util/SimpleDnsCache.h"

#include <chrono>
#include <ctime>
#include <random>
#include <stdexcept>

#include <Poco/Net/DNS.h>
#include <Poco/Net/IPAddress.h>

#include "util/LogUtil.h"

namespace zuzezi_zid {

SimpleDnsCache::SimpleDnsCache(unsigned capacity, unsigned expire_seconds)
    : m_capacity(capacity),
      m_expire_seconds(expire_seconds),
      m_cache(std::make_shared<LruCache<std::string, HostEntryCache>>(capacity)) {}

int64_t SimpleDnsCache::Now() const { return static_cast<int64_t>(time(nullptr)); }

Poco::Net::HostEntry SimpleDnsCache::Query(const std::string& host) {
    return Poco::Net::DNS::hostByName(host);
}

bool SimpleDnsCache::Exist(const std::string& host) const { return m_cache->Exist(host); }

std::string SimpleDnsCache::Resolve(const std::string& host) {
    if (host.empty()) {
        return std::string();
    }
    const int64_t now = Now();
    HostEntryCache cached;
    bool need_query = false;
    try {
        cached = m_cache->Get(host);
        ZID_LOG_DBG("%s hit dns cache", host.c_str());
        if (now - cached.GetStoredAt() > static_cast<int64_t>(m_expire_seconds)) {
            ZID_LOG_DBG("%s cache expired", host.c_str());
            need_query = true;
        }
    } catch (const std::range_error&) {
        ZID_LOG_DBG("%s not exists in cache", host.c_str());
        need_query = true;
    }
    if (need_query) {
        const auto start = std::chrono::steady_clock::now();
        const Poco::Net::HostEntry entry = Query(host);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        ZID_LOG_DBG("query dns server for host: %s, consume: %dms", host.c_str(),
                    static_cast<int>(elapsed));
        cached = HostEntryCache(entry, now);
        m_cache->Put(host, cached);
    }
    const Poco::Net::HostEntry::AddressList& addresses = cached.GetEntry().addresses();
    if (addresses.empty()) {
        return std::string();
    }
    size_t index = 0;
    if (addresses.size() > 1) {
        // Spread requests over every address of the host.
        static thread_local std::mt19937 generator(std::random_device{}());
        index = std::uniform_int_distribution<size_t>(0, addresses.size() - 1)(generator);
    }
    const std::string ip_addr_str = addresses[index].toString();
    ZID_LOG_DBG("ip_addr_str: %s", ip_addr_str.c_str());
    return ip_addr_str;
}

}  // namespace zuzezi_zid
