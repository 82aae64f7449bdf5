#include "request/BucketReq.h"

#include <stdexcept>

#include "util/StringUtil.h"

namespace zuzezi_zid {

BucketReq::BucketReq(const std::string& bucket_name) : m_bucket_name(bucket_name) {
    if (!StringUtil::IsValidBucketName(bucket_name)) {
        throw std::invalid_argument("Invalid bucket_name argument :" + bucket_name);
    }
}

bool BucketReq::GenerateRequestBody(std::string* /*body*/) const { return true; }

GetBucketReq::GetBucketReq(const std::string& bucket_name) : BucketReq(bucket_name) {
    SetMethod("GET");
    SetPath("/");
}

ListMultipartUploadReq::ListMultipartUploadReq(const std::string& bucket_name)
    : BucketReq(bucket_name) {
    SetMethod("GET");
    SetPath("/");
    AddParam("uploads", "");
}

}  // namespace zuzezi_zid
