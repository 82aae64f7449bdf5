#pragma once

// The buffer a transfer worker reuses for every part it moves, internal to the library.

#include <cstddef>

namespace zuzezi_zid {

// On huge pages where the system grants them when asked: filling it the first time takes a
// few page faults instead of one per 4 KiB, which a virtual machine makes costly.
class PartBuffer {
public:
    explicit PartBuffer(size_t size);
    ~PartBuffer();
    PartBuffer(const PartBuffer&) = delete;
    PartBuffer& operator=(const PartBuffer&) = delete;

    unsigned char* Data() const { return m_data; }

private:
    unsigned char* m_data = nullptr;
};

}  // namespace zuzezi_zid
