#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "response/BucketResp.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using zid_test::LogCapture;

TEST(GetBucketRespTest, ReadsAWholeListing) {
    const std::string body =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<ListBucketResult>\n"
        "  <Name>photos-1250000000</Name>\n"
        "  <EncodingType>url</EncodingType>\n"
        "  <Prefix>2026/</Prefix>\n"
        "  <Marker>2026/a</Marker>\n"
        "  <MaxKeys>2</MaxKeys>\n"
        "  <Delimiter>/</Delimiter>\n"
        "  <IsTruncated>true</IsTruncated>\n"
        "  <NextMarker>2026/c.jpg</NextMarker>\n"
        "  <CommonPrefixes><Prefix>2026/x/</Prefix><Prefix>2026/y/</Prefix></CommonPrefixes>\n"
        "  <Contents>\n"
        "    <Key>2026/b.jpg</Key>\n"
        "    <LastModified>2026-03-01T10:00:00.000Z</LastModified>\n"
        "    <ETag>&quot;9e107d9d372bb6826bd81d3542a419d6&quot;</ETag>\n"
        "    <Size>18446744073709551615</Size>\n"
        "    <Owner><ID>1250000000</ID><DisplayName>me</DisplayName></Owner>\n"
        "    <StorageClass>STANDARD</StorageClass>\n"
        "  </Contents>\n"
        "  <Contents>\n"
        "    <Key>2026/c.jpg</Key>\n"
        "    <ETag>\"plain</ETag>\n"
        "    <Owner><ID>a</ID><ID>b</ID></Owner>\n"
        "  </Contents>\n"
        "  <Contents/>\n"
        "</ListBucketResult>\n";
    GetBucketResp resp;
    LogCapture log;
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    EXPECT_TRUE(log.All().empty());
    EXPECT_EQ(resp.GetName(), "photos-1250000000");
    EXPECT_EQ(resp.GetEncodingType(), "url");
    EXPECT_EQ(resp.GetPrefix(), "2026/");
    EXPECT_EQ(resp.GetMarker(), "2026/a");
    EXPECT_EQ(resp.GetMaxKeys(), 2u);
    EXPECT_EQ(resp.GetDelimiter(), "/");
    EXPECT_TRUE(resp.IsTruncated());
    EXPECT_EQ(resp.GetNextMarker(), "2026/c.jpg");
    EXPECT_EQ(resp.GetCommonPrefixes(), (std::vector<std::string>{"2026/x/", "2026/y/"}));

    const auto contents = resp.GetContents();
    ASSERT_EQ(contents.size(), 3u);
    EXPECT_EQ(contents[0].m_key, "2026/b.jpg");
    EXPECT_EQ(contents[0].m_last_modified, "2026-03-01T10:00:00.000Z");
    EXPECT_EQ(contents[0].m_etag, "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(contents[0].m_size, "18446744073709551615");  // kept as text
    EXPECT_EQ(contents[0].m_owner_ids, std::vector<std::string>{"1250000000"});
    EXPECT_EQ(contents[0].m_storage_class, "STANDARD");
    EXPECT_EQ(contents[1].m_etag, "plain");  // a lone opening quote goes, the rest stays
    EXPECT_EQ(contents[1].m_owner_ids, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(contents[2].m_key, "");  // an empty entry is still an entry
    EXPECT_EQ(resp.GetBody(), "");     // the parser reads the body, it does not keep it
}

TEST(GetBucketRespTest, ScalarEdgeCases) {
    struct Case {
        const char* children;
        uint64_t max_keys;
        bool truncated;
    };
    const Case cases[] = {
        {"", 0, false},
        {"<MaxKeys>abc</MaxKeys><IsTruncated>TRUE</IsTruncated>", 0, false},
        {"<MaxKeys>1000</MaxKeys><IsTruncated>True</IsTruncated>", 1000, false},
        {"<IsTruncated> true</IsTruncated>", 0, false},
        {"<IsTruncated>true</IsTruncated><IsTruncated>false</IsTruncated>", 0, false},
    };
    for (const auto& c : cases) {
        GetBucketResp resp;
        ASSERT_TRUE(resp.ParseFromXmlString(std::string("<ListBucketResult>") + c.children +
                                            "</ListBucketResult>"))
            << c.children;
        EXPECT_EQ(resp.GetMaxKeys(), c.max_keys) << c.children;
        EXPECT_EQ(resp.IsTruncated(), c.truncated) << c.children;
        EXPECT_TRUE(resp.GetContents().empty());
    }
}

TEST(GetBucketRespTest, UnknownElementsAreLoggedAndSkipped) {
    const std::string body =
        "<ListBucketResult><Odd>1</Odd><Contents><Key>k</Key><Weird/>"
        "<Owner><DisplayName>d</DisplayName></Owner></Contents></ListBucketResult>";
    LogCapture log;
    GetBucketResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    ASSERT_EQ(resp.GetContents().size(), 1u);
    EXPECT_EQ(resp.GetContents()[0].m_key, "k");
    EXPECT_TRUE(resp.GetContents()[0].m_owner_ids.empty());
    EXPECT_EQ(log.Count({"[WARN]", "ParseFromXmlString", "Unknown field, field_name=Odd, xml_body=" + body}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in content node, field_name=Weird, xml_body=" + body}), 1u);
    EXPECT_EQ(log.All().size(), 2u);  // the owner's display name is skipped without a line
}

TEST(GetBucketRespTest, ListsAccumulateOverTwoParses) {
    GetBucketResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<ListBucketResult><Contents><Key>a</Key></Contents><NextMarker>a</NextMarker>"
        "</ListBucketResult>"));
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<ListBucketResult><Contents><Key>b</Key></Contents><NextMarker>b</NextMarker>"
        "</ListBucketResult>"));
    ASSERT_EQ(resp.GetContents().size(), 2u);
    EXPECT_EQ(resp.GetContents()[1].m_key, "b");
    EXPECT_EQ(resp.GetNextMarker(), "b");
    // A failed parse leaves what was there.
    EXPECT_FALSE(resp.ParseFromXmlString("<ListBucketResult><Contents></ListBucketResult>"));
    EXPECT_EQ(resp.GetContents().size(), 2u);
}

