#include "op/BaseOp.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <unordered_set>
#include <sstream>
#include <streambuf>

#include "ClientSettings.h"
#include "response/XmlBodyReader.h"
#include "trsf/TransferHandler.h"
#include "util/AuthTool.h"
#include "util/CodecUtil.h"
#include "util/DownloadAnswer.h"
#include "util/Crc64StreamBuf.h"
#include "util/HttpSender.h"
#include "util/LogUtil.h"
#include "util/RequestHead.h"
#include "util/SimpleDnsCache.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

namespace {

using HeaderMap = std::map<std::string, std::string>;

const char kInvalidConfig[] =
    "Invalid access_key secret_key or region, please check your configuration";
const char kSignFailed[] = "Generate auth str fail, check your access_key/secret_key.";

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Sets a header the client owns, dropping any spelling of it the caller added,
// so exactly one value travels and it is the one that was signed.
void SetOwnHeader(HeaderMap* headers, const std::string& name, const std::string& value) {
    for (auto it = headers->begin(); it != headers->end();) {
        if (it->first != name && EqualsIgnoreCase(it->first, name)) {
            it = headers->erase(it);
        } else {
            ++it;
        }
    }
    (*headers)[name] = value;
}

// CR, LF or NUL in a header would split the request head.
bool FindUnsafeHeader(const HeaderMap& headers, std::string* bad_name) {
    for (const auto& header : headers) {
        if (header.first.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
            header.second.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
            *bad_name = header.first;
            return true;
        }
    }
    return false;
}

std::string NormalisePath(const std::string& path) {
    return StringUtil::HasPrefix(path, "/") ? path : "/" + path;
}

// The request's own entries win over the operation's extras.
HeaderMap Merge(const HeaderMap& own, const HeaderMap& extra) {
    HeaderMap merged = own;
    merged.insert(extra.begin(), extra.end());
    return merged;
}

// The domain suffixes are whatever the host builder appends after the region.
std::string DomainSuffix(bool backup) {
    static const char kProbe[] = "b.zid.r";
    return ClientSettings::BuildBucketHost(0, "zid.r", "b", backup).substr(sizeof(kProbe) - 1);
}

// Never destroyed: a transfer thread may still resolve while the process exits.
SimpleDnsCache& DnsCache() {
    static auto* cache = new SimpleDnsCache(ClientSettings::GetDnsCacheSize(),
                                            ClientSettings::GetDnsCacheExpireSeconds());
    return *cache;
}

// Reads at most `limit` bytes of the caller's stream and counts them, so the
// body can never be longer than the Content-Length that was signed and a short
// stream is noticed.
class BoundedInputBuf : public std::streambuf {
public:
    BoundedInputBuf(std::istream& source, uint64_t limit) : m_source(source), m_left(limit) {}
    uint64_t Count() const { return m_count; }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) {
            return traits_type::to_int_type(*gptr());
        }
        if (m_left == 0) {
            return traits_type::eof();
        }
        const std::streamsize want =
            static_cast<std::streamsize>(std::min<uint64_t>(m_left, sizeof(m_buffer)));
        m_source.read(m_buffer, want);
        const std::streamsize got = m_source.gcount();
        if (got <= 0) {
            return traits_type::eof();
        }
        m_left -= static_cast<uint64_t>(got);
        m_count += static_cast<uint64_t>(got);
        setg(m_buffer, m_buffer, m_buffer + got);
        return traits_type::to_int_type(*gptr());
    }

private:
    std::istream& m_source;
    uint64_t m_left;
    uint64_t m_count = 0;
    char m_buffer[8192];
};

// Bytes from the stream's read position to its end; false when it cannot tell.
bool RemainingLength(std::istream& is, uint64_t* length, std::string* error) {
    if (is.fail()) {
        *error = "Upload stream is in a failed state";
        return false;
    }
    is.clear();  // an eof flag alone still lets the stream seek
    const std::istream::pos_type start = is.tellg();
    if (start == std::istream::pos_type(-1)) {
        is.clear();
        *error = "Upload stream length is unknown";
        return false;
    }
    is.seekg(0, std::ios::end);
    const std::istream::pos_type end = is.tellg();
    is.clear();
    is.seekg(start);
    if (end == std::istream::pos_type(-1) || end < start) {
        *error = "Upload stream length is unknown";
        return false;
    }
    *length = static_cast<uint64_t>(end - start);
    return true;
}

