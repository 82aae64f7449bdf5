#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "util/Md5Digest.h"
#include "util/PipelinedMd5.h"

using namespace zuzezi_zid;

namespace {

std::string Bytes(size_t n) {
    std::mt19937 gen(11);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

enum class Mode { kCopied, kInItsBuffer, kAlternating };

// Feeds data in pieces of the given sizes (the last repeats until the data ends).
std::string Digest(const std::string& data, const std::vector<size_t>& sizes, Mode mode) {
    PipelinedMd5 md5;
    std::vector<char> scratch;
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        const size_t n = std::min(sizes[std::min(i, sizes.size() - 1)], data.size() - at);
        const bool in_buffer =
            mode == Mode::kInItsBuffer || (mode == Mode::kAlternating && i % 2 == 1);
        if (in_buffer) {
            char* buffer = md5.Buffer(n);
            std::memcpy(buffer, data.data() + at, n);
            md5.Add(buffer, n, true);
        } else {
            // The caller's buffer is reused at once: a piece must not be read from it later.
            scratch.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                           data.begin() + static_cast<std::ptrdiff_t>(at + n));
            md5.Add(scratch.data(), n, false);
            std::fill(scratch.begin(), scratch.end(), 'x');
        }
        at += n;
    }
    return md5.HexDigest();
}

}  // namespace

TEST(PipelinedMd5Test, DigestIsTheWholeBodysWhateverThePieces) {
    const size_t kPiece = 256 * 1024;
    struct Case {
        const char* name;
        size_t size;
        std::vector<size_t> pieces;
    };
    const Case cases[] = {
        {"nothing", 0, {kPiece}},
        {"one short answer", 4096, {kPiece}},
        {"just under the thread", 1024 * 1024 - 1, {kPiece}},
        {"a large body in even pieces", 9 * kPiece + 17, {kPiece}},
        {"uneven pieces across the start of the thread", 5 * 1024 * 1024 + 3,
         {1, 999999, 3, kPiece + 1, 70000, 1, kPiece}},
        {"many tiny pieces behind large ones", 3 * 1024 * 1024, {kPiece, kPiece, kPiece, kPiece, 1000}},
    };
    for (const auto& c : cases) {
        const std::string data = Bytes(c.size);
        const std::string want = Md5Digest::HexOf(data.data(), data.size());
        for (Mode mode : {Mode::kCopied, Mode::kInItsBuffer, Mode::kAlternating}) {
            EXPECT_EQ(Digest(data, c.pieces, mode), want)
                << c.name << ", mode " << static_cast<int>(mode);
        }
    }
}
