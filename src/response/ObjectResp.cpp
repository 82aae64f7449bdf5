#include "response/ObjectResp.h"

#include "response/XmlBodyReader.h"
#include "util/LogUtil.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

using X = XmlBodyReader;

namespace {

#define kParseError "Parse string to xml doc error, xml_body=%s"

}  // namespace

void ObjectMetaResp::ParseFromHeaders(const std::map<std::string, std::string>& headers) {
    BaseResp::ParseFromHeaders(headers);
    // Never destroyed: an answer may still be read on a transfer thread while the process exits.
    static const std::string& kMetaPrefix = *new const std::string("x-zid-meta-");
    static const std::string& kObjectType = *new const std::string("x-zid-object-type");
    for (const auto& header : headers) {
        // A proxy may have changed the letter case of the names.
        if (header.first.size() == kObjectType.size() &&
            StringUtil::HasPrefixIgnoreCase(header.first, kObjectType)) {
            m_object_type = header.second;
        } else if (StringUtil::HasPrefixIgnoreCase(header.first, kMetaPrefix)) {
            m_xzid_metas[header.first.substr(kMetaPrefix.size())] = header.second;
        }
    }
}

std::string ObjectMetaResp::GetXZidMeta(const std::string& key) const {
    auto it = m_xzid_metas.find(key);
    return it == m_xzid_metas.end() ? std::string() : it->second;
}

bool InitMultiUploadResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(xml, root, body, "InitiateMultipartUploadResult", kParseError,
                         "Miss root node=InitiateMultipartUploadResult, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        X::AssignText(node, {{"Bucket", &m_bucket}, {"Key", &m_key}, {"UploadId", &m_upload_id}});
    }
    return true;
}

bool CompleteMultiUploadResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(xml, root, body, "CompleteMultipartUploadResult",
                         "Parse string to xml doc error, xml_body=[%s]",
                         "Miss root node=CompleteMultipartUploadResult, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        if (X::Is(node, "ETag")) {
            SetEtag(X::Unquoted(node));
        } else {
            X::AssignText(node, {{"Location", &m_location}, {"Bucket", &m_bucket}, {"Key", &m_key}});
        }
    }
    return true;
}

bool MultiPutObjectResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(xml, root, body, "CompleteMultipartUploadResult", kParseError,
                         "Miss root node=CompleteMultipartUploadResult, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        if (X::Is(node, "ETag")) {
            BaseResp::SetEtag(X::Unquoted(node));
        } else {
            X::AssignText(node, {{"Location", &m_location}, {"Bucket", &m_bucket}, {"Key", &m_key}});
        }
    }
    return true;
}

void MultipartResultResp::CopyFromInit(const InitMultiUploadResp& resp) {
    m_resp_kind = "Init";
    AssignFrom(resp);
    m_upload_id = resp.GetUploadId();
    m_bucket = resp.GetBucket();
    m_key = resp.GetKey();
}

void MultipartResultResp::CopyFromUpload(const BaseResp& resp) {
    m_resp_kind = "Upload";
    AssignFrom(resp);
}

void MultipartResultResp::CopyFromComplete(const CompleteMultiUploadResp& resp) {
    m_resp_kind = "Complete";
    AssignFrom(resp);
    m_location = resp.GetLocation();
    m_bucket = resp.GetBucket();
    m_key = resp.GetKey();
    BaseResp::SetEtag(resp.GetEtag());
}

bool ListPartsResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(xml, root, body, "ListPartsResult", kParseError,
                         "Miss root node=ListPartsResult, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        const std::string name = X::Name(node);
        if (X::AssignText(node, {{"Bucket", &m_bucket},
                                 {"EncodingType", &m_encoding_type},
                                 {"Encoding-type", &m_encoding_type},
                                 {"Key", &m_key},
                                 {"UploadId", &m_upload_id},
                                 {"StorageClass", &m_storage_class}})) {
            continue;
        }
        if (name == "Initiator" || name == "Owner") {
            Owner* owner = name == "Owner" ? &m_owner : &m_initiator;
            ZID_FOR_EACH_CHILD(field, node) {
                if (!X::AssignText(field,
                                   {{"ID", &owner->m_id}, {"DisplayName", &owner->m_display_name}})) {
                    ZID_LOG_WARN("Unknown field in %s node, field_name=%s", name.c_str(),
                                 X::Name(field).c_str());
                }
            }
        } else if (name == "PartNumberMarker") {
            m_part_number_marker = X::Number(node);
        } else if (name == "NextPartNumberMarker") {
            m_next_part_number_marker = X::Number(node);
        } else if (name == "MaxParts") {
            m_max_parts = X::Number(node);
        } else if (name == "IsTruncated") {
            m_is_truncated = X::Flag(node);
        } else if (name == "Part") {
            Part part;
            ZID_FOR_EACH_CHILD(field, node) {
                if (X::Is(field, "PartNumber")) {
                    part.m_part_num = X::Number(field);
                } else if (X::Is(field, "Size")) {
                    part.m_size = X::Number(field);
                } else if (X::Is(field, "ETag")) {
                    part.m_etag = X::Unquoted(field);
                } else if (!X::AssignText(field, {{"LastModified", &part.m_last_modified}})) {
                    ZID_LOG_WARN("Unknown field in Part node, field_name=%s", X::Name(field).c_str());
                }
            }
            m_parts.push_back(part);
        } else {
            ZID_LOG_WARN("Unknown field in ListPartsResult node, field_name=%s", name.c_str());
        }
    }
    return true;
}

