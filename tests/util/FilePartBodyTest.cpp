#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/LocalServiceCerts.h"
#include "util/FilePartBody.h"
#include "util/Md5Digest.h"

using namespace zuzezi_zid;

namespace {

const size_t kPiece = FilePartBodyBuf::kPieceBytes;

class FilePartBodyTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = zid_test::MakeTempFolder("zid-part");
        m_path = m_dir + "/f.bin";
    }
    void TearDown() override {
        if (m_fd >= 0) ::close(m_fd);
        std::filesystem::remove_all(m_dir);
    }
    void Write(const std::string& data) {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << data;
    }
    int Open() {
        m_fd = ::open(m_path.c_str(), O_RDONLY);
        return m_fd;
    }
    static std::string Random(size_t n) {
        std::mt19937 gen(11);
        std::string s(n, '\0');
        for (auto& c : s) c = static_cast<char>(gen() & 0xff);
        return s;
    }
    // All the body gives from where it stands, the way the sender takes it.
    static std::string Drain(MemoryBodyBuf* body) {
        std::string out;
        while (size_t n = body->Ready()) {
            out.append(body->Next(), n);
            body->Skip(n);
        }
        return out;
    }

    std::string m_dir, m_path;
    int m_fd = -1;
    std::vector<char> m_piece = std::vector<char>(kPiece);
};

// Pieces of a range that does not start on a piece boundary, the last one partial; the digest
// is of exactly the range.
TEST_F(FilePartBodyTest, GivesTheRangeOnePieceAtATimeAndItsMd5) {
    const std::string data = Random(3 * kPiece + 77);
    Write(data);
    ASSERT_GE(Open(), 0);
    const uint64_t offset = 5, size = 2 * kPiece + 70;
    FilePartBodyBuf body(m_fd, offset, size, m_piece.data());

    EXPECT_EQ(body.Ready(), kPiece);
    EXPECT_EQ(body.Loaded(), kPiece);  // read as it is asked for, not all at once
    EXPECT_TRUE(body.Md5Hex().empty());
    EXPECT_EQ(Drain(&body), data.substr(offset, size));
    EXPECT_EQ(body.Loaded(), size);
    EXPECT_FALSE(body.Short());
    EXPECT_EQ(body.Md5Hex(), Md5Digest::HexOf(data.data() + offset, size));
}

// Sent again from the start, the body reads the file again; its digest stays that of the bytes
// first read, so a part whose file changed in between cannot match the ETag of what was sent.
// An attempt cut short is digested on from where it stopped.
TEST_F(FilePartBodyTest, SendingAgainKeepsTheDigestOfTheFirstRead) {
    const std::string data = Random(3 * kPiece);
    Write(data);
    ASSERT_GE(Open(), 0);
    FilePartBodyBuf body(m_fd, 0, data.size(), m_piece.data());
    EXPECT_EQ(body.pubseekoff(0, std::ios_base::cur, std::ios_base::in), std::streampos(0));
    body.Skip(body.Ready());  // the first attempt failed after one piece
    EXPECT_EQ(body.pubseekoff(0, std::ios_base::cur, std::ios_base::in), std::streampos(kPiece));

    std::string changed = data;
    changed[10] ^= 1;
    changed[2 * kPiece] ^= 1;
    Write(changed);
    ASSERT_EQ(body.pubseekpos(0, std::ios_base::in), std::streampos(0));
    EXPECT_EQ(Drain(&body), changed);
    const std::string digested = data.substr(0, kPiece) + changed.substr(kPiece);
    EXPECT_EQ(body.Md5Hex(), Md5Digest::HexOf(digested.data(), digested.size()));

    Write(data);
    ASSERT_EQ(body.pubseekpos(kPiece + 3, std::ios_base::in), std::streampos(kPiece + 3));
    EXPECT_EQ(Drain(&body), data.substr(kPiece + 3));
    EXPECT_EQ(body.Md5Hex(), Md5Digest::HexOf(digested.data(), digested.size()));
}

TEST_F(FilePartBodyTest, AFileShorterThanTheRangeEndsTheBodyShort) {
    const std::string data = Random(kPiece + 10);
    Write(data);
    ASSERT_GE(Open(), 0);
    FilePartBodyBuf body(m_fd, 0, 2 * kPiece, m_piece.data());
    EXPECT_EQ(Drain(&body), data);
    EXPECT_TRUE(body.Short());
    EXPECT_EQ(body.Loaded(), data.size());
    EXPECT_TRUE(body.Md5Hex().empty());
}

}  // namespace
