#include <Poco/DateTime.h>
#include <Poco/DateTimeParser.h>

#include <set>
#include <sstream>

#include "ServiceImpl.h"

namespace zid_local {

std::optional<Answer> LocalService::Impl::ObjectRoutes(Call& c) {
    const std::string& m = c.method;
    if (c.key.empty()) return std::nullopt;
    if (m == "PUT") return PutObject(c);
    if (m == "POST" && c.Has("restore")) {
        Answer md5err;
        if (!CheckContentMd5(c, &md5err)) return md5err;
        XmlDoc doc(c.body);
        if (!doc.Root("RestoreRequest"))
            return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed.");
        if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
        Answer a;
        a.status = 202;
        return a;
    }
    if (m == "GET" || m == "HEAD") return GetObject(c);
    if (m == "DELETE") {
        store.Delete(c.bucket, c.key);
        Answer a;
        a.status = 204;
        return a;
    }
    return std::nullopt;
}

std::map<std::string, std::string> LocalService::Impl::MetaFromHeaders(const Call& c) const {
    static const std::set<std::string> kept = {"content-type", "content-disposition", "content-encoding",
                                               "cache-control", "expires", "content-language",
                                               "x-zid-storage-class"};
    std::map<std::string, std::string> meta;
    for (const auto& h : c.headers) {
        std::string n = Lower(h.first);
        if (kept.count(n) || n.compare(0, 11, "x-zid-meta-") == 0) meta[n] = h.second;
    }
    return meta;
}

bool LocalService::Impl::CheckContentMd5(const Call& c, Answer* error) const {
    if (!c.HasHeader("Content-MD5")) return true;
    if (Trim(c.Header("Content-MD5")) == auth::Base64(auth::Md5Raw(c.body))) return true;
    *error = Error(c, 400, "BadDigest", "The Content-MD5 you specified did not match what we received.");
    return false;
}

bool LocalService::Impl::Preconditions(const Call& c, const StoredObject& obj, const std::string& prefix,
                                       Answer* out) const {
    auto matches = [&](const std::string& list) {
        std::stringstream ss(list);
        std::string item;
        while (std::getline(ss, item, ',')) {
            item = Trim(item);
            if (item == "*" || Unquote(item) == obj.etag) return true;
        }
        return false;
    };
    auto parseTime = [](const std::string& text, int64_t* t) {
        try {
            int tz = 0;
            Poco::DateTime dt = Poco::DateTimeParser::parse(Trim(text), tz);
            *t = static_cast<int64_t>(dt.timestamp().epochTime()) - tz;
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };
    bool copy = !prefix.empty();
    const std::string& h = prefix;
    if (c.HasHeader(h + "If-Match") && !matches(c.Header(h + "If-Match"))) {
        *out = Error(c, 412, "PreconditionFailed", "At least one of the preconditions you specified did not hold.");
        return false;
    }
    int64_t t = 0;
    if (c.HasHeader(h + "If-Unmodified-Since") && parseTime(c.Header(h + "If-Unmodified-Since"), &t) &&
        obj.lastModified > t) {
        *out = Error(c, 412, "PreconditionFailed", "At least one of the preconditions you specified did not hold.");
        return false;
    }
    if (c.HasHeader(h + "If-None-Match") && matches(c.Header(h + "If-None-Match"))) {
        if (copy)
            *out = Error(c, 412, "PreconditionFailed", "At least one of the preconditions you specified did not hold.");
        else {
            *out = ObjectHead(std::make_shared<StoredObject>(obj), 304);
        }
        return false;
    }
    if (c.HasHeader(h + "If-Modified-Since") && parseTime(c.Header(h + "If-Modified-Since"), &t) &&
        obj.lastModified <= t) {
        if (copy)
            *out = Error(c, 412, "PreconditionFailed", "At least one of the preconditions you specified did not hold.");
        else
            *out = ObjectHead(std::make_shared<StoredObject>(obj), 304);
        return false;
    }
    return true;
}

Answer LocalService::Impl::ObjectHead(const ServiceStore::ObjectPtr& obj, int status) const {
    Answer a;
    a.status = status;
    a.Set("Content-Type", "application/octet-stream");
    for (const auto& m : obj->meta) a.Set(m.first, m.second);
    a.Set("ETag", "\"" + obj->etag + "\"");
    a.Set("Last-Modified", HttpTime(obj->lastModified));
    a.Set("Accept-Ranges", "bytes");
    a.Set("x-zid-hash-crc64ecma", std::to_string(obj->crc64));
    a.Set("x-zid-object-type", "normal");
    a.object = obj;
    return a;
}

Answer LocalService::Impl::GetObject(Call& c) {
    auto obj = store.Get(c.bucket, c.key);
    if (!obj) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    Answer pre;
    if (!Preconditions(c, *obj, "", &pre)) return pre;
    Answer a = ObjectHead(obj);
    a.useObject = true;
    uint64_t size = obj->data.size();
    a.offset = 0;
    a.length = size;
    if (c.method == "HEAD" && !c.HasHeader("Range")) {
        // A HEAD sends no body, so the length may be one the store does not hold.
        uint64_t reported = ReportedSize(c.bucket, c.key);
        if (reported) a.length = reported;
    }
    if (c.HasHeader("Range")) {
        uint64_t first = 0, last = 0;
        if (!ParseRange(c.Header("Range"), size, &first, &last)) {
            Answer e = Error(c, 416, "InvalidRange", "The requested range is not satisfiable");
            e.Set("Content-Range", "bytes */" + std::to_string(size));
            return e;
        }
        a.status = 206;
        a.offset = first;
        a.length = last - first + 1;
        a.Set("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                   std::to_string(size));
    }
    for (const char* p : {"response-content-type", "response-content-disposition", "response-cache-control",
                          "response-content-encoding", "response-expires", "response-content-language"}) {
        if (c.Has(p)) a.Set(std::string(p).substr(9), c.Param(p));
    }
    return a;
}

Answer LocalService::Impl::PutObject(Call& c) {
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    auto obj = store.Put(c.bucket, c.key, std::move(c.body), MetaFromHeaders(c));
    c.body.clear();
    if (!obj) return GoneBucket(c);
    if (c.HasHeader("x-zid-acl")) store.SetAcl(c.bucket, c.key, DefaultAcl(c.accessKey, c.Header("x-zid-acl")));
    Answer a;
    a.Set("ETag", "\"" + obj->etag + "\"");
    a.Set("x-zid-hash-crc64ecma", std::to_string(obj->crc64));
    return a;
}

}  // namespace zid_local
