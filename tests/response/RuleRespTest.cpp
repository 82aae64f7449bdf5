#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "response/BucketRuleResp.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using zid_test::LogCapture;

TEST(ReplicationRespTest, LeavesAndDestinationBySortedShape) {
    LogCapture log;
    GetBucketReplicationResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<ReplicationConfiguration><Role>qcs::cam::uin/1:uin/1</Role>"
        "<Rule><Status>Enabled</Status><ID>r1</ID><Prefix>docs/</Prefix>"
        "<Destination>\n  <Bucket>qcs::zid:ap-beijing::backup-1250000000</Bucket>\n"
        "  <StorageClass>STANDARD_IA</StorageClass><Region>x</Region></Destination></Rule>"
        "<Rule><Status>enabled</Status><Prefix></Prefix><Note>n</Note><Destination/></Rule>"
        "<Other/></ReplicationConfiguration>"));
    EXPECT_EQ(resp.GetRole(), "qcs::cam::uin/1:uin/1");
    const auto rules = resp.GetRules();
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_TRUE(rules[0].m_is_enable);
    EXPECT_EQ(rules[0].m_id, "r1");
    EXPECT_EQ(rules[0].m_prefix, "docs/");
    EXPECT_EQ(rules[0].m_dest_bucket, "qcs::zid:ap-beijing::backup-1250000000");
    EXPECT_EQ(rules[0].m_dest_storage_class, "STANDARD_IA");
    EXPECT_FALSE(rules[1].m_is_enable);
    EXPECT_EQ(rules[1].m_prefix, "");
    EXPECT_EQ(rules[1].m_dest_bucket, "");

    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in destionation node, field_name=Region"}), 1u);
    // An empty Prefix is not a leaf with text: the other line, without brackets.
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in rule node, field_name=Prefix"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in rule node, field_name=[Note]"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field, field_name=Other, xml_body=<ReplicationConfiguration>"}),
              1u);
    EXPECT_EQ(log.All().size(), 4u);
}

TEST(LifecycleRespTest, ReadsRulesThroughTheirSetters) {
    LogCapture log;
    GetBucketLifecycleResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<LifecycleConfiguration>"
        "<Rule><ID>archive</ID><Status>Enabled</Status>"
        "<Filter><And><Prefix>logs/</Prefix><Tag><Key>a</Key><Value>1</Value></Tag>"
        "<Tag><Key>b</Key><Value>2</Value><Colour/></Tag><Size/></And></Filter>"
        "<Transition><Days>30</Days><StorageClass>STANDARD_IA</StorageClass></Transition>"
        "<Transition><Date>2027-01-01T00:00:00+08:00</Date><StorageClass>ARCHIVE</StorageClass>"
        "<Hours/></Transition>"
        "<Expiration><Days>x</Days><ExpiredObjectDeleteMarker>true</ExpiredObjectDeleteMarker></Expiration>"
        "<NoncurrentVersionTransition><NoncurrentDays>10</NoncurrentDays>"
        "<StorageClass>ARCHIVE</StorageClass></NoncurrentVersionTransition>"
        "<NoncurrentVersionExpiration><NoncurrentDays>20</NoncurrentDays></NoncurrentVersionExpiration>"
        "<AbortIncompleteMultipartUpload><DaysAfterInitiation>7</DaysAfterInitiation>"
        "</AbortIncompleteMultipartUpload></Rule>"
        "<rule/>"
        "<Rule><Status>enabled</Status><Prefix>direct/</Prefix><Filter/><Odd/></Rule>"
        "</LifecycleConfiguration>"));
    const auto rules = resp.GetRules();
    ASSERT_EQ(rules.size(), 2u);

    const LifecycleRule& full = rules[0];
    EXPECT_EQ(full.GetMask(), 0xFFu);
    EXPECT_EQ(full.GetId(), "archive");
    EXPECT_TRUE(full.GetIsEnable());
    const LifecycleFilter filter = full.GetFilter();
    EXPECT_EQ(filter.GetMask(), LifecycleFilter::kPrefix | LifecycleFilter::kTags);
    EXPECT_EQ(filter.GetPrefix(), "logs/");
    ASSERT_EQ(filter.GetTags().size(), 2u);
    EXPECT_EQ(filter.GetTags()[1].m_key, "b");
    EXPECT_EQ(filter.GetTags()[1].m_value, "2");
    const auto transitions = full.GetTransitions();
    ASSERT_EQ(transitions.size(), 2u);
    EXPECT_EQ(transitions[0].GetDays(), 30u);
    EXPECT_EQ(transitions[0].GetMask(), LifecycleTransition::kDays | LifecycleTransition::kStorageClass);
    EXPECT_EQ(transitions[1].GetDate(), "2027-01-01T00:00:00+08:00");
    EXPECT_EQ(transitions[1].GetMask(), LifecycleTransition::kDate | LifecycleTransition::kStorageClass);
    EXPECT_EQ(full.GetExpiration().GetDays(), 0u);  // not a number
    EXPECT_EQ(full.GetExpiration().GetMask(),
              LifecycleExpiration::kDays | LifecycleExpiration::kExpiredObjDelMarker);
    EXPECT_TRUE(full.GetExpiration().GetExpiredObjDelMarker());
    EXPECT_EQ(full.GetNonCurrTransition().GetDays(), 10u);
    EXPECT_EQ(full.GetNonCurrTransition().GetStorageClass(), "ARCHIVE");
    EXPECT_EQ(full.GetNonCurrExpiration().GetDays(), 20u);
    EXPECT_EQ(full.GetAbortIncompleteMultiUpload().m_days_after_initiation, 7u);

    // A prefix directly under the rule lands in the filter; an empty Filter still marks it.
    const LifecycleRule& plain = rules[1];
    EXPECT_FALSE(plain.GetIsEnable());
    EXPECT_EQ(plain.GetMask(), LifecycleRule::kIsEnable | LifecycleRule::kFilter);
    EXPECT_EQ(plain.GetFilter().GetPrefix(), "direct/");

    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in tag node, field_name=Colour"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in and node, field_name=Size"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in transition node, field_name=Hours"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in LifecycleConfiguration node, field_name=rule"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in Rule node, field_name=Odd"}), 1u);
    EXPECT_EQ(log.All().size(), 5u);
}

