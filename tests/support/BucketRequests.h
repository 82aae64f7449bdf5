// Bucket requests as a caller writes them (include as "support/BucketRequests.h").
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include <Poco/Base64Encoder.h>
#include <Poco/DigestEngine.h>
#include <Poco/MD5Engine.h>

#include "request/BucketReq.h"

namespace zid_test {

// A configuration request: method, sub-resource and the body it generates, or a refusal
// to generate one.
class ConfigReq : public zuzezi_zid::BucketReq {
public:
    enum class Body { Written, Refused, Throws };
    ConfigReq(const char* method, const char* sub_resource, std::string body = "",
              Body outcome = Body::Written, const std::string& bucket = "bkt")
        : BucketReq(bucket, method, sub_resource), m_body(std::move(body)), m_outcome(outcome) {}
    bool GenerateRequestBody(std::string* body) const override {
        if (m_outcome == Body::Throws) throw std::runtime_error("generator broke");
        if (m_outcome == Body::Refused) return false;
        *body = m_body;
        return true;
    }

private:
    std::string m_body;
    Body m_outcome;
};

// An inventory put for one id, with the body it generates.
class InventoryPutReq : public zuzezi_zid::PutBucketInventoryReq {
public:
    InventoryPutReq(const std::string& bucket, const std::string& id, std::string body)
        : PutBucketInventoryReq(bucket), m_body(std::move(body)) {
        SetId(id);
    }
    bool GenerateRequestBody(std::string* body) const override {
        *body = m_body;
        return true;
    }

private:
    std::string m_body;
};

// Base64 of the raw MD5 digest, computed apart from the client's own codecs.
inline std::string ContentMd5(const std::string& body) {
    Poco::MD5Engine md5;
    md5.update(body);
    const Poco::DigestEngine::Digest& digest = md5.digest();
    std::ostringstream out;
    Poco::Base64Encoder encoder(out);
    encoder.write(reinterpret_cast<const char*>(digest.data()), static_cast<std::streamsize>(digest.size()));
    encoder.close();
    return out.str();
}

}  // namespace zid_test
