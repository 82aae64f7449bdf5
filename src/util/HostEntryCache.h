#pragma once

#include <cstdint>

#include <Poco/Net/HostEntry.h>

namespace zuzezi_zid {

// One resolved host and when it was stored (seconds since the epoch).
class HostEntryCache {
public:
    HostEntryCache() = default;
    HostEntryCache(const Poco::Net::HostEntry& entry, int64_t stored_at)
        : m_entry(entry), m_stored_at(stored_at) {}

    const Poco::Net::HostEntry& GetEntry() const { return m_entry; }
    int64_t GetStoredAt() const { return m_stored_at; }

private:
    Poco::Net::HostEntry m_entry;
    int64_t m_stored_at = 0;
};

}  // namespace zuzezi_zid
