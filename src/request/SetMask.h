#pragma once

#include <cstdint>
#include <utility>

namespace zuzezi_zid {

// Base of the records that remember which fields a caller or parser gave: a request body
// leaves out what was never set, and a default value is not the same as an absent one.
class SetMask {
public:
    uint64_t GetMask() const { return m_mask; }
    bool IsSet(uint64_t bit) const { return (m_mask & bit) != 0; }

protected:
    template <class Field, class Value>
    void Store(Field& field, Value&& value, uint64_t bit) {
        field = std::forward<Value>(value);
        m_mask |= bit;
    }
    void Mark(uint64_t bit) { m_mask |= bit; }

private:
    uint64_t m_mask = 0;
};

}  // namespace zuzezi_zid
