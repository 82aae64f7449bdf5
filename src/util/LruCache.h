#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace zuzezi_zid {

// Bounded table, most recently used first; every operation holds the one mutex.
template <typename K, typename V>
class LruCache {
public:
    explicit LruCache(size_t capacity) : m_capacity(capacity) {}

    // Throws std::range_error for an absent key.
    V Get(const K& key) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_map.find(key);
        if (it == m_map.end()) {
            throw std::range_error("No such key in cache");
        }
        m_items.splice(m_items.begin(), m_items, it->second);
        return it->second->second;
    }

    void Put(const K& key, const V& value) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_map.find(key);
        if (it != m_map.end()) {
            it->second->second = value;
            m_items.splice(m_items.begin(), m_items, it->second);
            return;
        }
        // A table of capacity 0 keeps the newest entry rather than dropping
        // what it was just given.
        while (!m_items.empty() && m_items.size() >= (m_capacity == 0 ? 1 : m_capacity)) {
            m_map.erase(m_items.back().first);
            m_items.pop_back();
        }
        m_items.emplace_front(key, value);
        m_map[key] = m_items.begin();
    }

    bool Exist(const K& key) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_map.find(key) != m_map.end();
    }

    size_t Size() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items.size();
    }

private:
    using Item = std::pair<K, V>;
    size_t m_capacity;
    std::list<Item> m_items;
    std::unordered_map<K, typename std::list<Item>::iterator> m_map;
    mutable std::mutex m_mutex;
};

}  // namespace zuzezi_zid
