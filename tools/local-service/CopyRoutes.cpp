#include "ServiceImpl.h"

namespace zid_local {

std::optional<Answer> LocalService::Impl::CopyRoutes(Call& c) {
    if (c.key.empty() || c.method != "PUT" || !c.HasHeader("x-zid-copy-source")) return std::nullopt;
    return CopyObject(c);
}

ServiceStore::ObjectPtr LocalService::Impl::CopySource(const Call& c, Answer* error, std::string* bucketOut,
                                                      std::string* keyOut) const {
    std::string source = Trim(c.Header("x-zid-copy-source"));
    size_t slash = source.find('/');
    if (source.empty() || slash == std::string::npos || slash + 1 >= source.size()) {
        *error = Error(c, 400, "InvalidArgument", "Copy Source must mention the source bucket and key: host/key");
        return nullptr;
    }
    std::string host = source.substr(0, slash);
    std::string rawKey = source.substr(slash + 1);
    size_t q = rawKey.find('?');
    if (q != std::string::npos) rawKey = rawKey.substr(0, q);
    // Sources arrive percent-encoded or as they are; the encoded reading wins.
    std::string key;
    if (!auth::PercentDecode(rawKey, &key)) key = rawKey;
    auto obj = store.Get(BucketOfHost(host), key);
    if (!obj && key != rawKey) {
        obj = store.Get(BucketOfHost(host), rawKey);
        if (obj) key = rawKey;
    }
    if (bucketOut) *bucketOut = BucketOfHost(host);
    if (keyOut) *keyOut = key;
    if (!obj && !store.HasBucket(BucketOfHost(host))) {
        *error = Error(c, 404, "NoSuchBucket", "The bucket of the copy source does not exist.");
        return nullptr;
    }
    if (!obj) {
        *error = Error(c, 404, "NoSuchKey", "The specified copy source does not exist.");
        return nullptr;
    }
    if (!Preconditions(c, *obj, "x-zid-copy-source-", error)) return nullptr;
    return obj;
}

Answer LocalService::Impl::CopyObject(Call& c) {
    Answer err;
    auto src = CopySource(c, &err);
    if (!src) return err;
    std::map<std::string, std::string> meta = src->meta;
    if (IEquals(Trim(c.Header("x-zid-metadata-directive")), "Replaced")) meta = MetaFromHeaders(c);
    auto obj = store.Put(c.bucket, c.key, src->data, meta, src->etag);
    if (!obj) return GoneBucket(c);
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.Set("x-zid-hash-crc64ecma", std::to_string(obj->crc64));
    a.body = "<CopyObjectResult>" + Elem("ETag", "\"" + obj->etag + "\"") +
             Elem("LastModified", IsoTime(obj->lastModified)) + Elem("CRC64", std::to_string(obj->crc64)) +
             "</CopyObjectResult>";
    return a;
}

}  // namespace zid_local
