/// @file
/// ZidConfig, one client's configuration: account, credentials, region and the per-client
/// switches, built from fields or loaded from a JSON file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "zid/ZidExport.h"
#include "zid/ClientSettings.h"

namespace zuzezi_zid {

/// The three credentials of a configuration as they stood together at one moment.
struct ZidCredentials {
    std::string access_key;      ///< access key id
    std::string secret_key;      ///< secret key
    std::string security_token;  ///< temporary token; "" when none
};

/// One client's configuration. Only the credentials are guarded: they may be rotated
/// while other threads sign; everything else is set before requests.
///
/// Beware: loading a JSON file, and the setters of the intranet and the destination
/// domain, also write the process-wide ClientSettings, so they reach every client of the
/// process.
///
/// The JSON file is one object. Keys: "AppID" (unsigned integer), "AccessKey" or
/// "SecretId" (string; "SecretId" wins when both are given), "SecretKey", "Region"
/// (strings, surrounding spaces trimmed), and for the process-wide settings
/// "SignExpiredTime", "ConnectTimeoutInms", "ReceiveTimeoutInms", "UploadPartSize",
/// "UploadThreadPoolSize", "AsynThreadPoolSize", "LogoutType", "LogLevel",
/// "DownloadThreadPoolSize", "DownloadSliceSize" (unsigned integers, the 32-bit ones cut
/// to their low 32 bits), "IsCheckMd5", "IsDomainSameToHost", "IsUseIntranet" (booleans),
/// "DestDomain", "IntranetAddr" (strings). Unknown keys are ignored without a word, so a
/// misspelt key simply leaves its setting at its current value; a known key of the wrong
/// type is reported on standard error and skipped. To reach a local service, set
/// "DestDomain" to "127.0.0.1:PORT".
class ZID_API ZidConfig {
public:
    /// A configuration from its fields; nothing is checked here (ZidAPI checks the region).
    /// @param app_id     the account's application id, appended to bucket names as
    ///                   "-APPID" when they lack it; 0 for none
    /// @param access_key access key id
    /// @param secret_key secret key
    /// @param region     region, such as "cn-east"
    ZidConfig(uint64_t app_id, const std::string& access_key, const std::string& secret_key,
              const std::string& region);
    /// Loads a JSON file (see the class comment); a failed load is reported on standard
    /// error and by IsLoadedFromFile() only, leaving the fields empty and 0.
    explicit ZidConfig(const std::string& config_file);
    /// Copies every field; the copy has a lock of its own.
    ZidConfig(const ZidConfig& other);
    ZidConfig& operator=(const ZidConfig&) = delete;
    ~ZidConfig() = default;

    /// Reads a JSON file into this configuration and the process-wide settings, then
    /// prints the settings (ClientSettings::PrintSettings()).
    /// @param config_file path of the file (at most 4 MiB)
    /// @return false, with a line on standard error ("failed to open config file ...",
    ///         "failed to parse config file ..."), when the file cannot be read or is not
    ///         a JSON object; nothing is changed then. Missing credentials only warn
    ///         ("warnning, access_key or serete_key not exists").
    bool LoadFromFile(const std::string& config_file);
    /// True when the file constructor's load succeeded; false for the field constructor.
    bool IsLoadedFromFile() const { return m_loaded_from_file; }

    /// The application id; 0 for none.
    uint64_t GetAppId() const { return m_app_id; }
    /// The access key id, read under the lock.
    std::string GetAccessKey() const;
    /// The secret key, read under the lock.
    std::string GetSecretKey() const;
    /// The temporary token, read under the lock; "" when none.
    std::string GetSecurityToken() const;
    /// The three credentials read at once under the lock: a request signs with an id and
    /// secret that belong together and sends the token that goes with them, even while
    /// another thread calls SetCredentials().
    ZidCredentials GetCredentials() const;
    /// The region.
    std::string GetRegion() const { return m_region; }
    /// Replaces the three credentials at once under the lock; requests signed afterwards
    /// use them. An access key id or token holding a control byte (CR, LF, NUL, ...) would
    /// split a request's head: it is logged as an error when set, and every request fails
    /// before sending while it stands.
    /// @param access_key     access key id
    /// @param secret_key     secret key
    /// @param security_token temporary token, sent as "x-zid-security-token"; "" for none
    void SetCredentials(const std::string& access_key, const std::string& secret_key,
                        const std::string& security_token);

    /// Sets this configuration's intranet switch, and the process-wide one too.
    void SetIsUseIntranet(bool is_use_intranet);
    /// This configuration's intranet switch.
    bool IsUseIntranet() const { return m_is_use_intranet; }
    /// True once the intranet switch or address was set here (by a setter or the JSON
    /// file): then this configuration's intranet values are consulted first.
    bool GetSetIntranetOnce() const { return m_set_intranet_once; }
    /// Sets this configuration's intranet address, and the process-wide one too.
    void SetIntranetAddr(const std::string& addr);
    /// This configuration's intranet address; "" for none.
    std::string GetIntranetAddr() const { return m_intranet_addr; }

    /// Sets the host (and optional ":port") every request of this client goes to, such
    /// as "127.0.0.1:8080"; also sets the process-wide destination domain. "" for none.
    void SetDestDomain(const std::string& domain);
    /// This configuration's destination domain; "" for none.
    const std::string& GetDestDomain() const { return m_dest_domain; }

    /// Sets this configuration's domain-same-to-host switch, which then wins over the
    /// process-wide one (see ClientSettings::IsDomainSameToHost()).
    void SetIsDomainSameToHost(bool is_domain_same_to_host);
    /// This configuration's domain-same-to-host switch.
    bool IsDomainSameToHost() const { return m_is_domain_same_to_host; }
    /// True once SetIsDomainSameToHost() was called.
    bool GetSetDomainSameToHost() const { return m_is_domain_same_to_host_set; }

    /// Sets the process-wide log callback (ClientSettings::SetLogCallback()): a plain
    /// function pointer, shared by every client of the process, called on any thread.
    void SetLogCallback(LogCallback callback);

    /// True when the region is not empty, begins and ends with an ASCII letter or digit,
    /// and holds only letters, digits, "." and "-" between.
    bool CheckRegion() const;

private:
    // LoadFromFile without its exception guard.
    bool LoadUnguarded(const std::string& config_file);

    mutable std::mutex m_lock;
    uint64_t m_app_id = 0;
    std::string m_access_key;
    std::string m_secret_key;
    std::string m_region;
    std::string m_security_token;
    bool m_set_intranet_once = false;
    bool m_is_use_intranet = false;
    std::string m_intranet_addr;
    std::string m_dest_domain;
    bool m_is_domain_same_to_host = false;
    bool m_is_domain_same_to_host_set = false;
    bool m_loaded_from_file = false;
};

}  // namespace zuzezi_zid
