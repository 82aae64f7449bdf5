// Zip archives made at test time, entry by entry, with full control over what a hostile
// or unusual archive carries: raw name bytes, "version made by", flags, external
// attributes, dates, stored or deflated data. Header-only: include it only from test
// programs that link minizip (the installer's).
#pragma once

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
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

// An entry of a hand-made zip64 archive: `data`, then `zeroBytes` zero bytes. Stored, the
// zeros are left as a hole in the archive file (sparse where the file system allows).
struct Zip64EntrySpec {
    std::string name;
    std::string data;
    uint64_t zeroBytes = 0;
    uint32_t dosDate = DosDate(2003, 4, 5, 6, 7, 8);
    bool deflated = false;
    unsigned flag = 0x800;  // UTF-8 name
};

namespace detail {
// Appends little-endian fields, each a value and its width in bytes.
inline void Put(std::string* out, std::initializer_list<std::pair<uint64_t, int>> fields) {
    for (const auto& [value, bytes] : fields) {
        for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

inline uLong Crc(const Zip64EntrySpec& e) {
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
    const std::vector<Bytef> zeros(1u << 20, 0);
    const uLong mib_crc = crc32(0L, zeros.data(), static_cast<uInt>(zeros.size()));
    uint64_t left = e.zeroBytes;
    for (; left >= zeros.size(); left -= zeros.size()) {
        crc = crc32_combine(crc, mib_crc, static_cast<z_off_t>(zeros.size()));
    }
    const uLong tail = crc32(0L, zeros.data(), static_cast<uInt>(left));
    return crc32_combine(crc, tail, static_cast<z_off_t>(left));
}

// The entry's bytes as a raw deflate stream.
inline std::string Deflated(const Zip64EntrySpec& e) {
    z_stream z = {};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out;
    std::vector<Bytef> chunk(1u << 20);
    const std::vector<Bytef> zeros(1u << 20, 0);
    auto feed = [&](const Bytef* in, size_t n, int flush) {
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = chunk.data();
            z.avail_out = static_cast<uInt>(chunk.size());
            deflate(&z, flush);
            out.append(reinterpret_cast<const char*>(chunk.data()), chunk.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    feed(reinterpret_cast<const Bytef*>(e.data.data()), e.data.size(), Z_NO_FLUSH);
    for (uint64_t left = e.zeroBytes; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, zeros.size()));
        feed(zeros.data(), n, Z_NO_FLUSH);
        left -= n;
    }
    feed(nullptr, 0, Z_FINISH);
    deflateEnd(&z);
    return out;
}
}  // namespace detail

// A zip64 archive as archivers write large ones: local headers with their sizes in zip64
// fields, central headers with zip64 fields for what does not fit in 32 bits (for every
// size and offset with `always`, as streaming writers do), and the classic end record
// pointing to the zip64 end records.
inline void WriteZip64(const std::string& path, const std::vector<Zip64EntrySpec>& entries, bool always = false) {
    using detail::Put;
    constexpr uint64_t kMax32 = 0xFFFFFFFF;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    auto write_at = [&](uint64_t at, const std::string& bytes) {
        if (fseeko(f, static_cast<off_t>(at), SEEK_SET) != 0 ||
            fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            fclose(f);
            throw std::runtime_error("cannot write " + path);
        }
    };
    std::string central;
    uint64_t offset = 0;
    for (const Zip64EntrySpec& e : entries) {
        const uint64_t size = e.data.size() + e.zeroBytes;
        const uLong crc = detail::Crc(e);
        const std::string deflated = e.deflated ? detail::Deflated(e) : std::string();
        const uint64_t packed = e.deflated ? deflated.size() : size;
        const int method = e.deflated ? Z_DEFLATED : 0;
        // Sizes in the zip64 field that follows the name.
        std::string local;
        Put(&local, {{0x04034b50, 4}, {45, 2}, {e.flag, 2}, {method, 2}, {e.dosDate & 0xFFFF, 2},
                     {e.dosDate >> 16, 2}, {crc, 4}, {kMax32, 4}, {kMax32, 4}, {e.name.size(), 2}, {20, 2}});
        local += e.name;
        Put(&local, {{0x0001, 2}, {16, 2}, {size, 8}, {packed, 8}});
        local += e.deflated ? deflated : e.data;
        write_at(offset, local);

        const bool big = always || size >= kMax32, big_packed = always || packed >= kMax32,
                   far = always || offset >= kMax32;
        std::string extra;
        if (big) Put(&extra, {{size, 8}});
        if (big_packed) Put(&extra, {{packed, 8}});
        if (far) Put(&extra, {{offset, 8}});
        // Made on Unix, a plain file's mode.
        Put(&central, {{0x02014b50, 4}, {0x031E, 2}, {45, 2}, {e.flag, 2}, {method, 2}, {e.dosDate & 0xFFFF, 2},
                       {e.dosDate >> 16, 2}, {crc, 4}, {big_packed ? kMax32 : packed, 4}, {big ? kMax32 : size, 4},
                       {e.name.size(), 2}, {extra.empty() ? 0 : extra.size() + 4, 2}, {0, 2}, {0, 2}, {0, 2},
                       {0100644UL << 16, 4}, {far ? kMax32 : offset, 4}});
        central += e.name;
        if (!extra.empty()) {
            Put(&central, {{0x0001, 2}, {extra.size(), 2}});
            central += extra;
        }
        offset += local.size() + (e.deflated ? 0 : e.zeroBytes);
    }
    // The zip64 end record, its locator, and the classic end record that defers to them.
    std::string tail = central;
    Put(&tail, {{0x06064b50, 4}, {44, 8}, {0x031E, 2}, {45, 2}, {0, 4}, {0, 4}, {entries.size(), 8},
                {entries.size(), 8}, {central.size(), 8}, {offset, 8}});
    Put(&tail, {{0x07064b50, 4}, {0, 4}, {offset + central.size(), 8}, {1, 4}});
    Put(&tail, {{0x06054b50, 4}, {0, 2}, {0, 2}, {0xFFFF, 2}, {0xFFFF, 2}, {kMax32, 4}, {kMax32, 4}, {0, 2}});
    write_at(offset, tail);
    if (fclose(f) != 0) throw std::runtime_error("cannot write " + path);
}

// A raw deflate stream that gives `prefix` and then cannot be inflated any further.
inline std::string DeflatedThenBroken(const std::string& prefix) {
    z_stream z = {};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&z, prefix.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(prefix.data()));
    z.avail_in = static_cast<uInt>(prefix.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_SYNC_FLUSH);  // ends on a byte boundary, the stream left open
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out + std::string(64, '\xff');  // a block of the reserved type
}

// ---- archives written byte by byte ------------------------------------------------
// For what minizip's writer cannot carry (a NUL byte in a name) or will not write (a
// body that is not what its headers say): local headers, central headers and the end
// record are laid out here by hand.
struct RawZipEntry : ZipEntrySpec {
    // When set: the deflated body as it is stored, in place of `data` deflated; the
    // headers still give `data`'s CRC-32.
    std::string rawBody;
    uint64_t declaredSize = 0;  // when set, the size the headers give instead of `data`'s
};

inline RawZipEntry Raw(const ZipEntrySpec& e) { return RawZipEntry{e}; }

inline void WriteRawZip(const std::string& path, const std::vector<RawZipEntry>& entries) {
    using detail::Put;
    std::string out, central;
    for (const RawZipEntry& e : entries) {
        Zip64EntrySpec spec{e.name, e.data};
        const std::string body = !e.rawBody.empty() ? e.rawBody : e.stored ? e.data : detail::Deflated(spec);
        const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
        const uint64_t size = e.declaredSize ? e.declaredSize : e.data.size();
        const int method = e.stored && e.rawBody.empty() ? 0 : Z_DEFLATED;
        const uint64_t offset = out.size();
        Put(&out, {{0x04034b50, 4}, {20, 2}, {e.flag, 2}, {method, 2}, {e.dosDate & 0xFFFF, 2},
                   {e.dosDate >> 16, 2}, {crc, 4}, {body.size(), 4}, {size, 4}, {e.name.size(), 2}, {0, 2}});
        out += e.name;
        out += body;
        Put(&central, {{0x02014b50, 4}, {e.versionMadeBy, 2}, {20, 2}, {e.flag, 2}, {method, 2},
                       {e.dosDate & 0xFFFF, 2}, {e.dosDate >> 16, 2}, {crc, 4}, {body.size(), 4}, {size, 4},
                       {e.name.size(), 2}, {0, 2}, {0, 2}, {0, 2}, {0, 2}, {e.externalAttr, 4}, {offset, 4}});
        central += e.name;
    }
    const uint64_t central_at = out.size();
    out += central;
    Put(&out, {{0x06054b50, 4}, {0, 2}, {0, 2}, {entries.size(), 2}, {entries.size(), 2}, {central.size(), 4},
               {central_at, 4}, {0, 2}});
    std::ofstream os(path, std::ios::binary | std::ios::trunc);
    os << out;
    if (!os.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace zid_test
