#include "request/ObjectReq.h"

#include <stdexcept>

#include "ClientSettings.h"
#include "request/XmlBodyWriter.h"
#include "util/FileUtil.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

// "./" + key, but a key with ".." pieces must not name a file outside the
// working folder: such keys are folded, and ".." never climbs above it.
std::string DefaultLocalPath(const std::string& object_name) {
    std::vector<std::string> pieces;
    bool has_parent_ref = false;
    size_t start = 0;
    while (start <= object_name.size()) {
        size_t slash = object_name.find('/', start);
        if (slash == std::string::npos) {
            slash = object_name.size();
        }
        const std::string piece = object_name.substr(start, slash - start);
        if (piece == "..") {
            has_parent_ref = true;
            if (!pieces.empty()) {
                pieces.pop_back();
            }
        } else if (!piece.empty() && piece != ".") {
            pieces.push_back(piece);
        }
        start = slash + 1;
    }
    if (!has_parent_ref) {
        return "./" + object_name;
    }
    std::string path = ".";
    for (const auto& piece : pieces) {
        path += "/" + piece;
    }
    return path;
}

std::string UnquoteEtag(const std::string& etag) {
    return StringUtil::StripSuffix(StringUtil::StripPrefix(etag, "\""), "\"");
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && StringUtil::HasPrefixIgnoreCase(a, b);
}

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
    for (const char* candidate : names) {
        if (EqualsIgnoreCase(name, candidate)) {
            return true;
        }
    }
    return false;
}

}  // namespace

ObjectReq::ObjectReq(const std::string& bucket_name, const std::string& object_name)
    : m_bucket_name(CheckedBucketName(bucket_name)) {
    SetObjectName(object_name);
}

ObjectReq::ObjectReq(const std::string& bucket_name, const std::string& object_name,
                     RegionalProcessing)
    : m_bucket_name(CheckedBucketName(bucket_name, true)) {
    SetObjectName(object_name);
}

ObjectReq::ObjectReq(const std::string& bucket_name, const std::string& object_name,
                     const char* method, const char* sub_resource)
    : ObjectReq(bucket_name, object_name) {
    SetMethod(method);
    if (sub_resource) {
        AddParam(sub_resource, "");
    }
}

void ObjectReq::SetObjectName(const std::string& object_name) {
    m_object_name = StringUtil::HasPrefix(object_name, "/") ? object_name.substr(1) : object_name;
    SetPath("/" + m_object_name);
}

void ObjectReq::SetExactObjectName(const std::string& object_name) {
    m_object_name = object_name;
    SetPath("/" + m_object_name);
}

GetObjectByFileReq::GetObjectByFileReq(const std::string& bucket_name,
                                       const std::string& object_name,
                                       const std::string& local_file_path)
    : GetObjectReq(bucket_name, object_name),
      m_local_file_path(local_file_path.empty() ? DefaultLocalPath(object_name) : local_file_path) {}

PutObjectByFileReq::PutObjectByFileReq(const std::string& bucket_name,
                                       const std::string& object_name,
                                       const std::string& local_file_path)
    : PutObjectReq(bucket_name, object_name),
      m_local_file_path(local_file_path.empty() ? DefaultLocalPath(object_name) : local_file_path) {}

int64_t PutObjectByFileReq::GetLocalFileSize() const {
    return FileUtil::GetFileLength(m_local_file_path);
}

UploadPartDataReq::UploadPartDataReq(const std::string& bucket_name,
                                     const std::string& object_name, const std::string& upload_id,
                                     std::istream& in)
    : ObjectReq(bucket_name, object_name, "PUT"), m_in(&in), m_upload_id(upload_id) {}

UploadPartCopyDataReq::UploadPartCopyDataReq(const std::string& bucket_name,
                                             const std::string& object_name,
                                             const std::string& upload_id, uint64_t part_number)
    : ObjectReq(bucket_name, object_name, "PUT"), m_upload_id(upload_id), m_part_number(part_number) {}

CompleteMultiUploadReq::CompleteMultiUploadReq(const std::string& bucket_name,
                                               const std::string& object_name,
                                               const std::string& upload_id)
    : ObjectReq(bucket_name, object_name, "POST"), m_upload_id(upload_id) {}

bool CompleteMultiUploadReq::GenerateRequestBody(std::string* body) const {
    if (m_part_numbers.size() != m_etags.size()) {
        return false;
    }
    XmlBodyWriter xml;
    auto* root = xml.Root("CompleteMultipartUpload");
    for (size_t i = 0; i < m_part_numbers.size(); ++i) {
        auto* part = xml.Add(root, "Part");
        xml.Add(part, "PartNumber", StringUtil::FormatUint64(m_part_numbers[i]));
        xml.Add(part, "ETag", UnquoteEtag(m_etags[i]));
    }
    xml.PrintTo(body);
    return true;
}

