#include "ClientSettings.h"

#include <iostream>
#include <mutex>

#include "util/StringUtil.h"

namespace zuzezi_zid {

const char* const ClientSettings::kPrimaryDomainSuffix = ".objstore.example";
const char* const ClientSettings::kBackupDomainSuffix = ".objstore-backup.example";
const char* const ClientSettings::kServiceLabel = "zid";
const char* const ClientSettings::kProcessingLabel = "proc";
const char* const ClientSettings::kPictureLabel = "pic";
const char* const ClientSettings::kServiceHost = "service.objstore.example";

namespace {

uint64_t g_upload_part_size = 10485760;
uint64_t g_upload_copy_part_size = 20971520;
uint64_t g_sign_expired_time = 3600;
uint64_t g_conn_timeout_in_ms = 5000;
uint64_t g_recv_timeout_in_ms = 5000;
unsigned g_upload_thread_pool_size = 5;
unsigned g_asyn_thread_pool_size = 2;
int g_log_outtype = 1;
int g_log_level = 4;
unsigned g_down_thread_pool_size = 10;
unsigned g_down_slice_size = 4194304;
bool g_is_domain_same_to_host = false;
bool g_is_use_intranet = false;
bool g_keepalive = false;
int64_t g_keepidle = 20;
int64_t g_keepintvl = 5;
int64_t g_sign_time_offset = 0;
bool g_is_check_md5 = false;
LogCallback g_log_callback = nullptr;
bool g_use_dns_cache = false;
unsigned g_dns_cache_expire_seconds = 600;
unsigned g_dns_cache_size = 1000;
bool g_retry_on_backup_domain = false;
bool g_object_key_check = true;

// Function-local statics: usable from other static initialisers and never
// destroyed before a late log statement reads them.
std::mutex& DestDomainMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}
std::string& DestDomain() {
    static std::string* s = new std::string;
    return *s;
}
std::mutex& IntranetMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}
std::string& IntranetAddr() {
    static std::string* s = new std::string;
    return *s;
}

const char* const kShortRegions[] = {"cn-east",      "cn-north",   "cn-south",
                                     "cn-southwest", "cn-south-2", "sg"};

std::string AppIdSuffix(uint64_t app_id) { return "-" + StringUtil::FormatUint64(app_id); }

}  // namespace

uint64_t ClientSettings::GetUploadPartSize() { return g_upload_part_size; }
void ClientSettings::SetUploadPartSize(uint64_t size) { g_upload_part_size = size; }
uint64_t ClientSettings::GetUploadCopyPartSize() { return g_upload_copy_part_size; }
void ClientSettings::SetUploadCopyPartSize(uint64_t size) { g_upload_copy_part_size = size; }
uint64_t ClientSettings::GetSignExpiredTime() { return g_sign_expired_time; }
void ClientSettings::SetSignExpiredTime(uint64_t seconds) { g_sign_expired_time = seconds; }
uint64_t ClientSettings::GetConnTimeoutInms() { return g_conn_timeout_in_ms; }
void ClientSettings::SetConnTimeoutInms(uint64_t ms) { g_conn_timeout_in_ms = ms; }
uint64_t ClientSettings::GetRecvTimeoutInms() { return g_recv_timeout_in_ms; }
void ClientSettings::SetRecvTimeoutInms(uint64_t ms) { g_recv_timeout_in_ms = ms; }

unsigned ClientSettings::GetUploadThreadPoolSize() { return g_upload_thread_pool_size; }
void ClientSettings::SetUploadThreadPoolSize(unsigned size) {
    g_upload_thread_pool_size = size == 0 ? 1 : (size > 100 ? 100 : size);
}
unsigned ClientSettings::GetAsynThreadPoolSize() { return g_asyn_thread_pool_size; }
void ClientSettings::SetAsynThreadPoolSize(unsigned size) {
    g_asyn_thread_pool_size = size == 0 ? 1 : size;
}
int ClientSettings::GetLogOutType() { return g_log_outtype; }
void ClientSettings::SetLogOutType(int type) { g_log_outtype = type; }
int ClientSettings::GetLogLevel() { return g_log_level; }
void ClientSettings::SetLogLevel(int level) { g_log_level = level; }
unsigned ClientSettings::GetDownThreadPoolSize() { return g_down_thread_pool_size; }
void ClientSettings::SetDownThreadPoolSize(unsigned size) {
    g_down_thread_pool_size = size == 0 ? 1 : (size > 10 ? 10 : size);
}
unsigned ClientSettings::GetDownSliceSize() { return g_down_slice_size; }
void ClientSettings::SetDownSliceSize(unsigned size) {
    g_down_slice_size = size < 4096 ? 4096 : (size > 20971520 ? 20971520 : size);
}

bool ClientSettings::IsDomainSameToHost() { return g_is_domain_same_to_host; }
void ClientSettings::SetIsDomainSameToHost(bool v) { g_is_domain_same_to_host = v; }
std::string ClientSettings::GetDestDomain() {
    std::lock_guard<std::mutex> lock(DestDomainMutex());
    return DestDomain();
}
void ClientSettings::SetDestDomain(const std::string& domain) {
    std::lock_guard<std::mutex> lock(DestDomainMutex());
    DestDomain() = domain;
}
bool ClientSettings::IsUseIntranet() { return g_is_use_intranet; }
void ClientSettings::SetIsUseIntranet(bool v) { g_is_use_intranet = v; }
std::string ClientSettings::GetIntranetAddr() {
    std::lock_guard<std::mutex> lock(IntranetMutex());
    return IntranetAddr();
}
void ClientSettings::SetIntranetAddr(const std::string& addr) {
    std::lock_guard<std::mutex> lock(IntranetMutex());
    IntranetAddr() = addr;
}

