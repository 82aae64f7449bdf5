#include <gtest/gtest.h>

#include "request/ObjectReq.h"

using namespace zuzezi_zid;

namespace {

std::string CompleteBody(const std::vector<uint64_t>& parts, const std::vector<std::string>& etags,
                         bool* ok) {
    CompleteMultiUploadReq req("b", "k", "u");
    req.SetPartNumbers(parts);
    req.SetEtags(etags);
    std::string body;
    *ok = req.GenerateRequestBody(&body);
    return body;
}

Tag MakeTag(const char* key, const char* value) {
    Tag tag;
    if (key) tag.SetKey(key);
    if (value) tag.SetValue(value);
    return tag;
}

}  // namespace

TEST(CompleteBodyTest, PartsInListOrderWithUnquotedEtags) {
    bool ok = false;
    EXPECT_EQ(CompleteBody({3, 1, 2}, {"\"abc\"", "abc", "\"abc"}, &ok),
              "<CompleteMultipartUpload>\n"
              "\t<Part>\n\t\t<PartNumber>3</PartNumber>\n\t\t<ETag>abc</ETag>\n\t</Part>\n"
              "\t<Part>\n\t\t<PartNumber>1</PartNumber>\n\t\t<ETag>abc</ETag>\n\t</Part>\n"
              "\t<Part>\n\t\t<PartNumber>2</PartNumber>\n\t\t<ETag>abc</ETag>\n\t</Part>\n"
              "</CompleteMultipartUpload>\n\n");
    EXPECT_TRUE(ok);
    EXPECT_NE(CompleteBody({7}, {"abc\""}, &ok).find("<ETag>abc</ETag>"), std::string::npos);
    EXPECT_EQ(CompleteBody({7}, {"\""}, &ok),
              "<CompleteMultipartUpload>\n\t<Part>\n\t\t<PartNumber>7</PartNumber>\n\t\t<ETag/>\n"
              "\t</Part>\n</CompleteMultipartUpload>\n\n");
}

TEST(CompleteBodyTest, EmptyAndMismatchedLists) {
    bool ok = false;
    EXPECT_EQ(CompleteBody({}, {}, &ok), "<CompleteMultipartUpload/>\n\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(CompleteBody({1, 2}, {"a", "b", "c"}, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_NE(CompleteBody({18446744073709551615ull}, {"e"}, &ok)
                  .find("<PartNumber>18446744073709551615</PartNumber>"),
              std::string::npos);
}

TEST(AclBodyTest, OwnerAndGrantsLayout) {
    PutObjectACLReq req("b", "k");
    req.SetOwner({"owner-1", ""});
    req.AddAccessControlList({"Group", "", "", "http://acs/AllUsers", "READ"});
    req.AddAccessControlList({"CanonicalUser", "u1", "Ann & Bo", "", "FULL_CONTROL"});
    std::string body;
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_EQ(body,
              "<AccessControlPolicy>\n"
              "\t<Owner>\n\t\t<ID>owner-1</ID>\n\t</Owner>\n"
              "\t<AccessControlList>\n"
              "\t\t<Grant>\n"
              "\t\t\t<Grantee xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
              "xsi:type=\"Group\">\n"
              "\t\t\t\t<URI>http://acs/AllUsers</URI>\n"
              "\t\t\t</Grantee>\n"
              "\t\t\t<Permission>READ</Permission>\n"
              "\t\t</Grant>\n"
              "\t\t<Grant>\n"
              "\t\t\t<Grantee xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
              "xsi:type=\"CanonicalUser\">\n"
              "\t\t\t\t<ID>u1</ID>\n\t\t\t\t<DisplayName>Ann &amp; Bo</DisplayName>\n"
              "\t\t\t</Grantee>\n"
              "\t\t\t<Permission>FULL_CONTROL</Permission>\n"
              "\t\t</Grant>\n"
              "\t</AccessControlList>\n"
              "</AccessControlPolicy>\n\n");
}

TEST(AclBodyTest, RefusesIncompleteOwnerOrEmptyList) {
    std::string body = "untouched";
    EXPECT_FALSE(GenerateAclRequestBody({"", "name"}, {{"t", "i", "", "", "READ"}}, &body));
    EXPECT_FALSE(GenerateAclRequestBody({"id", "name"}, {}, &body));
    EXPECT_EQ(body, "untouched");
    EXPECT_TRUE(GenerateAclRequestBody({"id", "name"}, {{"t", "i", "", "", "READ"}}, &body));
    EXPECT_NE(body.find("<DisplayName>name</DisplayName>"), std::string::npos);
}

