// Our own reading of an archive's central directory. This minizip reads the zip64 fields
// of central headers only when it compares them with an all-ones unsigned long, which on
// 64-bit systems they never are: an entry whose central header leaves its sizes or offset
// to those fields (entries of 4 GiB and more, entries beyond 4 GiB, and streaming writers'
// entries of any size) shows all-ones values through minizip.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zipfacade {

// A little-endian number of `bytes` bytes, as zip records store them.
inline uint64_t Le(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

struct CentralEntry {
    // The name's bytes as the central header gives them.
    std::string name;
    // Where the central header lies, as minizip's unzGetFilePos64 counts it.
    uint64_t directoryAt = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    // Where the local header lies in the file (data before the archive included).
    uint64_t localHeaderAt = 0;
    // Some of the values above are given only by the zip64 field, so minizip lacks them.
    bool zip64Only = false;
};

struct CentralDirectory {
    // The central headers in their order; none when there is a fault.
    std::vector<CentralEntry> entries;
    // Why the archive is not to be read, or empty: end records that cannot be found or
    // that disagree (so readers would each find another directory), headers that do not
    // read or are not as many as the end records count, entries sharing stored data, local
    // headers named otherwise than their central ones, or entries lying in the central
    // directory or after it.
    std::string fault;
};

CentralDirectory ReadCentralDirectory(const std::string& path);

}  // namespace zipfacade
