#pragma once

#include <cstdint>
#include <string>

namespace zuzezi_zid {

class PartState {
public:
    PartState() = default;
    PartState(int part_number, const std::string& etag, uint64_t size, bool flag)
        : m_part_number(part_number), m_etag(etag), m_size(size), m_flag(flag) {}

    int GetPartNumber() const { return m_part_number; }
    std::string GetEtag() const { return m_etag; }
    uint64_t GetSize() const { return m_size; }
    bool GetFlag() const { return m_flag; }

private:
    int m_part_number = 0;
    std::string m_etag;
    uint64_t m_size = 0;
    bool m_flag = false;
};

}  // namespace zuzezi_zid
