// Lists the objects of a bucket, page after page of the bucket listing.
//
//   example_list_bucket CONFIG.json BUCKET [PREFIX]
//
// CONFIG.json is the client's JSON configuration ("AppID", "SecretId", "SecretKey",
// "Region", optional "DestDomain", ...). Prints one "KEY SIZE" line per object, then the
// count of objects and pages.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <zid/ZidAPI.h>
#include <zid/ZidConfig.h>
#include <zid/request/BucketReq.h>
#include <zid/response/BucketResp.h>

#include "ExampleConfig.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s CONFIG.json BUCKET [PREFIX]\n", argv[0]);
        return 2;
    }
    const std::string config_file = argv[1];
    const std::string bucket = argv[2];
    const std::string prefix = argc == 4 ? argv[3] : "";

    zuzezi_zid::ZidConfig config(config_file);
    if (!example::ConfigLoaded(config, config_file)) {
        return 2;
    }
    try {
        zuzezi_zid::ZidAPI api(config);
        zuzezi_zid::GetBucketReq req(bucket);
        req.SetPrefix(prefix);
        std::string marker;
        size_t objects = 0;
        size_t pages = 0;
        for (;;) {
            zuzezi_zid::GetBucketResp page;
            zuzezi_zid::ZidResult result = api.GetBucket(req, &page);
            if (!result.IsSucc()) {
                std::fprintf(stderr, "listing of %s failed: http %d, %s %s\n", bucket.c_str(),
                             result.GetHttpStatus(), result.GetErrorCode().c_str(),
                             result.GetErrorMsg().c_str());
                return 1;
            }
            ++pages;
            const std::vector<zuzezi_zid::Content> contents = page.GetContents();
            for (const auto& content : contents) {
                std::printf("%s %s\n", content.m_key.c_str(), content.m_size.c_str());
            }
            objects += contents.size();
            if (!page.IsTruncated()) break;
            // A listing without a delimiter may leave the next marker out: go on after the
            // last key of the page.
            std::string next = page.GetNextMarker();
            if (next.empty() && !contents.empty()) next = contents.back().m_key;
            if (next <= marker) {
                std::fprintf(stderr, "the listing of %s did not advance past \"%s\"\n", bucket.c_str(),
                             marker.c_str());
                return 1;
            }
            marker = next;
            req.SetMarker(marker);
        }
        std::printf("%zu objects in %zu pages\n", objects, pages);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