TEST(TaggingBodyTest, TagsByWhatWasSet) {
    PutObjectTaggingReq req("b", "k");
    std::string body;
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_EQ(body, "<Tagging>\n\t<TagSet/>\n</Tagging>\n\n");

    req.AddTag(MakeTag("", "v<1>"));
    req.AddTag(MakeTag("only-key", nullptr));
    req.AddTag(MakeTag(nullptr, nullptr));
    body.clear();
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_EQ(body,
              "<Tagging>\n\t<TagSet>\n"
              "\t\t<Tag>\n\t\t\t<Key/>\n\t\t\t<Value>v&lt;1&gt;</Value>\n\t\t</Tag>\n"
              "\t\t<Tag>\n\t\t\t<Key>only-key</Key>\n\t\t</Tag>\n"
              "\t\t<Tag/>\n"
              "\t</TagSet>\n</Tagging>\n\n");
}

TEST(DeleteBodyTest, QuietFirstVersionOnlyWhenGiven) {
    DeleteObjectsReq req("b");
    req.AddObject("a/b.txt");
    req.AddObject("x&y", "v2");
    req.AddObject("");
    std::string body;
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_EQ(body,
              "<Delete>\n\t<Quiet>false</Quiet>\n"
              "\t<Object>\n\t\t<Key>a/b.txt</Key>\n\t</Object>\n"
              "\t<Object>\n\t\t<Key>x&amp;y</Key>\n\t\t<VersionId>v2</VersionId>\n\t</Object>\n"
              "\t<Object>\n\t\t<Key/>\n\t</Object>\n"
              "</Delete>\n\n");
    req.SetQuiet(true);
    body.clear();
    req.GenerateRequestBody(&body);
    EXPECT_EQ(body.substr(0, 30), "<Delete>\n\t<Quiet>true</Quiet>\n");
}

TEST(DeleteBodyTest, KeysKeepTheirFullSize) {
    DeleteObjectsReq req("b");
    req.AddObject(std::string("a\0b", 3));
    std::string body;
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_NE(body.find(std::string("<Key>a\0b</Key>", 14)), std::string::npos);
}

TEST(RestoreBodyTest, DaysInFullAndTierAsGiven) {
    PostObjectRestoreReq req("b", "k");
    std::string body;
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_EQ(body,
              "<RestoreRequest>\n\t<Days>0</Days>\n\t<CASJobParameters>\n\t\t<Tier/>\n"
              "\t</CASJobParameters>\n</RestoreRequest>\n\n");
    req.SetExpiryDays(5000000000ull);
    req.SetTier("Bulk");
    body.clear();
    req.GenerateRequestBody(&body);
    EXPECT_EQ(body,
              "<RestoreRequest>\n\t<Days>5000000000</Days>\n\t<CASJobParameters>\n"
              "\t\t<Tier>Bulk</Tier>\n\t</CASJobParameters>\n</RestoreRequest>\n\n");
}

TEST(CopyHeaderFilterTest, InitAndPartCopyHeaders) {
    CopyReq req("b", "k");
    req.SetXZidCopySource("src-1.zid.ap-x.example/obj");
    req.AddHeader("content-type", "text/plain");
    req.AddHeader("Cache-Control", "no-cache");
    req.AddHeader("x-zid-meta-", "empty-suffix");
    req.AddHeader("X-Zid-Meta-Color", "red");
    req.AddHeader("x-zid-storage-class", "STANDARD");
    req.AddHeader("x-zid-copy-source-If-Match", "\"e\"");
    req.AddHeader("X-ZID-COPY-SOURCE-IF-NONE-MATCH", "\"f\"");
    req.AddHeader("x-zid-copy-source-range", "bytes=0-1");
    const std::map<std::string, std::string> init = {
        {"Cache-Control", "no-cache"},
        {"X-Zid-Meta-Color", "red"},
        {"content-type", "text/plain"},
        {"x-zid-meta-", "empty-suffix"},
        {"x-zid-storage-class", "STANDARD"},
    };
    EXPECT_EQ(req.GetInitHeader(), init);
    const std::map<std::string, std::string> part = {
        {"X-ZID-COPY-SOURCE-IF-NONE-MATCH", "\"f\""},
        {"x-zid-copy-source", "src-1.zid.ap-x.example/obj"},
        {"x-zid-copy-source-If-Match", "\"e\""},
    };
    EXPECT_EQ(req.GetPartCopyHeader(), part);
}
