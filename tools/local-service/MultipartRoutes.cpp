#include <set>

#include "ServiceImpl.h"

namespace zid_local {

namespace {

// A part's ETag is the hex MD5 taken when the part came: completing a 1 GiB upload need not
// digest every byte again.
std::string RawOfHexDigest(const std::string& hex) {
    std::string raw(hex.size() / 2, '\0');
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return raw;
}

}  // namespace

std::optional<Answer> LocalService::Impl::MultipartRoutes(Call& c) {
    const std::string& m = c.method;
    if (c.key.empty()) {
        if (m == "GET" && c.Has("uploads")) return ListUploads(c);
        return std::nullopt;
    }
    if (m == "PUT" && c.Has("partNumber") && c.Has("uploadId")) return UploadPart(c);
    if (m == "POST" && c.Has("uploads")) return InitUpload(c);
    if (m == "POST" && c.Has("uploadId")) return CompleteUpload(c);
    if (m == "GET" && c.Has("uploadId")) return ListParts(c);
    if (m == "DELETE" && c.Has("uploadId")) {
        if (!store.AbortUpload(c.Param("uploadId")))
            return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");
        Answer a;
        a.status = 204;
        return a;
    }
    return std::nullopt;
}

Answer LocalService::Impl::InitUpload(Call& c) {
    std::string id = store.InitUpload(c.bucket, c.key, MetaFromHeaders(c));
    if (id.empty()) return GoneBucket(c);
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = "<InitiateMultipartUploadResult>" + Elem("Bucket", c.bucket) + Elem("Key", c.key) +
             Elem("UploadId", id) + "</InitiateMultipartUploadResult>";
    return a;
}

Answer LocalService::Impl::UploadPart(Call& c) {
    uint64_t number = 0;
    if (!ParseUint(c.Param("partNumber"), &number) || number < 1 || number > 10000)
        return Error(c, 400, "InvalidArgument", "Part number must be an integer between 1 and 10000, inclusive.");
    OpenUpload upload;
    if (!store.GetUpload(c.Param("uploadId"), &upload) || upload.bucket != c.bucket || upload.key != c.key)
        return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");

    StoredPart part;
    part.lastModified = ServiceStore::Now();
    bool copy = c.HasHeader("x-zid-copy-source");
    if (copy) {
        Answer err;
        std::string srcBucket, srcKey;
        auto src = CopySource(c, &err, &srcBucket, &srcKey);
        if (!src) return err;
        uint64_t reported = ReportedSize(srcBucket, srcKey);
        uint64_t size = reported ? reported : src->data.size();
        uint64_t first = 0, last = size == 0 ? 0 : size - 1;
        if (c.HasHeader("x-zid-copy-source-range")) {
            if (!ParseRange(c.Header("x-zid-copy-source-range"), size, &first, &last))
                return Error(c, 416, "InvalidRange", "The requested range is not satisfiable");
        }
        if (reported) {
            part.data = std::to_string(first) + "-" + std::to_string(last) + "\n";
        } else if (!src->data.empty()) {
            part.data = src->data.substr(first, last - first + 1);
        }
    } else {
        Answer err;
        if (!CheckContentMd5(c, &err)) return err;
        part.data = std::move(c.body);
        c.body.clear();
    }
    part.etag = auth::Md5Hex(part.data);
    std::string etag = part.etag;
    uint64_t crc = auth::Crc64(part.data.data(), part.data.size());
    part.crc64 = crc;
    int64_t lm = part.lastModified;
    if (!store.PutPart(c.Param("uploadId"), number, std::move(part)))
        return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");
    Answer a;
    if (copy) {
        a.Set("Content-Type", "application/xml");
        a.body = "<CopyPartResult>" + Elem("ETag", "\"" + etag + "\"") + Elem("LastModified", IsoTime(lm)) +
                 "</CopyPartResult>";
    } else {
        a.Set("ETag", "\"" + etag + "\"");
        a.Set("x-zid-hash-crc64ecma", std::to_string(crc));
    }
    return a;
}

Answer LocalService::Impl::CompleteUpload(Call& c) {
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("CompleteMultipartUpload");
    if (!root) return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    std::vector<std::pair<uint64_t, std::string>> list;
    for (auto* p = root->first_node("Part"); p; p = p->next_sibling("Part")) {
        uint64_t n = 0;
        bool hasEtag = false;
        std::string etag = ChildText(p, "ETag", &hasEtag);
        if (!ParseUint(Trim(ChildText(p, "PartNumber")), &n) || !hasEtag)
            return Error(c, 400, "MalformedXML", "Each Part needs a PartNumber and an ETag.");
        list.emplace_back(n, Unquote(Trim(etag)));
    }
    OpenUpload upload;
    if (!store.GetUpload(c.Param("uploadId"), &upload) || upload.bucket != c.bucket || upload.key != c.key)
        return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");
    std::string message;
    std::string code = store.TakeUpload(c.Param("uploadId"), list, &message, &upload);
    if (!code.empty()) return Error(c, code == "NoSuchUpload" ? 404 : 400, code, message);

    std::string data, md5s;
    uint64_t crc = 0;
    size_t total = 0;
    for (const auto& p : upload.parts) total += p.second.data.size();
    ReserveBytes(&data, total);
    for (auto& p : upload.parts) {
        data += p.second.data;
        md5s += RawOfHexDigest(p.second.etag);
        crc = auth::Crc64Combine(crc, p.second.crc64, p.second.data.size());
        std::string().swap(p.second.data);
    }
    std::string etag = auth::Md5Hex(md5s) + "-" + std::to_string(upload.parts.size());
    auto obj = store.Put(c.bucket, c.key, std::move(data), upload.meta, etag, crc);
    if (!obj) return GoneBucket(c);
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.Set("x-zid-hash-crc64ecma", std::to_string(obj->crc64));
    a.body = "<CompleteMultipartUploadResult>" + Elem("Location", StripPort(c.host) + "/" + c.key) +
             Elem("Bucket", c.bucket) + Elem("Key", c.key) + Elem("ETag", "\"" + etag + "\"") +
             "</CompleteMultipartUploadResult>";
    return a;
}

Answer LocalService::Impl::ListParts(Call& c) {
    OpenUpload upload;
    if (!store.GetUpload(c.Param("uploadId"), &upload) || upload.bucket != c.bucket || upload.key != c.key)
        return Error(c, 404, "NoSuchUpload", "The specified upload does not exist.");
    uint64_t marker = 0, maxParts = 1000;
    if (c.Has("part-number-marker") && !ParseUint(c.Param("part-number-marker"), &marker))
        return Error(c, 400, "InvalidArgument", "part-number-marker must be a number.");
    if (c.Has("max-parts") && (!ParseUint(c.Param("max-parts"), &maxParts) || maxParts == 0))
        return Error(c, 400, "InvalidArgument", "max-parts must be a positive number.");
    std::string owner = "<ID>zid::owner/" + Xml(c.accessKey) + "</ID><DisplayName>" + Xml(c.accessKey) + "</DisplayName>";
    std::string body = "<ListPartsResult>" + Elem("Bucket", c.bucket) + Elem("Key", c.key) +
                       Elem("UploadId", upload.uploadId) + "<Initiator>" + owner + "</Initiator><Owner>" + owner +
                       "</Owner>" + Elem("PartNumberMarker", std::to_string(marker));
    uint64_t count = 0, next = marker;
    bool truncated = false;
    for (const auto& p : upload.parts) {
        if (p.first <= marker) continue;
        if (count == maxParts) {
            truncated = true;
            break;
        }
        body += "<Part>" + Elem("PartNumber", std::to_string(p.first)) +
                Elem("LastModified", IsoTime(p.second.lastModified)) + Elem("ETag", "\"" + p.second.etag + "\"") +
                Elem("Size", std::to_string(p.second.size)) + "</Part>";
        next = p.first;
        ++count;
    }
    body += Elem("NextPartNumberMarker", std::to_string(next)) + Elem("StorageClass", "STANDARD") +
            Elem("MaxParts", std::to_string(maxParts)) + Elem("IsTruncated", truncated ? "true" : "false") +
            "</ListPartsResult>";
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

Answer LocalService::Impl::ListUploads(Call& c) {
    std::string prefix = c.Param("prefix"), keyMarker = c.Param("key-marker"),
                idMarker = c.Param("upload-id-marker"), delimiter = c.Param("delimiter");
    uint64_t maxUploads = 1000;
    if (c.Has("max-uploads") && (!ParseUint(c.Param("max-uploads"), &maxUploads) || maxUploads == 0))
        return Error(c, 400, "InvalidArgument", "max-uploads must be a positive number.");
    std::string owner = "<ID>zid::owner/" + Xml(c.accessKey) + "</ID><DisplayName>" + Xml(c.accessKey) + "</DisplayName>";
    std::string items, prefixes;
    std::set<std::string> seenPrefixes;
    uint64_t count = 0;
    bool truncated = false;
    std::string nextKey, nextId;
    auto uploads = store.ListUploads(c.bucket);
    // The marker pair (key, upload id) is exclusive; an id marker counts only with its key.
    bool passedMarker = keyMarker.empty();
    for (const auto& u : uploads) {
        if (!passedMarker) {
            if (u.key < keyMarker) continue;
            if (u.key == keyMarker) {
                if (idMarker.empty()) continue;
                if (u.uploadId == idMarker) {
                    passedMarker = true;
                    continue;
                }
                continue;
            }
            passedMarker = true;
        }
        if (u.key.compare(0, prefix.size(), prefix) != 0) continue;
        if (count == maxUploads) {
            truncated = true;
            break;
        }
        if (!delimiter.empty()) {
            size_t d = u.key.find(delimiter, prefix.size());
            if (d != std::string::npos) {
                std::string cp = u.key.substr(0, d + delimiter.size());
                if (seenPrefixes.insert(cp).second) {
                    prefixes += "<CommonPrefixes>" + Elem("Prefix", cp) + "</CommonPrefixes>";
                    ++count;
                }
                nextKey = u.key;
                nextId = u.uploadId;
                continue;
            }
        }
        items += "<Upload>" + Elem("Key", u.key) + Elem("UploadId", u.uploadId) + Elem("StorageClass", "STANDARD") +
                 "<Initiator>" + owner + "</Initiator><Owner>" + owner + "</Owner>" +
                 Elem("Initiated", IsoTime(u.initiated)) + "</Upload>";
        nextKey = u.key;
        nextId = u.uploadId;
        ++count;
    }
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = "<ListMultipartUploadsResult>" + Elem("Bucket", c.bucket) + Elem("KeyMarker", keyMarker) +
             Elem("UploadIdMarker", idMarker) + Elem("NextKeyMarker", truncated ? nextKey : "") +
             Elem("NextUploadIdMarker", truncated ? nextId : "") + Elem("MaxUploads", std::to_string(maxUploads)) +
             Elem("IsTruncated", truncated ? "true" : "false") + Elem("Prefix", prefix) +
             Elem("Delimiter", delimiter) + items + prefixes + "</ListMultipartUploadsResult>";
    return a;
}

}  // namespace zid_local
