#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "request/BaseReq.h"

namespace zuzezi_zid {

class TransferHandler;

class BaseResp {
public:
    BaseResp() = default;
    BaseResp(const BaseResp& other) { AssignFrom(other); }
    BaseResp& operator=(const BaseResp& other) {
        AssignFrom(other);
        return *this;
    }
    virtual ~BaseResp() = default;

    // Headers in map order, one "name = value" line each, then the body.
    virtual std::string DumpText() const;
    virtual void ParseFromHeaders(const std::map<std::string, std::string>& headers);
    // Stores the body; subclasses read their own fields out of it.
    virtual bool ParseFromXmlString(const std::string& body);

    void SetHeaders(const std::map<std::string, std::string>& headers) { m_headers = headers; }
    std::map<std::string, std::string> GetHeaders() const { return m_headers; }
    void SetBody(const std::string& body) { m_body = body; }
    const std::string& GetBody() const { return m_body; }

    // Exact name first; a proxy may have lower-cased the names, so any spelling is taken next.
    std::string GetHeader(const std::string& name) const;
    std::string GetXZidRequestId() const { return GetHeader("x-zid-request-id"); }
    std::string GetXZidHashCrc64Ecma() const { return GetHeader("x-zid-hash-crc64ecma"); }
    std::string GetLastModified() const { return GetHeader("Last-Modified"); }
    uint64_t GetContentLength() const;
    // True when a Content-Length header is present and made of digits only.
    bool HasNumericContentLength() const;
    void SetContentLength(uint64_t length);
    // Without its enclosing quotes.
    std::string GetEtag() const;
    void SetEtag(const std::string& etag) { m_headers["ETag"] = etag; }

    // Copy only the BaseResp part; a subclass keeps its own fields.
    void CopyFrom(const BaseResp& other) { AssignFrom(other); }
    void AssignFrom(const BaseResp& other);

    // Shared by the object and bucket ACL responses; appends to *acl.
    static bool ParseFromACLXMLString(const std::string& body, std::string* owner_id,
                                      std::string* owner_display_name, std::vector<Grant>* acl);

private:
    std::map<std::string, std::string> m_headers;
    std::string m_body;
};

// The answer an asynchronous transfer left in its handler.
class AsyncResp : public BaseResp {
public:
    explicit AsyncResp(const std::shared_ptr<TransferHandler>& handler);
};

}  // namespace zuzezi_zid
