#pragma once

#include <cstdint>
#include <string>

#include "request/SetMask.h"

namespace zuzezi_zid {

// One key-value pair of a tag set; remembers which halves were set, since an
// empty key that was set is not the same as a key never given.
class Tag : public SetMask {
public:
    static constexpr uint64_t kKey = 0x1;
    static constexpr uint64_t kValue = 0x2;

    Tag() = default;

    void SetKey(std::string key) { Store(m_key, std::move(key), kKey); }
    void SetValue(std::string value) { Store(m_value, std::move(value), kValue); }
    bool HasKey() const { return IsSet(kKey); }
    bool HasValue() const { return IsSet(kValue); }
    std::string GetKey() const { return m_key; }
    std::string GetValue() const { return m_value; }

private:
    std::string m_key;
    std::string m_value;
};

}  // namespace zuzezi_zid
