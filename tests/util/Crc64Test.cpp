#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <Poco/TemporaryFile.h>

#include "util/Crc64Util.h"
#include "util/FileUtil.h"

using namespace zuzezi_zid;

namespace {

// Bit-at-a-time CRC-64/XZ, the slowest and plainest form, as the reference.
uint64_t ReferenceCrc(const std::string& s) {
    uint64_t v = ~0ULL;
    for (unsigned char c : s) {
        v ^= c;
        for (int b = 0; b < 8; ++b) {
            v = (v & 1) ? (v >> 1) ^ 0xC96C5795D7870F42ULL : v >> 1;
        }
    }
    return ~v;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

uint64_t Crc(const std::string& s) { return Crc64Util::Update(0, s.data(), s.size()); }

}  // namespace

TEST(Crc64Test, CheckValueAndChaining) {
    EXPECT_EQ(Crc("123456789"), 0x995DC9BBDF1939FAULL);
    EXPECT_EQ(Crc64Util::UpdateTable(0, "123456789", 9), 0x995DC9BBDF1939FAULL);
    const uint64_t part = Crc64Util::Update(0, "1234", 4);
    EXPECT_EQ(Crc64Util::Update(part, "56789", 5), 0x995DC9BBDF1939FAULL);
    EXPECT_EQ(Crc64Util::Update(0, "", 0), 0u);
    EXPECT_EQ(Crc64Util::Update(part, nullptr, 0), part);
}

TEST(Crc64Test, EveryLengthAndAlignmentMatchesTheReference) {
    // Lengths around the 8-byte words and the 16/64-byte folding lanes, at
    // every start offset within a word.
    const std::string data = RandomBytes(700, 1);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t len = 0; len + offset <= data.size(); len += (len < 200 ? 1 : 37)) {
            const std::string piece = data.substr(offset, len);
            const uint64_t expected = ReferenceCrc(piece);
            ASSERT_EQ(Crc64Util::Update(0, data.data() + offset, len), expected)
                << "offset " << offset << " len " << len;
            ASSERT_EQ(Crc64Util::UpdateTable(0, data.data() + offset, len), expected)
                << "offset " << offset << " len " << len;
        }
    }
}

TEST(Crc64Test, LargeBufferSplitAnywhereAgrees) {
    const std::string data = RandomBytes(1 << 20, 2);
    const uint64_t whole = Crc(data);
    EXPECT_EQ(whole, Crc64Util::UpdateTable(0, data.data(), data.size()));
    for (size_t cut :
         {size_t(1), size_t(63), size_t(64), size_t(65), size_t(4097), data.size() - 3}) {
        const uint64_t a = Crc64Util::Update(0, data.data(), cut);
        EXPECT_EQ(Crc64Util::Update(a, data.data() + cut, data.size() - cut), whole) << cut;
    }
}

TEST(Crc64Test, CombineEqualsCrcOfConcatenation) {
    const std::string a = RandomBytes(1000, 3);
    for (size_t len_b :
         {size_t(0), size_t(1), size_t(7), size_t(8), size_t(1000), size_t(123457)}) {
        const std::string b = RandomBytes(len_b, 4);
        EXPECT_EQ(Crc64Util::Combine(Crc(a), Crc(b), b.size()), Crc(a + b)) << len_b;
    }
    EXPECT_EQ(Crc64Util::Combine(Crc("1234"), Crc("56789"), 5), 0x995DC9BBDF1939FAULL);
    EXPECT_EQ(Crc64Util::Combine(Crc("abc"), 0, 0), Crc("abc"));
}

class FileUtilTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content) {
        files_.emplace_back();
        const std::string path = files_.back().path();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::vector<Poco::TemporaryFile> files_;
};

TEST_F(FileUtilTest, FileCrcAndLength) {
    const std::string data = RandomBytes(5000, 5);
    const std::string path = Write(data);
    EXPECT_EQ(FileUtil::GetFileCrc64(path), Crc(data));
    EXPECT_EQ(FileUtil::GetFileLength(path), 5000);
    const std::string empty = Write("");
    bool ok = false;
    EXPECT_EQ(FileUtil::GetFileCrc64(empty, &ok), 0u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(FileUtil::GetFileLength(empty), 0);
}

TEST_F(FileUtilTest, MissingFileIsReportedNotHashedAsEmpty) {
    const std::string missing = "/nonexistent-zid-dir/nofile";
    bool ok = true;
    EXPECT_EQ(FileUtil::GetFileCrc64(missing, &ok), 0u);
    EXPECT_FALSE(ok);
    EXPECT_EQ(FileUtil::GetFileLength(missing), -1);
    EXPECT_EQ(FileUtil::GetFileMd5Hex(missing), "");
    EXPECT_EQ(FileUtil::ReadWholeFile(missing), "");
    // A directory opens as a stream on Linux but cannot be read.
    EXPECT_EQ(FileUtil::GetFileMd5Hex("/tmp"), "");
}

TEST_F(FileUtilTest, Md5AndWholeFile) {
    const std::string content("abc\0def", 7);
    const std::string path = Write(content);
    EXPECT_EQ(FileUtil::ReadWholeFile(path), content);
    EXPECT_EQ(FileUtil::GetFileMd5Hex(Write("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(FileUtil::GetFileMd5Hex(Write("")), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(FileUtilTest, DirectoryTests) {
    const std::string file = Write("x");
    EXPECT_TRUE(FileUtil::DirectoryExists("/tmp"));
    EXPECT_TRUE(FileUtil::IsDirectory("/"));
    EXPECT_FALSE(FileUtil::IsDirectory(file));
    EXPECT_FALSE(FileUtil::DirectoryExists("/nonexistent-zid-dir"));

    EXPECT_EQ(FileUtil::GetDirectoryPart("a/b/c.txt"), "a/b");
    EXPECT_EQ(FileUtil::GetDirectoryPart("a\\b\\c.txt"), "a\\b");
    EXPECT_EQ(FileUtil::GetDirectoryPart("a/b\\c"), "a/b");
    EXPECT_EQ(FileUtil::GetDirectoryPart("c.txt"), "c.txt");
    EXPECT_EQ(FileUtil::GetDirectoryPart("/c"), "");
}
