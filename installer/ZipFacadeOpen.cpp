#include "ZipFacadeOpen.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zipfacade {
namespace {

constexpr uint64_t kAllOnes32 = 0xFFFFFFFF;
// Larger central directories are left as they are.
constexpr uint64_t kMaxCentralDirectory = 64u << 20;

// Four bytes of the file shown as another value.
struct Patch {
    uint64_t at;
    uint32_t value;
};

struct Layer {
    std::vector<Patch> patches;
};

uint64_t Le(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

bool ReadAt(FILE* f, uint64_t at, size_t n, std::vector<unsigned char>* out) {
    out->resize(n);
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0 && fread(out->data(), 1, n, f) == n;
}

// Where the central directory lies and how long it is, from the end records.
bool FindCentralDirectory(FILE* f, uint64_t* at, uint64_t* size) {
    if (fseeko(f, 0, SEEK_END) != 0) return false;
    const uint64_t file_size = static_cast<uint64_t>(ftello(f));
    const uint64_t tail_size = std::min<uint64_t>(file_size, 22 + 65535);
    std::vector<unsigned char> tail;
    if (tail_size < 22 || !ReadAt(f, file_size - tail_size, tail_size, &tail)) return false;
    for (size_t i = tail_size - 22 + 1; i-- > 0;) {
        if (memcmp(&tail[i], "PK\x05\x06", 4) != 0) continue;
        const uint64_t end_at = file_size - tail_size + i;
        uint64_t records_at = end_at;
        uint64_t cd_size = Le(&tail[i + 12], 4), cd_offset = Le(&tail[i + 16], 4);
        std::vector<unsigned char> rec;
        if (end_at >= 20 && ReadAt(f, end_at - 20, 20, &rec) && memcmp(rec.data(), "PK\x06\x07", 4) == 0) {
            records_at = Le(&rec[8], 8);
            if (!ReadAt(f, records_at, 56, &rec) || memcmp(rec.data(), "PK\x06\x06", 4) != 0) return false;
            cd_size = Le(&rec[40], 8);
            cd_offset = Le(&rec[48], 8);
        }
        // Data before the archive (a self-extractor's) shifts every offset, as minizip counts.
        if (records_at < cd_offset + cd_size) return false;
        *at = records_at - cd_size;
        *size = cd_size;
        return true;
    }
    return false;
}

// The classic fields of central headers that defer to zip64 values under 4 GiB.
std::vector<Patch> FindPatches(FILE* f) {
    std::vector<Patch> patches;
    uint64_t at = 0, size = 0;
    std::vector<unsigned char> cd;
    if (!FindCentralDirectory(f, &at, &size) || size > kMaxCentralDirectory || !ReadAt(f, at, size, &cd)) {
        return patches;
    }
    for (size_t p = 0; p + 46 <= cd.size() && memcmp(&cd[p], "PK\x01\x02", 4) == 0;) {
        const size_t name_len = Le(&cd[p + 28], 2), extra_len = Le(&cd[p + 30], 2), comment_len = Le(&cd[p + 32], 2);
        const size_t extra = p + 46 + name_len;
        if (extra + extra_len > cd.size()) break;
        for (size_t e = extra; e + 4 <= extra + extra_len;) {
            const uint64_t id = Le(&cd[e], 2), len = Le(&cd[e + 2], 2);
            if (e + 4 + len > extra + extra_len) break;
            if (id == 0x0001) {
                // The zip64 values follow in this order, each only where its field is all ones.
                size_t v = e + 4;
                for (size_t field : {size_t{24}, size_t{20}, size_t{42}}) {
                    if (Le(&cd[p + field], 4) != kAllOnes32) continue;
                    if (v + 8 > e + 4 + len) break;
                    const uint64_t value = Le(&cd[v], 8);
                    v += 8;
                    if (value < kAllOnes32) patches.push_back({at + p + field, static_cast<uint32_t>(value)});
                }
            }
            e += 4 + len;
        }
        p = extra + extra_len + comment_len;
    }
    return patches;
}

voidpf ZCALLBACK OpenFile(voidpf opaque, const void* filename, int) {
    FILE* f = filename ? fopen(static_cast<const char*>(filename), "rb") : nullptr;
    if (!f) delete static_cast<Layer*>(opaque);
    return f;
}

uLong ZCALLBACK ReadFile(voidpf opaque, voidpf stream, void* buf, uLong size) {
    FILE* f = static_cast<FILE*>(stream);
    const off_t pos = ftello(f);
    const size_t n = fread(buf, 1, size, f);
    if (pos < 0) return n;
    const uint64_t from = static_cast<uint64_t>(pos), to = from + n;
    for (const Patch& patch : static_cast<Layer*>(opaque)->patches) {
        for (uint64_t k = 0; k < 4; ++k) {
            if (patch.at + k >= from && patch.at + k < to) {
                static_cast<unsigned char*>(buf)[patch.at + k - from] =
                    static_cast<unsigned char>(patch.value >> (8 * k));
            }
        }
    }
    return n;
}

uLong ZCALLBACK WriteFile(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK TellFile(voidpf, voidpf stream) { return static_cast<ZPOS64_T>(ftello(static_cast<FILE*>(stream))); }

long ZCALLBACK SeekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    const int whence = origin == ZLIB_FILEFUNC_SEEK_CUR   ? SEEK_CUR
                       : origin == ZLIB_FILEFUNC_SEEK_END ? SEEK_END
                                                          : SEEK_SET;
    return fseeko(static_cast<FILE*>(stream), static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

int ZCALLBACK CloseFile(voidpf opaque, voidpf stream) {
    delete static_cast<Layer*>(opaque);
    return fclose(static_cast<FILE*>(stream));
}

int ZCALLBACK FileError(voidpf, voidpf stream) { return ferror(static_cast<FILE*>(stream)); }

}  // namespace

unzFile OpenForReading(const std::string& path) {
    std::vector<Patch> patches;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        patches = FindPatches(f);
        fclose(f);
    }
    if (patches.empty()) return unzOpen64(path.c_str());
    zlib_filefunc64_def io = {};
    io.zopen64_file = OpenFile;
    io.zread_file = ReadFile;
    io.zwrite_file = WriteFile;
    io.ztell64_file = TellFile;
    io.zseek64_file = SeekFile;
    io.zclose_file = CloseFile;
    io.zerror_file = FileError;
    io.opaque = new Layer{std::move(patches)};  // the stream's close frees it
    return unzOpen2_64(path.c_str(), &io);
}

}  // namespace zipfacade
