#include "response/BucketResp.h"

#include "response/XmlBodyReader.h"
#include "util/LogUtil.h"

namespace zuzezi_zid {

using X = XmlBodyReader;

bool ListMultipartUploadResp::ParseFromXmlString(const std::string& body) {
    ZID_XML_ROOT_OR_FAIL(xml, root, body, "ListMultipartUploadsResult",
                         "Parse string to xml doc error, xml_body=%s",
                         "Miss root node=kListMultipartUploadRoot, xml_body=%s");
    ZID_FOR_EACH_CHILD(node, root) {
        if (X::AssignText(node, {{"Bucket", &m_bucket},
                                 {"EncodingType", &m_encoding_type},
                                 {"KeyMarker", &m_key_marker},
                                 {"UploadIdMarker", &m_upload_id_marker},
                                 {"NextKeyMarker", &m_next_key_marker},
                                 {"NextUploadIdMarker", &m_next_upload_id_marker},
                                 {"MaxUploads", &m_max_uploads},
                                 {"Delimiter", &m_delimiter},
                                 {"Prefix", &m_prefix}})) {
            continue;
        }
        if (X::Is(node, "IsTruncated")) {
            m_is_truncated = X::Flag(node);
        } else if (X::Is(node, "CommonPrefixes")) {
            ZID_FOR_EACH_CHILD(prefix, node) { m_common_prefixes.push_back(X::Text(prefix)); }
        } else if (X::Is(node, "Upload")) {
            Upload upload;
            ZID_FOR_EACH_CHILD(field, node) {
                if (X::AssignText(field, {{"Key", &upload.m_key},
                                          {"UploadId", &upload.m_upload_id},
                                          {"StorageClass", &upload.m_storage_class},
                                          {"Initiated", &upload.m_initiated}})) {
                    continue;
                }
                const bool is_initiator = X::Is(field, "Initiator");
                if (is_initiator || X::Is(field, "Owner")) {
                    // One record per Initiator/Owner element, holding both of its children.
                    Owner owner;
                    ZID_FOR_EACH_CHILD(id, field) {
                        if (X::AssignText(id, {{"ID", &owner.m_id},
                                               {"DisplayName", &owner.m_display_name}})) {
                            continue;
                        }
                        if (is_initiator) {
                            ZID_LOG_WARN("Unknown field in KListMultipartUploadInitiator node.");
                        } else {
                            ZID_LOG_WARN("Unknown field in KListMultipartUploadOwner node.");
                        }
                    }
                    (is_initiator ? upload.m_initiator : upload.m_owner).push_back(owner);
                } else {
                    ZID_LOG_WARN("Unknown field in content node, field_name=%s, xml_body=%s",
                                 X::Name(field).c_str(), body.c_str());
                }
            }
            m_uploads.push_back(upload);
        } else {
            ZID_LOG_WARN("Unknown field, field_name=%s, xml_body=%s", X::Name(node).c_str(),
                         body.c_str());
        }
    }
    return true;
}

}  // namespace zuzezi_zid
