/// @file
/// The base of every response: the answer's headers and body, the header readers all
/// responses share, and the response an asynchronous transfer leaves behind.

#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/request/BaseReq.h"

namespace zuzezi_zid {

class TransferHandler;

/// What the service answered to one request: its headers and its body.
///
/// A call fills the response it is given from a 2xx answer; an error answer's status, code
/// and message are in the call's `ZidResult`, not in the response.
/// Subclasses add the fields of their own document, read by ParseFromXmlString() and
/// ParseFromHeaders().
class ZID_API BaseResp {
public:
    BaseResp() = default;
    /// Copies the headers and the body only (see AssignFrom()).
    BaseResp(const BaseResp& other) { AssignFrom(other); }
    /// Copies the headers and the body only; a subclass's own fields stay as they are.
    /// @return this response.
    BaseResp& operator=(const BaseResp& other) {
        AssignFrom(other);
        return *this;
    }
    virtual ~BaseResp() = default;

    /// The response as text, for logs.
    /// @return the headers in name order, one "name = value" line each, then the body.
    virtual std::string DumpText() const;
    /// Takes the answer's headers, replacing any held before; subclasses also read their
    /// header fields out of them. The call does this for you.
    /// @param headers the answer's headers, name to value.
    virtual void ParseFromHeaders(const std::map<std::string, std::string>& headers);
    /// Takes the answer's body; subclasses read their own document out of it. The call does
    /// this for you.
    /// @param body the answer's body.
    /// @return false when the body is not the document this response reads. The call then
    ///         fails when the body is an "Error" document, with that document's code and
    ///         message, and, when its answer must be a document, on any other body too,
    ///         with the body as its message. The base class always returns true.
    virtual bool ParseFromXmlString(const std::string& body);

    /// Replaces the held headers without reading any field out of them.
    /// @param headers name to value.
    void SetHeaders(const std::map<std::string, std::string>& headers) { m_headers = headers; }
    /// @return a copy of the answer's headers, name to value, names as the service sent them.
    std::map<std::string, std::string> GetHeaders() const { return m_headers; }
    /// Replaces the held body without parsing it.
    /// @param body the new body.
    void SetBody(const std::string& body) { m_body = body; }
    /// @return the answer's body as it arrived; "" for a body written to a file or stream.
    const std::string& GetBody() const { return m_body; }

    /// One header's value. The exact name is looked up first; a proxy may have changed
    /// the letter case, so any spelling of the name is taken next.
    /// @param name the header name, e.g. "Content-Type".
    /// @return its value, "" when the answer has no such header.
    std::string GetHeader(const std::string& name) const;
    /// @return the "x-zid-request-id" header, the id the service's support asks for; ""
    ///         when absent.
    std::string GetXZidRequestId() const { return GetHeader("x-zid-request-id"); }
    /// @return the "x-zid-hash-crc64ecma" header: the service's CRC-64/ECMA of the object,
    ///         as decimal digits; "" when absent.
    std::string GetXZidHashCrc64Ecma() const { return GetHeader("x-zid-hash-crc64ecma"); }
    /// @return the "Last-Modified" header as sent (an HTTP date); "" when absent.
    std::string GetLastModified() const { return GetHeader("Last-Modified"); }
    /// @return the "Content-Length" header in bytes; 0 when it is absent or not a number
    ///         (see HasNumericContentLength() to tell those from a real 0).
    uint64_t GetContentLength() const;
    /// @return true when a "Content-Length" header is present and made of digits only.
    bool HasNumericContentLength() const;
    /// Sets the "Content-Length" header.
    /// @param length in bytes.
    void SetContentLength(uint64_t length);
    /// @return the "ETag" header without its enclosing quotes; "" when absent.
    std::string GetEtag() const;
    /// Sets the "ETag" header as given (quotes included, if any).
    /// @param etag the new value.
    void SetEtag(const std::string& etag) { m_headers["ETag"] = etag; }

    /// Copies only the headers and the body; a subclass keeps its own fields.
    /// @param other the response to copy from.
    void CopyFrom(const BaseResp& other) { AssignFrom(other); }
    /// Same as CopyFrom(); copying a response onto itself changes nothing.
    /// @param other the response to copy from.
    void AssignFrom(const BaseResp& other);

    /// Reads an "AccessControlPolicy" document; shared by the object and bucket ACL
    /// responses. Unknown elements are logged as warnings and skipped.
    /// @param body the document.
    /// @param owner_id receives "Owner/ID".
    /// @param owner_display_name receives "Owner/DisplayName".
    /// @param acl each "AccessControlList/Grant" is appended to it.
    /// @return false, with nothing read and an error logged, when the body is not XML or
    ///         its root is not "AccessControlPolicy".
    static bool ParseFromACLXMLString(const std::string& body, std::string* owner_id,
                                      std::string* owner_display_name, std::vector<Grant>* acl);

private:
    std::map<std::string, std::string> m_headers;
    std::string m_body;
};

/// The answer an asynchronous transfer left in its handler: its headers and body, for
/// reading after the transfer has ended.
class ZID_API AsyncResp : public BaseResp {
public:
    /// Copies the handler's response headers and body as they are now.
    /// @param handler the transfer's handler; with a null handler the response is empty.
    explicit AsyncResp(const std::shared_ptr<TransferHandler>& handler);
};

}  // namespace zuzezi_zid