// What every action does before it sends: merge, check, add the client's own
// headers, sign, address. Returns the failure text, empty when ready.
struct Prepared {
    HeaderMap headers;
    HeaderMap params;
    std::string url;
};

std::string PrepareExchange(const BaseOp& op, const std::string& host, const std::string& path,
                            const BaseReq& req, const HeaderMap& extra_headers,
                            const HeaderMap& extra_params, const std::string& token_header,
                            const std::string* content_length, Prepared* ex) {
    // Sent as it is, the request line would read " / HTTP/1.1" and earn a bare 400.
    if (req.GetMethod().empty()) {
        return "The request has no HTTP method: set one with SetMethod() (\"GET\", \"PUT\", "
               "\"DELETE\", ...) before sending it";
    }
    ex->headers = Merge(req.GetHeaders(), extra_headers);
    ex->params = Merge(req.GetParams(), extra_params);
    std::string bad_name;
    if (FindUnsafeHeader(ex->headers, &bad_name)) {
        return "Invalid header name or value (CR, LF or NUL) in header: " + bad_name;
    }
    const ZidCredentials credentials = op.GetCredentials();
    const std::string fault =
        CredentialFault(credentials.access_key, credentials.security_token);
    if (!fault.empty()) {
        return "Refused: " + fault;
    }
    if (!credentials.security_token.empty()) {
        SetOwnHeader(&ex->headers, token_header, credentials.security_token);
    }
    SetOwnHeader(&ex->headers, "Host", op.GetHostHeader(host));
    if (content_length) {
        SetOwnHeader(&ex->headers, "Content-Length", *content_length);
    }
    std::unordered_set<std::string> not_signed;
    if (!req.SignHeaderHost()) {
        not_signed.insert("Host");
    }
    // The path that is signed must be the one that is sent.
    const std::string signed_path = NormalisePath(path);
    const std::string auth =
        AuthTool::SignFromNow(credentials.access_key, credentials.secret_key, req.GetMethod(),
                              signed_path, ex->headers, ex->params, not_signed);
    if (auth.empty()) {
        return kSignFailed;
    }
    SetOwnHeader(&ex->headers, "Authorization", auth);
    ex->url = op.GetRealUrl(host, signed_path, req.IsHttps(), false);
    const size_t host_start = ex->url.find("://") + 3;
    if (host_start >= ex->url.size() || ex->url[host_start] == '/') {
        return "No address for host " + host;
    }
    return "";
}

// Outcome of an answer that arrived. Returns true when it is a success the
// response may be filled from.
bool TakeStatus(int status, const HeaderMap& resp_headers, const std::string& resp_body,
                bool check_body, ZidResult* result) {
    result->SetHttpStatus(status);
    if (status < 200 || status > 299) {
        if (!result->ParseFromHttpResponse(resp_headers, resp_body)) {
            result->SetErrorMsg(resp_body);
        }
        if (result->GetXZidRequestId().empty()) {
            // A proxy may have changed the letter case of the name.
            BaseResp headers_only;
            headers_only.SetHeaders(resp_headers);
            result->SetXZidRequestId(headers_only.GetXZidRequestId());
        }
        return false;
    }
    if (check_body && result->ParseFromHttpResponse(resp_headers, resp_body)) {
        result->SetErrorMsg(resp_body);
        return false;
    }
    result->SetSucc();
    return true;
}

// A version or the answer's headers chosen by parameter leave the body the stored bytes; any
// other parameter may ask for them processed, and the object's CRC-64 does not describe that.
bool ServesStoredBytes(const HeaderMap& params) {
    return std::all_of(params.begin(), params.end(), [](const HeaderMap::value_type& p) {
        return p.first == "versionId" || p.first.compare(0, 9, "response-") == 0;
    });
}

