#include "util/Crc64Util.h"

#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define ZID_CRC64_HAVE_CLMUL 1
#endif

namespace zuzezi_zid {

namespace {

const uint64_t kPolyReflected = 0xC96C5795D7870F42ULL;
const uint64_t kPolyNormal = 0x42F0E1EBA9EA3693ULL;

struct Tables {
    uint64_t t[8][256];
    Tables() {
        for (uint64_t i = 0; i < 256; ++i) {
            uint64_t v = i;
            for (int b = 0; b < 8; ++b) {
                v = (v & 1) ? (v >> 1) ^ kPolyReflected : v >> 1;
            }
            t[0][i] = v;
        }
        for (int k = 1; k < 8; ++k) {
            for (int i = 0; i < 256; ++i) {
                t[k][i] = t[0][t[k - 1][i] & 0xFF] ^ (t[k - 1][i] >> 8);
            }
        }
    }
};

// Built before main; also safe if another static initialiser gets here first.
const Tables& GetTables() {
    static const Tables tables;
    return tables;
}
[[maybe_unused]] const Tables& g_tables_at_load = GetTables();

bool IsLittleEndian() {
    const uint16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// The register form: no inversion before or after.
uint64_t RawTable(uint64_t v, const unsigned char* p, size_t n) {
    const Tables& tb = GetTables();
    const uint64_t(*t)[256] = tb.t;
    static const bool little_endian = IsLittleEndian();
    if (little_endian) {
        while (n > 0 && (reinterpret_cast<uintptr_t>(p) & 7) != 0) {
            v = t[0][(v ^ *p++) & 0xFF] ^ (v >> 8);
            --n;
        }
        while (n >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            v ^= word;
            v = t[7][v & 0xFF] ^ t[6][(v >> 8) & 0xFF] ^ t[5][(v >> 16) & 0xFF] ^
                t[4][(v >> 24) & 0xFF] ^ t[3][(v >> 32) & 0xFF] ^ t[2][(v >> 40) & 0xFF] ^
                t[1][(v >> 48) & 0xFF] ^ t[0][v >> 56];
            p += 8;
            n -= 8;
        }
    }
    while (n > 0) {
        v = t[0][(v ^ *p++) & 0xFF] ^ (v >> 8);
        --n;
    }
    return v;
}

#ifdef ZID_CRC64_HAVE_CLMUL

// x^n mod P in the bit-reflected form used by the register.
uint64_t XPowModReflected(unsigned n) {
    uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r = (r & 0x8000000000000000ULL) ? (r << 1) ^ kPolyNormal : r << 1;
    }
    uint64_t reflected = 0;
    for (int b = 0; b < 64; ++b) {
        if (r & (1ULL << b)) {
            reflected |= 1ULL << (63 - b);
        }
    }
    return reflected;
}

// Fold constants for moving a 128-bit lane forward by d bits: the low half is
// multiplied by x^(d+63) and the high half by x^(d-1) (the extra x of a
// reflected carry-less product accounts for the 1).
struct FoldConstants {
    uint64_t k[4][2];  // d = 128, 256, 384, 512
    FoldConstants() {
        for (unsigned i = 0; i < 4; ++i) {
            const unsigned d = 128 * (i + 1);
            k[i][0] = XPowModReflected(d + 63);
            k[i][1] = XPowModReflected(d - 1);
        }
    }
};

const FoldConstants& GetFoldConstants() {
    static const FoldConstants constants;
    return constants;
}

bool CpuHasClmul() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        return false;
    }
    return (ecx & bit_PCLMUL) != 0 && (edx & bit_SSE2) != 0;
}

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i a, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) uint64_t RawClmul(uint64_t v, const unsigned char* p,
                                                         size_t n) {
    if (n < 64) {
        return RawTable(v, p, n);
    }
    const FoldConstants& fc = GetFoldConstants();
    const __m128i k128 =
        _mm_set_epi64x(static_cast<long long>(fc.k[0][1]), static_cast<long long>(fc.k[0][0]));
    const __m128i k256 =
        _mm_set_epi64x(static_cast<long long>(fc.k[1][1]), static_cast<long long>(fc.k[1][0]));
    const __m128i k384 =
        _mm_set_epi64x(static_cast<long long>(fc.k[2][1]), static_cast<long long>(fc.k[2][0]));
    const __m128i k512 =
        _mm_set_epi64x(static_cast<long long>(fc.k[3][1]), static_cast<long long>(fc.k[3][0]));
    const __m128i* q = reinterpret_cast<const __m128i*>(p);
    // The register enters as an XOR over the first eight message bytes.
    __m128i a0 = _mm_xor_si128(_mm_loadu_si128(q), _mm_cvtsi64_si128(static_cast<long long>(v)));
    __m128i a1 = _mm_loadu_si128(q + 1);
    __m128i a2 = _mm_loadu_si128(q + 2);
    __m128i a3 = _mm_loadu_si128(q + 3);
    q += 4;
    n -= 64;
    while (n >= 64) {
        a0 = _mm_xor_si128(Fold(a0, k512), _mm_loadu_si128(q));
        a1 = _mm_xor_si128(Fold(a1, k512), _mm_loadu_si128(q + 1));
        a2 = _mm_xor_si128(Fold(a2, k512), _mm_loadu_si128(q + 2));
        a3 = _mm_xor_si128(Fold(a3, k512), _mm_loadu_si128(q + 3));
        q += 4;
        n -= 64;
    }
    __m128i a = _mm_xor_si128(_mm_xor_si128(Fold(a0, k384), Fold(a1, k256)),
                              _mm_xor_si128(Fold(a2, k128), a3));
    while (n >= 16) {
        a = _mm_xor_si128(Fold(a, k128), _mm_loadu_si128(q));
        ++q;
        n -= 16;
    }
    // The lane is congruent to everything read so far; running it through the
    // table from a zero register yields the register itself.
    unsigned char lane[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane), a);
    v = RawTable(0, lane, sizeof(lane));
    return RawTable(v, reinterpret_cast<const unsigned char*>(q), n);
}

