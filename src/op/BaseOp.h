/// @file
/// BaseOp, the base of the operation classes: it turns one request into one signed HTTP
/// exchange, and the one-retry rule on the backup domain.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "zid/ZidExport.h"
#include "zid/ZidConfig.h"
#include "zid/request/BaseReq.h"
#include "zid/response/BaseResp.h"
#include "zid/trsf/ZidResult.h"

namespace zuzezi_zid {

class TransferHandler;

/// Turns one request into one signed HTTP exchange; never repeats it.
///
/// Every action first checks the configuration: without access key, secret key or region
/// it sends nothing and fails with "Invalid access_key secret_key or region, please check
/// your configuration". A header holding CR, LF or NUL fails with "Invalid header name or
/// value (CR, LF or NUL) in header: " and the name; the sender refuses any other control
/// byte, a name that is not a token, and a caller's "Transfer-Encoding", "Connection" or
/// "Expect", all before it connects. The client sets "Host", "Authorization",
/// "Content-Length" and the token header itself, replacing any spelling of them the
/// request carries; credentials whose id or token holds a control byte fail the action. Each action reads the destination domain, intranet and
/// DNS cache settings when it runs; its time-outs and TLS switches come from the request.
class ZID_API BaseOp {
public:
    /// @param config shared with the facade and the other operation classes; kept alive
    ///               by this object
    explicit BaseOp(const std::shared_ptr<ZidConfig>& config) : m_config(config) {}
    ~BaseOp() = default;

    /// The configuration's application id.
    uint64_t GetAppId() const;
    /// The configuration's access key id, read under its lock.
    std::string GetAccessKey() const;
    /// The configuration's secret key, read under its lock.
    std::string GetSecretKey() const;
    /// The configuration's temporary token, read under its lock; "" when none.
    std::string GetSecurityToken() const;
    /// The three credentials read together under the configuration's lock; what a request
    /// signs with and sends.
    ZidCredentials GetCredentials() const;
    /// The configuration's region.
    std::string GetRegion() const;
    /// The configuration's destination domain when it has one, else the process-wide one
    /// (ClientSettings::GetDestDomain()); "" when neither is set.
    std::string GetDestDomain() const;
    /// The configuration's switch when it was set, else ClientSettings::IsDomainSameToHost().
    bool IsDomainSameToHost() const;
    /// True when access key, secret key and region are all non-empty.
    bool IsConfigValid() const;

    /// False when an intranet address, a destination domain (the configuration's or the
    /// process-wide one) or the region "accelerate" is in force: then there is no backup
    /// domain to fall back to.
    bool IsDefaultDomainInUse() const;
    /// True when host is a bucket host under the primary domain suffix
    /// (bucket, ".zid.", a region holding a dash, the primary suffix).
    bool IsDefaultHost(const std::string& host) const;
    /// The host with its last primary domain suffix replaced by the backup suffix;
    /// unchanged when it has none.
    std::string ChangeHostSuffix(const std::string& host) const;
    /// The URL an action sends to: scheme, then the intranet address, the destination
    /// domain, a cached address (HTTP only, when ClientSettings::IsUseDnsCache()) or host,
    /// in that order of precedence, then the percent-encoded path with a leading "/".
    /// @param host       the bucket or service host
    /// @param path       object path; "/" is put in front when missing
    /// @param is_https   "https://" instead of "http://"
    /// @param is_generate_presigned_url a presigned URL ignores the intranet address and
    ///                   the DNS cache
    /// @return the URL; its host is empty when the DNS look-up failed.
    std::string GetRealUrl(const std::string& host, const std::string& path, bool is_https,
                           bool is_generate_presigned_url = false) const;

    /// The "Host" header value the actions send for a given bucket host: the destination
    /// domain when IsDomainSameToHost() and one is set, else host.
    std::string GetHostHeader(const std::string& host) const;

    /// One exchange with a string body; the answer's headers and body fill resp.
    /// @param host, path          where the request goes (see GetRealUrl())
    /// @param req                 method, headers, parameters, time-outs and TLS switches
    /// @param additional_headers  added to the request's headers; the request's own win
    /// @param additional_params   added to the request's query parameters; the request's
    ///                            own win
    /// @param req_body            the body sent, its length as "Content-Length"
    /// @param check_body          a 2xx answer may still be an "Error" document (complete,
    ///                            copy): then the call fails with the body as its message
    /// @param resp                filled from a 2xx answer; may be null
    /// @param is_ci_req           a data-processing request, whose token header is
    ///                            "x-ci-security-token" instead of "x-zid-security-token"
    /// @return success on a 2xx answer, unless resp reads a document and rejects a body
    ///         that is an "Error" document: then a failure with that document's code and
    ///         message; otherwise as ZidResult describes.
    ZidResult NormalAction(const std::string& host, const std::string& path, const BaseReq& req,
                           const std::map<std::string, std::string>& additional_headers,
                           const std::map<std::string, std::string>& additional_params,
                           const std::string& req_body, bool check_body, BaseResp* resp,
                           bool is_ci_req = false) const;
    /// NormalAction() without additional headers or parameters.
    ZidResult NormalAction(const std::string& host, const std::string& path, const BaseReq& req,
                           const std::string& req_body, bool check_body, BaseResp* resp,
                           bool is_ci_req = false) const;

