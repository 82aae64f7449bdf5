// The sender writes request heads itself; they must be the bytes the HTTP library would send,
// and only heads that say what their fields say go out.
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <Poco/Net/HTTPRequest.h>
#include <Poco/String.h>

#include "support/CannedServer.h"
#include "util/HttpSender.h"
#include "util/RequestHead.h"

using namespace zuzezi_zid;
using zid_test::CannedServer;

TEST(RequestHeadTest, HeadIsWhatTheHttpLibraryWrites) {
    using Fields = std::vector<std::pair<std::string, std::string>>;
    const std::vector<std::pair<std::string, Fields>> cases = {
        {"GET", {}},
        {"GET", {{"Host", "b-1.example"}, {"Authorization", "q-sign-algorithm=sha1&q-ak=A"}}},
        {"PUT", {{"Host", "h"}, {"Content-Length", "4096"}, {"x-zid-meta-a", "1"},
                 {"x-zid-meta-a", "2"}, {"Content-MD5", "AAAA=="}, {"Empty", ""}}},
        {"HEAD", {{"Range", "bytes=0-1"}, {"user-agent", "u v"}}},
    };
    for (const auto& c : cases) {
        Poco::Net::HTTPRequest request(c.first, "/dir/a%20b?uploads&partNumber=1",
                                       Poco::Net::HTTPMessage::HTTP_1_1);
        for (const auto& f : c.second) request.add(f.first, f.second);
        request.setKeepAlive(c.first != "HEAD");
        std::ostringstream library;
        request.write(library);
        EXPECT_EQ(RequestHeadText(request), library.str());
    }
}

namespace {

using StringMap = std::map<std::string, std::string>;

// What a server saw of one exchange: the heads that came, and how many connections.
struct Seen {
    std::mutex lock;
    std::vector<std::string> heads;
};

int CountLines(const std::string& head, const std::string& name) {
    int n = 0;
    for (size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
        if (Poco::icompare(head.substr(at + 2, name.size() + 1), name + ":") == 0) ++n;
    }
    return n;
}

}  // namespace

