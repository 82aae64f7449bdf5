#include <set>

#include "ServiceImpl.h"

namespace zid_local {

namespace {

const std::set<std::string> kListingParams = {"prefix", "marker", "max-keys", "delimiter", "encoding-type"};
// A presigned request carries its signature and token as parameters.
const std::set<std::string> kSigningParams = {"sign", "x-zid-security-token"};

// The first query parameter that is no part of a plain bucket request, or "".
std::string UnknownParam(const Call& c) {
    for (const auto& p : c.params) {
        if (kSigningParams.count(p.first) || (c.method == "GET" && kListingParams.count(p.first))) continue;
        return p.first;
    }
    return std::string();
}

// A PUT of the bucket itself, the one request that may name a bucket not made yet.
bool MakesBucket(const Call& c) { return c.method == "PUT" && c.key.empty() && UnknownParam(c).empty(); }

}  // namespace

std::optional<Answer> LocalService::Impl::BucketExistence(Call& c) {
    if (c.bucket.empty())
        return Error(c, 404, "NoSuchBucket",
                     "The Host " + c.host + " names no bucket: a bucket's Host begins with NAME-APPID. "
                     "To serve requests to a bare address (a presigned URL made with a destination domain), "
                     "start the service with --domain-bucket NAME-APPID.");
    if (MakesBucket(c) || store.HasBucket(c.bucket)) return std::nullopt;
    return GoneBucket(c);
}

std::optional<Answer> LocalService::Impl::BucketRoutes(Call& c) {
    const std::string& m = c.method;
    if (!c.key.empty()) return std::nullopt;
    if (m == "POST" && c.Has("delete")) return DeleteMany(c);
    // A sub-resource this service does not keep is refused, never taken for the bucket itself.
    const std::string unknown = UnknownParam(c);
    if (!unknown.empty())
        return Error(c, 501, "NotImplemented", "The bucket sub-resource is not implemented: " + unknown);
    if (m == "GET") return ListBucket(c);
    if (m == "HEAD") return Answer();
    if (m == "PUT") {
        // Made again, an existing bucket stays as it is.
        store.MakeBucket(c.bucket);
        return Answer();
    }
    if (m == "DELETE") {
        const std::string code = store.DeleteBucket(c.bucket);
        if (code == "BucketNotEmpty")
            return Error(c, 409, code, "The bucket you tried to delete is not empty.");
        if (!code.empty()) return GoneBucket(c);
        Answer a;
        a.status = 204;
        return a;
    }
    return std::nullopt;
}

Answer LocalService::Impl::ListBucket(Call& c) {
    std::string prefix = c.Param("prefix"), marker = c.Param("marker"), delimiter = c.Param("delimiter");
    bool urlEncode = c.Param("encoding-type") == "url";
    uint64_t maxKeys = std::max<uint64_t>(listPageSize, 1);
    if (c.Has("max-keys") && !ParseUint(c.Param("max-keys"), &maxKeys))
        return Error(c, 400, "InvalidArgument", "max-keys must be a number.");
    if (maxKeys > 1000) maxKeys = 1000;
    auto enc = [&](const std::string& s) { return urlEncode ? auth::PercentEncode(s) : s; };
    std::string contents, prefixes, nextMarker;
    std::set<std::string> seenPrefixes;
    uint64_t count = 0;
    bool truncated = false;
    for (const auto& o : store.List(c.bucket)) {
        const std::string& key = o.first;
        if (!marker.empty() && key <= marker) continue;
        // A marker that is a common prefix stands for every key below it.
        if (!delimiter.empty() && marker.size() >= delimiter.size() &&
            marker.compare(marker.size() - delimiter.size(), delimiter.size(), delimiter) == 0 &&
            key.compare(0, marker.size(), marker) == 0)
            continue;
        if (key.compare(0, prefix.size(), prefix) != 0) continue;
        std::string cp;
        if (!delimiter.empty()) {
            size_t d = key.find(delimiter, prefix.size());
            if (d != std::string::npos) cp = key.substr(0, d + delimiter.size());
        }
        if (!cp.empty() && seenPrefixes.count(cp)) continue;
        if (count == maxKeys) {
            truncated = true;
            break;
        }
        if (!cp.empty()) {
            seenPrefixes.insert(cp);
            prefixes += "<CommonPrefixes>" + Elem("Prefix", enc(cp)) + "</CommonPrefixes>";
            nextMarker = cp;
        } else {
            contents += "<Contents>" + Elem("Key", enc(key)) + Elem("LastModified", IsoTime(o.second->lastModified)) +
                        Elem("ETag", "\"" + o.second->etag + "\"") + Elem("Size", std::to_string(o.second->data.size())) +
                        "<Owner>" + Elem("ID", "zid::owner/" + c.accessKey) + "</Owner>" +
                        Elem("StorageClass", "STANDARD") + "</Contents>";
            nextMarker = key;
        }
        ++count;
    }
    std::string body = "<ListBucketResult>" + Elem("Name", c.bucket);
    if (urlEncode) body += Elem("EncodingType", "url");
    body += Elem("Prefix", enc(prefix)) + Elem("Marker", enc(marker)) + Elem("MaxKeys", std::to_string(maxKeys));
    if (!delimiter.empty()) body += Elem("Delimiter", enc(delimiter));
    body += Elem("IsTruncated", truncated ? "true" : "false");
    if (truncated) body += Elem("NextMarker", enc(nextMarker));
    body += contents + prefixes + "</ListBucketResult>";
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

Answer LocalService::Impl::DeleteMany(Call& c) {
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("Delete");
    if (!root) return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    bool quiet = Trim(ChildText(root, "Quiet")) == "true";
    std::string body = "<DeleteResult>";
    for (auto* o = root->first_node("Object"); o; o = o->next_sibling("Object")) {
        bool hasKey = false;
        std::string key = ChildText(o, "Key", &hasKey);
        std::string version = ChildText(o, "VersionId");
        if (!hasKey || key.empty()) {
            body += "<Error>" + Elem("Key", key) + Elem("Code", "InvalidArgument") +
                    Elem("Message", "Object key must not be empty.") + "</Error>";
            continue;
        }
        store.Delete(c.bucket, key);
        if (!quiet) {
            body += "<Deleted>" + Elem("Key", key);
            if (!version.empty()) body += Elem("VersionId", version);
            body += "</Deleted>";
        }
    }
    body += "</DeleteResult>";
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

}  // namespace zid_local
