#include "response/BucketResp.h"

#include "response/XmlTable.h"

namespace zuzezi_zid {

using namespace xml;

namespace {

const char* const kUnknownField = "Unknown field, field_name=%s, xml_body=%s";
const char* const kUnknownInContent = "Unknown field in content node, field_name=%s, xml_body=%s";

Table<Owner> OwnerTable(const char* unknown_fmt) {
    return {{{"ID", Text(&Owner::m_id)}, {"DisplayName", Text(&Owner::m_display_name)}},
            Unknown::kWarn,
            unknown_fmt};
}

}  // namespace

bool GetBucketResp::ParseFromXmlString(const std::string& body) {
    // Only the owner's id is listed per object.
    static const Table<Content> kOwner{{{"ID", Append(&Content::m_owner_ids)}}, Unknown::kSkip};
    static const Table<Content> kContent{{{"Key", Text(&Content::m_key)},
                                          {"LastModified", Text(&Content::m_last_modified)},
                                          {"ETag", Unquoted(&Content::m_etag)},
                                          {"Size", Text(&Content::m_size)},
                                          {"StorageClass", Text(&Content::m_storage_class)},
                                          {"Owner", Children(kOwner)}},
                                         Unknown::kWarn,
                                         kUnknownInContent};
    using R = GetBucketResp;
    static const Table<R> kRoot{{{"Name", Text(&R::m_name)},
                                 {"EncodingType", Text(&R::m_encoding_type)},
                                 {"NextMarker", Text(&R::m_next_marker)},
                                 {"Delimiter", Text(&R::m_delimiter)},
                                 {"Prefix", Text(&R::m_prefix)},
                                 {"Marker", Text(&R::m_marker)},
                                 {"MaxKeys", Number(&R::m_max_keys)},
                                 {"IsTruncated", Flag(&R::m_is_truncated)},
                                 {"CommonPrefixes", AppendEachChild(&R::m_common_prefixes)},
                                 {"Contents", AppendRecord(&R::m_contents, kContent)}},
                                Unknown::kWarn,
                                kUnknownField};
    return ReadDocument(body, "ListBucketResult", "Miss root node=kGetBucketRoot, xml_body=%s",
                        ZID_LOG_SITE, *this, kRoot);
}

bool ListMultipartUploadResp::ParseFromXmlString(const std::string& body) {
    // One record per Initiator or Owner element, holding both of its children.
    static const Table<Owner> kInitiator =
        OwnerTable("Unknown field in KListMultipartUploadInitiator node.");
    static const Table<Owner> kOwner = OwnerTable("Unknown field in KListMultipartUploadOwner node.");
    static const Table<Upload> kUpload{{{"Key", Text(&Upload::m_key)},
                                        {"UploadId", Text(&Upload::m_upload_id)},
                                        {"StorageClass", Text(&Upload::m_storage_class)},
                                        {"Initiator", AppendRecord(&Upload::m_initiator, kInitiator)},
                                        {"Owner", AppendRecord(&Upload::m_owner, kOwner)},
                                        {"Initiated", Text(&Upload::m_initiated)}},
                                       Unknown::kWarn,
                                       kUnknownInContent};
    using R = ListMultipartUploadResp;
    static const Table<R> kRoot{{{"Bucket", Text(&R::m_bucket)},
                                 {"EncodingType", Text(&R::m_encoding_type)},
                                 {"KeyMarker", Text(&R::m_key_marker)},
                                 {"UploadIdMarker", Text(&R::m_upload_id_marker)},
                                 {"NextKeyMarker", Text(&R::m_next_key_marker)},
                                 {"NextUploadIdMarker", Text(&R::m_next_upload_id_marker)},
                                 {"MaxUploads", Text(&R::m_max_uploads)},
                                 {"Delimiter", Text(&R::m_delimiter)},
                                 {"Prefix", Text(&R::m_prefix)},
                                 {"IsTruncated", Flag(&R::m_is_truncated)},
                                 {"CommonPrefixes", AppendEachChild(&R::m_common_prefixes)},
                                 {"Upload", AppendRecord(&R::m_uploads, kUpload)}},
                                Unknown::kWarn,
                                kUnknownField};
    return ReadDocument(body, "ListMultipartUploadsResult",
                        "Miss root node=kListMultipartUploadRoot, xml_body=%s", ZID_LOG_SITE, *this,
                        kRoot);
}

bool GetBucketObjectVersionsResp::ParseFromXmlString(const std::string& body) {
    using S = ZIDVersionSummary;
    static const Table<Owner> kOwner = OwnerTable("Unknown field in owner node, field_name=%s.");
    static const Table<S> kEntry{{{"Key", Text(&S::m_key)},
                                  {"VersionId", Text(&S::m_version_id)},
                                  {"IsLatest", Flag(&S::m_is_latest)},
                                  {"LastModified", Text(&S::m_last_modified)},
                                  {"Owner", Member(&S::m_owner, kOwner)},
                                  {"ETag", Unquoted(&S::m_etag)},
                                  {"Size", Number(&S::m_size)},
                                  {"StorageClass", Text(&S::m_storage_class)}},
                                 Unknown::kWarn,
                                 "Unknown field in DeleteMarker/Version node, field_name=%s."};
    static const S kDeleteMarker = [] {
        S entry;
        entry.m_is_delete_marker = true;
        return entry;
    }();
    using R = GetBucketObjectVersionsResp;
    static const Table<R> kRoot{
        {{"Name", Text(&R::m_name)},
         {"Prefix", Text(&R::m_prefix)},
         {"KeyMarker", Text(&R::m_key_marker)},
         {"VersionIdMarker", Text(&R::m_version_id_marker)},
         {"MaxKeys", Number(&R::m_max_keys)},
         {"IsTruncated", Flag(&R::m_is_truncated)},
         {"Encoding-Type", Text(&R::m_encoding_type)},
         {"NextKeyMarker", Text(&R::m_next_key_marker)},
         {"NextVersionIdMarker", Text(&R::m_next_version_id_marker)},
         {"DeleteMarker", AppendRecord(&R::m_summaries, kEntry, kDeleteMarker)},
         {"Version", AppendRecord(&R::m_summaries, kEntry)}},
        Unknown::kWarn,
        "Unknown field in ListVersionsResult node, field_name=%s."};
    return ReadDocument(body, "ListVersionsResult", "Miss root node=ListVersionsResult, xml_body=%s",
                        ZID_LOG_SITE, *this, kRoot);
}

bool ListLiveChannelResp::ParseFromXmlString(const std::string& body) {
    static const Table<LiveChannel> kChannel{{{"Name", Text(&LiveChannel::m_name)},
                                              {"LastModified", Text(&LiveChannel::m_last_modified)}},
                                             Unknown::kStop,
                                             "Unknown field in LiveChannel, field_name=%s"};
    using R = ListLiveChannelResp;
    static const Table<R> kRoot{{{"MaxKeys", Text(&R::m_max_keys)},
                                 {"Marker", Text(&R::m_marker)},
                                 {"Prefix", Text(&R::m_prefix)},
                                 {"IsTruncated", Text(&R::m_is_truncated)},
                                 {"NextMarker", Text(&R::m_next_marker)},
                                 {"LiveChannel", AppendRecord(&R::m_live_channels, kChannel)}},
                                Unknown::kStop,
                                "Unknown field in ListLiveChannelResult, field_name=%s"};
    return ReadDocument(body, "ListLiveChannelResult",
                        "Missing root node ListLiveChannelResult, xml_body=%s", ZID_LOG_SITE, *this,
                        kRoot);
}

}  // namespace zuzezi_zid