// The sender refuses, before it connects, a head that would not say what its fields say,
// whoever built the fields; the message names the field.
TEST(RequestHeadTest, TheSenderRefusesHeadsThatWouldSplitOrReframe) {
    struct Case {
        const char* name;
        std::string method;
        StringMap headers;
        std::string body;
        const char* refusal;  // part of the message; null when the request goes out
    };
    const StringMap host = {{"Host", "h.example"}};
    auto with = [&host](StringMap extra) {
        extra.insert(host.begin(), host.end());
        return extra;
    };
    const std::vector<Case> cases = {
        {"CRLF in a value", "GET", with({{"Authorization", "a\r\nX-Injected: 1"}}), "",
         "Authorization"},
        {"LF in a name", "GET", with({{"X-A\nX-Injected", "1"}}), "", "X-A\\x0AX-Injected"},
        {"a colon in a name", "GET", with({{"X-A: b", "1"}}), "", "X-A: b"},
        {"an empty name", "GET", with({{"", "1"}}), "", "not a token"},
        {"NUL in a value", "GET", with({{"X-A", std::string("a\0b", 3)}}), "", "X-A"},
        {"a control byte", "GET", with({{"X-A", "a\x1b[2J"}}), "", "X-A"},
        {"a method that is no token", "GET / HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET", host, "",
         "method"},
        {"chunked beside a length", "PUT",
         with({{"Transfer-Encoding", "chunked"}, {"Content-Length", "3"}}), "abc",
         "Transfer-Encoding"},
        {"a length the body does not have", "GET", with({{"Content-Length", "5"}}), "",
         "Content-Length"},
        {"two lengths", "PUT", with({{"Content-Length", "3"}, {"content-length", "30"}}), "abc",
         "Content-Length"},
        {"two hosts", "GET", {{"Host", "a.example"}, {"host", "b.example"}}, "", "Host"},
        {"no Host: the library writes the head", "GET", {{"X-A", "a\r\nX-Injected: 1"}}, "",
         "X-A"},
        {"a tab and bytes above ASCII", "GET", with({{"X-A", "a\tb \xc3\xa9"}}), "", nullptr},
        {"the same host twice", "GET", {{"Host", "a.example"}, {"host", "a.example"}}, "",
         nullptr},
        {"a length that is the body's", "PUT", with({{"Content-Length", "3"}}), "abc", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Seen seen;
        CannedServer server([&seen](Poco::Net::StreamSocket& peer, const std::string& head) {
            {
                std::lock_guard<std::mutex> lock(seen.lock);
                seen.heads.push_back(head);
            }
            CannedServer::Send(peer, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        });
        StringMap resp_headers;
        std::string err_body, err;
        std::ostringstream out;
        uint64_t received = 0;
        const int status = HttpSender::SendRequest(
            nullptr, c.method, "http://" + server.DestDomain() + "/k", {}, c.headers, c.body,
            2000, 2000, &resp_headers, &err_body, out, &err, &received);
        std::lock_guard<std::mutex> lock(seen.lock);
        if (c.refusal) {
            EXPECT_EQ(status, -1);
            EXPECT_NE(err.find(c.refusal), std::string::npos) << err;
            EXPECT_EQ(server.Connections(), 0);
            EXPECT_TRUE(seen.heads.empty());
        } else {
            EXPECT_EQ(status, 200) << err;
            ASSERT_EQ(seen.heads.size(), 1u);
            EXPECT_EQ(CountLines(seen.heads[0], "Host"), 1) << seen.heads[0];
            EXPECT_LE(CountLines(seen.heads[0], "Content-Length"), 1) << seen.heads[0];
        }
    }
}

// A value is read many bytes at a time; the verdict must be a byte-by-byte reading's wherever
// the byte stands, in values long and short.
TEST(RequestHeadTest, AValueIsRefusedForAControlByteWhereverItStands) {
    EXPECT_TRUE(IsHeaderValue(""));
    for (size_t length = 1; length <= 40; ++length) {
        for (size_t at = 0; at < length; ++at) {
            for (int byte = 0; byte < 256; ++byte) {
                std::string value(length, 'a');
                value[at] = static_cast<char>(byte);
                const bool control = (byte < 0x20 && byte != '\t') || byte == 0x7f;
                if (IsHeaderValue(value) == control) {
                    ADD_FAILURE() << "byte " << byte << " at " << at << " of " << length;
                    return;
                }
            }
        }
    }
}

// The sender's own fields are known in any case, and only by their whole names.
TEST(RequestHeadTest, FramingFieldsAreKnownInAnyCaseAndOnlyByTheirWholeName) {
    struct Case {
        StringMap fields;
        const char* fault;  // part of the message; null when the fields may go out
    };
    const uint64_t three = 3;
    const std::vector<Case> cases = {
        {{{"CONTENT-LENGTH", "5"}}, "disagrees"},
        {{{"cOnNeCtIoN", "close"}}, "client's own"},
        {{{"EXPECT", "100-continue"}}, "client's own"},
        {{{"transfer-ENCODING", "chunked"}}, "client's own"},
        {{{"HOST", "a"}, {"host", "b"}}, "Conflicting Host"},
        {{{"Content_Length", "5"}}, nullptr},
        {{{"Content-Lengths", "5"}}, nullptr},
        {{{"Connections", "x"}, {"Expects", "x"}, {"Hosts", "x"}}, nullptr},
        {{{"Transfer-Encodin", "x"}, {"Conne-tion", "x"}}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields.begin()->first);
        const std::string fault = RequestFieldFault("PUT", c.fields, &three);
        if (c.fault) {
            EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
        } else {
            EXPECT_EQ(fault, "");
        }
    }
    EXPECT_TRUE(IsSingleField("HOST"));
    EXPECT_TRUE(IsSingleField("content-length"));
    EXPECT_FALSE(IsSingleField("Host-"));
    EXPECT_FALSE(IsSingleField("Content-MD5"));
}