TEST(VersionListingTest, ReadsVersionsAndDeleteMarkersInOrder) {
    const std::string body =
        "<ListVersionsResult>"
        "<Name>b</Name><Prefix>p</Prefix><KeyMarker>km</KeyMarker>"
        "<VersionIdMarker>vm</VersionIdMarker><MaxKeys>100</MaxKeys><IsTruncated>true</IsTruncated>"
        "<Encoding-Type>url</Encoding-Type><EncodingType>plain</EncodingType>"
        "<NextKeyMarker>nk</NextKeyMarker><NextVersionIdMarker>nv</NextVersionIdMarker>"
        "<Version><Key>p/a</Key><VersionId>v2</VersionId><IsLatest>true</IsLatest>"
        "<LastModified>t2</LastModified><ETag>\"e2\"</ETag><Size>1024</Size>"
        "<StorageClass>STANDARD</StorageClass>"
        "<Owner><ID>o</ID><DisplayName>O</DisplayName><Extra/></Owner><Odd/></Version>"
        "<DeleteMarker><Key>p/a</Key><VersionId>v1</VersionId><IsLatest>false</IsLatest>"
        "</DeleteMarker>"
        "</ListVersionsResult>";
    LogCapture log;
    GetBucketObjectVersionsResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    EXPECT_EQ(resp.GetName(), "b");
    EXPECT_EQ(resp.GetPrefix(), "p");
    EXPECT_EQ(resp.GetKeyMarker(), "km");
    EXPECT_EQ(resp.GetVersionIdMarker(), "vm");
    EXPECT_EQ(resp.GetMaxKeys(), 100u);
    EXPECT_TRUE(resp.IsTruncated());
    EXPECT_EQ(resp.GetEncodingType(), "url");  // the spelling without the hyphen is not stored
    EXPECT_EQ(resp.GetNextKeyMarker(), "nk");
    EXPECT_EQ(resp.GetNextVersionIdMarker(), "nv");
    const auto versions = resp.GetVersionSummary();
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_FALSE(versions[0].m_is_delete_marker);
    EXPECT_TRUE(versions[0].m_is_latest);
    EXPECT_EQ(versions[0].m_key, "p/a");
    EXPECT_EQ(versions[0].m_version_id, "v2");
    EXPECT_EQ(versions[0].m_last_modified, "t2");
    EXPECT_EQ(versions[0].m_etag, "e2");
    EXPECT_EQ(versions[0].m_size, 1024u);
    EXPECT_EQ(versions[0].m_storage_class, "STANDARD");
    EXPECT_EQ(versions[0].m_owner.m_id, "o");
    EXPECT_EQ(versions[0].m_owner.m_display_name, "O");
    EXPECT_TRUE(versions[1].m_is_delete_marker);
    EXPECT_FALSE(versions[1].m_is_latest);
    EXPECT_EQ(versions[1].m_version_id, "v1");
    EXPECT_EQ(versions[1].m_size, 0u);

    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in ListVersionsResult node, field_name=EncodingType."}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in owner node, field_name=Extra."}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in DeleteMarker/Version node, field_name=Odd."}), 1u);
    EXPECT_EQ(log.All().size(), 3u);
}