// The caller's stream learns of a write that failed on its buffer; it may throw when asked to.
void MarkStreamBad(std::ostream& os) {
    try {
        os.setstate(std::ios::badbit);
    } catch (const std::ios_base::failure&) {
        // The transfer has already failed on that write.
    }
}

// A gateway or proxy in front of the service may refuse in a 2xx answer.
bool IsErrorDocument(const std::string& body) {
    return XmlBodyReader(body).Root("Error") != nullptr;
}

// A response that reads a document and rejects the body fails the call when the body is an
// Error document (its code and message), or with require_document whatever the body is
// (the body as the message). Responses that read no document accept every body.
void FillResponse(const HeaderMap& resp_headers, const std::string& resp_body,
                  bool require_document, BaseResp* resp, ZidResult* result) {
    if (!resp) {
        return;
    }
    const bool parsed = resp->ParseFromXmlString(resp_body);
    resp->ParseFromHeaders(resp_headers);
    resp->SetBody(resp_body);
    result->SetXZidRequestId(resp->GetXZidRequestId());
    if (parsed) {
        return;
    }
    if (IsErrorDocument(resp_body)) {
        result->SetFail();
        result->ParseFromHttpResponse(resp_headers, resp_body);
        if (result->GetErrorCode().empty() && result->GetErrorMsg().empty()) {
            result->SetErrorMsg(resp_body);
        }
    } else if (require_document) {
        result->SetFail();
        result->SetErrorMsg(resp_body);
    }
}

}  // namespace

// A macro so that the log line names the action that refused.
#define ZID_RETURN_IF_CONFIG_INVALID()              \
    do {                                            \
        if (!IsConfigValid()) {                     \
            ZID_LOG_ERR("%s", kInvalidConfig);      \
            ZidResult refused;                      \
            refused.SetErrorMsg(kInvalidConfig);    \
            return refused;                         \
        }                                           \
    } while (0)

uint64_t BaseOp::GetAppId() const { return m_config->GetAppId(); }
std::string BaseOp::GetAccessKey() const { return m_config->GetAccessKey(); }
std::string BaseOp::GetSecretKey() const { return m_config->GetSecretKey(); }
std::string BaseOp::GetSecurityToken() const { return m_config->GetSecurityToken(); }
ZidCredentials BaseOp::GetCredentials() const { return m_config->GetCredentials(); }
std::string BaseOp::GetRegion() const { return m_config->GetRegion(); }

std::string BaseOp::GetDestDomain() const {
    const std::string& own = m_config->GetDestDomain();
    return own.empty() ? ClientSettings::GetDestDomain() : own;
}

bool BaseOp::IsDomainSameToHost() const {
    return m_config->GetSetDomainSameToHost() ? m_config->IsDomainSameToHost()
                                              : ClientSettings::IsDomainSameToHost();
}

bool BaseOp::IsConfigValid() const {
    const ZidCredentials credentials = GetCredentials();
    return !credentials.access_key.empty() && !credentials.secret_key.empty() &&
           !GetRegion().empty();
}

bool BaseOp::IsDefaultDomainInUse() const {
    if (m_config->GetSetIntranetOnce() && m_config->IsUseIntranet() &&
        !m_config->GetIntranetAddr().empty()) {
        return false;
    }
    if (ClientSettings::IsUseIntranet() && !ClientSettings::GetIntranetAddr().empty()) {
        return false;
    }
    if (!m_config->GetDestDomain().empty() || !ClientSettings::GetDestDomain().empty()) {
        return false;
    }
    return m_config->GetRegion() != "accelerate";
}

bool BaseOp::IsDefaultHost(const std::string& host) const {
    const size_t dot = host.find('.');
    if (dot == std::string::npos) {
        return false;
    }
    const std::string rest = host.substr(dot + 1);
    static const std::string& kLabel = *new const std::string("zid.");
    if (!StringUtil::HasPrefix(rest, kLabel)) {
        return false;
    }
    size_t pos = kLabel.size();
    bool has_dash = false;
    while (pos < rest.size() &&
           (std::isalnum(static_cast<unsigned char>(rest[pos])) || rest[pos] == '-')) {
        has_dash = has_dash || rest[pos] == '-';
        ++pos;
    }
    return has_dash && pos > kLabel.size() && rest.substr(pos) == DomainSuffix(false);
}

