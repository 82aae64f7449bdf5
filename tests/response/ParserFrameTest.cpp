#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "response/BucketConfigResp.h"
#include "response/BucketResp.h"
#include "response/BucketRuleResp.h"
#include "response/InventoryResp.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using zid_test::LogCapture;

namespace {

struct Parser {
    std::function<std::unique_ptr<BaseResp>()> make;
    const char* root;
    const char* miss_root;  // the missing-root text up to its body
    bool bare_root_ok = true;   // false where a child element is required
    bool empty_body_ok = false;
    const char* func = "ParseFromXmlString";
};

template <class R>
std::function<std::unique_ptr<BaseResp>()> Make() {
    return [] { return std::unique_ptr<BaseResp>(new R()); };
}

const Parser kParsers[] = {
    {Make<GetBucketResp>(), "ListBucketResult", "Miss root node=kGetBucketRoot, xml_body="},
    {Make<ListMultipartUploadResp>(), "ListMultipartUploadsResult",
     "Miss root node=kListMultipartUploadRoot, xml_body="},
    {Make<GetBucketObjectVersionsResp>(), "ListVersionsResult",
     "Miss root node=ListVersionsResult, xml_body="},
    {Make<ListLiveChannelResp>(), "ListLiveChannelResult",
     "Missing root node ListLiveChannelResult, xml_body="},
    {Make<GetBucketReplicationResp>(), "ReplicationConfiguration",
     "Miss root node=BucketReplicationRoot, xml_body="},
    {Make<GetBucketLifecycleResp>(), "LifecycleConfiguration",
     "Miss root node=LifecycleConfiguration, xml_body="},
    {Make<GetBucketACLResp>(), "AccessControlPolicy", "Miss root node=AccessControlPolicy, xml_body=",
     true, false, "ParseFromACLXMLString"},
    {Make<GetBucketCORSResp>(), "CORSConfiguration", "Miss root node=CORSConfiguration, xml_body="},
    {Make<GetBucketVersioningResp>(), "VersioningConfiguration",
     "Miss root node=VersioningConfiguration, xml_body="},
    {Make<GetBucketLocationResp>(), "LocationConstraint", "Miss root node=LocationConstraint, xml_body="},
    {Make<GetBucketLoggingResp>(), "BucketLoggingStatus",
     "Miss root node=BucketLoggingConfiguration, xml_body=", false},
    {Make<PutBucketDomainResp>(), "Error", "Miss root node=Error, xml_body=", true, true},
    {Make<GetBucketDomainResp>(), "DomainConfiguration", "Miss root node=DomainConfiguration, xml_body=",
     false},
    {Make<GetBucketWebsiteResp>(), "WebsiteConfiguration", "Miss root node=WebsiteConfiguration, xml_body="},
    {Make<GetBucketTaggingResp>(), "Tagging", "Miss root node = Tagging, xml_body=", false},
    {Make<GetBucketInventoryResp>(), "InventoryConfiguration",
     "Miss root node = InventoryConfiguration, xml_body="},
    {Make<ListBucketInventoryConfigurationsResp>(), "ListInventoryConfigurationResult",
     "Miss root node = ListInventoryConfigurationResult, xml_body="},
    {Make<GetBucketIntelligentTieringResp>(), "IntelligentTieringConfiguration",
     "Missing root node IntelligentTieringConfiguration, xml_body="},
    {Make<GetBucketRefererResp>(), "RefererConfiguration",
     "Missing root node RefererConfiguration, xml_body="},
};

}  // namespace

TEST(ParserFrameTest, GarbageFailsWithTheParseErrorLine) {
    for (const auto& parser : kParsers) {
        for (const std::string body : {"plain text", "<a><b></a>", "<ListBucketResult"}) {
            LogCapture log;
            auto resp = parser.make();
            EXPECT_FALSE(resp->ParseFromXmlString(body)) << parser.root << " " << body;
            EXPECT_EQ(log.Count({"[ERR]", parser.func,
                                 "Parse string to xml doc error, xml_body=" + body}),
                      1u)
                << parser.root << " " << body;
        }
    }
}

TEST(ParserFrameTest, AMissingRootFailsWithTheClassesOwnLine) {
    for (const auto& parser : kParsers) {
        // The root is looked up among the top-level elements only, by its exact name.
        const std::string longer = std::string("<") + parser.root + "x/>";
        const std::string nested = std::string("<Wrap><") + parser.root + "/></Wrap>";
        for (const std::string body : {std::string(), longer, nested}) {
            if (body.empty() && parser.empty_body_ok) continue;
            LogCapture log;
            auto resp = parser.make();
            EXPECT_FALSE(resp->ParseFromXmlString(body)) << parser.root << " " << body;
            EXPECT_EQ(log.Count({"[ERR]", parser.func, parser.miss_root + body}), 1u)
                << parser.root << " " << body;
        }
        auto resp = parser.make();
        EXPECT_EQ(resp->ParseFromXmlString(std::string("<") + parser.root + "/>"), parser.bare_root_ok)
            << parser.root;
        EXPECT_EQ(resp->ParseFromXmlString(""), parser.empty_body_ok) << parser.root;
    }
}
