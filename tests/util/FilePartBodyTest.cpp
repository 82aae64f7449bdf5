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

const size_t kPiece = 256 * 1024;

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
};

// Pieces of a range that does not start on a piece boundary, the last one partial; the digest
// is of exactly the range.
TEST_F(FilePartBodyTest, GivesTheRangeOnePieceAtATimeAndItsMd5) {
    const std::string data = Random(3 * kPiece + 77);
    Write(data);
    ASSERT_GE(Open(), 0);
    const uint64_t offset = 5, size = 2 * kPiece + 70;
    std::vector<unsigned char> buf(size);
    FilePartBodyBuf body(m_fd, offset, buf.data(), size);

    EXPECT_EQ(body.Ready(), kPiece);
    EXPECT_EQ(body.Loaded(), kPiece);  // read as it is asked for, not all at once
    EXPECT_TRUE(body.Md5Hex().empty());
    EXPECT_EQ(Drain(&body), data.substr(offset, size));
    EXPECT_TRUE(body.Complete());
    EXPECT_FALSE(body.Short());
    EXPECT_EQ(body.Md5Hex(), Md5Digest::HexOf(data.data() + offset, size));
}

// Sent again from the start, the body gives the bytes it read and digested the first time,
// even when the file changed meanwhile; an attempt cut short goes on reading where it stopped.
TEST_F(FilePartBodyTest, SendingAgainGivesWhatWasReadAndDigested) {
    const std::string data = Random(3 * kPiece);
    Write(data);
    ASSERT_GE(Open(), 0);
    std::vector<unsigned char> buf(data.size());
    FilePartBodyBuf body(m_fd, 0, buf.data(), data.size());
    const size_t n = body.Ready();
    body.Skip(n);  // the first attempt failed after one piece

    std::string changed = data;
    changed[10] ^= 1;
    changed[2 * kPiece] ^= 1;
    Write(changed);
    ASSERT_EQ(body.pubseekpos(0, std::ios_base::in), std::streampos(0));
    const std::string second = Drain(&body);
    EXPECT_EQ(second.substr(0, kPiece), data.substr(0, kPiece));
    EXPECT_EQ(second.substr(kPiece), changed.substr(kPiece));
    EXPECT_EQ(body.Md5Hex(), Md5Digest::HexOf(second.data(), second.size()));

    ASSERT_EQ(body.pubseekpos(0, std::ios_base::in), std::streampos(0));
    EXPECT_EQ(Drain(&body), second);
}

TEST_F(FilePartBodyTest, AFileShorterThanTheRangeEndsTheBodyShort) {
    const std::string data = Random(kPiece + 10);
    Write(data);
    ASSERT_GE(Open(), 0);
    std::vector<unsigned char> buf(2 * kPiece);
    FilePartBodyBuf body(m_fd, 0, buf.data(), buf.size());
    EXPECT_EQ(Drain(&body), data);
    EXPECT_TRUE(body.Short());
    EXPECT_FALSE(body.Complete());
    EXPECT_EQ(body.Loaded(), data.size());
    EXPECT_TRUE(body.Md5Hex().empty());
}

}  // namespace
