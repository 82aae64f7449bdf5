/// @file
/// ClientSettings, the process-wide settings of the storage client, and the log callback
/// type.
#pragma once

#include <cstdint>
#include <string>

#include "zid/ZidExport.h"

namespace zuzezi_zid {

/// Receives one finished log line: the local time "%Y-%m-%d %H:%M:%S", the level tag,
/// then the line as the sink prints it.
///
/// A plain function pointer, not a std::function: it cannot capture state, so a callback
/// that needs any reaches it through globals of its own. It is called on whatever thread
/// logs, pool threads included, possibly several at once.
using LogCallback = void (*)(const std::string& line);

/// Process-wide settings of the client, shared by every ZidAPI of the process.
///
/// Scalars are meant to be set during set-up, before requests run: they are not guarded,
/// and a change while a transfer runs may be seen part-way. Only the destination domain
/// and the intranet address are guarded, each by its own mutex. A JSON configuration
/// loaded by ZidConfig writes most of them. A test or program that changes a setting
/// changes it for every client of the process.
class ZID_API ClientSettings {
public:
    ClientSettings() = delete;

    /// Part size of a multipart upload in bytes; default 10485760 (10 MiB).
    static uint64_t GetUploadPartSize();
    /// Sets the multipart upload part size in bytes; stored unchanged. JSON key
    /// "UploadPartSize".
    static void SetUploadPartSize(uint64_t size);
    /// Part size of a multipart copy in bytes; default 20971520 (20 MiB). A CopyReq takes
    /// it when it is constructed.
    static uint64_t GetUploadCopyPartSize();
    /// Sets the multipart copy part size in bytes; stored unchanged.
    static void SetUploadCopyPartSize(uint64_t size);
    /// Lifetime of a request signature in seconds; default 3600.
    static uint64_t GetSignExpiredTime();
    /// Sets the signature lifetime in seconds; stored unchanged. JSON key
    /// "SignExpiredTime".
    static void SetSignExpiredTime(uint64_t seconds);
    /// Connect time-out in milliseconds that a request takes when it is constructed;
    /// default 5000.
    static uint64_t GetConnTimeoutInms();
    /// Sets the default connect time-out in milliseconds; requests made before keep their
    /// own. JSON key "ConnectTimeoutInms".
    static void SetConnTimeoutInms(uint64_t ms);
    /// Receive time-out in milliseconds that a request takes when it is constructed;
    /// default 5000.
    static uint64_t GetRecvTimeoutInms();
    /// Sets the default receive time-out in milliseconds; requests made before keep their
    /// own. JSON key "ReceiveTimeoutInms".
    static void SetRecvTimeoutInms(uint64_t ms);

    /// Threads of a multipart upload, 1 to 100; default 5.
    static unsigned GetUploadThreadPoolSize();
    /// Sets the multipart upload's threads: 0 becomes 1, above 100 becomes 100. JSON key
    /// "UploadThreadPoolSize".
    static void SetUploadThreadPoolSize(unsigned size);
    /// Maximum threads of the process-wide asynchronous pool, at least 1; default 2.
    static unsigned GetAsynThreadPoolSize();
    /// Sets the asynchronous pool's size: 0 becomes 1, no upper bound. Read once, when the
    /// first asynchronous call creates the pool (which keeps at least 2 threads); later
    /// changes have no effect. JSON key "AsynThreadPoolSize".
    static void SetAsynThreadPoolSize(unsigned size);
    /// Log sink: 1 standard output (default), 2 the system log with the level as
    /// priority, anything else no sink (the callback still runs).
    static int GetLogOutType();
    /// Sets the log sink; stored unchanged. JSON key "LogoutType".
    static void SetLogOutType(int type);
    /// Log level: a message is written when this reaches its level (1 ERR, 2 WARN,
    /// 3 INFO, 4 DBG); default 4, everything.
    static int GetLogLevel();
    /// Sets the log level; stored unchanged, 0 or less silences the log. JSON key
    /// "LogLevel".
    static void SetLogLevel(int level);
    /// Threads of a multi-threaded or resumable download, 1 to 10; default 10.
    static unsigned GetDownThreadPoolSize();
    /// Sets the download threads: 0 becomes 1, above 10 becomes 10. JSON key
    /// "DownloadThreadPoolSize".
    static void SetDownThreadPoolSize(unsigned size);
    /// Slice size of a multi-threaded or resumable download in bytes, 4096 to 20971520;
    /// default 4194304 (4 MiB).
    static unsigned GetDownSliceSize();
    /// Sets the download slice size: below 4096 becomes 4096, above 20971520 becomes
    /// 20971520. JSON key "DownloadSliceSize".
    static void SetDownSliceSize(unsigned size);

    /// When true and a destination domain is set, the "Host" header carries the
    /// destination domain instead of the bucket host; default false. A configuration that
    /// set its own switch uses that instead.
    static bool IsDomainSameToHost();
    /// Sets the domain-same-to-host switch. JSON key "IsDomainSameToHost".
    static void SetIsDomainSameToHost(bool is_domain_same_to_host);
    /// The host (and optional ":port") every request is sent to instead of the bucket
    /// host, presigned and object URLs included; "" (default) for none. A configuration's
    /// own destination domain wins over it. Read under its mutex.
    static std::string GetDestDomain();
    /// Sets the destination domain under its mutex; "" turns it off. With one set, there
    /// is no backup-domain retry. JSON key "DestDomain".
    static void SetDestDomain(const std::string& domain);
    /// When true and an intranet address is set, requests go to that address; default
    /// false.
    static bool IsUseIntranet();
    /// Sets the intranet switch. JSON key "IsUseIntranet".
    static void SetIsUseIntranet(bool is_use_intranet);
    /// The intranet address requests go to when IsUseIntranet(); "" (default) for none.
    /// Read under its mutex. Presigned URLs ignore it.
    static std::string GetIntranetAddr();
    /// Sets the intranet address under its mutex. JSON key "IntranetAddr".
    static void SetIntranetAddr(const std::string& addr);