AbortMultiUploadReq::AbortMultiUploadReq(const std::string& bucket_name,
                                         const std::string& object_name,
                                         const std::string& upload_id)
    : ObjectReq(bucket_name, object_name, "DELETE"), m_upload_id(upload_id) {}

ListPartsReq::ListPartsReq(const std::string& bucket_name, const std::string& object_name,
                           const std::string& upload_id)
    : ObjectReq(bucket_name, object_name, "GET") {
    AddParam("uploadId", upload_id);
}

CopyReq::CopyReq(const std::string& bucket_name, const std::string& object_name)
    : ObjectReq(bucket_name, object_name),
      m_part_size(ClientSettings::GetUploadCopyPartSize()),
      m_thread_pool_size(ClientSettings::GetUploadThreadPoolSize()) {}

std::map<std::string, std::string> CopyReq::GetInitHeader() const {
    std::map<std::string, std::string> kept;
    for (const auto& header : GetHeaders()) {
        if (IsOneOf(header.first, {"Cache-Control", "Content-Disposition", "Content-Encoding",
                                   "Content-Type", "Expires", "x-zid-storage-class", "x-zid-acl",
                                   "x-zid-grant-read", "x-zid-grant-write",
                                   "x-zid-grant-full-control"}) ||
            StringUtil::HasPrefixIgnoreCase(header.first, "x-zid-meta-")) {
            kept.insert(header);
        }
    }
    return kept;
}

std::map<std::string, std::string> CopyReq::GetPartCopyHeader() const {
    std::map<std::string, std::string> kept;
    for (const auto& header : GetHeaders()) {
        if (IsOneOf(header.first,
                    {"x-zid-copy-source", "x-zid-copy-source-If-Modified-Since",
                     "x-zid-copy-source-If-Unmodified-Since", "x-zid-copy-source-If-Match",
                     "x-zid-copy-source-If-None-Match"})) {
            kept.insert(header);
        }
    }
    return kept;
}

DeleteObjectsReq::DeleteObjectsReq(const std::string& bucket_name)
    : ObjectReq(bucket_name, "", "POST", "delete") {}

bool DeleteObjectsReq::GenerateRequestBody(std::string* body) const {
    XmlBodyWriter xml;
    auto* root = xml.Root("Delete");
    xml.Add(root, "Quiet", m_is_quiet ? "true" : "false");
    for (const auto& object : m_objects) {
        auto* node = xml.Add(root, "Object");
        xml.Add(node, "Key", object.first);
        if (!object.second.empty()) {
            xml.Add(node, "VersionId", object.second);
        }
    }
    xml.PrintTo(body);
    return true;
}

bool PutObjectACLReq::GenerateRequestBody(std::string* body) const {
    return GenerateAclRequestBody(m_owner, m_acl, body);
}

bool PutObjectTaggingReq::GenerateRequestBody(std::string* body) const {
    XmlBodyWriter xml;
    auto* root = xml.Root("Tagging");
    auto* tag_set = xml.Add(root, "TagSet");
    for (const Tag& tag : m_tags) {
        auto* node = xml.Add(tag_set, "Tag");
        if (tag.HasKey()) {
            xml.Add(node, "Key", tag.GetKey());
        } else {
            ZID_LOG_ERR("PutBucketTagging need to set Key.");
        }
        if (tag.HasValue()) {
            xml.Add(node, "Value", tag.GetValue());
        } else {
            ZID_LOG_ERR("PutBucketTagging need to set Value.");
        }
    }
    xml.PrintTo(body);
    return true;
}

bool PostObjectRestoreReq::GenerateRequestBody(std::string* body) const {
    XmlBodyWriter xml;
    auto* root = xml.Root("RestoreRequest");
    xml.Add(root, "Days", StringUtil::FormatUint64(m_expiry_days));
    auto* params = xml.Add(root, "CASJobParameters");
    xml.Add(params, "Tier", m_tier);
    xml.PrintTo(body);
    return true;
}

GeneratePresignedUrlReq::GeneratePresignedUrlReq(const std::string& bucket_name,
                                                 const std::string& object_name, int method)
    : ObjectReq(bucket_name, object_name) {
    SetMethod(StringUtil::HttpMethodName(method));
    // Unlike the other requests the key is used as given, leading "/" included.
    SetPath("/" + object_name);
}

}  // namespace zuzezi_zid
