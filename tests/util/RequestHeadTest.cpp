// The sender writes request heads itself; they must be the bytes the HTTP library would send.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <Poco/Net/HTTPRequest.h>

#include "util/RequestHead.h"

using namespace zuzezi_zid;

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
