// Zip archives made at test time, entry by entry, with full control over what a hostile
// or unusual archive carries: raw name bytes, "version made by", flags, external
// attributes, dates, stored or deflated data. Header-only: include it only from test
// programs that link minizip (the installer's).
#pragma once

#include <zip.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace zid_test {

struct ZipEntrySpec {
    std::string name;             // raw bytes as stored
    std::string data;
    unsigned long versionMadeBy = 0x0314;  // made on Unix (3), zip version 2.0
    unsigned long flag = 0x800;            // UTF-8 name
    unsigned long externalAttr = 0100644UL << 16;
    uint32_t dosDate = 0;                  // 0: none
    bool stored = false;                   // method 0 instead of deflate
};

inline ZipEntrySpec FileEntry(const std::string& name, const std::string& data, unsigned mode = 0644) {
    ZipEntrySpec e;
    e.name = name;
    e.data = data;
    e.externalAttr = static_cast<unsigned long>(0100000 | mode) << 16;
    return e;
}

inline ZipEntrySpec DirEntry(const std::string& name) {
    ZipEntrySpec e;
    e.name = name;
    e.externalAttr = (040755UL << 16) | 0x10;
    return e;
}

inline ZipEntrySpec LinkEntry(const std::string& name, const std::string& target) {
    ZipEntrySpec e;
    e.name = name;
    e.data = target;
    e.externalAttr = 0120777UL << 16;
    return e;
}

// An entry as MS-DOS tools write it: no Unix mode, name in the OEM code page.
inline ZipEntrySpec DosEntry(const std::string& raw_name, const std::string& data) {
    ZipEntrySpec e;
    e.name = raw_name;
    e.data = data;
    e.versionMadeBy = 20;
    e.flag = 0;
    e.externalAttr = 0x20;
    return e;
}

inline void WriteZip(const std::string& path, const std::vector<ZipEntrySpec>& entries) {
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zf) throw std::runtime_error("cannot create " + path);
    for (const ZipEntrySpec& e : entries) {
        zip_fileinfo zi = {};
        zi.dosDate = e.dosDate;
        zi.external_fa = e.externalAttr;
        int r = zipOpenNewFileInZip4_64(zf, e.name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr,
                                        e.stored ? 0 : Z_DEFLATED, e.stored ? 0 : Z_DEFAULT_COMPRESSION, 0,
                                        -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, e.versionMadeBy, e.flag, 0);
        if (r != ZIP_OK) throw std::runtime_error("cannot add " + e.name);
        if (!e.data.empty()) zipWriteInFileInZip(zf, e.data.data(), static_cast<unsigned>(e.data.size()));
        zipCloseFileInZip(zf);
    }
    zipClose(zf, nullptr);
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream is(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream os(path, std::ios::binary | std::ios::trunc);
    os << bytes;
}

// Flips one byte of a stored entry's data (found by its unique content), so the data no
// longer matches the CRC in the headers.
inline void CorruptStoredData(const std::string& path, const std::string& unique_content) {
    std::string bytes = ReadBytes(path);
    size_t at = bytes.find(unique_content);
    if (at == std::string::npos) throw std::runtime_error("content not found in " + path);
    bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
    WriteBytes(path, bytes);
}

// Sets every entry's MS-DOS date-time to 0 in the local and central headers (minizip
// itself never writes 0). For archives whose data cannot contain a header signature.
inline void ZeroEntryDates(const std::string& path) {
    std::string bytes = ReadBytes(path);
    const std::string local("PK\x03\x04", 4), central("PK\x01\x02", 4);
    for (size_t at = bytes.find(local); at != std::string::npos; at = bytes.find(local, at + 4)) {
        for (size_t i = 10; i < 14; ++i) bytes[at + i] = 0;
    }
    for (size_t at = bytes.find(central); at != std::string::npos; at = bytes.find(central, at + 4)) {
        for (size_t i = 12; i < 16; ++i) bytes[at + i] = 0;
    }
    WriteBytes(path, bytes);
}

// The MS-DOS date-time word of a local calendar time.
inline uint32_t DosDate(int year, int month, int day, int hour, int minute, int second) {
    return (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(month) << 21) |
           (static_cast<uint32_t>(day) << 16) | (static_cast<uint32_t>(hour) << 11) |
           (static_cast<uint32_t>(minute) << 5) | static_cast<uint32_t>(second / 2);
}

}  // namespace zid_test
