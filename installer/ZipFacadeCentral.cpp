#include "ZipFacadeCentral.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zipfacade {
namespace {

constexpr uint64_t kAllOnes32 = 0xFFFFFFFF;
constexpr size_t kCentralHeaderSize = 46;

bool ReadAt(FILE* f, uint64_t at, size_t n, std::vector<unsigned char>* out) {
    out->resize(n);
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0 && fread(out->data(), 1, n, f) == n;
}

struct Directory {
    uint64_t at = 0;    // in the file
    uint64_t size = 0;
    uint64_t shift = 0;  // bytes before the archive (a self-extractor's)
};

// Where the central directory lies and how long it is, from the end records.
bool FindCentralDirectory(FILE* f, Directory* dir) {
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
        // Data before the archive shifts every offset, as minizip counts.
        if (cd_size > records_at || records_at - cd_size < cd_offset) return false;
        dir->at = records_at - cd_size;
        dir->size = cd_size;
        dir->shift = dir->at - cd_offset;
        return true;
    }
    return false;
}

// Takes the zip64 values of one central header's extra fields: each is present only
// where its classic field is all ones, in the order uncompressed, compressed, offset.
void TakeZip64Values(const unsigned char* extra, size_t extra_len, CentralEntry* entry) {
    for (size_t e = 0; e + 4 <= extra_len;) {
        const uint64_t id = Le(&extra[e], 2), len = Le(&extra[e + 2], 2);
        if (e + 4 + len > extra_len) return;
        if (id == 0x0001) {
            size_t v = e + 4;
            for (uint64_t* field : {&entry->uncompressedSize, &entry->compressedSize, &entry->localHeaderAt}) {
                if (*field != kAllOnes32) continue;
                if (v + 8 > e + 4 + len) return;
                *field = Le(&extra[v], 8);
                entry->zip64Only = true;
                v += 8;
            }
            return;
        }
        e += 4 + len;
    }
}

}  // namespace

std::vector<CentralEntry> ReadCentralDirectory(const std::string& path) {
    std::vector<CentralEntry> entries;
    std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(path.c_str(), "rb"), fclose);
    Directory dir;
    if (!f || !FindCentralDirectory(f.get(), &dir) || fseeko(f.get(), static_cast<off_t>(dir.at), SEEK_SET) != 0) {
        return entries;
    }
    std::vector<unsigned char> head(kCentralHeaderSize), rest;
    for (uint64_t p = 0; p + kCentralHeaderSize <= dir.size;) {
        if (fread(head.data(), 1, head.size(), f.get()) != head.size() || memcmp(head.data(), "PK\x01\x02", 4) != 0) {
            break;
        }
        const size_t name_len = Le(&head[28], 2), extra_len = Le(&head[30], 2), comment_len = Le(&head[32], 2);
        rest.resize(name_len + extra_len + comment_len);
        if (fread(rest.data(), 1, rest.size(), f.get()) != rest.size()) break;
        CentralEntry entry;
        entry.directoryAt = dir.at - dir.shift + p;
        entry.compressedSize = Le(&head[20], 4);
        entry.uncompressedSize = Le(&head[24], 4);
        entry.localHeaderAt = Le(&head[42], 4);
        TakeZip64Values(rest.data() + name_len, extra_len, &entry);
        entry.localHeaderAt += dir.shift;
        entries.push_back(entry);
        p += kCentralHeaderSize + rest.size();
    }
    return entries;
}

}  // namespace zipfacade
