// Stores a short text, then hands it out as a presigned GET URL that a plain HTTP client,
// holding no credentials, fetches; a URL whose window has passed is refused.
//
//   example_presigned_get CONFIG.json BUCKET KEY
//
// CONFIG.json is the client's JSON configuration ("AppID", "SecretId", "SecretKey",
// "Region", optional "DestDomain", ...). With "DestDomain" set the URL names that host,
// not the bucket's own: it must be a domain the service maps to the bucket. The URL is
// plain http here because the fetch below speaks plain HTTP; by default a URL is https.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>

#include <Poco/Exception.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/StreamCopier.h>
#include <Poco/URI.h>

#include <zid/ZidAPI.h>
#include <zid/ZidConfig.h>

#include "ExampleConfig.h"

namespace {

struct Fetched {
    int status = 0;
    std::string body;
};

// The client anyone may have: no signing, no library, only the URL.
Fetched FetchWithPlainHttp(const std::string& url) {
    const Poco::URI uri(url);
    Poco::Net::HTTPClientSession session(uri.getHost(), uri.getPort());
    // The path and query exactly as the URL has them: they were signed in that encoding.
    const size_t path = url.find('/', url.find("://") + 3);
    Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_GET,
                                   path == std::string::npos ? "/" : url.substr(path),
                                   Poco::Net::HTTPMessage::HTTP_1_1);
    session.sendRequest(request);
    Poco::Net::HTTPResponse response;
    std::istream& in = session.receiveResponse(response);
    Fetched fetched;
    fetched.status = static_cast<int>(response.getStatus());
    std::ostringstream body;
    Poco::StreamCopier::copyStream(in, body);
    fetched.body = body.str();
    return fetched;
}

// The <Code> of a service's Error document, or "" when the body holds none.
std::string ErrorCodeOf(const std::string& body) {
    const std::string open = "<Code>", close = "</Code>";
    const size_t start = body.find(open);
    if (start == std::string::npos) return "";
    const size_t end = body.find(close, start);
    if (end == std::string::npos) return "";
    return body.substr(start + open.size(), end - start - open.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s CONFIG.json BUCKET KEY\n", argv[0]);
        return 2;
    }
    const std::string config_file = argv[1];
    const std::string bucket = argv[2];
    const std::string key = argv[3];

    zuzezi_zid::ZidConfig config(config_file);
    if (!example::ConfigLoaded(config, config_file)) {
        return 2;
    }
    try {
        zuzezi_zid::ZidAPI api(config);
        const std::string text = "shared through a presigned URL: " + key + "\n";
        std::istringstream body(text);
        zuzezi_zid::PutObjectByStreamReq put(bucket, key, body);
        zuzezi_zid::PutObjectByStreamResp put_resp;
        zuzezi_zid::ZidResult stored = api.PutObject(put, &put_resp);
        if (!stored.IsSucc()) {
            std::fprintf(stderr, "put of %s/%s failed: http %d, %s %s\n", bucket.c_str(), key.c_str(),
                         stored.GetHttpStatus(), stored.GetErrorCode().c_str(),
                         stored.GetErrorMsg().c_str());
            return 1;
        }

        // A window of five minutes from now: SetExpiredTimeInSec is a lifetime, and it counts
        // only with a start; without both the URL lasts the configured "SignExpiredTime".
        const uint64_t now = static_cast<uint64_t>(std::time(nullptr));
        zuzezi_zid::GeneratePresignedUrlReq presign(bucket, key, 1 /* GET */);
        presign.SetStartTimeInSec(now);
        presign.SetExpiredTimeInSec(300);
        presign.SetUseHttps(false);
        const std::string url = api.GeneratePresignedUrl(presign);
        if (url.compare(0, 7, "http://") != 0) {
            // An empty key answers a message in place of the URL, a signing failure "".
            std::fprintf(stderr, "no presigned URL for %s/%s: \"%s\"\n", bucket.c_str(), key.c_str(),
                         url.c_str());
            return 1;
        }
        std::printf("presigned URL: %s\n", url.c_str());
        const Fetched fetched = FetchWithPlainHttp(url);
        if (fetched.status != 200 || fetched.body != text) {
            std::fprintf(stderr, "fetch of the presigned URL gave http %d and %zu bytes: %s\n",
                         fetched.status, fetched.body.size(), fetched.body.c_str());
            return 1;
        }
        std::printf("fetched %zu bytes, the same as stored: %s", fetched.body.size(),
                    fetched.body.c_str());

        // A window that began ten minutes ago and lasted one: the service refuses the URL.
        zuzezi_zid::GeneratePresignedUrlReq past(bucket, key, 1 /* GET */);
        past.SetStartTimeInSec(now - 600);
        past.SetExpiredTimeInSec(60);
        past.SetUseHttps(false);
        const std::string past_url = api.GeneratePresignedUrl(past);
        if (past_url.compare(0, 7, "http://") != 0) {
            std::fprintf(stderr, "no presigned URL for the past window: \"%s\"\n", past_url.c_str());
            return 1;
        }
        const Fetched refused = FetchWithPlainHttp(past_url);
        if (refused.status == 200) {
            std::fprintf(stderr, "a presigned URL whose window had passed was served\n");
            return 1;
        }
        std::printf("expired URL refused: http %d %s\n", refused.status,
                    ErrorCodeOf(refused.body).c_str());
        return 0;
    } catch (const Poco::Exception& e) {
        // The plain client's failures: no connection, a broken answer.
        std::fprintf(stderr, "%s\n", e.displayText().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
