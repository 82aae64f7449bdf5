/// @file
/// Answers of the object calls: uploads, downloads and HEAD, multipart uploads, copies,
/// access control, tagging, multiple deletes and directory uploads.

#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/Tag.h"
#include "zid/request/BaseReq.h"
#include "zid/response/BaseResp.h"
#include "zid/response/PolicyResp.h"

namespace zuzezi_zid {

/// One part of a multipart upload as ListPartsResp lists it (a "Part" element).
struct Part {
    uint64_t m_part_num = 0;      ///< "PartNumber", from 1.
    uint64_t m_size = 0;          ///< "Size" in bytes.
    std::string m_etag;           ///< "ETag", without its enclosing quotes.
    std::string m_last_modified;  ///< "LastModified", as the service wrote it.
};

/// One object a multiple delete removed (a "Deleted" element of DeleteObjectsResp).
struct DeletedInfo {
    std::string m_key;         ///< "Key".
    std::string m_version_id;  ///< "VersionId": the version removed.
    bool m_delete_marker = false;  ///< True when "DeleteMarker" is "true".
    std::string m_delete_marker_version_id;  ///< "DeleteMarkerVersionId".
};

/// One object a multiple delete could not remove (an "Error" element of DeleteObjectsResp).
struct ErrorInfo {
    std::string m_key;         ///< "Key".
    std::string m_code;        ///< "Code": the service's error code.
    std::string m_message;     ///< "Message": the service's explanation.
    std::string m_version_id;  ///< "VersionId".
};

// ---- plain answers ----------------------------------------------------------

/// The answer to an upload: headers only (GetEtag(), GetXZidHashCrc64Ecma()). A virtual
/// base, so a class that also derives from another response holds one BaseResp.
class PutObjectResp : public virtual BaseResp {};
/// The answer to an upload from a file.
class PutObjectByFileResp : public PutObjectResp {};
/// The answer to an upload from a stream.
class PutObjectByStreamResp : public PutObjectResp {};
/// The answer to the creation of a folder object.
class PutDirectoryResp : public PutObjectResp {};

/// The answer to an object's deletion: headers only.
class DeleteObjectResp : public BaseResp {};
/// The answer to a multipart upload's abort: headers only.
class AbortMultiUploadResp : public BaseResp {};
/// The answer to a part's upload: headers only; GetEtag() is the part's ETag that the
/// completion lists.
class UploadPartDataResp : public BaseResp {};

/// Object type and "x-zid-meta-*" headers, shared by GET and HEAD.
class ZID_API ObjectMetaResp : public BaseResp {
public:
    /// Takes the headers, then reads "x-zid-object-type" and every "x-zid-meta-*" header;
    /// the names are matched in any letter case.
    /// @param headers the answer's headers.
    void ParseFromHeaders(const std::map<std::string, std::string>& headers) override;
    /// @return "x-zid-object-type" as sent; "" when absent.
    std::string GetObjectType() const { return m_object_type; }
    /// @return the user metadata: each "x-zid-meta-*" header's name without that prefix
    ///         (its letter case as it arrived) to its value. Valid while this response lives.
    const std::map<std::string, std::string>& GetXZidMetas() const { return m_xzid_metas; }
    /// One user metadata value.
    /// @param key the name without "x-zid-meta-", in the letter case it arrived in.
    /// @return its value; "" when there is none.
    std::string GetXZidMeta(const std::string& key) const;

private:
    std::string m_object_type;
    std::map<std::string, std::string> m_xzid_metas;
};

/// The answer to a download into a stream: the headers; the bytes went to the stream.
class GetObjectResp : public ObjectMetaResp {};
/// The answer to a download into a file: the headers; the bytes went to the file.
class GetObjectByFileResp : public GetObjectResp {};
/// The answer to a HEAD of an object: its headers, size (GetContentLength()) and metadata.
/// An object that does not exist gives a failed `ZidResult` with status 404.
class HeadObjectResp : public ObjectMetaResp {};

// ---- multipart --------------------------------------------------------------

/// The start of a multipart upload (an "InitiateMultipartUploadResult" document). A 2xx
/// answer that is not this document fails the call: an "Error" document with its code and
/// message, any other body with the body as its message.

class ZID_API InitMultiUploadResp : public BaseResp {
public:
    /// Reads "Bucket", "Key" and "UploadId"; other elements are skipped.
    /// @param body the "InitiateMultipartUploadResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return "Bucket", as the service names it.
    std::string GetBucket() const { return m_bucket; }
    /// @return "Key": the object being uploaded.
    std::string GetKey() const { return m_key; }
    /// @return "UploadId": what every part, the completion and the abort name; "" when the
    ///         answer held none.
    std::string GetUploadId() const { return m_upload_id; }

private:
    std::string m_bucket;
    std::string m_key;
    std::string m_upload_id;
};

/// The end of a multipart upload (a "CompleteMultipartUploadResult" document). A 2xx
/// answer that holds an "Error" document instead fails the call with that error's fields,
/// any other body that is not this document with the body as its message, and a document
/// without "ETag" with code "ServerError" and message "Complete Fail".

class ZID_API CompleteMultiUploadResp : public BaseResp {
public:
    /// Reads "Location", "Bucket", "Key" and "ETag"; other elements are skipped.
    /// @param body the "CompleteMultipartUploadResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return "Location": the object's URL.
    std::string GetLocation() const { return m_location; }
    /// @return "Bucket", as the service names it.
    std::string GetBucket() const { return m_bucket; }
    /// @return "Key".
    std::string GetKey() const { return m_key; }
    /// The parsed ETag, not the header's (this hides BaseResp::GetEtag()).
    /// @return "ETag" of the document, without its enclosing quotes.
    std::string GetEtag() const { return m_etag; }
    /// Sets the parsed ETag; the "ETag" header is left as it is.
    void SetEtag(const std::string& etag) { m_etag = etag; }
    /// Puts the parsed ETag into the header map too, so BaseResp::GetEtag() gives it.
    void AddEtagToHeader() { BaseResp::SetEtag(m_etag); }

private:
    std::string m_location;
    std::string m_bucket;
    std::string m_key;
    std::string m_etag;
};

/// Result of a whole multipart upload, filled from the response of the step that decided
/// it: the initiation when it failed, the completion when the upload succeeded, and, in
/// the single-thread resumable upload, the part upload that failed; other failures leave
/// it as it was. Its headers and body are that step's; after a completion GetEtag() is the
/// object's ETag.
class ZID_API MultipartResultResp : public BaseResp {
public:
    /// Takes the initiation's headers, body, bucket, key and upload id; kind "Init".
    void CopyFromInit(const InitMultiUploadResp& resp);
    /// Takes a part upload's headers and body; kind "Upload".
    void CopyFromUpload(const BaseResp& resp);
    /// Takes the completion's headers, body, location, bucket and key, and its parsed ETag
    /// as the "ETag" header; kind "Complete".
    void CopyFromComplete(const CompleteMultiUploadResp& resp);

