#include <gtest/gtest.h>

#include <Poco/SHA1Engine.h>

#include <ctime>
#include <map>
#include <thread>
#include <vector>
#include <string>

#include "ClientSettings.h"
#include "SettingsGuard.h"
#include "util/AuthTool.h"
#include "util/CodecUtil.h"
#include "util/LogUtil.h"

using namespace zuzezi_zid;

namespace {

std::string Field(const std::string& auth, const std::string& key) {
    const std::string marker = key + "=";
    size_t pos = auth.find(marker);
    if (pos == std::string::npos) {
        return "<absent>";
    }
    pos += marker.size();
    const size_t end = auth.find('&', pos);
    return auth.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

std::vector<std::string> g_lines;
void Capture(const std::string& line) { g_lines.push_back(line); }

}  // namespace

TEST(AuthToolTest, KnownSignatureVector) {
    const std::map<std::string, std::string> headers = {
        {"Host", "h"}, {"Content-Length", "0"}, {"x-zid-acl", "private"}, {"User-Agent", "u"}};
    const std::map<std::string, std::string> params = {{"uploadId", "A/B"}, {"partNumber", "1"}};
    const std::string auth = AuthTool::Sign("AKID", "SK", "PUT", "/dir/a b.txt", headers, params,
                                            1700000000, 1700003600);
    EXPECT_EQ(auth,
              "q-sign-algorithm=sha1&q-ak=AKID&q-sign-time=1700000000;1700003600"
              "&q-key-time=1700000000;1700003600&q-header-list=content-length;host;x-zid-acl"
              "&q-url-param-list=partnumber;uploadid"
              "&q-signature=706ac83eb9d5463f88508b159950279a14f881ef");
}

// A thread reuses the key it derived last; a request of another secret key or window must
// not be signed with it. References come from threads that signed nothing before.
TEST(AuthToolTest, EachSecretKeyAndWindowIsSignedWithItsOwnKey) {
    struct Case {
        std::string secret_key;
        uint64_t start;
    };
    const std::vector<Case> cases = {{"SK", 1700000000}, {"SK2", 1700000000},
                                     {"SK", 1700000001}, {"SK", 1700000000},
                                     {"SK2", 1700000001}, {"", 1700000000}};
    const auto sign = [](const Case& c) {
        return AuthTool::Sign("AKID", c.secret_key, "GET", "/o", {{"Host", "h"}}, {}, c.start,
                              c.start + 3600);
    };
    std::vector<std::string> fresh;
    for (const Case& c : cases) {
        std::string text;
        std::thread([&] { text = sign(c); }).join();
        fresh.push_back(text);
    }
    EXPECT_NE(Field(fresh[0], "q-signature"), Field(fresh[1], "q-signature"));
    EXPECT_NE(Field(fresh[0], "q-signature"), Field(fresh[2], "q-signature"));
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].secret_key + " " + std::to_string(cases[i].start));
            EXPECT_EQ(sign(cases[i]), fresh[i]);
        }
    }
}

TEST(AuthToolTest, EmptyCredentialsGiveEmptyText) {
    EXPECT_EQ(AuthTool::Sign("", "SK", "GET", "/", {}, {}, 1, 2), "");
    EXPECT_EQ(AuthTool::Sign("AKID", "", "GET", "/", {}, {}, 1, 2), "");
}

TEST(AuthToolTest, HeaderSelectionAndExclusion) {
    const std::map<std::string, std::string> headers = {{"Host", "h"},
                                                        {"Content-Type", "text/plain"},
                                                        {"x-zid-acl", "private"},
                                                        {"X-Zid-Meta-A", "1"},
                                                        {"User-Agent", "u"},
                                                        {"x-ci-thing", "c"}};
    std::map<std::string, std::string> filtered;
    AuthTool::FilterSignedHeaders(headers, &filtered, {"Host"});
    std::string list, kv;
    AuthTool::FormatMapForSign(filtered, false, true, false, &list, &kv);
    EXPECT_EQ(list, "content-type;x-ci-thing;x-zid-acl");
    EXPECT_EQ(kv, "content-type=text%2Fplain&x-ci-thing=c&x-zid-acl=private");

    filtered.clear();
    list.clear();
    kv.clear();
    AuthTool::FilterSignedHeaders(headers, &filtered, {});
    AuthTool::FormatMapForSign(filtered, false, true, false, &list, &kv);
    EXPECT_EQ(list, "content-type;host;x-ci-thing;x-zid-acl");
    // The exclusion set matches the name exactly as written.
    filtered.clear();
    AuthTool::FilterSignedHeaders(headers, &filtered, {"host"});
    EXPECT_EQ(filtered.count("Host"), 1u);
}

TEST(AuthToolTest, ParameterCanonicalForm) {
    std::string list, kv;
    AuthTool::FormatMapForSign({{"uploadId", "A/B"}, {"partNumber", "1"}, {"Key X", ""}}, true,
                               true, false, &list, &kv);
    EXPECT_EQ(list, "key%20x;partnumber;uploadid");
    EXPECT_EQ(kv, "key%20x=&partnumber=1&uploadid=A%2FB");
    // Empty input leaves the outputs alone.
    std::string l2 = "keep", kv2 = "keep";
    AuthTool::FormatMapForSign({}, true, true, false, &l2, &kv2);
    EXPECT_EQ(l2, "keep");
    EXPECT_EQ(kv2, "keep");
    // Keys equal after lower-casing: the later one in map order wins.
    std::string l3, kv3;
    AuthTool::FormatMapForSign({{"A", "upper"}, {"a", "lower"}}, true, true, false, &l3, &kv3);
    EXPECT_EQ(l3, "a");
    EXPECT_EQ(kv3, "a=lower");
}

