#include "util/PartBuffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace zuzezi_zid {

namespace {

const size_t kHugePage = size_t{2} << 20;

}  // namespace

PartBuffer::PartBuffer(size_t size) {
    void* p = nullptr;
    const size_t align = size >= kHugePage ? kHugePage : alignof(std::max_align_t);
    if (posix_memalign(&p, align, size ? size : 1) != 0) throw std::bad_alloc();
    m_data = static_cast<unsigned char*>(p);
    if (size >= kHugePage) {
        madvise(p, size & ~(kHugePage - 1), MADV_HUGEPAGE);  // a hint only
    }
}

PartBuffer::~PartBuffer() { std::free(m_data); }

}  // namespace zuzezi_zid
