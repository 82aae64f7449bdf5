#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "ClientSettings.h"

namespace zuzezi_zid {

// One client's configuration. Only the credentials are guarded: they may be
// rotated while other threads sign; everything else is set before requests.
class ZidConfig {
public:
    ZidConfig(uint64_t app_id, const std::string& access_key, const std::string& secret_key,
              const std::string& region);
    // Loads a JSON file; a failed load is reported on standard error and by
    // IsLoadedFromFile() only.
    explicit ZidConfig(const std::string& config_file);
    ZidConfig(const ZidConfig& other);
    ZidConfig& operator=(const ZidConfig&) = delete;
    ~ZidConfig() = default;

    bool LoadFromFile(const std::string& config_file);
    bool IsLoadedFromFile() const { return m_loaded_from_file; }

    uint64_t GetAppId() const { return m_app_id; }
    std::string GetAccessKey() const;
    std::string GetSecretKey() const;
    std::string GetSecurityToken() const;
    std::string GetRegion() const { return m_region; }
    void SetCredentials(const std::string& access_key, const std::string& secret_key,
                        const std::string& security_token);

    void SetIsUseIntranet(bool is_use_intranet);
    bool IsUseIntranet() const { return m_is_use_intranet; }
    bool GetSetIntranetOnce() const { return m_set_intranet_once; }
    void SetIntranetAddr(const std::string& addr);
    std::string GetIntranetAddr() const { return m_intranet_addr; }

    void SetDestDomain(const std::string& domain);
    const std::string& GetDestDomain() const { return m_dest_domain; }

    void SetIsDomainSameToHost(bool is_domain_same_to_host);
    bool IsDomainSameToHost() const { return m_is_domain_same_to_host; }
    bool GetSetDomainSameToHost() const { return m_is_domain_same_to_host_set; }

    void SetLogCallback(LogCallback callback);

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