std::string BaseOp::ChangeHostSuffix(const std::string& host) const {
    const std::string primary = DomainSuffix(false);
    const size_t pos = host.rfind(primary);
    if (pos == std::string::npos) {
        return host;
    }
    return host.substr(0, pos) + DomainSuffix(true);
}

std::string BaseOp::GetRealUrl(const std::string& host, const std::string& path, bool is_https,
                               bool is_generate_presigned_url) const {
    std::string url_host = host;
    if (!is_generate_presigned_url && m_config->GetSetIntranetOnce() &&
        m_config->IsUseIntranet() && !m_config->GetIntranetAddr().empty()) {
        url_host = m_config->GetIntranetAddr();
    } else if (!is_generate_presigned_url && ClientSettings::IsUseIntranet() &&
               !ClientSettings::GetIntranetAddr().empty()) {
        url_host = ClientSettings::GetIntranetAddr();
    } else if (!m_config->GetDestDomain().empty()) {
        url_host = m_config->GetDestDomain();
    } else if (!ClientSettings::GetDestDomain().empty()) {
        url_host = ClientSettings::GetDestDomain();
    } else if (!is_generate_presigned_url && !is_https && ClientSettings::IsUseDnsCache()) {
        // Not for HTTPS: the certificate must be checked against the host name, not an address.
        try {
            url_host = DnsCache().Resolve(host);
        } catch (const std::exception& e) {
            ZID_LOG_ERR("resolve host %s failed: %s", host.c_str(), e.what());
            url_host.clear();
        }
        if (url_host.find(':') != std::string::npos && !StringUtil::HasPrefix(url_host, "[")) {
            url_host = "[" + url_host + "]";
        }
    }
    const std::string url =
        (is_https ? "https://" : "http://") + url_host + CodecUtil::EncodePath(NormalisePath(path));
    ZID_LOG_DBG("dest_uri: %s", url.c_str());
    return url;
}

std::string BaseOp::GetHostHeader(const std::string& host) const {
    if (IsDomainSameToHost()) {
        const std::string domain = GetDestDomain();
        if (!domain.empty()) {
            return domain;
        }
    }
    return host;
}

ZidResult BaseOp::NormalAction(const std::string& host, const std::string& path,
                               const BaseReq& req, const std::string& req_body, bool check_body,
                               BaseResp* resp, bool is_ci_req) const {
    return NormalAction(host, path, req, HeaderMap(), HeaderMap(), req_body, check_body, resp,
                        is_ci_req);
}

ZidResult BaseOp::NormalAction(const std::string& host, const std::string& path,
                               const BaseReq& req, const HeaderMap& additional_headers,
                               const HeaderMap& additional_params, const std::string& req_body,
                               bool check_body, BaseResp* resp, bool is_ci_req) const {
    ZID_RETURN_IF_CONFIG_INVALID();
    return SendNormal(host, path, req, additional_headers, additional_params, req_body, check_body,
                    resp, is_ci_req, false);
}

ZidResult BaseOp::DocumentAction(const std::string& host, const std::string& path,
                                 const BaseReq& req, const HeaderMap& additional_headers,
                                 const HeaderMap& additional_params, const std::string& req_body,
                                 bool check_body, BaseResp* resp) const {
    ZID_RETURN_IF_CONFIG_INVALID();
    return SendNormal(host, path, req, additional_headers, additional_params, req_body, check_body,
                    resp, false, true);
}

