#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "util/HostEntryCache.h"
#include "util/LruCache.h"

namespace zuzezi_zid {

// Keeps host look-ups for a limited time so repeated requests skip DNS.
class SimpleDnsCache {
public:
    SimpleDnsCache(unsigned capacity, unsigned expire_seconds);
    virtual ~SimpleDnsCache() = default;

    // The chosen address as text (IPv6 unbracketed), or "" for an empty host or
    // an entry without addresses. A failed look-up throws (Poco's exception).
    std::string Resolve(const std::string& host);
    bool Exist(const std::string& host) const;

protected:
    // Seams for tests: the clock and the look-up.
    virtual int64_t Now() const;
    virtual Poco::Net::HostEntry Query(const std::string& host);

private:
    unsigned m_capacity;
    unsigned m_expire_seconds;
    std::shared_ptr<LruCache<std::string, HostEntryCache>> m_cache;
};

}  // namespace zuzezi_zid
