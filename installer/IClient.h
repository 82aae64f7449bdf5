// The install engine: package identity, storage account and client, and the install run
// that downloads, unpacks, writes the version files and replaces the installed bundle,
// reporting each step as a window message.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/FolderClaim.h"

namespace zuzezi_zid {
class ZidAPI;
}

struct ServerConfigIni {
    int64_t serverCfgVersion;
    char serverFixVersion[21];
    char serQuantVersion[21];
};

struct MacConfig {
    char szPkgNo[101];
    char szPkgName[101];
    char szSerDir[101];
    bool bQuant;
};

// Window messages of the install run.
enum : uint32_t {
    kMsgProgress = 1131,
    kMsgFinished = 1132,
    kMsgStepFailed = 1135,
    kMsgStepStarted = 1138,
};

class IClient {
public:
    IClient();
    ~IClient();
    IClient(const IClient&) = delete;
    IClient& operator=(const IClient&) = delete;

    void Init();
    // Compiled-in account, replaced by the account file when there is one (see README).
    void InitOssAccount();
    void InitOssClient();

    bool RunInstall();

    bool DownLoadSummary();
    bool DownLoadConfig();
    bool DownLoadFix(const char* zip_name);
    bool DownLoadQuant(const char* zip_name);
    bool DownLoadFile(const std::string& object_key, const std::string& local_path);
    bool ReadServerConfig();
    bool UnzipFix();
    bool UnzipConfig();
    bool UnzipQuant();
    bool UnzipFile(const std::string& zip_path, const std::string& destination);
    // The three return whether their work is complete.
    bool DeleteDownloads();
    bool WriteUpdateIni();
    bool WritePackageIni();
    bool ReplaceInstalledBundle();
    // Creates this run's staging folder and holds it while the engine lives, then removes
    // the staging folders (and half-unpacked runtimes) of runs that no longer live. False
    // when the folder cannot be had: another living run may hold one of the same name.
    bool ClaimStaging();
    // With no installed bundle but the previous one left beside it by a swap that was
    // killed halfway, puts that one back under its name.
    void RestoreInterruptedSwap();

    // Called by OnDownLoadProgress, from several download threads at once.
    void OnProgress(uint64_t transferred, uint64_t total);

    const MacConfig& PackageConfig() const { return m_stConfig; }
    const ServerConfigIni& ServerConfig() const { return m_serverConfig; }
    const std::string& Bucket() const { return m_szBucket; }
    const std::string& QuantPath() const { return m_szQuantPath; }
    int TotalDownLoad() const { return m_nTotalDownLoad; }
    int ProcessRate() const { return m_nProcessRate.load(); }

private:
    // Raises the percent to `value` unless it is already higher; returns the percent.
    int RaiseRate(int value);
    int AddRate(double amount);
    std::string StagedBundle() const;
    std::string InstalledBundle() const;
    bool SwapInBundle(const std::string& incoming, const std::string& installed, std::string* previous,
                      bool had_old);

    std::string m_szAccessKey;
    std::string m_szAccessKeySecret;
    std::string m_szEndPoint;
    std::string m_szBucket;
    std::string m_szDownApp;
    std::string m_szQuantPath;
    // Downloads wait for their end, so no transfer outlives the engine that started it.
    std::unique_ptr<zuzezi_zid::ZidAPI> m_ossClient;
    ServerConfigIni m_serverConfig;
    MacConfig m_stConfig;
    bool m_bNeedDownLoadDepend = false;
    int32_t m_nTotalDownLoad = 0;
    int32_t m_nTotalDownSize = 0;
    std::atomic<int32_t> m_nCurDownLoadIndex{0};
    std::atomic<int32_t> m_nProcessRate{0};
    // Held from changing the percent to posting it, so posts come out in order.
    std::mutex m_rateMutex;
    uint64_t m_appId = 0;
    zplat::FolderClaim m_stagingClaim;
};

// The worker thread's entry (a pthread start routine); `engine` is the IClient.
void* InstallThreadProc(void* engine);
// Progress callback of every download; `user_data` is the IClient.
void OnDownLoadProgress(uint64_t transferred, uint64_t total, void* user_data);
// Starts the detached worker; false when the thread cannot be created.
bool StartInstallThread(IClient* engine);