    /// Keep-alive switch; default false. Stored and printed only: no connection reads it.
    static bool IsKeepAlive();
    /// Sets the keep-alive switch; has no effect on connections.
    static void SetKeepAlive(bool keep_alive);
    /// Keep-alive idle time; default 20. Stored and printed only.
    static int64_t GetKeepIdle();
    /// Sets the keep-alive idle time; has no effect on connections.
    static void SetKeepIdle(int64_t idle);
    /// Keep-alive interval; default 5. Stored and printed only.
    static int64_t GetKeepIntvl();
    /// Sets the keep-alive interval; has no effect on connections.
    static void SetKeepIntvl(int64_t interval);

    /// Seconds added to the local clock for the start of a signature's time window;
    /// default 0.
    static int64_t GetSignTimeOffset();
    /// Sets the signature clock offset in seconds, negative for a clock that runs ahead.
    static void SetSignTimeOffset(int64_t offset);
    /// The MD5 switch of the JSON configuration; default false. Nothing else reads it: a
    /// download's MD5 check follows its request (BaseReq::SetCheckMD5, on by default).
    static bool IsCheckMd5();
    /// Sets the MD5 switch. JSON key "IsCheckMd5".
    static void SetIsCheckMd5(bool check_md5);
    /// The log callback; null (default) for none.
    static LogCallback GetLogCallback();
    /// Sets the log callback, called for every message the level lets through, whatever
    /// the sink; null turns it off. See LogCallback: a plain function pointer, called on
    /// any thread.
    static void SetLogCallback(LogCallback callback);

    /// When true, plain HTTP requests to the bucket host go to an address from the
    /// host-address cache; HTTPS requests never do (the certificate is checked against
    /// the host name). Default false.
    static bool IsUseDnsCache();
    /// Sets the DNS cache switch.
    static void SetUseDnsCache(bool use_dns_cache);
    /// Lifetime of a cached address in seconds; default 600. Read once, when the cache is
    /// first used.
    static unsigned GetDnsCacheExpireSeconds();
    /// Sets the cached address lifetime in seconds; later changes do not reach a cache
    /// already in use.
    static void SetDnsCacheExpireSeconds(unsigned seconds);
    /// Capacity of the host-address cache in entries; default 1000. Read once, when the
    /// cache is first used.
    static unsigned GetDnsCacheSize();
    /// Sets the cache capacity; later changes do not reach a cache already in use.
    static void SetDnsCacheSize(unsigned size);

    /// When true, a failure with no answer from the service is repeated once on the backup
    /// domain (see NeedsBackupDomainRetry()); default false.
    static bool IsRetryOnBackupDomain();
    /// Sets the backup-domain retry switch.
    static void SetRetryOnBackupDomain(bool retry);
    /// When true (default), a download refuses a key that folds to nothing ("", "/", ".",
    /// "..", "a/.." and the like) with code "GetObjectKeyIllegal" and message "The
    /// Getobject Key is illegal", sending nothing.
    static bool IsObjectKeyCheck();
    /// Sets the object-key check; false lets every key through.
    static void SetObjectKeyCheck(bool check);

    /// Writes 18 settings to standard output, one "label:value" line each, from
    /// "upload_part_size:" to "keepintvl:"; booleans as 0 or 1. Called at the end of a
    /// successful JSON load.
    static void PrintSettings();

    /// The host of a bucket's requests: bucket, "-" and the app id (unless app_id is 0 or
    /// the name already ends so), ".", the region part, the domain suffix. The region part
    /// is the region itself for "cn-east", "cn-north", "cn-south", "cn-southwest",
    /// "cn-south-2", "sg" and regions that begin with "zid.", else "zid." and the region.
    /// @param app_id            the account's application id; 0 for none
    /// @param region            the region
    /// @param bucket_name       the bucket, with or without its "-APPID" ending
    /// @param use_backup_domain the backup domain suffix instead of the primary one
    /// @return the host name; no check is made on the parts.
    static std::string BuildBucketHost(uint64_t app_id, const std::string& region,
                                       const std::string& bucket_name, bool use_backup_domain);
    /// The host of a data-processing request: the bucket and "." (when not empty), the
    /// processing label, ".", the region, the primary suffix.
    static std::string BuildProcessingHost(const std::string& bucket_name,
                                           const std::string& region);
    /// The host of a picture-processing request: bucket (with the "-APPID" ending as
    /// BuildBucketHost() adds it), the picture label, region, primary suffix.
    static std::string GetPicHost(uint64_t app_id, const std::string& region,
                                  const std::string& bucket_name);

    /// Primary service domain suffix, ending every default host (begins with ".").
    static const char* const kPrimaryDomainSuffix;
    /// Backup service domain suffix, used by the one retry on the backup domain.
    static const char* const kBackupDomainSuffix;
    /// Storage-service host label ("zid").
    static const char* const kServiceLabel;
    /// Data-processing host label.
    static const char* const kProcessingLabel;
    /// Picture-processing host label.
    static const char* const kPictureLabel;
    /// The service listing's host, the same for every account and region.
    static const char* const kServiceHost;
};

}  // namespace zuzezi_zid
