#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <Poco/TemporaryFile.h>

#include "response/SelectObjectContentResp.h"
#include "support/EventStreamEncoder.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using namespace zid_test;
using State = SelectObjectContentResp::StreamState;

namespace {

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

const char* const kEndHex =
    "0000003800000028c1c684d40d3a6d6573736167652d747970650700056576656e740b3a6576656e742d74797065"
    "070003456e64cf97d392";

// ":message-type" = "event" plus filler headers up to exactly `header_len` bytes, so that a
// frame can sit on any header length; the event type header comes last when given.
std::string EventBlockOfLength(size_t header_len, const char* event) {
    std::string tail = event ? EsHeaderBlock({{":event-type", event}}) : "";
    std::string block = EsHeaderBlock({{":message-type", "event"}});
    const size_t fixed = block.size() + tail.size();
    // Filler entries of at most 255 + 5 bytes each, the last one exactly what remains.
    size_t left = header_len - fixed;
    while (left > 0) {
        const size_t value = std::min<size_t>(left - 5, 250);
        block += EsHeaderBlock({{"f", std::string(value, 'x')}});
        left -= value + 5;
    }
    return block + tail;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Decoded {
    bool ok;
    State state;
    std::vector<std::string> events;
};

Decoded Decode(const std::string& body, SelectObjectContentResp* resp_in = nullptr) {
    SelectObjectContentResp local;
    SelectObjectContentResp* resp = resp_in ? resp_in : &local;
    Decoded d;
    d.ok = resp->ParseFromXmlString(body);
    d.state = resp->GetStreamState();
    for (const auto& m : resp->GetMessages()) d.events.push_back(m.m_event_type);
    return d;
}

}  // namespace

TEST(SelectStreamEncoderTest, EncoderWritesTheKnownEndMessage) {
    EXPECT_EQ(EsEvent("End"), FromHex(kEndHex));
}

TEST(SelectStreamTest, KnownEndMessageEndsTheStream) {
    LogCapture log;
    Decoded d = Decode(FromHex(kEndHex));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.state, State::Complete);
    EXPECT_TRUE(d.events.empty());
    EXPECT_TRUE(log.Contains("Get event End, finish parse body"));
}

TEST(SelectStreamTest, EmptyBodyHasNoMessagesAndNoEnd) {
    SelectObjectContentResp resp;
    EXPECT_TRUE(resp.ParseFromXmlString(""));
    EXPECT_TRUE(resp.GetMessages().empty());
    EXPECT_EQ(resp.GetStreamState(), State::NoEnd);
    EXPECT_FALSE(resp.GetStreamFailure().empty());
}

TEST(SelectStreamTest, EventSequenceKeepsRecordsProgressStatsAndStopsAtEnd) {
    const std::string payload("a,b\n\0c\n", 7);
    const std::string body = EsEvent("Records", payload, "application/octet-stream") +
                             EsEvent("Progress", "<Progress/>", "text/xml") +
                             EsEvent("Stats", "<Stats/>", "text/xml") + EsEvent("Cont") +
                             EsEvent("End") + "bytes after End are never looked at";
    SelectObjectContentResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    EXPECT_EQ(resp.GetStreamState(), State::Complete);
    EXPECT_TRUE(resp.GetStreamFailure().empty());
    const auto& m = resp.GetMessages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].m_event_type, "Records");
    EXPECT_EQ(m[0].m_content_type, "application/octet-stream");
    EXPECT_EQ(m[0].m_payload, payload);
    EXPECT_EQ(m[1].m_event_type, "Progress");
    EXPECT_EQ(m[1].m_payload, "<Progress/>");
    EXPECT_EQ(m[2].m_event_type, "Stats");
    EXPECT_EQ(m[2].m_content_type, "text/xml");
}

TEST(SelectStreamTest, StreamWithoutEndDecodesButIsIncomplete) {
    Decoded d = Decode(EsEvent("Records", "1\n") + EsEvent("Cont"));
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.state, State::NoEnd);
    EXPECT_EQ(d.events, std::vector<std::string>{"Records"});
}

