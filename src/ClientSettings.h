#pragma once

#include <cstdint>
#include <string>

namespace zuzezi_zid {

// Receives one finished log line.
using LogCallback = void (*)(const std::string& line);

// Process-wide settings of the client. Scalars are meant to be set during
// set-up, before requests run; only the two strings are guarded.
class ClientSettings {
public:
    ClientSettings() = delete;

    static uint64_t GetUploadPartSize();
    static void SetUploadPartSize(uint64_t size);
    static uint64_t GetUploadCopyPartSize();
    static void SetUploadCopyPartSize(uint64_t size);
    static uint64_t GetSignExpiredTime();
    static void SetSignExpiredTime(uint64_t seconds);
    static uint64_t GetConnTimeoutInms();
    static void SetConnTimeoutInms(uint64_t ms);
    static uint64_t GetRecvTimeoutInms();
    static void SetRecvTimeoutInms(uint64_t ms);

    // 1..100
    static unsigned GetUploadThreadPoolSize();
    static void SetUploadThreadPoolSize(unsigned size);
    // at least 1
    static unsigned GetAsynThreadPoolSize();
    static void SetAsynThreadPoolSize(unsigned size);
    // 1 standard output, 2 system log, anything else no sink
    static int GetLogOutType();
    static void SetLogOutType(int type);
    static int GetLogLevel();
    static void SetLogLevel(int level);
    // 1..10
    static unsigned GetDownThreadPoolSize();
    static void SetDownThreadPoolSize(unsigned size);
    // 4096..20971520
    static unsigned GetDownSliceSize();
    static void SetDownSliceSize(unsigned size);

    static bool IsDomainSameToHost();
    static void SetIsDomainSameToHost(bool is_domain_same_to_host);
    static std::string GetDestDomain();
    static void SetDestDomain(const std::string& domain);
    static bool IsUseIntranet();
    static void SetIsUseIntranet(bool is_use_intranet);
    static std::string GetIntranetAddr();
    static void SetIntranetAddr(const std::string& addr);

    static bool IsKeepAlive();
    static void SetKeepAlive(bool keep_alive);
    static int64_t GetKeepIdle();
    static void SetKeepIdle(int64_t idle);
    static int64_t GetKeepIntvl();
    static void SetKeepIntvl(int64_t interval);

    static int64_t GetSignTimeOffset();
    static void SetSignTimeOffset(int64_t offset);
    static bool IsCheckMd5();
    static void SetIsCheckMd5(bool check_md5);
    static LogCallback GetLogCallback();
    static void SetLogCallback(LogCallback callback);

    static bool IsUseDnsCache();
    static void SetUseDnsCache(bool use_dns_cache);
    static unsigned GetDnsCacheExpireSeconds();
    static void SetDnsCacheExpireSeconds(unsigned seconds);
    static unsigned GetDnsCacheSize();
    static void SetDnsCacheSize(unsigned size);

    static bool IsRetryOnBackupDomain();
    static void SetRetryOnBackupDomain(bool retry);
    static bool IsObjectKeyCheck();
    static void SetObjectKeyCheck(bool check);

    // Writes the dumped settings to standard output, one "label:value" line each.
    static void PrintSettings();

    static std::string BuildBucketHost(uint64_t app_id, const std::string& region,
                                       const std::string& bucket_name, bool use_backup_domain);
    static std::string BuildProcessingHost(const std::string& bucket_name,
                                           const std::string& region);
    static std::string GetPicHost(uint64_t app_id, const std::string& region,
                                  const std::string& bucket_name);

    // Host values of the service.
    static const char* const kPrimaryDomainSuffix;
    static const char* const kBackupDomainSuffix;
    static const char* const kServiceLabel;
    static const char* const kProcessingLabel;
    static const char* const kPictureLabel;
    // The service listing's host, the same for every account and region.
    static const char* const kServiceHost;
};

}  // namespace zuzezi_zid
