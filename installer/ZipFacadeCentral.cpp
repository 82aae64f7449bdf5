#include "ZipFacadeCentral.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace zipfacade {
namespace {

constexpr uint64_t kAllOnes16 = 0xFFFF;
constexpr uint64_t kAllOnes32 = 0xFFFFFFFF;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
// minizip looks for the end records in the archive's last 64 KiB only.
constexpr uint64_t kSearchedTail = 0xFFFF;
constexpr size_t kNone = std::numeric_limits<size_t>::max();

bool ReadAt(FILE* f, uint64_t at, size_t n, std::vector<unsigned char>* out) {
    out->resize(n);
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0 && fread(out->data(), 1, n, f) == n;
}

struct Directory {
    uint64_t at = 0;    // in the file
    uint64_t size = 0;
    uint64_t shift = 0;  // bytes before the archive (a self-extractor's)
    uint64_t entries = 0;
};

// The last place in `bytes`, at `from` or after, where the signature `sig` starts.
size_t LastSignature(const std::vector<unsigned char>& bytes, size_t from, const char* sig) {
    for (size_t i = bytes.size() < 4 ? 0 : bytes.size() - 3; i-- > from;) {
        if (memcmp(&bytes[i], sig, 4) == 0) return i;
    }
    return kNone;
}

// Where the central directory lies, from the end records. Readers find those records
// differently: minizip takes the last zip64 locator of the archive's last 64 KiB wherever
// it lies (in the comment too) and the zip64 end record wherever that points, where other
// readers look for the locator only directly before the end record and for the zip64 end
// record only directly before the locator. An archive on which they would part is refused.
bool FindCentralDirectory(FILE* f, Directory* dir, std::string* fault) {
    if (fseeko(f, 0, SEEK_END) != 0) return false;
    const uint64_t file_size = static_cast<uint64_t>(ftello(f));
    const uint64_t searched = std::min(file_size, kSearchedTail);
    // The searched part, and room for a locator just before it.
    const uint64_t tail_at = file_size - std::min(file_size, searched + kLocatorSize);
    std::vector<unsigned char> tail;
    if (!ReadAt(f, tail_at, static_cast<size_t>(file_size - tail_at), &tail)) return false;
    const size_t from = static_cast<size_t>(file_size - searched - tail_at);

    const size_t end = LastSignature(tail, from, "PK\x05\x06");
    if (end == kNone || end + kEndSize > tail.size()) {
        *fault = "no end of central directory record";
        return false;
    }
    const unsigned char* e = &tail[end];
    const uint64_t end_at = tail_at + end;
    if (Le(e + 4, 2) != 0 || Le(e + 6, 2) != 0 || Le(e + 8, 2) != Le(e + 10, 2)) {
        *fault = "the end record spans several disks";
        return false;
    }
    uint64_t entries = Le(e + 10, 2), cd_size = Le(e + 12, 4), cd_offset = Le(e + 16, 4);
    uint64_t records_at = end_at;

    // The locator minizip takes, if it takes one.
    const size_t loc = LastSignature(tail, from, "PK\x06\x07");
    uint64_t zip64_at = 0;
    bool minizip_zip64 = false;
    std::vector<unsigned char> rec;
    if (loc != kNone && loc + kLocatorSize <= tail.size() && Le(&tail[loc + 4], 4) == 0 &&
        Le(&tail[loc + 16], 4) == 1) {
        zip64_at = Le(&tail[loc + 8], 8);
        minizip_zip64 = ReadAt(f, zip64_at, 4, &rec) && memcmp(rec.data(), "PK\x06\x06", 4) == 0;
    }
    const bool located = end >= kLocatorSize && memcmp(&tail[end - kLocatorSize], "PK\x06\x07", 4) == 0;
    if (minizip_zip64 || located) {
        if (!minizip_zip64 || !located || loc != end - kLocatorSize) {
            *fault = "the zip64 locator is not the one before the end record";
            return false;
        }
        if (zip64_at + kZip64EndSize != end_at - kLocatorSize || !ReadAt(f, zip64_at, kZip64EndSize, &rec) ||
            Le(&rec[4], 8) != kZip64EndSize - 12) {
            *fault = "the zip64 end record is not directly before its locator";
            return false;
        }
        if (Le(&rec[16], 4) != 0 || Le(&rec[20], 4) != 0 || Le(&rec[24], 8) != Le(&rec[32], 8)) {
            *fault = "the zip64 end record spans several disks";
            return false;
        }
        // The classic record defers with all ones where a value does not fit; any other
        // value must be the zip64 one.
        const uint64_t z_entries = Le(&rec[32], 8), z_size = Le(&rec[40], 8), z_offset = Le(&rec[48], 8);
        if ((entries != kAllOnes16 && entries != z_entries) || (cd_size != kAllOnes32 && cd_size != z_size) ||
            (cd_offset != kAllOnes32 && cd_offset != z_offset)) {
            *fault = "the end record and the zip64 end record disagree";
            return false;
        }
        entries = z_entries;
        cd_size = z_size;
        cd_offset = z_offset;
        records_at = zip64_at;
    }
    // The directory ends where the end records begin; data before the archive shifts every
    // offset, as minizip counts.
    if (cd_size > records_at || records_at - cd_size < cd_offset) {
        *fault = "the central directory does not fit before the end records";
        return false;
    }
    dir->at = records_at - cd_size;
    dir->size = cd_size;
    dir->shift = dir->at - cd_offset;
    dir->entries = entries;
    return true;
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

// Every header of the directory, which they must fill exactly, as many as the end
// records count.
bool ReadHeaders(FILE* f, const Directory& dir, std::vector<CentralEntry>* entries, std::string* fault) {
    if (fseeko(f, static_cast<off_t>(dir.at), SEEK_SET) != 0) return false;
    std::vector<unsigned char> head(kCentralHeaderSize), rest;
    for (uint64_t p = 0; p < dir.size;) {
        const std::string which = "central header " + std::to_string(entries->size() + 1);
        if (dir.size - p < kCentralHeaderSize || fread(head.data(), 1, head.size(), f) != head.size() ||
            memcmp(head.data(), "PK\x01\x02", 4) != 0) {
            *fault = which + " does not read";
            return false;
        }
        const size_t name_len = Le(&head[28], 2), extra_len = Le(&head[30], 2), comment_len = Le(&head[32], 2);
        rest.resize(name_len + extra_len + comment_len);
        if (dir.size - p - kCentralHeaderSize < rest.size() || fread(rest.data(), 1, rest.size(), f) != rest.size()) {
            *fault = which + " runs past the central directory";
            return false;
        }
        CentralEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(rest.data()), name_len);
        entry.directoryAt = dir.at - dir.shift + p;
        entry.compressedSize = Le(&head[20], 4);
        entry.uncompressedSize = Le(&head[24], 4);
        entry.localHeaderAt = Le(&head[42], 4);
        TakeZip64Values(rest.data() + name_len, extra_len, &entry);
        entry.localHeaderAt += dir.shift;
        entries->push_back(entry);
        p += kCentralHeaderSize + rest.size();
    }
    if (entries->size() != dir.entries) {
        *fault = "the end record counts " + std::to_string(dir.entries) + " entries, the central directory holds " +
                 std::to_string(entries->size());
        return false;
    }
    return true;
}

// Each entry's span, from its local header to the end of its data, must be its own:
// entries sharing data (overlapping-entry bombs) unpack far more than the archive holds.
// It must lie before the central directory, and its local header must carry the central
// name: readers that go by the local header, or that check it, would each see another
// archive. An entry without a readable local header has no span; opening it fails later.
bool CheckSpans(FILE* f, const Directory& dir, const std::vector<CentralEntry>& entries, std::string* fault) {
    struct Span {
        uint64_t from, to;
        size_t index;
    };
    std::vector<Span> spans;
    std::vector<unsigned char> head, name;
    for (size_t i = 0; i < entries.size(); ++i) {
        const CentralEntry& e = entries[i];
        if (!ReadAt(f, e.localHeaderAt, kLocalHeaderSize, &head) || memcmp(head.data(), "PK\x03\x04", 4) != 0) continue;
        const uint64_t name_len = Le(&head[26], 2);
        if (name_len != e.name.size() || !ReadAt(f, e.localHeaderAt + kLocalHeaderSize, name_len, &name) ||
            memcmp(name.data(), e.name.data(), name_len) != 0) {
            *fault = "entry " + std::to_string(i + 1) + " has another name in its local header";
            return false;
        }
        const uint64_t data_at = e.localHeaderAt + kLocalHeaderSize + name_len + Le(&head[28], 2);
        const uint64_t room = std::numeric_limits<uint64_t>::max() - data_at;
        const uint64_t to = data_at + std::min(room, e.compressedSize);
        if (to > dir.at) {
            *fault = "entry " + std::to_string(i + 1) + " lies in the central directory or after it";
            return false;
        }
        spans.push_back({e.localHeaderAt, to, i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
    for (size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].from < spans[i - 1].to) {
            *fault = "entries " + std::to_string(spans[i - 1].index + 1) + " and " + std::to_string(spans[i].index + 1) +
                     " share stored data";
            return false;
        }
    }
    return true;
}

}  // namespace

CentralDirectory ReadCentralDirectory(const std::string& path) {
    CentralDirectory cd;
    std::unique_ptr<FILE, int (*)(FILE*)> f(fopen(path.c_str(), "rb"), fclose);
    Directory dir;
    if (!f || !FindCentralDirectory(f.get(), &dir, &cd.fault) || !ReadHeaders(f.get(), dir, &cd.entries, &cd.fault) ||
        !CheckSpans(f.get(), dir, cd.entries, &cd.fault)) {
        if (cd.fault.empty()) cd.fault = "the archive cannot be read";
        cd.entries.clear();
    }
    return cd;
}

}  // namespace zipfacade
