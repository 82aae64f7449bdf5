#include <gtest/gtest.h>

#include <functional>
#include <map>
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

// The source file and line of a callback line: "... [ERR] FILE:FUNC(LINE) text".
std::string SiteOf(const std::string& line, const std::string& func) {
    const size_t tag_end = line.find("] ");
    const size_t func_at = line.find(":" + func + "(");
    if (tag_end == std::string::npos || func_at == std::string::npos) return "";
    const size_t line_end = line.find(')', func_at);
    return line.substr(tag_end + 2, func_at - tag_end - 2) + "@" +
           line.substr(func_at + func.size() + 2, line_end - func_at - func.size() - 2);
}

// Every parser's line is its own: logged from its source file and line, not from the
// shared reader's.
TEST(ParserFrameTest, EachParserLogsFromItsOwnFileAndLine) {
    std::map<std::string, std::string> parser_at_site;
    for (const auto& parser : kParsers) {
        LogCapture log;
        auto resp = parser.make();
        EXPECT_FALSE(resp->ParseFromXmlString("<NoSuchRoot/>")) << parser.root;
        ASSERT_EQ(log.All().size(), 1u) << parser.root;
        const std::string site = SiteOf(log.All()[0], parser.func);
        ASSERT_FALSE(site.empty()) << log.All()[0];
        EXPECT_EQ(site.find("XmlBodyReader"), std::string::npos) << site;
        EXPECT_EQ(site.find("XmlTable"), std::string::npos) << site;
        EXPECT_TRUE(parser_at_site.emplace(site, parser.root).second)
            << parser.root << " logs at the site of " << parser_at_site[site] << ": " << site;
    }

    // An unknown element is reported at the same site as the parser's other lines.
    LogCapture log;
    GetBucketResp listing;
    EXPECT_FALSE(listing.ParseFromXmlString("<Wrong/>"));
    EXPECT_TRUE(listing.ParseFromXmlString("<ListBucketResult><Zzz/></ListBucketResult>"));
    ASSERT_EQ(log.All().size(), 2u);
    EXPECT_NE(log.All()[1].find("[WARN]"), std::string::npos) << log.All()[1];
    EXPECT_EQ(SiteOf(log.All()[0], "ParseFromXmlString"), SiteOf(log.All()[1], "ParseFromXmlString"));
}

// At the default level a parser quotes the body once per unknown element: each quote is
// bounded, so a page of many such elements cannot flood the log.
TEST(ParserFrameTest, QuotedBodiesAreBounded) {
    std::string page = "<ListBucketResult>";
    for (int i = 0; i < 200; ++i) {
        page += "<Contents><Key>k" + std::to_string(i) + "</Key><Extra>x</Extra></Contents>";
    }
    page += "</ListBucketResult>";
    ASSERT_GT(page.size(), 8000u);
    LogCapture log;
    GetBucketResp listing;
    ASSERT_TRUE(listing.ParseFromXmlString(page));
    EXPECT_EQ(listing.GetContents().size(), 200u);
    const std::string quoted = page.substr(0, 1024) + "...(" + std::to_string(page.size()) + " bytes)";
    EXPECT_EQ(log.Count({"[WARN]", "Unknown field in content node, field_name=Extra, xml_body=" + quoted + "\n"}),
              200u);
    for (const auto& line : log.All()) EXPECT_LT(line.size(), 1400u);

    // The error lines of an unparsable or foreign body too.
    log.Clear();
    const std::string text(5000, 't');
    EXPECT_FALSE(listing.ParseFromXmlString(text));
    EXPECT_FALSE(GetBucketACLResp().ParseFromXmlString("<Other>" + text + "</Other>"));
    ASSERT_EQ(log.All().size(), 2u);
    EXPECT_NE(log.All()[0].find("xml_body=" + text.substr(0, 1024) + "...(5000 bytes)\n"),
              std::string::npos);
    EXPECT_NE(log.All()[1].find("...(5015 bytes)\n"), std::string::npos) << log.All()[1];
}
