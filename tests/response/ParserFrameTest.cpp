#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

#include "response/BucketResp.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using zid_test::LogCapture;

namespace {

struct Parser {
    std::function<std::unique_ptr<BaseResp>()> make;
    const char* root;
    const char* miss_root;  // the missing-root text up to its body
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
};

}  // namespace

TEST(ParserFrameTest, GarbageFailsWithTheParseErrorLine) {
    for (const auto& parser : kParsers) {
        for (const std::string body : {"plain text", "<a><b></a>", "<ListBucketResult"}) {
            LogCapture log;
            auto resp = parser.make();
            EXPECT_FALSE(resp->ParseFromXmlString(body)) << parser.root << " " << body;
            EXPECT_EQ(log.Count({"[ERR]", "ParseFromXmlString",
                                 "Parse string to xml doc error, xml_body=" + body}),
                      1u)
                << parser.root << " " << body;
        }
    }
}

TEST(ParserFrameTest, AMissingRootFailsWithTheClassesOwnLine) {
    for (const auto& parser : kParsers) {
        // The root is looked up among the top-level elements only, by its exact name.
        const std::string lower = std::string("<") + parser.root + "x/>";
        const std::string nested = std::string("<Wrap><") + parser.root + "/></Wrap>";
        for (const std::string body : {std::string(), lower, nested}) {
            LogCapture log;
            auto resp = parser.make();
            EXPECT_FALSE(resp->ParseFromXmlString(body)) << parser.root << " " << body;
            EXPECT_EQ(log.Count({"[ERR]", "ParseFromXmlString", parser.miss_root + body}), 1u)
                << parser.root << " " << body;
        }
        auto resp = parser.make();
        EXPECT_TRUE(resp->ParseFromXmlString(std::string("<") + parser.root + "/>")) << parser.root;
    }
}