    /// @return the object's URL after a completion; "" otherwise.
    std::string GetLocation() const { return m_location; }
    /// @return the bucket, as the service names it; "" until the initiation or completion.
    std::string GetBucket() const { return m_bucket; }
    /// @return the object key; "" until the initiation or completion.
    std::string GetKey() const { return m_key; }
    /// @return the upload id from the initiation; "" when the initiation was not taken.
    std::string GetUploadId() const { return m_upload_id; }
    /// @return "Init", "Upload" or "Complete": the step that filled this response last;
    ///         "" when none did.
    std::string GetRespKind() const { return m_resp_kind; }

protected:
    std::string m_location;   ///< See GetLocation().
    std::string m_bucket;     ///< See GetBucket().
    std::string m_key;        ///< See GetKey().
    std::string m_upload_id;  ///< See GetUploadId().
    std::string m_resp_kind;  ///< See GetRespKind().
};

/// The result of a multipart upload from a file (`ZidAPI::MultiUploadObject`), filled as
/// MultipartResultResp says.

class ZID_API MultiPutObjectResp : public MultipartResultResp {
public:
    /// Reads a "CompleteMultipartUploadResult" document: "Location", "Bucket", "Key", and
    /// "ETag" into the "ETag" header.
    /// @param body the document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
};

/// Result of the single-thread resumable upload; filled as MultipartResultResp says.
class ResumableUploadResp : public MultipartResultResp {};

/// One page of the parts uploaded so far (a "ListPartsResult" document). A 2xx answer
/// that is not this document fails the call: an "Error" document with its code and
/// message, any other body with the body as its message.

class ZID_API ListPartsResp : public BaseResp {
public:
    /// Reads the page; unknown elements are logged as warnings and skipped.
    /// @param body the "ListPartsResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;