bool PutObjectCopyResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(xml, root, body, "CopyObjectResult", kParseError,
                         "Miss root node=CopyObjectResult, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        if (X::Is(node, "ETag")) {
            m_etag = X::Unquoted(node);
        } else if (!X::AssignText(node, {{"LastModified", &m_last_modified},
                                         {"VersionId", &m_version_id},
                                         {"CRC64", &m_crc64}})) {
            ZID_LOG_WARN("Unknown field in CopyObjectResult node, field_name=%s",
                         X::Name(node).c_str());
        }
    }
    return true;
}

bool UploadPartCopyDataResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(xml, root, body, "CopyPartResult", kParseError,
                         "Miss root node=CopyPartResult, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        if (X::Is(node, "ETag")) {
            m_etag = X::Unquoted(node);
        } else if (!X::AssignText(node, {{"LastModified", &m_last_modified}})) {
            ZID_LOG_WARN("Unknown field in CopyPartResult node, field_name=%s",
                         X::Name(node).c_str());
        }
    }
    return true;
}

void CopyResp::Clear() {
    for (std::string* field : {&m_location, &m_bucket, &m_key, &m_etag, &m_last_modified,
                               &m_version_id, &m_resp_kind}) {
        field->clear();
    }
}

void CopyResp::CopyFromPutObjectCopy(const PutObjectCopyResp& resp) {
    Clear();
    AssignFrom(resp);
    m_resp_kind = "PutObjectCopy";
    m_etag = resp.GetEtag();
    BaseResp::SetEtag(m_etag);
    m_last_modified = resp.GetLastModified();
    m_version_id = resp.GetVersionId();
}

void CopyResp::CopyFromComplete(const CompleteMultiUploadResp& resp) {
    Clear();
    AssignFrom(resp);
    m_resp_kind = "Complete";
    m_location = resp.GetLocation();
    m_bucket = resp.GetBucket();
    m_key = resp.GetKey();
    BaseResp::SetEtag(resp.GetEtag());
}

bool DeleteObjectsResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(xml, root, body, "DeleteResult", kParseError,
                         "Miss root node=DeleteResult, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        if (X::Is(node, "Deleted")) {
            DeletedInfo info;
            ZID_FOR_EACH_CHILD(field, node) {
                if (X::Is(field, "DeleteMarker")) {
                    info.m_delete_marker = X::Flag(field);
                } else if (!X::AssignText(field,
                                          {{"Key", &info.m_key},
                                           {"DeleteMarkerVersionId", &info.m_delete_marker_version_id},
                                           {"VersionId", &info.m_version_id}})) {
                    ZID_LOG_WARN("Unknown field in Deleted, field_name=%s", X::Name(field).c_str());
                }
            }
            m_deleted_infos.push_back(info);
        } else if (X::Is(node, "Error")) {
            ErrorInfo info;
            ZID_FOR_EACH_CHILD(field, node) {
                if (!X::AssignText(field, {{"Key", &info.m_key},
                                           {"Code", &info.m_code},
                                           {"Message", &info.m_message},
                                           {"VersionId", &info.m_version_id}})) {
                    ZID_LOG_WARN("Unknown field in Error, field_name=%s", X::Name(field).c_str());
                }
            }
            m_error_infos.push_back(info);
        } else {
            ZID_LOG_WARN("Unknown field in DeletResultnode, field_name=%s", X::Name(node).c_str());
        }
    }
    return true;
}

#undef kParseError

}  // namespace zuzezi_zid