bool ClientSettings::IsKeepAlive() { return g_keepalive; }
void ClientSettings::SetKeepAlive(bool v) { g_keepalive = v; }
int64_t ClientSettings::GetKeepIdle() { return g_keepidle; }
void ClientSettings::SetKeepIdle(int64_t v) { g_keepidle = v; }
int64_t ClientSettings::GetKeepIntvl() { return g_keepintvl; }
void ClientSettings::SetKeepIntvl(int64_t v) { g_keepintvl = v; }

int64_t ClientSettings::GetSignTimeOffset() { return g_sign_time_offset; }
void ClientSettings::SetSignTimeOffset(int64_t v) { g_sign_time_offset = v; }
bool ClientSettings::IsCheckMd5() { return g_is_check_md5; }
void ClientSettings::SetIsCheckMd5(bool v) { g_is_check_md5 = v; }
LogCallback ClientSettings::GetLogCallback() { return g_log_callback; }
void ClientSettings::SetLogCallback(LogCallback cb) { g_log_callback = cb; }

bool ClientSettings::IsUseDnsCache() { return g_use_dns_cache; }
void ClientSettings::SetUseDnsCache(bool v) { g_use_dns_cache = v; }
unsigned ClientSettings::GetDnsCacheExpireSeconds() { return g_dns_cache_expire_seconds; }
void ClientSettings::SetDnsCacheExpireSeconds(unsigned v) { g_dns_cache_expire_seconds = v; }
unsigned ClientSettings::GetDnsCacheSize() { return g_dns_cache_size; }
void ClientSettings::SetDnsCacheSize(unsigned v) { g_dns_cache_size = v; }

bool ClientSettings::IsRetryOnBackupDomain() { return g_retry_on_backup_domain; }
void ClientSettings::SetRetryOnBackupDomain(bool v) { g_retry_on_backup_domain = v; }
bool ClientSettings::IsObjectKeyCheck() { return g_object_key_check; }
void ClientSettings::SetObjectKeyCheck(bool v) { g_object_key_check = v; }

void ClientSettings::PrintSettings() {
    std::cout << "upload_part_size:" << GetUploadPartSize() << std::endl
              << "upload_copy_part_size:" << GetUploadCopyPartSize() << std::endl
              << "sign_expire_in_s:" << GetSignExpiredTime() << std::endl
              << "conn_timeout_in_ms:" << GetConnTimeoutInms() << std::endl
              << "recv_timeout_in_ms:" << GetRecvTimeoutInms() << std::endl
              << "threadpool_size:" << GetUploadThreadPoolSize() << std::endl
              << "asyn_threadpool_size:" << GetAsynThreadPoolSize() << std::endl
              << "log_outtype:" << GetLogOutType() << std::endl
              << "log_level:" << GetLogLevel() << std::endl
              << "down_thread_pool_size:" << GetDownThreadPoolSize() << std::endl
              << "down_slice_size:" << GetDownSliceSize() << std::endl
              << "is_domain_same_to_host:" << IsDomainSameToHost() << std::endl
              << "dest_domain:" << GetDestDomain() << std::endl
              << "is_use_intranet:" << IsUseIntranet() << std::endl
              << "intranet_addr:" << GetIntranetAddr() << std::endl
              << "keepalive:" << IsKeepAlive() << std::endl
              << "keepidle:" << GetKeepIdle() << std::endl
              << "keepintvl:" << GetKeepIntvl() << std::endl;
}

std::string ClientSettings::BuildBucketHost(uint64_t app_id, const std::string& region,
                                            const std::string& bucket_name,
                                            bool use_backup_domain) {
    const std::string label = kServiceLabel;
    bool keep_region = StringUtil::HasPrefix(region, label + ".");
    for (const char* short_region : kShortRegions) {
        keep_region = keep_region || region == short_region;
    }
    const std::string region_part = keep_region ? region : label + "." + region;
    const std::string domain = use_backup_domain ? kBackupDomainSuffix : kPrimaryDomainSuffix;
    const std::string suffix = AppIdSuffix(app_id);
    if (app_id != 0 && !StringUtil::HasSuffix(bucket_name, suffix)) {
        return bucket_name + suffix + "." + region_part + domain;
    }
    return bucket_name + "." + region_part + domain;
}

std::string ClientSettings::BuildProcessingHost(const std::string& bucket_name,
                                                const std::string& region) {
    const std::string host = std::string(kProcessingLabel) + "." + region + kPrimaryDomainSuffix;
    return bucket_name.empty() ? host : bucket_name + "." + host;
}

std::string ClientSettings::GetPicHost(uint64_t app_id, const std::string& region,
                                       const std::string& bucket_name) {
    std::string host = bucket_name;
    const std::string suffix = AppIdSuffix(app_id);
    if (app_id != 0 && !StringUtil::HasSuffix(bucket_name, suffix)) {
        host += suffix;
    }
    return host + "." + kPictureLabel + "." + region + kPrimaryDomainSuffix;
}

}  // namespace zuzezi_zid
