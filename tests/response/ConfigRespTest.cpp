#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "response/BucketConfigResp.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using zid_test::LogCapture;

TEST(BucketAclRespTest, ReadsOwnerAndGrants) {
    GetBucketACLResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<AccessControlPolicy><Owner><ID>qcs::cam::uin/1:uin/1</ID><DisplayName>o</DisplayName>"
        "</Owner><AccessControlList><Grant>"
        "<Grantee xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:type=\"CanonicalUser\">"
        "<ID>g</ID><DisplayName>G</DisplayName></Grantee><Permission>READ</Permission></Grant>"
        "</AccessControlList></AccessControlPolicy>"));
    EXPECT_EQ(resp.GetOwnerId(), "qcs::cam::uin/1:uin/1");
    EXPECT_EQ(resp.GetOwnerDisplayName(), "o");
    const auto acl = resp.GetAccessControlList();
    ASSERT_EQ(acl.size(), 1u);
    EXPECT_EQ(acl[0].m_type, "CanonicalUser");
    EXPECT_EQ(acl[0].m_id, "g");
    EXPECT_EQ(acl[0].m_perm, "READ");
    EXPECT_FALSE(resp.ParseFromXmlString("<Policy/>"));
}

TEST(BucketCorsRespTest, ReadsRulesWithTheirLists) {
    LogCapture log;
    GetBucketCORSResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<CORSConfiguration>"
        "<CORSRule><ID>r1</ID><AllowedOrigin>http://a.example</AllowedOrigin>"
        "<AllowedOrigin>http://b.example</AllowedOrigin><AllowedMethod>GET</AllowedMethod>"
        "<AllowedHeader>x-a</AllowedHeader><MaxAgeSeconds>600s</MaxAgeSeconds>"
        "<ExposeHeader>ETag</ExposeHeader><ExposeHeader>x-zid-meta-a</ExposeHeader>"
        "<Odd/></CORSRule>"
        "<Other/>"
        "<CORSRule><AllowedMethod>PUT</AllowedMethod></CORSRule>"
        "</CORSConfiguration>"));
    const auto rules = resp.GetCORSRules();
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].m_id, "r1");
    EXPECT_EQ(rules[0].m_allowed_origins,
              (std::vector<std::string>{"http://a.example", "http://b.example"}));
    EXPECT_EQ(rules[0].m_allowed_methods, std::vector<std::string>{"GET"});
    EXPECT_EQ(rules[0].m_allowed_headers, std::vector<std::string>{"x-a"});
    EXPECT_EQ(rules[0].m_max_age_secs, "600s");
    EXPECT_EQ(rules[0].m_expose_headers, (std::vector<std::string>{"ETag", "x-zid-meta-a"}));
    EXPECT_EQ(rules[1].m_allowed_methods, std::vector<std::string>{"PUT"});
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in CORSRule node, field_name=Odd"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in CORSConfiguration node, field_name=Other"}), 1u);
}

TEST(BucketVersioningRespTest, StatusTextToNumber) {
    struct Case {
        const char* body;
        int status;
    };
    const Case cases[] = {
        {"<VersioningConfiguration><Status>Enabled</Status></VersioningConfiguration>", 1},
        {"<VersioningConfiguration><Status>Suspended</Status></VersioningConfiguration>", 2},
        {"<VersioningConfiguration><Status>enabled</Status></VersioningConfiguration>", 0},
        {"<VersioningConfiguration><Status/></VersioningConfiguration>", 0},
    };
    for (const auto& c : cases) {
        LogCapture log;
        GetBucketVersioningResp resp;
        ASSERT_TRUE(resp.ParseFromXmlString(c.body)) << c.body;
        EXPECT_EQ(resp.GetStatus(), c.status) << c.body;
        EXPECT_EQ(log.Count({"[DBG]", "ParseFromXmlString", "status value="}), 1u) << c.body;
    }
    // An empty configuration leaves an earlier status; an unknown child is logged with the body.
    GetBucketVersioningResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(cases[1].body));
    LogCapture log;
    const std::string odd = "<VersioningConfiguration><MfaDelete>x</MfaDelete></VersioningConfiguration>";
    ASSERT_TRUE(resp.ParseFromXmlString(odd));
    ASSERT_TRUE(resp.ParseFromXmlString("<VersioningConfiguration/>"));
    EXPECT_EQ(resp.GetStatus(), 2);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field, field_name=MfaDelete, xml_body=" + odd}), 1u);
}

TEST(BucketLocationRespTest, TheRootsOwnText) {
    LogCapture log;
    GetBucketLocationResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<?xml version='1.0' encoding='utf-8'?>\n<LocationConstraint>ap-guangzhou</LocationConstraint>"));
    EXPECT_EQ(resp.GetLocation(), "ap-guangzhou");
    EXPECT_TRUE(log.All().empty());
    GetBucketLocationResp empty;
    ASSERT_TRUE(empty.ParseFromXmlString("<LocationConstraint/>"));
    EXPECT_EQ(empty.GetLocation(), "");
    EXPECT_FALSE(resp.ParseFromXmlString("<Location>ap-beijing</Location>"));
    EXPECT_EQ(resp.GetLocation(), "ap-guangzhou");
}