ZidResult BaseOp::SendNormal(const std::string& host, const std::string& path, const BaseReq& req,
                           const HeaderMap& additional_headers, const HeaderMap& additional_params,
                           const std::string& req_body, bool check_body, BaseResp* resp,
                           bool is_ci_req, bool require_document) const {
    ZidResult result;
    Prepared ex;
    const std::string content_length = StringUtil::FormatUint64(req_body.size());
    const std::string error = PrepareExchange(
        *this, host, path, req, additional_headers, additional_params,
        is_ci_req ? "x-ci-security-token" : "x-zid-security-token", &content_length, &ex);
    if (!error.empty()) {
        result.SetErrorMsg(error);
        return result;
    }
    HeaderMap resp_headers;
    std::string resp_body;
    std::string err_msg;
    const int status = HttpSender::SendWithStringBody(
        nullptr, req.GetMethod(), ex.url, ex.params, ex.headers, req_body,
        req.GetConnTimeoutInms(), req.GetRecvTimeoutInms(), &resp_headers, &resp_body, &err_msg,
        false, req.GetVerifyCert(), req.GetCaLocation(), req.GetSSLCtxCallback(),
        req.GetSSLCtxCbData());
    if (status == -1) {
        result.SetErrorMsg(err_msg);
        return result;
    }
    if (TakeStatus(status, resp_headers, resp_body, check_body, &result)) {
        FillResponse(resp_headers, resp_body, require_document, resp, &result);
    }
    return result;
}

ZidResult BaseOp::DownloadAction(const std::string& host, const std::string& path,
                                 const BaseReq& req, BaseResp* resp, std::ostream& os,
                                 const std::shared_ptr<TransferHandler>& handler) const {
    ZID_RETURN_IF_CONFIG_INVALID();
    ZidResult result;
    Prepared ex;
    const std::string error = PrepareExchange(*this, host, path, req, HeaderMap(), HeaderMap(),
                                              "x-zid-security-token", nullptr, &ex);
    if (!error.empty()) {
        result.SetErrorMsg(error);
        return result;
    }
    // A range's bytes cannot be checked against the whole object's ETag.
    bool is_ranged = false;
    std::string range;
    for (const auto& header : ex.headers) {
        if (!is_ranged && EqualsIgnoreCase(header.first, "Range")) {
            is_ranged = true;
            range = header.second;
        }
    }
    const bool is_whole_object = !is_ranged && ServesStoredBytes(ex.params);
    HeaderMap resp_headers;
    std::string err_body;
    std::string err_msg;
    uint64_t real_byte = 0;
    // A whole object's bytes are summed on their way to os: an ETag that is no plain MD5
    // (an object uploaded in parts) leaves the service's CRC-64 as their only check.
    // A stream already failed gets the bytes as before, which fails the call.
    const bool sums_body = is_whole_object && os.good();
    Crc64StreamBuf crc_buf(os.rdbuf());
    std::ostream crc_os(&crc_buf);
    std::ostream& body_os = sums_body ? crc_os : os;
    const int status = HttpSender::SendRequest(
        handler, req.GetMethod(), ex.url, ex.params, ex.headers, std::string(),
        req.GetConnTimeoutInms(), req.GetRecvTimeoutInms(), &resp_headers, &err_body, body_os,
        &err_msg, &real_byte, req.CheckMD5() && !is_ranged, req.GetVerifyCert(),
        req.GetCaLocation(), req.GetSSLCtxCallback(), req.GetSSLCtxCbData());
    if (!crc_os) MarkStreamBad(os);
    if (status == -1) {
        result.SetErrorMsg(err_msg);
        if (resp) {
            resp->ParseFromHeaders(resp_headers);
            result.SetXZidRequestId(resp->GetXZidRequestId());
        }
        return result;
    }
    result.SetRealByte(real_byte);
    if (!TakeStatus(status, resp_headers, err_body, false, &result)) {
        return result;
    }
    BaseResp fallback;
    BaseResp* target = resp ? resp : &fallback;
    target->ParseFromHeaders(resp_headers);
    result.SetXZidRequestId(target->GetXZidRequestId());
    const std::string not_asked = WhyNotTheBytesAsked(status, resp_headers, range);
    if (!not_asked.empty()) {
        ZID_LOG_ERR("%s", not_asked.c_str());
        result.SetFail();
        result.SetErrorMsg("Download failed, " + not_asked);
        return result;
    }
    // A chunked answer has no length to compare against.
    if (target->HasNumericContentLength() && target->GetContentLength() != real_byte) {
        ZID_LOG_ERR("Response content length %lluis not same to real recv byte %llu",
                    static_cast<unsigned long long>(target->GetContentLength()),
                    static_cast<unsigned long long>(real_byte));
        result.SetFail();
        result.SetErrorMsg("Download failed with incomplete file");
    }
    uint64_t crc = 0;
    std::string crc_text;
    const ObjectCrc64 crc_state = ReadObjectCrc64(resp_headers, &crc, &crc_text);
    if (result.IsSucc() && sums_body && crc_state == ObjectCrc64::kMalformed) {
        // A check that cannot be made is no check passed.
        ZID_LOG_ERR("malformed crc64 in the answer: [%s]", crc_text.c_str());
        result.SetFail();
        result.SetErrorMsg("Download failed, crc64 check failed, malformed crc64_server_resp: [" +
                           crc_text + "]");
    } else if (result.IsSucc() && sums_body && crc_state == ObjectCrc64::kValue &&
               crc_buf.Crc() != crc) {
        ZID_LOG_ERR("crc64 check failed, crc64_local: %llu, crc64_server_resp: %s",
                    static_cast<unsigned long long>(crc_buf.Crc()), crc_text.c_str());
        result.SetFail();
        result.SetErrorMsg("Download failed, crc64 check failed, crc64_local: " +
                           StringUtil::FormatUint64(crc_buf.Crc()) +
                           ", crc64_server_resp: " + crc_text);
    }
    return result;
}

