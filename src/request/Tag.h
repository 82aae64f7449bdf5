#pragma once

#include <cstdint>
#include <string>

namespace zuzezi_zid {

// One key-value pair of a tag set; remembers which halves were set, since an
// empty key that was set is not the same as a key never given.
class Tag {
public:
    Tag() = default;

    void SetKey(std::string key) {
        m_mask |= kKeySet;
        m_key = std::move(key);
    }
    void SetValue(std::string value) {
        m_mask |= kValueSet;
        m_value = std::move(value);
    }
    bool HasKey() const { return (m_mask & kKeySet) != 0; }
    bool HasValue() const { return (m_mask & kValueSet) != 0; }
    std::string GetKey() const { return m_key; }
    std::string GetValue() const { return m_value; }

private:
    static constexpr uint64_t kKeySet = 1;
    static constexpr uint64_t kValueSet = 2;
    uint64_t m_mask = 0;
    std::string m_key;
    std::string m_value;
};

}  // namespace zuzezi_zid
