// Saves every process-wide setting a test may change and puts it back.
#pragma once

#include "ClientSettings.h"

namespace zid_util_test {

class SettingsGuard {
public:
    SettingsGuard() { Save(); }
    ~SettingsGuard() { Restore(); }
    SettingsGuard(const SettingsGuard&) = delete;
    SettingsGuard& operator=(const SettingsGuard&) = delete;

private:
    using S = zuzezi_zid::ClientSettings;
    void Save() {
        upload_part_ = S::GetUploadPartSize();
        copy_part_ = S::GetUploadCopyPartSize();
        sign_expire_ = S::GetSignExpiredTime();
        conn_ = S::GetConnTimeoutInms();
        recv_ = S::GetRecvTimeoutInms();
        upload_pool_ = S::GetUploadThreadPoolSize();
        asyn_pool_ = S::GetAsynThreadPoolSize();
        out_type_ = S::GetLogOutType();
        level_ = S::GetLogLevel();
        down_pool_ = S::GetDownThreadPoolSize();
        slice_ = S::GetDownSliceSize();
        same_host_ = S::IsDomainSameToHost();
        dest_ = S::GetDestDomain();
        intranet_ = S::IsUseIntranet();
        intranet_addr_ = S::GetIntranetAddr();
        offset_ = S::GetSignTimeOffset();
        md5_ = S::IsCheckMd5();
        cb_ = S::GetLogCallback();
        dns_ = S::IsUseDnsCache();
        retry_ = S::IsRetryOnBackupDomain();
        key_check_ = S::IsObjectKeyCheck();
    }
    void Restore() {
        S::SetUploadPartSize(upload_part_);
        S::SetUploadCopyPartSize(copy_part_);
        S::SetSignExpiredTime(sign_expire_);
        S::SetConnTimeoutInms(conn_);
        S::SetRecvTimeoutInms(recv_);
        S::SetUploadThreadPoolSize(upload_pool_);
        S::SetAsynThreadPoolSize(asyn_pool_);
        S::SetLogOutType(out_type_);
        S::SetLogLevel(level_);
        S::SetDownThreadPoolSize(down_pool_);
        S::SetDownSliceSize(slice_);
        S::SetIsDomainSameToHost(same_host_);
        S::SetDestDomain(dest_);
        S::SetIsUseIntranet(intranet_);
        S::SetIntranetAddr(intranet_addr_);
        S::SetSignTimeOffset(offset_);
        S::SetIsCheckMd5(md5_);
        S::SetLogCallback(cb_);
        S::SetUseDnsCache(dns_);
        S::SetRetryOnBackupDomain(retry_);
        S::SetObjectKeyCheck(key_check_);
    }

    uint64_t upload_part_, copy_part_, sign_expire_, conn_, recv_;
    unsigned upload_pool_, asyn_pool_, down_pool_, slice_;
    int out_type_, level_;
    bool same_host_, intranet_, md5_, dns_, retry_, key_check_;
    std::string dest_, intranet_addr_;
    int64_t offset_;
    zuzezi_zid::LogCallback cb_;
};

}  // namespace zid_util_test