    /// @return "Bucket", as the service names it.
    std::string GetBucket() const { return m_bucket; }
    /// @return "EncodingType" (or "Encoding-type"); "" for plain keys.
    std::string GetEncodingType() const { return m_encoding_type; }
    /// @return "Key".
    std::string GetKey() const { return m_key; }
    /// @return "UploadId".
    std::string GetUploadId() const { return m_upload_id; }
    /// @return "Initiator": who started the upload.
    Owner GetInitiator() const { return m_initiator; }
    /// @return "Owner": who will own the object.
    Owner GetOwner() const { return m_owner; }
    /// @return "PartNumberMarker": the part this page started after; 0 for the first page.
    uint64_t GetPartNumberMarker() const { return m_part_number_marker; }
    /// @return the "Part" entries in document order.
    std::vector<Part> GetParts() const { return m_parts; }
    /// @return "NextPartNumberMarker": the marker of the next page.
    uint64_t GetNextPartNumberMarker() const { return m_next_part_number_marker; }
    /// @return "StorageClass".
    std::string GetStorageClass() const { return m_storage_class; }
    /// @return "MaxParts": the most parts a page holds; 1000 when absent.
    uint64_t GetMaxParts() const { return m_max_parts; }
    /// @return true when "IsTruncated" is "true": more parts follow this page.
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

/// The answer to an object copy (a "CopyObjectResult" document). A 2xx answer that holds
/// an "Error" document instead fails the call with that error's fields, any other body
/// that is not this document with the body as its message.

class ZID_API PutObjectCopyResp : public BaseResp {
public:
    /// Reads "ETag", "LastModified", "VersionId" and "CRC64"; unknown elements are logged
    /// as warnings and skipped.
    /// @param body the "CopyObjectResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// The parsed ETag, not the header's (this hides BaseResp::GetEtag()).
    /// @return "ETag" of the document, without its enclosing quotes.
    std::string GetEtag() const { return m_etag; }
    /// @return "LastModified" of the document, as the service wrote it (this hides
    ///         BaseResp::GetLastModified()).
    std::string GetLastModified() const { return m_last_modified; }
    /// @return "VersionId" of the copy; "" when the bucket keeps no versions.
    std::string GetVersionId() const { return m_version_id; }
    /// @return "CRC64": the copy's CRC-64/ECMA, the text as written; "" when absent.
    std::string GetCrc64() const { return m_crc64; }

private:
    std::string m_etag;
    std::string m_last_modified;
    std::string m_version_id;
    std::string m_crc64;
};

/// The answer to a part copied from another object (a "CopyPartResult" document). A 2xx
/// answer that is not this document fails the call: an "Error" document with its code and
/// message, any other body with the body as its message.

class ZID_API UploadPartCopyDataResp : public BaseResp {
public:
    /// Reads "ETag" and "LastModified"; unknown elements are logged as warnings and
    /// skipped.
    /// @param body the "CopyPartResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the part's "ETag", without its enclosing quotes: what the completion lists.
    std::string GetEtag() const { return m_etag; }
    /// @return the part's "LastModified", as the service wrote it.
    std::string GetLastModified() const { return m_last_modified; }

private:
    std::string m_etag;
    std::string m_last_modified;
};

/// Result of a copy, which is either one object copy or a whole multipart copy, as
/// GetRespKind() tells. It is filled only when the copy succeeded; its headers and body are
/// then those of the object copy or of the completion.
class ZID_API CopyResp : public BaseResp {
public:
    /// Empties the copy's own fields; the headers and body stay.
    void Clear();
    /// Clears, then takes an object copy's headers, body, ETag (also as the "ETag"
    /// header), last modified and version id; kind "PutObjectCopy".
    void CopyFromPutObjectCopy(const PutObjectCopyResp& resp);
    /// Clears, then takes a completion's headers, body, location, bucket and key, and its
    /// ETag as the "ETag" header only; kind "Complete".
    void CopyFromComplete(const CompleteMultiUploadResp& resp);