TEST(LiveChannelListingTest, ReadsChannelsAndKeepsPagingAsText) {
    LogCapture log;
    ListLiveChannelResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<ListLiveChannelResult><Prefix>cam</Prefix><Marker></Marker><MaxKeys>2</MaxKeys>"
        "<IsTruncated>true</IsTruncated><NextMarker>cam2</NextMarker>"
        "<LiveChannel><Name>cam1</Name><LastModified>t1</LastModified></LiveChannel>"
        "<LiveChannel><Name>cam2</Name><LastModified>t2</LastModified></LiveChannel>"
        "</ListLiveChannelResult>"));
    EXPECT_TRUE(log.All().empty());
    EXPECT_EQ(resp.GetPrefix(), "cam");
    EXPECT_EQ(resp.GetMaxKeys(), "2");
    EXPECT_EQ(resp.GetIsTruncated(), "true");
    EXPECT_EQ(resp.GetNextMarker(), "cam2");
    const auto channels = resp.GetLiveChannels();
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0].m_name, "cam1");
    EXPECT_EQ(channels[1].m_last_modified, "t2");
}

TEST(LiveChannelListingTest, StopsAtTheFirstUnknownElementKeepingWhatItRead) {
    struct Case {
        const char* body;
        const char* warning;
        size_t channels;
        const char* prefix;
    };
    const Case cases[] = {
        {"<ListLiveChannelResult><LiveChannel><Name>a</Name></LiveChannel>"
         "<LiveChannel><Name>b</Name><Odd/><LastModified>t</LastModified></LiveChannel>"
         "<Prefix>late</Prefix></ListLiveChannelResult>",
         "Unknown field in LiveChannel, field_name=Odd", 1, ""},
        {"<ListLiveChannelResult><Prefix>p</Prefix><Strange>x</Strange>"
         "<LiveChannel><Name>a</Name></LiveChannel></ListLiveChannelResult>",
         "Unknown field in ListLiveChannelResult, field_name=Strange", 0, "p"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        ListLiveChannelResp resp;
        EXPECT_FALSE(resp.ParseFromXmlString(c.body)) << c.body;
        EXPECT_EQ(log.Count({"[WARN]", "ParseFromXmlString", c.warning}), 1u) << c.body;
        EXPECT_EQ(resp.GetLiveChannels().size(), c.channels) << c.body;
        EXPECT_EQ(resp.GetPrefix(), c.prefix) << c.body;
    }
}