ZidResult BaseOp::UploadAction(const std::string& host, const std::string& path,
                               const BaseReq& req, const HeaderMap& additional_headers,
                               const HeaderMap& additional_params, std::istream& is,
                               BaseResp* resp,
                               const std::shared_ptr<TransferHandler>& handler) const {
    ZID_RETURN_IF_CONFIG_INVALID();
    ZidResult result;
    uint64_t length = 0;
    std::string error;
    if (!RemainingLength(is, &length, &error)) {
        ZID_LOG_ERR("%s", error.c_str());
        result.SetErrorMsg(error);
        return result;
    }
    Prepared ex;
    const std::string content_length = StringUtil::FormatUint64(length);
    error = PrepareExchange(*this, host, path, req, additional_headers, additional_params,
                            "x-zid-security-token", &content_length, &ex);
    if (!error.empty()) {
        result.SetErrorMsg(error);
        return result;
    }
    BoundedInputBuf bounded(is, length);
    std::istream body(&bounded);
    HeaderMap resp_headers;
    std::string resp_body;
    std::string err_msg;
    const int status = HttpSender::SendWithStreamBody(
        handler, req.GetMethod(), ex.url, ex.params, ex.headers, body, req.GetConnTimeoutInms(),
        req.GetRecvTimeoutInms(), &resp_headers, &resp_body, &err_msg, false, req.GetVerifyCert(),
        req.GetCaLocation(), req.GetSSLCtxCallback(), req.GetSSLCtxCbData());
    if (status == -1) {
        result.SetErrorMsg(err_msg);
        return result;
    }
    if (!TakeStatus(status, resp_headers, resp_body, false, &result)) {
        return result;
    }
    FillResponse(resp_headers, resp_body, false, resp, &result);
    if (bounded.Count() != length) {
        error = "Upload stream ended after " + StringUtil::FormatUint64(bounded.Count()) +
                " of " + content_length + " bytes";
        ZID_LOG_ERR("%s", error.c_str());
        result.SetFail();
        result.SetErrorMsg(error);
    }
    return result;
}

ZidResult WithBackupDomainRetry(const BaseOp& op, const std::function<ZidResult(bool)>& pass,
                                const std::function<void()>& before_backup_pass) {
    ZidResult result = pass(false);
    if (op.IsDefaultDomainInUse() && NeedsBackupDomainRetry(result)) {
        if (before_backup_pass) {
            before_backup_pass();
        }
        result = pass(true);
    }
    return result;
}

}  // namespace zuzezi_zid
