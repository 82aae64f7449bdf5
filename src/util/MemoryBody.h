#pragma once

// A request body already in memory, internal to the library.

#include <cstddef>
#include <ios>
#include <streambuf>

namespace zuzezi_zid {

// The sender writes such a body to the connection straight from its memory, in large pieces,
// instead of copying it through a stream buffer. Seekable, so a request may be sent again.
class MemoryBodyBuf : public std::streambuf {
public:
    MemoryBodyBuf(const char* data, size_t size) {
        char* p = const_cast<char*>(data);
        setg(p, p, p + size);
    }
    const char* Next() const { return gptr(); }
    size_t Left() const { return static_cast<size_t>(egptr() - gptr()); }
    // What Left() says, once a body that loads itself piece by piece (FilePartBodyBuf) has
    // loaded its next piece when none was left; 0 at the end of the body.
    size_t Ready() {
        if (gptr() == egptr() && sgetc() == traits_type::eof()) return 0;
        return Left();
    }
    void Skip(size_t n) { setg(eback(), gptr() + n, egptr()); }

protected:
    pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                     std::ios_base::openmode which) override {
        if (!(which & std::ios_base::in)) return pos_type(off_type(-1));
        const off_type size = egptr() - eback();
        const off_type base = dir == std::ios_base::beg   ? 0
                              : dir == std::ios_base::cur ? gptr() - eback()
                                                          : size;
        const off_type pos = base + off;
        if (pos < 0 || pos > size) return pos_type(off_type(-1));
        setg(eback(), eback() + pos, egptr());
        return pos_type(pos);
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }
};

}  // namespace zuzezi_zid
