#include "request/BucketReq.h"

#include <stdexcept>

#include "util/StringUtil.h"

namespace zuzezi_zid {

BucketReq::BucketReq(const std::string& bucket_name)
    : m_bucket_name(CheckedBucketName(bucket_name)) {}

BucketReq::BucketReq(const std::string& bucket_name, RegionalProcessing)
    : m_bucket_name(CheckedBucketName(bucket_name, true)) {}

BucketReq::BucketReq(const std::string& bucket_name, const char* method, const char* sub_resource)
    : BucketReq(bucket_name) {
    SetMethod(method);
    SetPath("/");
    if (sub_resource) {
        AddParam(sub_resource, "");
    }
}

bool BucketReq::GenerateRequestBody(std::string* /*body*/) const { return true; }

}  // namespace zuzezi_zid
