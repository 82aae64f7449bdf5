// The client's side of the small-object rounds of run-transfer-bench.sh: one pass of COUNT
// 4 KiB GETs or PUTs through ZidAPI, one after another or spread over threads. Objects are
// made from their index, so any copy of them can be checked without the source at hand.
//   zid-bench-small gen DIR COUNT                     the objects as files DIR/o00000 ...
//   zid-bench-small verify FILE COUNT                 FILE holds each object once, in any order
//   zid-bench-small get DOMAIN PREFIX COUNT [threads [DIR]]
//                                 the bodies of PREFIX/o..., to stdout or each to DIR/o...
//   zid-bench-small put DOMAIN PREFIX DIR COUNT [threads]
// DOMAIN is "127.0.0.1:PORT", the destination domain, as for zid-bench-transfer.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ClientSettings.h"
#include "ZidAPI.h"
#include "ZidConfig.h"

using namespace zuzezi_zid;

namespace {

constexpr size_t kObjectBytes = 4096;
constexpr uint64_t kMarker = 0x7a69642d736d616cULL;
constexpr uint64_t kAppId = 1250000000;
constexpr const char* kRegion = "ap-test";
constexpr const char* kBucket = "bkt";

std::string ObjectBytes(uint64_t index) {
    std::string s(kObjectBytes, '\0');
    uint64_t x = index ^ kMarker;
    std::memcpy(&s[0], &x, sizeof x);
    for (size_t i = sizeof x; i + sizeof x <= s.size(); i += sizeof x) {
        // splitmix64
        x += 0x9e3779b97f4a7c15ULL;
        uint64_t z = x;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        z ^= z >> 31;
        std::memcpy(&s[i], &z, sizeof z);
    }
    return s;
}

std::string Name(uint64_t index) {
    char name[16];
    std::snprintf(name, sizeof name, "o%05" PRIu64, index);
    return name;
}

int Gen(const std::string& dir, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
        std::ofstream out(dir + "/" + Name(i), std::ios::binary);
        out << ObjectBytes(i);
        if (!out.flush()) return 1;
    }
    return 0;
}

int Verify(const char* file, uint64_t count) {
    std::ifstream in(file, std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (all.size() != count * kObjectBytes) {
        std::fprintf(stderr, "%s: %zu bytes, not %" PRIu64 " objects of %zu\n", file, all.size(),
                     count, kObjectBytes);
        return 1;
    }
    std::vector<bool> seen(count);
    for (size_t off = 0; off < all.size(); off += kObjectBytes) {
        uint64_t index = 0;
        std::memcpy(&index, &all[off], sizeof index);
        index ^= kMarker;
        if (index >= count || seen[index] || all.compare(off, kObjectBytes, ObjectBytes(index)) != 0) {
            std::fprintf(stderr, "%s: bytes at %zu are no object or a second copy\n", file, off);
            return 1;
        }
        seen[index] = true;
    }
    return 0;
}

// Runs op(index) for every object, the indexes dealt round-robin to the threads.
template <typename Op>
bool RunAll(uint64_t count, unsigned threads, Op op) {
    std::vector<char> ok(threads, 1);
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (uint64_t i = t; i < count && ok[t]; i += threads) ok[t] = op(i);
        });
    }
    for (auto& th : pool) th.join();
    for (char o : ok) {
        if (!o) return false;
    }
    return true;
}

bool Report(const ZidResult& r, const std::string& key) {
    if (r.IsSucc()) return true;
    std::fprintf(stderr, "%s: %d %s\n", key.c_str(), r.GetHttpStatus(), r.GetErrorMsg().c_str());
    return false;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: zid-bench-small gen DIR COUNT | verify FILE COUNT\n"
                 "       zid-bench-small get DOMAIN PREFIX COUNT [threads [DIR]]\n"
                 "       zid-bench-small put DOMAIN PREFIX DIR COUNT [threads]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const std::string mode = argv[1];
    if (mode == "gen") return Gen(argv[2], std::strtoull(argv[3], nullptr, 10));
    if (mode == "verify") return Verify(argv[2], std::strtoull(argv[3], nullptr, 10));
    const bool put = mode == "put";
    if ((mode != "get" && !put) || argc < (put ? 6 : 5)) return Usage();
    const std::string prefix = argv[3];
    const int at = put ? 5 : 4;
    const uint64_t count = std::strtoull(argv[at], nullptr, 10);
    const unsigned threads = argc > at + 1 ? static_cast<unsigned>(std::atoi(argv[at + 1])) : 1;
    // Where PUTs read their files from, and where GETs write theirs to, if they do.
    const std::string dir = put ? argv[4] : argc > at + 2 ? argv[at + 2] : "";
    if (threads == 0) return Usage();

    ClientSettings::SetDestDomain(argv[2]);
    ClientSettings::SetLogLevel(1);
    ZidAPI api(ZidConfig(kAppId, "AKID", "SK", kRegion));
    std::mutex out_mu;  // one whole body at a time on stdout
    bool ok = RunAll(count, threads, [&](uint64_t i) {
        const std::string key = prefix + "/" + Name(i);
        if (put) {
            PutObjectByFileReq req(kBucket, key, dir + "/" + Name(i));
            PutObjectByFileResp resp;
            return Report(api.PutObject(req, &resp), key);
        }
        std::ostringstream body;
        GetObjectByStreamReq req(kBucket, key, body);
        GetObjectResp resp;
        if (!Report(api.GetObject(req, &resp), key)) return false;
        const std::string bytes = body.str();
        if (!dir.empty()) {
            std::FILE* f = std::fopen((dir + "/" + Name(i)).c_str(), "wb");
            const bool written = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
            return (f && std::fclose(f) == 0) && written;
        }
        std::lock_guard<std::mutex> lock(out_mu);
        return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    });
    ok = std::fflush(stdout) == 0 && ok;
    return ok ? 0 : 1;
}