// A response decoded once and reused for the next answer keeps nothing of the first.
TEST(SelectStreamTest, ReusedResponseStartsEachDecodingEmpty) {
    LogCapture quiet;
    struct Case {
        const char* name;
        std::string earlier;
    };
    const Case cases[] = {
        {"error event", EsEvent("Records", "old") + EsError("InvalidQuery", "Syntax error")},
        {"error without a message", EsError("Code7", nullptr)},
        {"malformed frame", EsEvent("Stats", "S") + EsEvent("Records", "old").substr(0, 20)},
        {"complete stream", EsEvent("Records", "old") + EsEvent("Progress", "P") + EsEvent("End")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SelectObjectContentResp resp;
        resp.ParseFromXmlString(c.earlier);
        ASSERT_FALSE(resp.GetMessages().empty() && resp.GetErrorCode().empty());

        Decoded d = Decode(EsEvent("Records", "new") + EsEvent("End"), &resp);
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.state, State::Complete);
        EXPECT_EQ(d.events, std::vector<std::string>{"Records"});
        EXPECT_EQ(resp.GetMessages()[0].m_payload, "new");
        EXPECT_EQ(resp.GetErrorCode(), "");
        EXPECT_EQ(resp.GetErrorMsg(), "");
        EXPECT_TRUE(resp.GetStreamFailure().empty());

        Poco::TemporaryFile file;
        EXPECT_EQ(resp.WriteResultToLocalFile(file.path()), 0);
        EXPECT_EQ(ReadAll(file.path()), "new");
        testing::internal::CaptureStdout();
        resp.PrintResult();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "new");
    }
}

TEST(SelectStreamTest, RepeatedHeaderKeepsItsFirstValue) {
    const std::string block = EsHeaderBlock({{":message-type", "event"},
                                             {":event-type", "Records"},
                                             {":event-type", "End"},
                                             {":content-type", "first"},
                                             {":content-type", "second"}});
    SelectObjectContentResp resp;
    resp.ParseFromXmlString(EsMessage(block, "r") + EsEvent("End"));
    ASSERT_EQ(resp.GetMessages().size(), 1u);
    EXPECT_EQ(resp.GetMessages()[0].m_content_type, "first");
    EXPECT_EQ(resp.GetStreamState(), State::Complete);
}

TEST(SelectStreamTest, ErrorEventStopsWithTheServiceCodeAndMessage) {
    LogCapture log;
    SelectObjectContentResp resp;
    Decoded d = Decode(EsEvent("Records", "kept") +
                           EsError("InvalidQuery", "Syntax error near FROM") + EsEvent("End"),
                       &resp);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.state, State::ErrorEvent);
    EXPECT_EQ(d.events, std::vector<std::string>{"Records"});
    EXPECT_EQ(resp.GetErrorCode(), "InvalidQuery");
    EXPECT_EQ(resp.GetErrorMsg(), "Syntax error near FROM");
    EXPECT_TRUE(log.Contains("Get error-message:Syntax error near FROM, error-code:InvalidQuery"));

    // An error without a code leaves the code empty, also after an earlier error's code.
    EXPECT_FALSE(resp.ParseFromXmlString(EsError(nullptr, "second")));
    EXPECT_EQ(resp.GetErrorCode(), "");
    EXPECT_EQ(resp.GetErrorMsg(), "second");
    EXPECT_TRUE(resp.GetMessages().empty());

    SelectObjectContentResp fresh;
    EXPECT_FALSE(fresh.ParseFromXmlString(EsError(nullptr, "only a message")));
    EXPECT_EQ(fresh.GetErrorCode(), "");
}

