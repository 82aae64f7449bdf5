/// @file
/// PartState, a record of one part of a transfer.
#pragma once

#include <cstdint>
#include <string>

namespace zuzezi_zid {

/// One part of a transfer: number, ETag, size and a flag. A TransferHandler holds a map
/// of them for the caller's use; no operation of the library fills or reads it.
class PartState {
public:
    /// Part 0, empty ETag, size 0, flag false.
    PartState() = default;
    /// @param part_number the part's number
    /// @param etag        the part's ETag
    /// @param size        the part's size in bytes
    /// @param flag        the caller's own mark
    PartState(int part_number, const std::string& etag, uint64_t size, bool flag)
        : m_part_number(part_number), m_etag(etag), m_size(size), m_flag(flag) {}

    /// The part's number.
    int GetPartNumber() const { return m_part_number; }
    /// The part's ETag.
    std::string GetEtag() const { return m_etag; }
    /// The part's size in bytes.
    uint64_t GetSize() const { return m_size; }
    /// The caller's own mark.
    bool GetFlag() const { return m_flag; }

private:
    int m_part_number = 0;
    std::string m_etag;
    uint64_t m_size = 0;
    bool m_flag = false;
};

}  // namespace zuzezi_zid