TEST(LifecycleRespTest, LaterFilterPrefixWinsAndOtherTextsAreLogged) {
    LogCapture log;
    GetBucketLifecycleResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<LifecycleConfiguration><Rule><Filter><Prefix>in-filter/</Prefix><Tag><Key>k</Key></Tag>"
        "<Bogus/></Filter><Prefix>later/</Prefix>"
        "<Expiration><Weeks/></Expiration><NoncurrentVersionTransition><Days/></NoncurrentVersionTransition>"
        "<NoncurrentVersionExpiration><Days/></NoncurrentVersionExpiration>"
        "<AbortIncompleteMultipartUpload><Days/></AbortIncompleteMultipartUpload></Rule>"
        "</LifecycleConfiguration>"));
    const auto rules = resp.GetRules();
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].GetFilter().GetPrefix(), "later/");
    EXPECT_EQ(rules[0].GetFilter().GetTags().size(), 1u);
    EXPECT_EQ(rules[0].GetAbortIncompleteMultiUpload().m_days_after_initiation, 0u);
    for (const char* text : {"Unknown field in filter node, field_name=Bogus",
                             "Unknown field in expiration node, field_name=Weeks",
                             "Unknown field in NoncurrentVersionTransition node,field_name=Days",
                             "Unknown field in NoncurrentVersionExpiration node,field_name=Days",
                             "Unknown field in AbortIncompleteMultipartUpload node,field_name=Days"}) {
        EXPECT_EQ(log.Count({"[WARN]", "ParseFromXmlString", text}), 1u) << text;
    }
}