// Frames that break one rule each, with the log line the decoder must name.
TEST(SelectStreamTest, MalformedFramesFailWithTheirReason) {
    const std::string end_block = EsHeaderBlock({{":message-type", "event"}, {":event-type", "End"}});
    const std::string records = EsEvent("Records", "abc");
    const uint32_t records_len = static_cast<uint32_t>(records.size());
    std::string type6_block = end_block;
    type6_block[1 + 13] = 6;  // value type of ":message-type"

    struct Case {
        const char* name;
        std::string body;
        std::string log;
    };
    const std::vector<Case> cases = {
        {"total 55", EsMessage(EventBlockOfLength(39, nullptr), ""), "Invalid total_byte_length:55"},
        {"header length 39",
         EsMessage(EventBlockOfLength(39, nullptr), "z", {std::nullopt, 39u, false, false}),
         "Invalid header_byte_length:39"},
        {"header length above total",
         EsMessage(end_block, "", {std::nullopt, 57u, false, false}), "Invalid header_byte_length:57"},
        {"header block leaves no room for the CRC",
         EsMessage(end_block, "", {std::nullopt, 41u, false, false}), "Invalid header_byte_length:41"},
        {"prelude CRC wrong", EsMessage(end_block, "", {std::nullopt, std::nullopt, true, false}),
         "Prelude crc check faield"},
        {"message CRC wrong", EsMessage(end_block, "", {std::nullopt, std::nullopt, false, true}),
         "Message data crc check faield"},
        {"both CRCs wrong: the message CRC is named",
         EsMessage(end_block, "", {std::nullopt, std::nullopt, true, true}),
         "Message data crc check faield"},
        {"total length one long", EsMessage(EsHeaderBlock({{":message-type", "event"}, {":event-type", "Records"}}), "abc", {records_len + 1, std::nullopt, false, false}),
         "Incomplete message"},
        {"total length one long, more data behind",
         EsMessage(EsHeaderBlock({{":message-type", "event"}, {":event-type", "Records"}}), "abc",
                   {records_len + 1, std::nullopt, false, false}) + EsEvent("End"),
         "Message data crc check faield"},
        {"total length one short",
         EsMessage(EsHeaderBlock({{":message-type", "event"}, {":event-type", "Records"}}), "abc",
                   {records_len - 1, std::nullopt, false, false}) + EsEvent("End"),
         "Message data crc check faield"},
        {"header value type 6", EsMessage(type6_block, ""), "Invalid header value type:6, expect 7"},
        {"name runs past the block",
         EsMessage(end_block + EsHeaderBlock({{std::string(20, 'n'), ""}}), "",
                   {std::nullopt, static_cast<uint32_t>(end_block.size() + 10), false, false}),
         "Header entry runs past the header block"},
        {"value runs past the block",
         EsMessage(end_block + EsHeaderBlock({{"v", std::string(20, 'v')}}), "",
                   {std::nullopt, static_cast<uint32_t>(end_block.size() + 10), false, false}),
         "Header entry runs past the header block"},
        {"event without event type", EsMessage(EventBlockOfLength(40, nullptr), ""), "Invalid event:"},
        {"unknown event", EsEvent("Finish"), "Invalid event:Finish"},
        {"no message type",
         EsMessage(EsHeaderBlock({{":event-type", "End"}, {"pad", std::string(20, 'p')}}), ""),
         "No message type in header"},
        {"unknown message type",
         EsMessage(EsHeaderBlock({{":message-type", "exception"}, {":event-type", "End"}}), ""),
         "Unknown message type:exception"},
        {"prelude cut short", std::string("\0\0\0\x38\0\0\0", 7), "Incomplete message prelude"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        SelectObjectContentResp resp;
        EXPECT_FALSE(resp.ParseFromXmlString(c.body));
        EXPECT_EQ(resp.GetStreamState(), State::Malformed);
        EXPECT_TRUE(log.Contains(c.log)) << "expected a line with: " << c.log;
        EXPECT_NE(resp.GetStreamFailure().find(c.log), std::string::npos) << resp.GetStreamFailure();
    }
}

TEST(SelectStreamTest, HeaderLengthBoundsAreAccepted) {
    // 40 bytes of headers: the smallest message there is.
    EXPECT_EQ(Decode(EsMessage(EventBlockOfLength(40, "End"), "")).state, State::Complete);
    // A header block that takes all but the prelude and the CRC: an empty payload.
    const std::string block = EsHeaderBlock({{":message-type", "event"}, {":event-type", "Records"}});
    SelectObjectContentResp resp;
    EXPECT_TRUE(resp.ParseFromXmlString(EsMessage(block, "") + EsEvent("End")));
    ASSERT_EQ(resp.GetMessages().size(), 1u);
    EXPECT_EQ(resp.GetMessages()[0].m_payload, "");
}

TEST(SelectStreamTest, EveryTruncationFailsOrStopsAtAMessageBoundary) {
    const std::string first = EsEvent("Records", "1,2\n");
    const std::string stream = first + EsEvent("Stats", "<Stats/>") + EsEvent("End");
    for (size_t cut = 0; cut < stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        Decoded d = Decode(stream.substr(0, cut));
        if (cut == 0 || cut == first.size() ||
            cut == first.size() + EsEvent("Stats", "<Stats/>").size()) {
            EXPECT_TRUE(d.ok);
            EXPECT_EQ(d.state, State::NoEnd);
        } else {
            EXPECT_FALSE(d.ok);
            EXPECT_EQ(d.state, State::Malformed);
        }
        EXPECT_LE(d.events.size(), 2u);
    }
}

TEST(SelectResultTest, PrintResultWritesRecordsOrTheErrorLine) {
    LogCapture quiet;
    SelectObjectContentResp records;
    records.ParseFromXmlString(EsEvent("Records", "a\n") + EsEvent("Stats", "S") +
                               EsEvent("Records", "b") + EsEvent("End"));
    testing::internal::CaptureStdout();
    records.PrintResult();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "a\nb");

    SelectObjectContentResp error;
    error.ParseFromXmlString(EsEvent("Records", "hidden") + EsError("Code7", nullptr));
    testing::internal::CaptureStdout();
    error.PrintResult();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error code:Code7, error message:\n");
}