    /// NormalAction() for answers that are a document: a 2xx body that resp cannot parse
    /// fails the call, an "Error" document with its code and message, any other body with
    /// the body as the message. Parameters as for NormalAction().
    ZidResult DocumentAction(const std::string& host, const std::string& path, const BaseReq& req,
                             const std::map<std::string, std::string>& additional_headers,
                             const std::map<std::string, std::string>& additional_params,
                             const std::string& req_body, bool check_body, BaseResp* resp) const;

    /// A download: only the bytes asked for go to os, a 200 for the whole object or a 206
    /// whose "Content-Range" is the requested "Range" (a 200 to a ranged request when the
    /// range covers the whole object); any other answer's body becomes the error text, and
    /// another 2xx fails with "Download failed, the answer is not the bytes asked for ...".
    /// @param host, path, req as for NormalAction(); the MD5 check of the body against the
    ///                 ETag follows req.CheckMD5() and is skipped for a ranged request
    /// @param resp     filled from the answer's headers; may be null
    /// @param os       receives the body as it arrives
    /// @param handler  counts progress and carries the cancel flag; may be null
    /// @return failure also when the body is shorter than its "Content-Length", with
    ///         "Download failed with incomplete file", and when a whole object's body (200,
    ///         no "Range", no parameter but versionId and response-*) differs from the
    ///         answer's "x-zid-hash-crc64ecma", with "Download failed, crc64 check failed,
    ///         ..." (also when that header is not one decimal 64-bit value); a cancelled
    ///         transfer fails with "Request canceled by user" and status -1.
    ZidResult DownloadAction(const std::string& host, const std::string& path, const BaseReq& req,
                             BaseResp* resp, std::ostream& os,
                             const std::shared_ptr<TransferHandler>& handler = nullptr) const;

    /// An upload of what is left of is, from its current position to its end.
    /// @param host, path, req, additional_headers, additional_params as for NormalAction()
    /// @param is       must be seekable: its length is measured before sending; a failed
    ///                 stream fails with "Upload stream is in a failed state", one that
    ///                 cannot seek with "Upload stream length is unknown"
    /// @param resp     filled from a 2xx answer; may be null
    /// @param handler  counts progress and carries the cancel flag; may be null
    /// @return failure also when the stream ends early ("Upload stream ended after N of M
    ///         bytes").
    ZidResult UploadAction(const std::string& host, const std::string& path, const BaseReq& req,
                           const std::map<std::string, std::string>& additional_headers,
                           const std::map<std::string, std::string>& additional_params,
                           std::istream& is, BaseResp* resp,
                           const std::shared_ptr<TransferHandler>& handler = nullptr) const;

protected:
    /// Runs fn; what a dependency throws ends at the operation boundary as a failed result
    /// with the message: what, then " failed, exception: " and the exception's text.
    template <typename Fn>
    static ZidResult FailOnException(const char* what, Fn&& fn) {
        try {
            return fn();
        } catch (const std::exception& e) {
            ZidResult result;
            result.SetErrorMsg(std::string(what) + " failed, exception: " + e.what());
            return result;
        }
    }

    std::shared_ptr<ZidConfig> m_config;  ///< The client configuration, shared.

private:
    ZidResult SendNormal(const std::string& host, const std::string& path, const BaseReq& req,
                       const std::map<std::string, std::string>& additional_headers,
                       const std::map<std::string, std::string>& additional_params,
                       const std::string& req_body, bool check_body, BaseResp* resp,
                       bool is_ci_req, bool require_document) const;
};

/// One pass on the default domain; a second, whose result replaces the first, on the backup
/// domain when the default domain is in use and the first failed without reaching the
/// service's request handling (see NeedsBackupDomainRetry()).
/// @param op                 tells whether the default domain is in use
/// @param pass               runs one pass; its argument is true for the backup domain
/// @param before_backup_pass readies the request's streams for the second pass; may be empty
/// @return the result of the last pass run.
ZID_API ZidResult WithBackupDomainRetry(const BaseOp& op, const std::function<ZidResult(bool)>& pass,
                                const std::function<void()>& before_backup_pass = nullptr);

}  // namespace zuzezi_zid