TEST(AuthToolTest, MethodCaseAndEmptyPathAreNormalised) {
    const std::string a = AuthTool::Sign("AKID", "SK", "PUT", "", {}, {}, 10, 20);
    const std::string b = AuthTool::Sign("AKID", "SK", "put", "/", {}, {}, 10, 20);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, AuthTool::Sign("AKID", "SK", "GET", "/", {}, {}, 10, 20));
    EXPECT_NE(a, AuthTool::Sign("AKID", "SK", "PUT", "/", {}, {}, 10, 21));
}

TEST(AuthToolTest, SignFromNowUsesOffsetAndLifetime) {
    zid_util_test::SettingsGuard guard;
    ClientSettings::SetSignExpiredTime(3600);
    ClientSettings::SetSignTimeOffset(-1000);
    const uint64_t before = static_cast<uint64_t>(time(nullptr)) - 1000;
    const std::string auth = AuthTool::SignFromNow("AKID", "SK", "GET", "/", {}, {});
    const uint64_t after = static_cast<uint64_t>(time(nullptr)) - 1000;
    const std::string window = Field(auth, "q-sign-time");
    ASSERT_EQ(window, Field(auth, "q-key-time"));
    const size_t semi = window.find(';');
    ASSERT_NE(semi, std::string::npos);
    const uint64_t start = std::stoull(window.substr(0, semi));
    const uint64_t end = std::stoull(window.substr(semi + 1));
    EXPECT_GE(start, before);
    EXPECT_LE(start, after);
    EXPECT_EQ(end - start, 3600u);
    EXPECT_EQ(auth, AuthTool::Sign("AKID", "SK", "GET", "/", {}, {}, start, end));
}

TEST(AuthToolTest, DerivedKeyNeverReachesTheLog) {
    zid_util_test::SettingsGuard guard;
    ClientSettings::SetLogLevel(4);
    ClientSettings::SetLogOutType(0);
    ClientSettings::SetLogCallback(&Capture);
    g_lines.clear();
    AuthTool::Sign("AKID", "SK", "GET", "/", {}, {}, 1700000000, 1700003600);
    ASSERT_FALSE(g_lines.empty());  // the format string and string to sign are logged
    for (const auto& line : g_lines) {
        EXPECT_EQ(line.find("sign_key"), std::string::npos) << line;
        // HMAC-SHA1("1700000000;1700003600", "SK"), the derived key of this window.
        EXPECT_EQ(line.find(CodecUtil::HexHmacSha1("1700000000;1700003600", "SK")),
                  std::string::npos)
            << line;
    }
}

namespace {

std::string ReferenceSha1Hex(const std::string& text) {
    Poco::SHA1Engine sha1;
    sha1.update(text);
    return Poco::DigestEngine::digestToHex(sha1.digest());
}

}  // namespace

TEST(AuthToolTest, LivePushUrlWithoutParameters) {
    const uint64_t before = static_cast<uint64_t>(time(nullptr));
    const std::string text = AuthTool::SignLivePushUrl("AKID", "SK", "", "b-7", "ch", {}, 1800);
    const std::string window = Field(text, "q-sign-time");
    const size_t semi = window.find(';');
    ASSERT_NE(semi, std::string::npos);
    const uint64_t start = std::stoull(window.substr(0, semi));
    EXPECT_GE(start, before);
    EXPECT_EQ(std::stoull(window.substr(semi + 1)), start + 1800);
    EXPECT_EQ(Field(text, "q-key-time"), window);
    const std::string string_to_sign =
        "sha1\n" + window + "\n" + ReferenceSha1Hex("/b-7/ch\n\n") + "\n";
    EXPECT_EQ(text, "q-sign-algorithm=sha1&q-ak=AKID&q-sign-time=" + window + "&q-key-time=" +
                        window + "&q-signature=" + CodecUtil::HexHmacSha1(string_to_sign, "SK"));
}

TEST(AuthToolTest, LivePushUrlParametersAndTokenAreSignedAndAppended) {
    const std::string text =
        AuthTool::SignLivePushUrl("AKID", "SK", "TOK", "b", "ch", {{"z", "2"}, {"a", "1"}}, 60);
    const std::string window = Field(text, "q-sign-time");
    const std::string params = "a=1&x-zid-security-token=TOK&z=2";
    const std::string string_to_sign =
        "sha1\n" + window + "\n" + ReferenceSha1Hex("/b/ch\n" + params + "\n") + "\n";
    EXPECT_EQ(text,
              "q-sign-algorithm=sha1&q-ak=AKID&q-sign-time=" + window + "&q-key-time=" + window +
                  "&q-signature=" + CodecUtil::HexHmacSha1(string_to_sign, "SK") + "&" + params);
}

TEST(AuthToolTest, LivePushUrlWindowBeyond2038DoesNotWrap) {
    // Ten years from now crosses 2^31 seconds; the end must stay above the start.
    const std::string text =
        AuthTool::SignLivePushUrl("AKID", "SK", "", "b", "ch", {}, 20ULL * 365 * 24 * 3600);
    const std::string window = Field(text, "q-sign-time");
    const size_t semi = window.find(';');
    const uint64_t start = std::stoull(window.substr(0, semi));
    const uint64_t end = std::stoull(window.substr(semi + 1));
    EXPECT_GT(end, 2147483647u);
    EXPECT_EQ(end - start, 20ULL * 365 * 24 * 3600);
}