TEST(SelectResultTest, WriteResultToLocalFileWritesRecordsInOrder) {
    LogCapture quiet;
    Poco::TemporaryFile file;
    SelectObjectContentResp resp;
    resp.ParseFromXmlString(EsEvent("Records", "x") + EsEvent("Progress", "P") +
                            EsEvent("Records", std::string(1, '\0')) + EsEvent("End"));
    EXPECT_EQ(resp.WriteResultToLocalFile(file.path()), 0);
    EXPECT_EQ(ReadAll(file.path()), std::string("x\0", 2));
}

TEST(SelectResultTest, WritersFailOnErrorsAndUnwritableFiles) {
    LogCapture log;
    Poco::TemporaryFile file;
    {
        std::ofstream(file.path()) << "before";
    }
    SelectObjectContentResp error;
    error.ParseFromXmlString(EsError("Code", "Message"));
    EXPECT_EQ(error.WriteResultToLocalFile(file.path()), -1);
    EXPECT_EQ(ReadAll(file.path()), "before");

    SelectObjectContentResp records;
    records.ParseFromXmlString(EsEvent("Records", std::string(64 * 1024, 'r')) + EsEvent("End"));
    BaseResp plain;
    plain.SetBody(std::string(64 * 1024, 'b'));
    EXPECT_EQ(records.WriteResultToLocalFile("/nonexistent-folder/out"), -1);
    EXPECT_TRUE(log.Contains("Failed to open file:/nonexistent-folder/out"));
    EXPECT_EQ(WriteResultToFile(plain, "/nonexistent-folder/out"), -1);
    // A full device takes the open but not the data.
    log.Clear();
    EXPECT_EQ(records.WriteResultToLocalFile("/dev/full"), -1);
    EXPECT_TRUE(log.Contains("Failed to write file:/dev/full"));
    EXPECT_EQ(WriteResultToFile(plain, "/dev/full"), -1);
}

TEST(SelectResultTest, WriteResultToFileStoresAnyBody) {
    Poco::TemporaryFile file;
    {
        std::ofstream(file.path()) << "a longer text that must be truncated away";
    }
    BaseResp resp;
    resp.SetBody(std::string("body\0bytes", 10));
    EXPECT_EQ(WriteResultToFile(resp, file.path()), 0);
    EXPECT_EQ(ReadAll(file.path()), std::string("body\0bytes", 10));
}