bool UseClmul() {
    static const bool use = CpuHasClmul();
    return use;
}

#else

bool UseClmul() { return false; }

#endif

}  // namespace

uint64_t Crc64Util::UpdateTable(uint64_t crc, const void* data, size_t len) {
    return ~RawTable(~crc, static_cast<const unsigned char*>(data), len);
}

uint64_t Crc64Util::Update(uint64_t crc, const void* data, size_t len) {
#ifdef ZID_CRC64_HAVE_CLMUL
    if (UseClmul()) {
        return ~RawClmul(~crc, static_cast<const unsigned char*>(data), len);
    }
#endif
    return UpdateTable(crc, data, len);
}

bool Crc64Util::UsesClmul() { return UseClmul(); }

namespace {

uint64_t Gf2MatrixTimes(const uint64_t* mat, uint64_t vec) {
    uint64_t sum = 0;
    while (vec) {
        if (vec & 1) {
            sum ^= *mat;
        }
        vec >>= 1;
        ++mat;
    }
    return sum;
}

void Gf2MatrixSquare(uint64_t* square, const uint64_t* mat) {
    for (int n = 0; n < 64; ++n) {
        square[n] = Gf2MatrixTimes(mat, mat[n]);
    }
}

}  // namespace

uint64_t Crc64Util::Combine(uint64_t crc1, uint64_t crc2, uint64_t len2) {
    if (len2 == 0) {
        return crc1;
    }
    uint64_t even[64];
    uint64_t odd[64];
    // Operator for one zero bit.
    odd[0] = kPolyReflected;
    uint64_t row = 1;
    for (int n = 1; n < 64; ++n) {
        odd[n] = row;
        row <<= 1;
    }
    Gf2MatrixSquare(even, odd);  // two zero bits
    Gf2MatrixSquare(odd, even);  // four zero bits
    do {
        Gf2MatrixSquare(even, odd);
        if (len2 & 1) {
            crc1 = Gf2MatrixTimes(even, crc1);
        }
        len2 >>= 1;
        if (len2 == 0) {
            break;
        }
        Gf2MatrixSquare(odd, even);
        if (len2 & 1) {
            crc1 = Gf2MatrixTimes(odd, crc1);
        }
        len2 >>= 1;
    } while (len2 != 0);
    return crc1 ^ crc2;
}

}  // namespace zuzezi_zid
