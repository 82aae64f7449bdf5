#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "request/BaseReq.h"
#include "request/Tag.h"
#include "response/BaseResp.h"
#include "response/PolicyResp.h"

namespace zuzezi_zid {

// One part of a multipart upload as listed.
struct Part {
    uint64_t m_part_num = 0;
    uint64_t m_size = 0;
    std::string m_etag;  // without quotes
    std::string m_last_modified;
};

struct DeletedInfo {
    std::string m_key;
    std::string m_version_id;
    bool m_delete_marker = false;
    std::string m_delete_marker_version_id;
};

struct ErrorInfo {
    std::string m_key;
    std::string m_code;
    std::string m_message;
    std::string m_version_id;
};

// ---- plain answers ----------------------------------------------------------

// Virtual base so a class that also derives from another response holds one BaseResp.
class PutObjectResp : public virtual BaseResp {};
class PutObjectByFileResp : public PutObjectResp {};
class PutObjectByStreamResp : public PutObjectResp {};
class PutDirectoryResp : public PutObjectResp {};

class DeleteObjectResp : public BaseResp {};
class AbortMultiUploadResp : public BaseResp {};
class UploadPartDataResp : public BaseResp {};

// Object type and "x-zid-meta-*" headers, shared by GET and HEAD.
class ObjectMetaResp : public BaseResp {
public:
    void ParseFromHeaders(const std::map<std::string, std::string>& headers) override;
    std::string GetObjectType() const { return m_object_type; }
    const std::map<std::string, std::string>& GetXZidMetas() const { return m_xzid_metas; }
    std::string GetXZidMeta(const std::string& key) const;

private:
    std::string m_object_type;
    std::map<std::string, std::string> m_xzid_metas;
};

class GetObjectResp : public ObjectMetaResp {};
class GetObjectByFileResp : public GetObjectResp {};
class HeadObjectResp : public ObjectMetaResp {};

// ---- multipart --------------------------------------------------------------

class InitMultiUploadResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetBucket() const { return m_bucket; }
    std::string GetKey() const { return m_key; }
    std::string GetUploadId() const { return m_upload_id; }

private:
    std::string m_bucket;
    std::string m_key;
    std::string m_upload_id;
};

class CompleteMultiUploadResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetLocation() const { return m_location; }
    std::string GetBucket() const { return m_bucket; }
    std::string GetKey() const { return m_key; }
    // The parsed ETag, not the header's.
    std::string GetEtag() const { return m_etag; }
    void SetEtag(const std::string& etag) { m_etag = etag; }
    // Puts the parsed ETag into the header map too.
    void AddEtagToHeader() { BaseResp::SetEtag(m_etag); }

private:
    std::string m_location;
    std::string m_bucket;
    std::string m_key;
    std::string m_etag;
};

// Result of a whole multipart upload, filled from the response of the step
// that decided it: initiation, a part upload or the completion.
class MultipartResultResp : public BaseResp {
public:
    void CopyFromInit(const InitMultiUploadResp& resp);
    void CopyFromUpload(const BaseResp& resp);
    void CopyFromComplete(const CompleteMultiUploadResp& resp);

    std::string GetLocation() const { return m_location; }
    std::string GetBucket() const { return m_bucket; }
    std::string GetKey() const { return m_key; }
    std::string GetUploadId() const { return m_upload_id; }
    // "Init", "Upload" or "Complete": the step that filled this response last.
    std::string GetRespKind() const { return m_resp_kind; }

protected:
    std::string m_location;
    std::string m_bucket;
    std::string m_key;
    std::string m_upload_id;
    std::string m_resp_kind;
};

class MultiPutObjectResp : public MultipartResultResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
};

// Result of the single-thread resumable upload.
class ResumableUploadResp : public MultipartResultResp {};

class ListPartsResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;

    std::string GetBucket() const { return m_bucket; }
    std::string GetEncodingType() const { return m_encoding_type; }
    std::string GetKey() const { return m_key; }
    std::string GetUploadId() const { return m_upload_id; }
    Owner GetInitiator() const { return m_initiator; }
    Owner GetOwner() const { return m_owner; }
    uint64_t GetPartNumberMarker() const { return m_part_number_marker; }
    std::vector<Part> GetParts() const { return m_parts; }
    uint64_t GetNextPartNumberMarker() const { return m_next_part_number_marker; }
    std::string GetStorageClass() const { return m_storage_class; }
    uint64_t GetMaxParts() const { return m_max_parts; }
    bool IsTruncated() const { return m_is_truncated; }

private:
    std::string m_bucket;
    std::string m_encoding_type;
    std::string m_key;
    std::string m_upload_id;
    Owner m_initiator;
    Owner m_owner;
    uint64_t m_part_number_marker = 0;
    std::vector<Part> m_parts;
    uint64_t m_next_part_number_marker = 0;
    std::string m_storage_class;
    uint64_t m_max_parts = 1000;
    bool m_is_truncated = false;
};

// ---- copy -------------------------------------------------------------------

class PutObjectCopyResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetEtag() const { return m_etag; }  // the parsed one
    std::string GetLastModified() const { return m_last_modified; }
    std::string GetVersionId() const { return m_version_id; }
    std::string GetCrc64() const { return m_crc64; }

private:
    std::string m_etag;
    std::string m_last_modified;
    std::string m_version_id;
    std::string m_crc64;
};

class UploadPartCopyDataResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::string GetEtag() const { return m_etag; }
    std::string GetLastModified() const { return m_last_modified; }

private:
    std::string m_etag;
    std::string m_last_modified;
};

// Result of a copy, which is either one object copy or a whole multipart copy.
class CopyResp : public BaseResp {
public:
    void Clear();
    void CopyFromPutObjectCopy(const PutObjectCopyResp& resp);
    void CopyFromComplete(const CompleteMultiUploadResp& resp);

    std::string GetLocation() const { return m_location; }
    std::string GetBucket() const { return m_bucket; }
    std::string GetKey() const { return m_key; }
    std::string GetEtag() const { return m_etag; }  // set by an object copy only
    std::string GetLastModified() const { return m_last_modified; }
    std::string GetVersionId() const { return m_version_id; }
    // "PutObjectCopy" or "Complete".
    std::string GetRespKind() const { return m_resp_kind; }

private:
    std::string m_location;
    std::string m_bucket;
    std::string m_key;
    std::string m_etag;
    std::string m_last_modified;
    std::string m_version_id;
    std::string m_resp_kind;
};

// ---- access control, tagging, several objects -------------------------------

class GetObjectACLResp : public AccessControlResp {};

class GetObjectTaggingResp : public TagSetResp {};

class DeleteObjectsResp : public BaseResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    std::vector<DeletedInfo> GetDeletedInfos() const { return m_deleted_infos; }
    std::vector<ErrorInfo> GetErrorInfos() const { return m_error_infos; }

private:
    std::vector<DeletedInfo> m_deleted_infos;
    std::vector<ErrorInfo> m_error_infos;
};

// One entry per file or folder a directory upload handled.
class PutObjectsByDirectoryResp : public BaseResp {
public:
    struct PutResp {
        virtual ~PutResp() = default;
        std::string m_file_name;
        std::string m_object_name;
        BaseResp m_resp;
    };

    void AddPutResp(const PutResp& entry) { m_put_resps.push_back(entry); }
    const std::vector<PutResp>& GetPutResps() const { return m_put_resps; }

private:
    std::vector<PutResp> m_put_resps;
};

}  // namespace zuzezi_zid
