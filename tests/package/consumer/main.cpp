// Uses an installed zid the way a new user would: the version, one object put, read back and
// removed, and a missing object reported as the service's answer.
//
//   zid_consumer CONFIG.json BUCKET
#include <cstdio>
#include <exception>
#include <sstream>
#include <string>

#include <zid/ZidAPI.h>
#include <zid/ZidConfig.h>
#include <zid/ZidVersion.h>

// Only <prefix>/include is on the path: the library's own folders are no top-level names.
#if __has_include(<ZidAPI.h>) || __has_include(<op/BaseOp.h>) || __has_include(<trsf/AsyncContext.h>)
#error "the package puts <prefix>/include/zid on the include path"
#endif

namespace {

bool Check(bool ok, const char* what, const zuzezi_zid::ZidResult& result) {
    if (!ok) {
        std::fprintf(stderr, "%s failed: http %d, code %s, %s\n", what, result.GetHttpStatus(),
                     result.GetErrorCode().c_str(), result.GetErrorMsg().c_str());
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CONFIG.json BUCKET\n", argv[0]);
        return 2;
    }
    std::printf("zid %s (%d.%d.%d)\n", ZID_VERSION_STRING, ZID_VERSION_MAJOR, ZID_VERSION_MINOR,
                ZID_VERSION_PATCH);
    zuzezi_zid::ZidConfig config(argv[1]);
    if (!config.IsLoadedFromFile()) return 2;
    const std::string bucket = argv[2];
    const std::string key = "consumer/hello.txt";
    const std::string text = std::string("hello from zid ") + ZID_VERSION_STRING;
    try {
        zuzezi_zid::ZidAPI api(config);

        std::istringstream in(text);
        zuzezi_zid::PutObjectByStreamReq put(bucket, key, in);
        zuzezi_zid::PutObjectByStreamResp put_resp;
        zuzezi_zid::ZidResult r = api.PutObject(put, &put_resp);
        if (!Check(r.IsSucc(), "put", r)) return 1;

        std::ostringstream out;
        zuzezi_zid::GetObjectByStreamReq get(bucket, key, out);
        zuzezi_zid::GetObjectResp get_resp;
        r = api.GetObject(get, &get_resp);
        if (!Check(r.IsSucc() && out.str() == text, "get", r)) return 1;

        zuzezi_zid::DeleteObjectReq del(bucket, key);
        zuzezi_zid::DeleteObjectResp del_resp;
        r = api.DeleteObject(del, &del_resp);
        if (!Check(r.IsSucc(), "delete", r)) return 1;

        zuzezi_zid::HeadObjectReq head(bucket, key);
        zuzezi_zid::HeadObjectResp head_resp;
        r = api.HeadObject(head, &head_resp);
        if (r.IsSucc() || r.GetHttpStatus() != 404 || r.GetXZidRequestId().empty()) {
            std::fprintf(stderr, "a deleted object was not reported missing by the service\n");
            return 1;
        }
        std::printf("put, read back and deleted %s/%s\n", bucket.c_str(), key.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
