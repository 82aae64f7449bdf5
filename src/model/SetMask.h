/// @file
/// SetMask, the base of the records that remember which of their fields were set.
#pragma once

#include <cstdint>
#include <utility>

#include "zid/ZidExport.h"

namespace zuzezi_zid {

/// Base of the records that remember which fields a caller or parser gave: a request body
/// leaves out what was never set, and a default value is not the same as an absent one.
/// Each record names its bits as constants (kKey, kValue, ...).
class ZID_API SetMask {
public:
    /// Every bit of the fields set so far; 0 for none.
    uint64_t GetMask() const { return m_mask; }
    /// True when the field of this bit was set (to any value, "" and 0 included).
    bool IsSet(uint64_t bit) const { return (m_mask & bit) != 0; }

protected:
    /// Stores value into field and marks bit as set.
    template <class Field, class Value>
    void Store(Field& field, Value&& value, uint64_t bit) {
        field = std::forward<Value>(value);
        m_mask |= bit;
    }
    /// Marks bit as set without storing anything.
    void Mark(uint64_t bit) { m_mask |= bit; }

private:
    uint64_t m_mask = 0;
};

}  // namespace zuzezi_zid
