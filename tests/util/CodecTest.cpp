#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include <Poco/SHA1Engine.h>

#include "util/CodecUtil.h"
#include "util/Md5Digest.h"
#include "util/Sha1Digest.h"

using namespace zuzezi_zid;

namespace {

std::string Hex(const std::string& bytes) {
    static const char k[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += k[c >> 4];
        out += k[c & 15];
    }
    return out;
}

std::string Sha1Hex(const std::string& s) {
    Sha1Digest d;
    d.Update(s.data(), static_cast<int>(s.size()));
    return d.HexDigest();
}

}  // namespace

TEST(CodecTest, PercentEncoding) {
    struct Case {
        std::string in, path, value;
    };
    const Case cases[] = {
        {"a b", "a%20b", "a%20b"},
        {"dir/file", "dir/file", "dir%2Ffile"},
        {"~-_.AZaz09", "~-_.AZaz09", "~-_.AZaz09"},
        {"\xC3\xA9", "%C3%A9", "%C3%A9"},
        {"+&=?%", "%2B%26%3D%3F%25", "%2B%26%3D%3F%25"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodecUtil::EncodePath(c.in), c.path) << c.in;
        EXPECT_EQ(CodecUtil::EncodeValue(c.in), c.value) << c.in;
    }
}

TEST(CodecTest, Base64RfcVectors) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xff\x00\xfe", 3), "/wD+"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodecUtil::Base64Encode(c.first), c.second) << c.first;
    }
}

TEST(CodecTest, Md5AndContentMd5) {
    EXPECT_EQ(Hex(CodecUtil::Md5Bytes("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex(CodecUtil::Md5Bytes("abc")), "900150983cd24fb0d6963f7d28e17f72");
    // Both ways of building "Content-MD5" agree.
    const std::string body = "<Delete></Delete>";
    EXPECT_EQ(CodecUtil::Base64Encode(CodecUtil::Md5Bytes(body)),
              CodecUtil::Base64Encode(CodecUtil::HexDecode(Hex(CodecUtil::Md5Bytes(body)))));
}

// A stream is digested in pieces: every length around a piece's end agrees with one digest of
// the whole, and the digest starts where the stream stands.
TEST(CodecTest, Md5OfAStreamAgreesWithTheWholeAtEveryPieceBoundary) {
    const size_t piece = 64 * 1024;
    for (const size_t size : {size_t{0}, size_t{1}, piece - 1, piece, piece + 1, 3 * piece + 7}) {
        SCOPED_TRACE(size);
        std::string bytes(size + 5, '\0');
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + 7);
        std::istringstream in(bytes);
        in.seekg(5);
        EXPECT_EQ(Md5Digest::HexOfStream(in), Hex(CodecUtil::Md5Bytes(bytes.substr(5))));
    }
}

TEST(CodecTest, HexDecode) {
    EXPECT_EQ(CodecUtil::HexDecode("0aFF"), std::string("\x0a\xff", 2));
    EXPECT_EQ(CodecUtil::HexDecode(""), "");
    EXPECT_EQ(CodecUtil::HexDecode("abc"), "");
    EXPECT_EQ(CodecUtil::HexDecode("0g"), "");
    EXPECT_EQ(CodecUtil::HexDecode("00"), std::string(1, '\0'));
    unsigned char in[] = {0x0a, 0xff, 0x00};
    char out[7] = {0};
    EXPECT_EQ(CodecUtil::HexEncodeUpper(in, 3, out), 3u);
    EXPECT_STREQ(out, "0AFF00");
}

TEST(CodecTest, HmacSha1Rfc2202) {
    EXPECT_EQ(CodecUtil::HexHmacSha1("Hi There", std::string(20, '\x0b')),
              "b617318655057264e28bc0b6fb378c8ef146be00");
    EXPECT_EQ(CodecUtil::HexHmacSha1("what do ya want for nothing?", "Jefe"),
              "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
    // A key longer than the block is hashed first.
    EXPECT_EQ(CodecUtil::HexHmacSha1("Test Using Larger Than Block-Size Key - Hash Key First",
                                     std::string(80, '\xaa')),
              "aa4ae5e15272d00e95705637ce8a3b55ed402112");
    EXPECT_EQ(CodecUtil::HexHmacSha1("", "").size(), 40u);
}

TEST(Sha1DigestTest, StandardVectors) {
    EXPECT_EQ(Sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),  // 56 bytes
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Sha1Hex(std::string(55, 'a')), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
    EXPECT_EQ(Sha1Hex(std::string(64, 'a')), "0098ba824b5c16427bd7a1122a5a442a25ec644d");
    EXPECT_EQ(Sha1Digest::Name(), "SHA-1");
}

TEST(Sha1DigestTest, MillionAInPiecesMatchesOneUpdate) {
    const std::string million(1000000, 'a');
    EXPECT_EQ(Sha1Hex(million), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    // Pieces of 1, 63 and 64 bytes cross every buffer boundary case.
    Sha1Digest d;
    const int pieces[] = {1, 63, 64};
    size_t pos = 0;
    for (int i = 0; pos < million.size(); ++i) {
        const int n = std::min<int>(pieces[i % 3], static_cast<int>(million.size() - pos));
        d.Update(million.data() + pos, n);
        pos += static_cast<size_t>(n);
    }
    EXPECT_EQ(d.HexDigest(), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1DigestTest, AgreesWithReferenceEngineOnEveryLengthAroundBlocks) {
    std::string data;
    for (int i = 0; i < 300; ++i) {
        data.push_back(static_cast<char>(i * 37 + 11));
    }
    for (size_t len = 0; len <= data.size(); ++len) {
        Poco::SHA1Engine ref;
        ref.update(data.data(), static_cast<unsigned>(len));
        EXPECT_EQ(Sha1Hex(data.substr(0, len)), Poco::DigestEngine::digestToHex(ref.digest()))
            << len;
    }
}
