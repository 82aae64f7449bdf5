// Configurations of a bucket: PUT, GET and DELETE of a sub-resource such as "?cors". Each is
// kept as the bytes that came; the service reads none of them.
#include "ServiceImpl.h"

namespace zid_local {

namespace {

struct SubResource {
    const char* name;
    // GET of one never put: this 404 error code, or, when null, `emptyDocument`.
    const char* missingCode;
    const char* emptyDocument;
};

const SubResource kSubResources[] = {
    {"acl", nullptr, nullptr},  // the owner-only default
    {"cors", "NoSuchCORSConfiguration", nullptr},
    {"domain", "NoSuchDomainConfiguration", nullptr},
    {"intelligenttiering", "NoSuchIntelligentTieringConfiguration", nullptr},
    {"inventory", "NoSuchInventoryConfiguration", nullptr},
    {"lifecycle", "NoSuchLifecycleConfiguration", nullptr},
    {"logging", nullptr, "<BucketLoggingStatus/>"},
    {"policy", "NoSuchBucketPolicy", nullptr},
    {"referer", nullptr, "<RefererConfiguration/>"},
    {"replication", "ReplicationConfigurationnotFoundError", nullptr},
    {"tagging", "NoSuchTagSet", nullptr},
    {"versioning", nullptr, "<VersioningConfiguration/>"},
    {"website", "NoSuchWebsiteConfiguration", nullptr},
};

const SubResource* FindSubResource(const Call& c) {
    for (const SubResource& s : kSubResources)
        if (c.Has(s.name)) return &s;
    return nullptr;
}

Answer Document(const std::string& body) {
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

// An inventory listing holds the stored configurations one after the other, each without
// the declaration it may have come with.
std::string WithoutDeclaration(const std::string& body) {
    if (body.compare(0, 5, "<?xml") != 0) return body;
    size_t end = body.find("?>");
    return end == std::string::npos ? body : Trim(body.substr(end + 2));
}

}  // namespace

std::optional<Answer> LocalService::Impl::BucketConfigRoutes(Call& c) {
    if (!c.key.empty()) return std::nullopt;
    const SubResource* sub = FindSubResource(c);
    if (!sub) return std::nullopt;
    const std::string& m = c.method;
    std::string name = sub->name;
    if (name == "inventory") {
        if (!c.Has("id")) {
            if (m != "GET") return Error(c, 400, "InvalidArgument", "An inventory id is required.");
            std::string items;
            for (const auto& stored : store.ListBucketConfigs(c.bucket, "inventory:"))
                items += WithoutDeclaration(stored.second);
            return Document("<ListInventoryConfigurationResult>" + items + Elem("IsTruncated", "false") +
                            "</ListInventoryConfigurationResult>");
        }
        name += ":" + c.Param("id");
    }
    if (m == "PUT") {
        Answer err;
        if (!CheckContentMd5(c, &err)) return err;
        std::string body = c.body;
        // A canned ACL in a header stands for its document; grant headers are not read.
        if (name == "acl" && body.empty()) {
            std::string canned = Trim(c.Header("x-zid-acl"));
            body = DefaultAcl(c.accessKey, canned.empty() ? "private" : canned);
        }
        store.SetBucketConfig(c.bucket, name, std::move(body));
        return Answer();
    }
    if (m == "GET") {
        std::string body;
        if (store.GetBucketConfig(c.bucket, name, &body)) return Document(body);
        if (name == "acl") return Document(DefaultAcl(c.accessKey, "private"));
        if (sub->emptyDocument) return Document(sub->emptyDocument);
        return Error(c, 404, sub->missingCode, "The specified configuration does not exist.");
    }
    if (m == "DELETE") {
        store.DeleteBucketConfig(c.bucket, name);
        Answer a;
        a.status = 204;
        return a;
    }
    return Error(c, 405, "MethodNotAllowed", "The specified method is not allowed against this resource.");
}

}  // namespace zid_local