TEST(WebsiteRespTest, ReadsDocumentsAndRoutingRules) {
    LogCapture log;
    GetBucketWebsiteResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<WebsiteConfiguration>"
        "<IndexDocument><Suffix>index.html</Suffix></IndexDocument>"
        "<RedirectAllRequestsTo><Protocol>https</Protocol></RedirectAllRequestsTo>"
        "<ErrorDocument><Other>x</Other><Key>error.html</Key></ErrorDocument>"
        "<RoutingRules>"
        "<RoutingRule><Condition><HttpErrorCodeReturnedEquals>404</HttpErrorCodeReturnedEquals>"
        "</Condition><Redirect><Protocol>https</Protocol><ReplaceKeyWith>404.html</ReplaceKeyWith>"
        "</Redirect></RoutingRule>"
        "<RoutingRule><Redirect><ReplaceKeyPrefixWith>new/</ReplaceKeyPrefixWith><Code/></Redirect>"
        "</RoutingRule>"
        "<RoutingRule><Condition><Unknown/></Condition><Extra/></RoutingRule>"
        "<RoutingRule><Condition><HttpErrorCodeReturnedEquals>none</HttpErrorCodeReturnedEquals>"
        "<KeyPrefixEquals>docs/</KeyPrefixEquals></Condition></RoutingRule>"
        "<Stray/>"
        "</RoutingRules><Odd/></WebsiteConfiguration>"));
    EXPECT_EQ(resp.GetSuffix(), "index.html");
    EXPECT_EQ(resp.GetProtocol(), "https");
    EXPECT_EQ(resp.GetKey(), "");  // only the first child of ErrorDocument is looked at
    const auto rules = resp.GetRoutingRules();
    ASSERT_EQ(rules.size(), 4u);
    EXPECT_EQ(rules[0].GetMask(), RoutingRule::kCondition | RoutingRule::kRedirect);
    EXPECT_EQ(rules[0].GetCondition().GetHttpErrorCodeReturnedEquals(), 404);
    EXPECT_EQ(rules[0].GetRedirect().GetReplaceKeyWith(), "404.html");
    EXPECT_EQ(rules[1].GetMask(), RoutingRule::kRedirect);
    EXPECT_EQ(rules[1].GetRedirect().GetReplaceKeyPrefixWith(), "new/");
    EXPECT_EQ(rules[1].GetRedirect().GetMask(), Redirect::kReplaceKeyPrefixWith);
    // A condition with nothing known is still marked set, holding the defaults.
    EXPECT_EQ(rules[2].GetMask(), RoutingRule::kCondition);
    EXPECT_EQ(rules[2].GetCondition().GetMask(), 0u);
    EXPECT_EQ(rules[2].GetCondition().GetHttpErrorCodeReturnedEquals(), 404);
    EXPECT_EQ(rules[3].GetCondition().GetHttpErrorCodeReturnedEquals(), 0);
    EXPECT_EQ(rules[3].GetCondition().GetMask(),
              Condition::kHttpErrorCodeReturnedEquals | Condition::kKeyPrefixEquals);
    EXPECT_EQ(rules[3].GetCondition().GetKeyPrefixEquals(), "docs/");

    EXPECT_EQ(log.Count({"[DBG]", "ParseFromXmlString", "suffix value=index.html"}), 1u);
    EXPECT_EQ(log.Count({"[DBG]", "Protocol value=https"}), 1u);
    EXPECT_EQ(log.Count({"key_name value="}), 0u);
    EXPECT_EQ(log.Count({"[WARN]", "ParseFromXmlRoutingRule",
                         "Redirect have no contents, redirect_node_name = Code"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "ParseFromXmlRoutingRule",
                         "Condition have no contents, condition_name = Unknown."}), 1u);
    EXPECT_EQ(log.Count({"[WARN]", "ParseFromXmlRoutingRule",
                         "RoutingRule have no contents, rule_node_name = Extra."}), 1u);
    EXPECT_EQ(log.Count({"field_name=Stray"}), 0u);  // skipped without a line
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field, field_name=Odd, xml_body=<WebsiteConfiguration>"}), 1u);
    EXPECT_EQ(log.Count({"[WARN]"}), 4u);
}

TEST(WebsiteRespTest, IndexOnlyAndRepeatedParses) {
    GetBucketWebsiteResp resp;
    const std::string body =
        "<WebsiteConfiguration><IndexDocument><Suffix>i.html</Suffix></IndexDocument>"
        "<RoutingRules><RoutingRule><Redirect><Protocol>http</Protocol></Redirect></RoutingRule>"
        "</RoutingRules></WebsiteConfiguration>";
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<WebsiteConfiguration><IndexDocument><Suffix>i.html</Suffix></IndexDocument>"
        "<ErrorDocument/></WebsiteConfiguration>"));
    EXPECT_EQ(resp.GetSuffix(), "i.html");
    EXPECT_EQ(resp.GetProtocol(), "");
    EXPECT_EQ(resp.GetKey(), "");
    EXPECT_TRUE(resp.GetRoutingRules().empty());
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    EXPECT_EQ(resp.GetRoutingRules().size(), 2u);
}
