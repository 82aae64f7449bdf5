// Throughput of Crc64Util::Update and of the loopback service's own CRC-64 against liblzma's
// lzma_crc64 (the same CRC-64) over the same buffers in the same run. Usage: zid-bench-crc64 [MiB] [rounds]
#include <lzma.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "ServiceAuth.h"
#include "util/Crc64Util.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Fn>
double BestGiBps(const std::vector<unsigned char>& buf, int rounds, Fn fn, uint64_t* crc_out) {
    double best = 0;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        const uint64_t crc = fn(buf.data(), buf.size());
        const double secs = std::chrono::duration<double>(Clock::now() - start).count();
        *crc_out = crc;
        best = std::max(best, static_cast<double>(buf.size()) / secs / (1024.0 * 1024 * 1024));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 256;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    std::vector<unsigned char> buf(mib * 1024 * 1024);
    std::mt19937_64 gen(42);
    for (auto& b : buf) {
        b = static_cast<unsigned char>(gen());
    }

    uint64_t zid_crc = 0, table_crc = 0, lzma_crc = 0, service_crc = 0;
    const double zid = BestGiBps(
        buf, rounds,
        [](const unsigned char* p, size_t n) { return zuzezi_zid::Crc64Util::Update(0, p, n); },
        &zid_crc);
    const double table = BestGiBps(
        buf, rounds,
        [](const unsigned char* p, size_t n) {
            return zuzezi_zid::Crc64Util::UpdateTable(0, p, n);
        },
        &table_crc);
    const double lzma = BestGiBps(
        buf, rounds,
        [](const unsigned char* p, size_t n) { return static_cast<uint64_t>(lzma_crc64(p, n, 0)); },
        &lzma_crc);

    const double service = BestGiBps(
        buf, rounds, [](const unsigned char* p, size_t n) { return zid_local::auth::Crc64(p, n); },
        &service_crc);

    std::printf("buffer: %zu MiB, best of %d rounds\n", mib, rounds);
    std::printf("Crc64Util::Update (%s): %8.2f GiB/s\n",
                zuzezi_zid::Crc64Util::UsesClmul() ? "carry-less multiply" : "table", zid);
    std::printf("Crc64Util table path:       %8.2f GiB/s\n", table);
    std::printf("lzma_crc64 (liblzma %s):   %8.2f GiB/s\n", lzma_version_string(), lzma);
    std::printf("loopback service's CRC-64:  %8.2f GiB/s\n", service);
    std::printf("ratio Update / lzma_crc64:  %8.2fx\n", zid / lzma);
    if (zid_crc != lzma_crc || table_crc != lzma_crc || service_crc != lzma_crc) {
        std::printf("MISMATCH: %016llx %016llx %016llx %016llx\n",
                    static_cast<unsigned long long>(zid_crc), static_cast<unsigned long long>(table_crc),
                    static_cast<unsigned long long>(service_crc), static_cast<unsigned long long>(lzma_crc));
        return 1;
    }
    return 0;
}