TEST(BucketLoggingRespTest, NeedsLoggingEnabled) {
    LogCapture log;
    GetBucketLoggingResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<BucketLoggingStatus><Other/><LoggingEnabled><TargetBucket>logs-1250000000</TargetBucket>"
        "<TargetPrefix>b/</TargetPrefix><Odd/></LoggingEnabled>"
        "<LoggingEnabled><TargetBucket>second</TargetBucket></LoggingEnabled></BucketLoggingStatus>"));
    EXPECT_EQ(resp.GetLoggingEnabled().GetTargetBucket(), "logs-1250000000");
    EXPECT_EQ(resp.GetLoggingEnabled().GetTargetPrefix(), "b/");
    EXPECT_EQ(resp.GetLoggingEnabled().GetMask(), 0x3u);
    EXPECT_EQ(log.Count({"[DBG]", "TargetBucket value=logs-1250000000"}), 1u);
    EXPECT_EQ(log.Count({"[DBG]", "TargePrefix value=b/"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field, field_name=Odd, xml_body=<BucketLoggingStatus>"}), 1u);
    EXPECT_EQ(log.Count({"field_name=Other"}), 0u);  // the root's other children are not looked at

    log.Clear();
    GetBucketLoggingResp off;
    EXPECT_FALSE(off.ParseFromXmlString("<BucketLoggingStatus/>"));
    EXPECT_EQ(log.Count({"[ERR]", "ParseFromXmlString",
                         "Miss node=LoggingEnableConfiguration, xml_body=<BucketLoggingStatus/>"}),
              1u);
    EXPECT_EQ(off.GetLoggingEnabled().GetMask(), 0u);
    EXPECT_FALSE(off.ParseFromXmlString("<BucketLoggingConfiguration/>"));
    EXPECT_TRUE(log.Contains("Miss root node=BucketLoggingConfiguration, xml_body=<BucketLoggingConfiguration/>"));
}

TEST(BucketDomainRespTest, PutAnswerEmptyOrAnErrorDocument) {
    LogCapture log;
    PutBucketDomainResp empty;
    EXPECT_TRUE(empty.ParseFromXmlString(""));
    EXPECT_TRUE(log.All().empty());
    EXPECT_EQ(empty.GetDomainErrorMsg().GetCode(), "");

    PutBucketDomainResp refused;
    ASSERT_TRUE(refused.ParseFromXmlString(
        "<Error><Code>DomainConflict</Code><Message>taken</Message><Resource>r</Resource>"
        "<RequestId>id-1</RequestId><TraceId>t-1</TraceId><Extra/></Error>"));
    const DomainErrorMsg& error = refused.GetDomainErrorMsg();
    EXPECT_EQ(error.GetCode(), "DomainConflict");
    EXPECT_EQ(error.GetMessage(), "taken");
    EXPECT_EQ(error.GetResource(), "r");
    EXPECT_EQ(error.GetRequestid(), "id-1");
    EXPECT_EQ(error.GetTraceid(), "t-1");
    EXPECT_EQ(log.Count({"[DBG]", "Code value=DomainConflict"}), 1u);
    EXPECT_EQ(log.Count({"[DBG]", "traceId value=t-1"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field, field_name=Extra"}), 1u);

    PutBucketDomainResp other;
    EXPECT_FALSE(other.ParseFromXmlString("<Result/>"));
    EXPECT_TRUE(log.Contains("Miss root node=Error, xml_body=<Result/>"));
}

TEST(BucketDomainRespTest, GetReadsTheFirstRuleOnly) {
    LogCapture log;
    GetBucketDomainResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<DomainConfiguration><DomainRule><Status>ENABLED</Status><Name>www.example.com</Name>"
        "<Type>REST</Type><Odd/></DomainRule>"
        "<DomainRule><Status>DISABLED</Status><Name>other</Name></DomainRule>"
        "</DomainConfiguration>"));
    EXPECT_EQ(resp.GetStatus(), "ENABLED");
    EXPECT_EQ(resp.GetName(), "www.example.com");
    EXPECT_EQ(resp.GetType(), "REST");
    EXPECT_EQ(log.Count({"[DBG]", "Name value=www.example.com"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field, field_name=Odd"}), 1u);

    log.Clear();
    GetBucketDomainResp none;
    EXPECT_FALSE(none.ParseFromXmlString("<DomainConfiguration/>"));
    EXPECT_EQ(log.Count({"[WARN]", "Miss node=DomainRule, xml_body=<DomainConfiguration/>"}), 1u);
}

TEST(BucketTaggingRespTest, ReadsTheTagSet) {
    LogCapture log;
    GetBucketTaggingResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<Tagging><TagSet><Tag><Key>team</Key><Value>ops</Value></Tag>"
        "<Tag><Key>only-key</Key><Note/></Tag><Other/></TagSet></Tagging>"));
    ASSERT_TRUE(resp.ParseFromXmlString("<Tagging><TagSet><Tag><Key>b</Key></Tag></TagSet></Tagging>"));
    const auto tags = resp.GetTagSet();
    ASSERT_EQ(tags.size(), 3u);  // two parses append to one list
    EXPECT_EQ(tags[0].GetKey(), "team");
    EXPECT_EQ(tags[0].GetValue(), "ops");
    EXPECT_EQ(tags[1].GetKey(), "only-key");
    EXPECT_EQ(tags[1].GetValue(), "");
    EXPECT_FALSE(tags[1].HasValue());
    EXPECT_EQ(tags[2].GetKey(), "b");
    EXPECT_TRUE(log.All().empty());  // unknown elements are skipped without a line

    GetBucketTaggingResp empty;
    EXPECT_TRUE(empty.ParseFromXmlString("<Tagging><TagSet/></Tagging>"));
    EXPECT_TRUE(empty.GetTagSet().empty());
    EXPECT_FALSE(empty.ParseFromXmlString("<Tagging><Tags/></Tagging>"));
    EXPECT_EQ(log.Count({"[WARN]", "Miss node = TagSet, xml_body=<Tagging><Tags/></Tagging>"}), 1u);
}

TEST(IntelligentTieringRespTest, ReadsNumbersAndStopsAtTheFirstUnknownElement) {
    struct Case {
        const char* body;
        bool ok;
        const char* status;
        int days;
        int frequent;
        const char* warning;
    };
    const Case cases[] = {
        {"<IntelligentTieringConfiguration><Status>Enabled</Status><Transition><Days>30</Days>"
         "<RequestFrequent>1</RequestFrequent></Transition></IntelligentTieringConfiguration>",
         true, "Enabled", 30, 1, nullptr},
        {"<IntelligentTieringConfiguration><Transition><Days>soon</Days></Transition>"
         "</IntelligentTieringConfiguration>",
         true, "", 0, 0, nullptr},
        {"<IntelligentTieringConfiguration><Transition><Days>7</Days></Transition>"
         "<Transition><Days>9</Days></Transition></IntelligentTieringConfiguration>",
         true, "", 9, 0, nullptr},
        {"<IntelligentTieringConfiguration><Status>Enabled</Status><Odd/>"
         "<Transition><Days>30</Days></Transition></IntelligentTieringConfiguration>",
         false, "Enabled", 0, 0, "Unknown field in IntelligentTieringConfiguration, field_name=Odd"},
        {"<IntelligentTieringConfiguration><Transition><Days>5</Days><Hours>1</Hours>"
         "<RequestFrequent>2</RequestFrequent></Transition><Status>late</Status>"
         "</IntelligentTieringConfiguration>",
         false, "", 5, 0, "Unknown field in Transition, field_name=Hours"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        GetBucketIntelligentTieringResp resp;
        EXPECT_EQ(resp.ParseFromXmlString(c.body), c.ok) << c.body;
        EXPECT_EQ(resp.GetStatus(), c.status) << c.body;
        EXPECT_EQ(resp.GetDays(), c.days) << c.body;
        EXPECT_EQ(resp.GetRequestFrequent(), c.frequent) << c.body;
        if (c.warning) {
            EXPECT_EQ(log.Count({"[WARN]", "ParseFromXmlString", c.warning}), 1u) << c.body;
        } else {
            EXPECT_TRUE(log.All().empty()) << c.body;
        }
    }
}

TEST(RefererRespTest, ReadsDomainsAndWarnsOnStrangers) {
    LogCapture log;
    GetBucketRefererResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<RefererConfiguration><Status>Enabled</Status><RefererType>White-List</RefererType>"
        "<DomainList><Domain>*.example.com</Domain><Host>x</Host><Domain>example.org</Domain>"
        "</DomainList><EmptyReferConfiguration>Allow</EmptyReferConfiguration>"
        "<VerifySignatureURL>false</VerifySignatureURL><Extra/></RefererConfiguration>"));
    EXPECT_EQ(resp.GetStatus(), "Enabled");
    EXPECT_EQ(resp.GetRefererType(), "White-List");
    EXPECT_EQ(resp.GetDomainList(), (std::vector<std::string>{"*.example.com", "example.org"}));
    EXPECT_EQ(resp.GetEmptyReferConfiguration(), "Allow");
    EXPECT_EQ(resp.GetVerifySignatureURL(), "false");
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in DomainList, field_name=Host"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in RefererConfiguration, field_name=Extra"}), 1u);
    EXPECT_EQ(log.All().size(), 2u);
}
