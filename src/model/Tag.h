/// @file
/// Tag, one key-value pair of an object's or a bucket's tag set.
#pragma once

#include <cstdint>
#include <string>

#include "zid/model/SetMask.h"

namespace zuzezi_zid {

/// One key-value pair of a tag set (element "Tag" with "Key" and "Value"); remembers
/// which halves were set, since an empty key that was set is not the same as a key never
/// given: a body leaves out a half that was never set.
class Tag : public SetMask {
public:
    static constexpr uint64_t kKey = 0x1;    ///< Bit of the key.
    static constexpr uint64_t kValue = 0x2;  ///< Bit of the value.

    /// A tag with neither half set.
    Tag() = default;

    /// Sets the key (element "Key").
    void SetKey(std::string key) { Store(m_key, std::move(key), kKey); }
    /// Sets the value (element "Value").
    void SetValue(std::string value) { Store(m_value, std::move(value), kValue); }
    /// True once the key was set, even to "".
    bool HasKey() const { return IsSet(kKey); }
    /// True once the value was set, even to "".
    bool HasValue() const { return IsSet(kValue); }
    /// The key; "" when not set.
    std::string GetKey() const { return m_key; }
    /// The value; "" when not set.
    std::string GetValue() const { return m_value; }

private:
    std::string m_key;
    std::string m_value;
};

}  // namespace zuzezi_zid
