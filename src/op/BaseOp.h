#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "ZidConfig.h"
#include "op/ZidResult.h"
#include "request/BaseReq.h"
#include "response/BaseResp.h"

namespace zuzezi_zid {

class TransferHandler;

// Turns one request into one signed HTTP exchange; never repeats it.
class BaseOp {
public:
    explicit BaseOp(const std::shared_ptr<ZidConfig>& config) : m_config(config) {}
    ~BaseOp() = default;

    uint64_t GetAppId() const;
    std::string GetAccessKey() const;
    std::string GetSecretKey() const;
    std::string GetSecurityToken() const;
    std::string GetRegion() const;
    // The configuration's destination domain when it has one, else the process-wide one.
    std::string GetDestDomain() const;
    bool IsDomainSameToHost() const;
    bool IsConfigValid() const;

    // False when an intranet address, a destination domain or the accelerate
    // endpoint is in force: then there is no backup domain to fall back to.
    bool IsDefaultDomainInUse() const;
    bool IsDefaultHost(const std::string& host) const;
    // Primary domain suffix -> backup domain suffix.
    std::string ChangeHostSuffix(const std::string& host) const;
    std::string GetRealUrl(const std::string& host, const std::string& path, bool is_https,
                           bool is_generate_presigned_url = false) const;

    // The Host header value the actions send for a given bucket host.
    std::string GetHostHeader(const std::string& host) const;

    // check_body: a 2xx answer may still be an Error document (complete, copy).
    // is_ci_req: data-processing request, whose token header differs.
    ZidResult NormalAction(const std::string& host, const std::string& path, const BaseReq& req,
                           const std::map<std::string, std::string>& additional_headers,
                           const std::map<std::string, std::string>& additional_params,
                           const std::string& req_body, bool check_body, BaseResp* resp,
                           bool is_ci_req = false) const;
    ZidResult NormalAction(const std::string& host, const std::string& path, const BaseReq& req,
                           const std::string& req_body, bool check_body, BaseResp* resp,
                           bool is_ci_req = false) const;

    // NormalAction for answers that are a document: a 2xx body that does not
    // parse fails the call, with the body as the message.
    ZidResult DocumentAction(const std::string& host, const std::string& path, const BaseReq& req,
                             const std::map<std::string, std::string>& additional_headers,
                             const std::map<std::string, std::string>& additional_params,
                             const std::string& req_body, bool check_body, BaseResp* resp) const;

    // A 200 or 206 body goes to os; any other body becomes the error text.
    ZidResult DownloadAction(const std::string& host, const std::string& path, const BaseReq& req,
                             BaseResp* resp, std::ostream& os,
                             const std::shared_ptr<TransferHandler>& handler = nullptr) const;

    // Sends what is left of is, from its current position to its end.
    ZidResult UploadAction(const std::string& host, const std::string& path, const BaseReq& req,
                           const std::map<std::string, std::string>& additional_headers,
                           const std::map<std::string, std::string>& additional_params,
                           std::istream& is, BaseResp* resp,
                           const std::shared_ptr<TransferHandler>& handler = nullptr) const;

protected:
    // What a dependency throws ends at the operation boundary as a failed result.
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

    std::shared_ptr<ZidConfig> m_config;

private:
    ZidResult SendNormal(const std::string& host, const std::string& path, const BaseReq& req,
                       const std::map<std::string, std::string>& additional_headers,
                       const std::map<std::string, std::string>& additional_params,
                       const std::string& req_body, bool check_body, BaseResp* resp,
                       bool is_ci_req, bool require_document) const;
};

// One pass on the default domain; a second, whose result replaces the first, on the backup
// domain when the default domain is in use and the first failed without reaching the
// service's request handling. before_backup_pass readies the request's streams for it.
ZidResult WithBackupDomainRetry(const BaseOp& op, const std::function<ZidResult(bool)>& pass,
                                const std::function<void()>& before_backup_pass = nullptr);

}  // namespace zuzezi_zid
