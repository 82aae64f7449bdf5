#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <algorithm>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "request/SelectObjectContentReq.h"
#include "request/XmlBodyWriter.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using zid_test::LogCapture;

namespace {

const char* const kCsvInput =
    "<InputSerialization><CompressionType>NONE</CompressionType><CSV>"
    "<FileHeaderInfo>USE</FileHeaderInfo><RecordDelimiter>\\n</RecordDelimiter>"
    "</CSV></InputSerialization>";
const char* const kJsonOutput =
    "<OutputSerialization><JSON><RecordDelimiter>,</RecordDelimiter></JSON></OutputSerialization>";

SelectObjectContentReq ValidRequest() {
    SelectObjectContentReq req("bucket-1250000000", "/data/table.csv");
    req.SetExpression("Select * from COSObject s where s.age > 3");
    req.SetExpressionType("SQL");
    req.SetInputSerialization(kCsvInput);
    req.SetOutputSerialization(kJsonOutput);
    return req;
}

}  // namespace

TEST(SelectRequestTest, ConstructionSetsMethodPathAndQuery) {
    SelectObjectContentReq req("bucket-1250000000", "/data/table.csv");
    EXPECT_EQ(req.GetMethod(), "POST");
    EXPECT_EQ(req.GetPath(), "/data/table.csv");
    EXPECT_EQ(req.GetParams(), (std::map<std::string, std::string>{{"select", ""}, {"select-type", "2"}}));
    EXPECT_FALSE(req.GetRequestProgress());
    EXPECT_THROW(SelectObjectContentReq("Bad_Bucket", "k"), std::invalid_argument);
}

TEST(SelectRequestTest, BodyHoldsTheFieldsAndBothSerializationsInOrder) {
    SelectObjectContentReq req = ValidRequest();
    req.SetRequestProgress(true);
    std::string body = "kept:";
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_EQ(body,
              "kept:<SelectRequest>\n"
              "\t<Expression>Select * from COSObject s where s.age &gt; 3</Expression>\n"
              "\t<ExpressionType>SQL</ExpressionType>\n"
              "\t<InputSerialization>\n"
              "\t\t<CompressionType>NONE</CompressionType>\n"
              "\t\t<CSV>\n"
              "\t\t\t<FileHeaderInfo>USE</FileHeaderInfo>\n"
              "\t\t\t<RecordDelimiter>\\n</RecordDelimiter>\n"
              "\t\t</CSV>\n"
              "\t</InputSerialization>\n"
              "\t<OutputSerialization>\n"
              "\t\t<JSON>\n"
              "\t\t\t<RecordDelimiter>,</RecordDelimiter>\n"
              "\t\t</JSON>\n"
              "\t</OutputSerialization>\n"
              "\t<RequestProgress>\n"
              "\t\t<Enabled>TRUE</Enabled>\n"
              "\t</RequestProgress>\n"
              "</SelectRequest>\n\n");

    req.SetRequestProgress(false);
    body.clear();
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_NE(body.find("\t<RequestProgress>\n\t\t<Enabled>FALSE</Enabled>\n\t</RequestProgress>\n"),
              std::string::npos);
}

TEST(SelectRequestTest, OnlyTheFirstElementOfASerializationIsCopiedWhole) {
    SelectObjectContentReq req = ValidRequest();
    req.SetInputSerialization(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- csv input -->\n"
        "<InputSerialization kind=\"a&amp;b\"><CSV><QuoteCharacter>&quot;</QuoteCharacter></CSV>"
        "</InputSerialization><!-- trailing --><Second/>");
    std::string body;
    ASSERT_TRUE(req.GenerateRequestBody(&body));
    EXPECT_NE(body.find("\t<InputSerialization kind=\"a&amp;b\">\n\t\t<CSV>\n"
                        "\t\t\t<QuoteCharacter>&quot;</QuoteCharacter>\n\t\t</CSV>\n"
                        "\t</InputSerialization>\n\t<OutputSerialization>"),
              std::string::npos)
        << body;
    EXPECT_EQ(body.find("Second"), std::string::npos);
    EXPECT_EQ(body.find("csv input"), std::string::npos);
}

TEST(SelectRequestTest, RefusedRequestsLeaveTheBodyUntouched) {
    struct Case {
        const char* name;
        void (*spoil)(SelectObjectContentReq*);
        const char* log;
    };
    const Case cases[] = {
        {"no expression", [](SelectObjectContentReq* r) { r->SetExpression(""); },
         "Invalid request, please check again"},
        {"lower-case type", [](SelectObjectContentReq* r) { r->SetExpressionType("sql"); },
         "Invalid request, please check again"},
        {"no input", [](SelectObjectContentReq* r) { r->SetInputSerialization(""); },
         "Invalid request, please check again"},
        {"no output", [](SelectObjectContentReq* r) { r->SetOutputSerialization(""); },
         "Invalid request, please check again"},
        {"input does not parse",
         [](SelectObjectContentReq* r) { r->SetInputSerialization("<InputSerialization>"); },
         "input_serialization parse error"},
        {"output does not parse",
         [](SelectObjectContentReq* r) { r->SetOutputSerialization("<Out><JSON></Out>"); },
         "out serialization parse error"},
        {"input holds no element",
         [](SelectObjectContentReq* r) { r->SetInputSerialization("<?xml version=\"1.0\"?>  "); },
         "input serialization holds no element"},
        {"output holds no element",
         [](SelectObjectContentReq* r) { r->SetOutputSerialization(" \n "); },
         "output serialization holds no element"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SelectObjectContentReq req = ValidRequest();
        c.spoil(&req);
        LogCapture log;
        std::string body = "untouched";
        EXPECT_FALSE(req.GenerateRequestBody(&body));
        EXPECT_EQ(body, "untouched");
        EXPECT_TRUE(log.Contains(c.log));
    }
    // The parse error names the text that failed, even when the other one is sound.
    SelectObjectContentReq req = ValidRequest();
    req.SetOutputSerialization("<Out><JSON></Out>");
    LogCapture log;
    std::string body;
    EXPECT_FALSE(req.GenerateRequestBody(&body));
    EXPECT_TRUE(log.Contains("<Out><JSON></Out>"));
}

TEST(XmlBodyWriterTest, CopiedNodesOutliveTheirSource) {
    XmlBodyWriter writer;
    auto* root = writer.Root("R");
    {
        const std::string text = "<A b=\"c\"><D>text</D><E/></A>";
        std::vector<char> buffer(text.begin(), text.end());
        buffer.push_back('\0');
        rapidxml::xml_document<> source;
        source.parse<0>(buffer.data());
        writer.AddCopy(root, source.first_node());
        // The source's strings live in this buffer: spoil it before printing.
        std::fill(buffer.begin(), buffer.end(), 'X');
    }
    std::string out;
    writer.PrintTo(&out);
    EXPECT_EQ(out, "<R>\n\t<A b=\"c\">\n\t\t<D>text</D>\n\t\t<E/>\n\t</A>\n</R>\n\n");
}