    /// @return the object's URL after a multipart copy; "" otherwise.
    std::string GetLocation() const { return m_location; }
    /// @return the bucket after a multipart copy; "" otherwise.
    std::string GetBucket() const { return m_bucket; }
    /// @return the key after a multipart copy; "" otherwise.
    std::string GetKey() const { return m_key; }
    /// Set by an object copy only; after a multipart copy read BaseResp::GetEtag().
    /// @return the copy's ETag without quotes, or "".
    std::string GetEtag() const { return m_etag; }
    /// @return the copy's last modified time after an object copy; "" otherwise.
    std::string GetLastModified() const { return m_last_modified; }
    /// @return the copy's version id after an object copy; "" otherwise.
    std::string GetVersionId() const { return m_version_id; }
    /// @return "PutObjectCopy" or "Complete"; "" before either.
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

/// An object's owner and grants (an "AccessControlPolicy" document). A 2xx answer that is
/// not this document fails the call: an "Error" document with its code and message, any
/// other body with the body as its message.
class GetObjectACLResp : public AccessControlResp {};

/// An object's tags (a "Tagging" document). A 2xx answer that is not this document fails
/// the call: an "Error" document with its code and message, any other body with the body
/// as its message.
class GetObjectTaggingResp : public TagSetResp {};

/// The answer to a multiple delete (a "DeleteResult" document): what was removed and what
/// was not. The call succeeds when the answer arrived, even if some keys failed: check
/// GetErrorInfos().

class ZID_API DeleteObjectsResp : public BaseResp {
public:
    /// Reads each "Deleted" and "Error"; unknown elements are logged as warnings and
    /// skipped.
    /// @param body the "DeleteResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// @return the removed objects in document order; empty when the request asked for
    ///         the quiet answer.
    std::vector<DeletedInfo> GetDeletedInfos() const { return m_deleted_infos; }
    /// @return the objects not removed, with the service's code and message for each.
    std::vector<ErrorInfo> GetErrorInfos() const { return m_error_infos; }

private:
    std::vector<DeletedInfo> m_deleted_infos;
    std::vector<ErrorInfo> m_error_infos;
};

/// One entry per file or folder a directory upload sent, in the order sent. The upload
/// stops at the first failure; entries before it stay. Entries that are neither regular
/// files nor folders are skipped and get no entry.
class ZID_API PutObjectsByDirectoryResp : public BaseResp {
public:
    /// What one file or folder gave.
    struct PutResp {
        virtual ~PutResp() = default;
        std::string m_file_name;    ///< The local path, under the uploaded folder.
        std::string m_object_name;  ///< The key it was stored as.
        BaseResp m_resp;            ///< The headers and body of its upload's answer.
    };

    /// Appends an entry; the upload does this for each file or folder it sent.
    void AddPutResp(const PutResp& entry) { m_put_resps.push_back(entry); }
    /// @return the entries in the order sent; valid while this response lives.
    const std::vector<PutResp>& GetPutResps() const { return m_put_resps; }

private:
    std::vector<PutResp> m_put_resps;
};

}  // namespace zuzezi_zid
