// Puts a bucket's lifecycle configuration, reads it back and deletes it, through request
// classes of our own; then deletes every object under a prefix.
//
//   example_bucket_config CONFIG.json BUCKET PREFIX
//
// CONFIG.json is the client's JSON configuration ("AppID", "SecretId", "SecretKey",
// "Region", optional "DestDomain", ...). The facade's bucket methods send whatever the
// BucketReq they are given says: its method, path, sub-resource parameter and body. So the
// caller writes a small BucketReq subclass per configuration request it needs.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <zid/ZidAPI.h>
#include <zid/ZidConfig.h>
#include <zid/request/BucketReq.h>
#include <zid/response/BucketOpResp.h>
#include <zid/response/BucketResp.h>
#include <zid/response/BucketRuleResp.h>

#include "ExampleConfig.h"

namespace {

// "METHOD /?lifecycle" of the bucket; the body, when there is one, is our document.
class LifecycleReq : public zuzezi_zid::BucketReq {
public:
    LifecycleReq(const std::string& bucket, const std::string& method,
                 const std::string& document = "")
        : BucketReq(bucket), m_document(document) {
        SetMethod(method);
        SetPath("/");
        AddParam("lifecycle", "");
    }

    // PutBucketLifecycle sends what this writes, with its Content-MD5.
    bool GenerateRequestBody(std::string* body) const override {
        *body = m_document;
        return true;
    }

private:
    std::string m_document;
};

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

// Objects under the prefix expire after 30 days; a second rule, switched off, would move
// them to the archive class after 7.
std::string LifecycleDocument(const std::string& prefix) {
    const std::string filter = "<Filter><Prefix>" + XmlEscape(prefix) + "</Prefix></Filter>";
    return "<LifecycleConfiguration>"
           "<Rule><ID>expire</ID>" + filter + "<Status>Enabled</Status>"
           "<Expiration><Days>30</Days></Expiration></Rule>"
           "<Rule><ID>archive</ID>" + filter + "<Status>Disabled</Status>"
           "<Transition><Days>7</Days><StorageClass>ARCHIVE</StorageClass></Transition></Rule>"
           "</LifecycleConfiguration>";
}

bool Report(const char* what, const zuzezi_zid::ZidResult& result) {
    if (result.IsSucc()) return true;
    std::fprintf(stderr, "%s failed: http %d, %s %s\n", what, result.GetHttpStatus(),
                 result.GetErrorCode().c_str(), result.GetErrorMsg().c_str());
    return false;
}

void PrintRules(const zuzezi_zid::GetBucketLifecycleResp& lifecycle) {
    for (const zuzezi_zid::LifecycleRule& rule : lifecycle.GetRules()) {
        std::printf("rule %s %s prefix %s", rule.GetId().c_str(),
                    rule.GetIsEnable() ? "Enabled" : "Disabled",
                    rule.GetFilter().GetPrefix().c_str());
        if (rule.IsSet(zuzezi_zid::LifecycleRule::kExpiration)) {
            std::printf(", expires after %llu days",
                        static_cast<unsigned long long>(rule.GetExpiration().GetDays()));
        }
        for (const zuzezi_zid::LifecycleTransition& t : rule.GetTransitions()) {
            std::printf(", to %s after %llu days", t.GetStorageClass().c_str(),
                        static_cast<unsigned long long>(t.GetDays()));
        }
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s CONFIG.json BUCKET PREFIX\n", argv[0]);
        return 2;
    }
    const std::string config_file = argv[1];
    const std::string bucket = argv[2];
    const std::string prefix = argv[3];

    zuzezi_zid::ZidConfig config(config_file);
    if (!example::ConfigLoaded(config, config_file)) {
        return 2;
    }
    try {
        zuzezi_zid::ZidAPI api(config);

        zuzezi_zid::BaseResp put_resp;
        if (!Report("lifecycle put", api.PutBucketLifecycle(
                                         LifecycleReq(bucket, "PUT", LifecycleDocument(prefix)),
                                         &put_resp))) {
            return 1;
        }
        zuzezi_zid::GetBucketLifecycleResp lifecycle;
        if (!Report("lifecycle get", api.GetBucketLifecycle(LifecycleReq(bucket, "GET"), &lifecycle))) {
            return 1;
        }
        std::printf("lifecycle of %s read back:\n", bucket.c_str());
        PrintRules(lifecycle);

        zuzezi_zid::BaseResp delete_resp;
        if (!Report("lifecycle delete",
                    api.DeleteBucketLifecycle(LifecycleReq(bucket, "DELETE"), &delete_resp))) {
            return 1;
        }
        // Gone: the service now answers the get with an error of its own.
        zuzezi_zid::GetBucketLifecycleResp none;
        zuzezi_zid::ZidResult gone = api.GetBucketLifecycle(LifecycleReq(bucket, "GET"), &none);
        if (gone.IsSucc()) {
            std::fprintf(stderr, "the lifecycle is still there after its delete\n");
            return 1;
        }
        std::printf("after the delete: http %d %s\n", gone.GetHttpStatus(),
                    gone.GetErrorCode().c_str());

        // One request lists and deletes page after page; each object is one DELETE.
        zuzezi_zid::DeleteObjectsByPrefixResp deleted;
        zuzezi_zid::ZidResult run =
            api.DeleteObjectsByPrefix(zuzezi_zid::DeleteObjectsByPrefixReq(bucket, prefix), &deleted);
        for (const std::string& key : deleted.GetDeletedKeys()) {
            std::printf("deleted %s\n", key.c_str());
        }
        if (!Report("delete by prefix", run)) {
            return 1;
        }
        std::printf("%zu objects deleted under \"%s\"\n", deleted.GetDeletedKeys().size(),
                    prefix.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}
