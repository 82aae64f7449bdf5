#include "IClient.h"

#include <pthread.h>
#include <unistd.h>

#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>

#include "ClientSettings.h"
#include "MacUtil.h"
#include "UiTheme.h"
#include "WinCompat.h"
#include "ZidAPI.h"
#include "ZidConfig.h"
#include "platform/Bundle.h"
#include "platform/Durability.h"
#include "platform/FileManager.h"
#include "platform/Log.h"
#include "platform/PathBeneath.h"
#include "request/ObjectReq.h"
#include "trsf/AsyncContext.h"

using zuzezi_zid::ClientSettings;
using zuzezi_zid::ZidAPI;
using zuzezi_zid::ZidConfig;

namespace {

// The compiled-in account is neutral: it reaches no real bucket. Its two keys are spread
// over one carrier: every third character is filler, the rest alternate key id, secret.
const char kCarrier[] =
    "AZsKxTIqDrNmIhSoTlAwLvLeAuTbIcOnNkSdWaFeDpIfUgLaTlKxEqYfZcEmRpOzVaNrLuAi";
constexpr uint64_t kDefaultAppId = 1000000000;
constexpr const char* kBucketName = "tamberlyn";

void SplitCarrier(std::string* key_id, std::string* secret) {
    key_id->clear();
    secret->clear();
    size_t kept = 0;
    for (size_t i = 0; i < 72 && kCarrier[i]; ++i) {
        if (i % 3 == 2) continue;
        (kept++ % 2 == 0 ? key_id : secret)->push_back(kCarrier[i]);
    }
}

// Versions become folder and file names: only plain names are accepted.
bool IsPlainName(const char* s) {
    if (!*s) return true;  // no version: the package has none of that kind
    if (strcmp(s, ".") == 0 || strcmp(s, "..") == 0) return false;
    for (const char* p = s; *p; ++p) {
        char c = *p;
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

// Where a version file of the staged bundle goes, links inside the bundle followed. A
// link the archives left that leads out of the bundle fails the step instead of taking
// the write.
bool VersionFilePath(const std::string& bundle, const char* name, std::string* path) {
    zplat::ErrorRecord err;
    if (MacUtil::MakeDirs(bundle.c_str()) &&
        zplat::ResolveBeneath(bundle, std::string("Contents/config/") + name, true, path, &err)) {
        return true;
    }
    zplat::LogLine("cannot place %s in %s: %s", name, bundle.c_str(), err.description.c_str());
    return false;
}

std::string ReadBack(const char* section, const char* key, const std::string& path) {
    char buf[1024] = {0};
    WinCompat::ReadIniString(section, key, "\x01", buf, sizeof buf, path.c_str());
    return buf;
}

// Bundles of earlier runs left beside the installed one, by a run killed mid-swap or by a
// swap that could not be made durable: ".NAME.new-STAMP" and ".NAME.old-STAMP".
void RemoveSwapLeftovers(const std::string& apps_dir, const std::string& app_name) {
    const std::string fresh = "." + app_name + ".new-", previous = "." + app_name + ".old-";
    for (const std::string& entry : zplat::DirectoryEntries(apps_dir)) {
        if (entry.rfind(fresh, 0) != 0 && entry.rfind(previous, 0) != 0) continue;
        const std::string path = apps_dir + "/" + entry;
        if (!MacUtil::RemovePath(path.c_str())) zplat::LogLine("cannot remove the leftover %s", path.c_str());
    }
}

// One run at a time changes what lies beside a given bundle: another run's copy or previous
// bundle there is not a leftover while that run lives. A run that finds the bundle taken
// fails rather than wait on a run that may sit at a dialog.
bool LockBundle(zplat::FileLock* lock, const std::string& apps_dir, const std::string& app_name) {
    zplat::ErrorRecord err;
    if (lock->Take(apps_dir + "/." + app_name + ".lock", &err)) return true;
    if (err.code == EBUSY) {
        zplat::LogLine("another run is installing %s in %s", app_name.c_str(), apps_dir.c_str());
    } else {
        zplat::LogLine("cannot lock %s in %s: %s", app_name.c_str(), apps_dir.c_str(), err.description.c_str());
    }
    return false;
}

// Staging folders are named by the run's stamp: 17 digits.
bool IsStagingName(const std::string& name) {
    if (name.size() != 17) return false;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

IClient::IClient() {
    memset(&m_serverConfig, 0, sizeof m_serverConfig);
    memset(&m_stConfig, 0, sizeof m_stConfig);
    Init();
}

IClient::~IClient() = default;

void IClient::Init() {
    MacUtil::ReadPackageConfig(m_stConfig);
    InstallSettings& s = UiTheme::Settings();
    s.m_szPkgNo = m_stConfig.szPkgNo;
    s.m_szPkgName = m_stConfig.szPkgName;
    s.m_szAppName = std::string(m_stConfig.szPkgName) + ".app";
    m_szDownApp = m_stConfig.szSerDir;
    m_szQuantPath = MacUtil::GetQuantPath();
    m_nTotalDownLoad = m_stConfig.bQuant ? 4 : 3;

    std::string work;
    MacUtil::GetWorkDir(work, 1);
    s.m_szBackupDir = work + "_Applications_" + s.m_szAppName + "_Contents/";
    s.m_szAppDir = zplat::ApplicationsDirectory();
    LocalTimeRecord t = {};
    WinCompat::ReadLocalTime(&t);
    char stamp[64];
    snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d%03d", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond, t.wMilliseconds);
    s.m_szTempDir = work + stamp;
}

void IClient::InitOssAccount() {
    SplitCarrier(&m_szAccessKey, &m_szAccessKeySecret);
    m_appId = kDefaultAppId;
    std::string bucket = kBucketName;

    const std::string account = zplat::AccountFilePath();
    if (zplat::FileExistsFollowing(account)) {
        // The client's own configuration format; it also applies DestDomain and the
        // other process-wide keys it holds.
        ZidConfig cfg(account);
        if (cfg.IsLoadedFromFile()) {
            if (!cfg.GetAccessKey().empty()) m_szAccessKey = cfg.GetAccessKey();
            if (!cfg.GetSecretKey().empty()) m_szAccessKeySecret = cfg.GetSecretKey();
            if (cfg.GetAppId() != 0) m_appId = cfg.GetAppId();
            try {
                std::ifstream is(account);
                Poco::JSON::Parser parser;
                auto obj = parser.parse(is).extract<Poco::JSON::Object::Ptr>();
                if (obj && obj->has("Bucket")) bucket = obj->getValue<std::string>("Bucket");
            } catch (const std::exception& e) {
                zplat::LogLine("account file %s: %s", account.c_str(), e.what());
            }
        } else {
            zplat::LogLine("account file %s could not be read; using the built-in account", account.c_str());
        }
    }
    m_szEndPoint = "accelerate";
    m_szBucket = bucket;
    m_bNeedDownLoadDepend = false;
    m_nCurDownLoadIndex = 0;
}

void IClient::InitOssClient() {
    ZidConfig config(m_appId, m_szAccessKey, m_szAccessKeySecret, m_szEndPoint);
    m_ossClient = std::make_unique<ZidAPI>(config);
    ClientSettings::SetDownThreadPoolSize(10);
    ClientSettings::SetDownSliceSize(4194304);
}

std::string IClient::StagedBundle() const {
    return UiTheme::Settings().m_szTempDir + "/" + UiTheme::Settings().m_szAppName;
}

std::string IClient::InstalledBundle() const {
    return UiTheme::Settings().m_szAppDir + "/" + UiTheme::Settings().m_szAppName;
}

int IClient::RaiseRate(int value) {
    int cur = m_nProcessRate.load();
    while (cur < value && !m_nProcessRate.compare_exchange_weak(cur, value)) {
    }
    return m_nProcessRate.load();
}

int IClient::AddRate(double amount) {
    std::lock_guard<std::mutex> lock(m_rateMutex);
    int cur = m_nProcessRate.load();
    int next;
    do {
        next = static_cast<int>(cur + amount);
    } while (!m_nProcessRate.compare_exchange_weak(cur, next));
    return next;
}

void IClient::OnProgress(uint64_t transferred, uint64_t total) {
    double fraction = total == 0 ? 0.0 : static_cast<double>(transferred) / static_cast<double>(total);
    if (fraction > 1.0) fraction = 1.0;
    double share = 0.8 / m_nTotalDownLoad;
    int value = static_cast<int>((m_nCurDownLoadIndex.load() + fraction) * share * 100.0);
    std::lock_guard<std::mutex> lock(m_rateMutex);
    MacUtil::PostUserMsg(kMsgProgress, 0, 0, RaiseRate(value));
}

void OnDownLoadProgress(uint64_t transferred, uint64_t total, void* user_data) {
    if (user_data) static_cast<IClient*>(user_data)->OnProgress(transferred, total);
}

bool IClient::DownLoadFile(const std::string& object_key, const std::string& local_path) {
    bool ok = false;
    try {
        zuzezi_zid::AsyncMultiGetObjectReq req(m_szBucket, object_key, local_path);
        req.SetTransferProgressCallback(OnDownLoadProgress);
        req.SetUserData(this);
        if (MacUtil::MakeDirsForPath(local_path.c_str()) && m_ossClient) {
            std::shared_ptr<zuzezi_zid::AsyncContext> ctx = m_ossClient->AsyncMultiGetObject(req);
            ctx->WaitUntilFinish();
            zuzezi_zid::ZidResult result = ctx->GetResult();
            ok = result.IsSucc();
            if (!ok) {
                zplat::LogLine("download of %s failed: http %d %s %s", object_key.c_str(), result.GetHttpStatus(),
                               result.GetErrorCode().c_str(), result.GetErrorMsg().c_str());
            }
        }
    } catch (const std::exception& e) {
        zplat::LogLine("download of %s failed: %s", object_key.c_str(), e.what());
        ok = false;
    }
    ++m_nCurDownLoadIndex;
    return ok;
}

bool IClient::DownLoadSummary() {
    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 0);
    return DownLoadFile(m_szDownApp + "/summary.ini", UiTheme::Settings().m_szTempDir + "/summary.ini");
}

bool IClient::DownLoadConfig() {
    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 3);
    return DownLoadFile(m_szDownApp + "/config.zip", UiTheme::Settings().m_szTempDir + "/config.zip");
}

bool IClient::DownLoadFix(const char* zip_name) {
    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 4);
    return DownLoadFile(m_szDownApp + "/fix/" + zip_name, UiTheme::Settings().m_szTempDir + "/" + zip_name);
}

bool IClient::DownLoadQuant(const char* zip_name) {
    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 5);
    std::string folder = MacUtil::IsArm64() ? "/quantM1/" : "/quantIntel/";
    return DownLoadFile(m_szDownApp + folder + zip_name, UiTheme::Settings().m_szTempDir + "/" + zip_name);
}

bool IClient::ReadServerConfig() {
    const std::string path = UiTheme::Settings().m_szTempDir + "/summary.ini";
    char buf[101] = {0};
    WinCompat::ReadIniString("cfgstamp", "time", "", buf, sizeof buf, path.c_str());
    m_serverConfig.serverCfgVersion = strtoll(buf, nullptr, 10);
    WinCompat::ReadIniString("fixstamp", m_stConfig.szPkgNo, "", m_serverConfig.serverFixVersion,
                             sizeof m_serverConfig.serverFixVersion, path.c_str());
    WinCompat::ReadIniString("quant", m_stConfig.szPkgNo, "", m_serverConfig.serQuantVersion,
                             sizeof m_serverConfig.serQuantVersion, path.c_str());
    return true;
}

bool IClient::UnzipFile(const std::string& zip_path, const std::string& destination) {
    bool ok = MacUtil::UnzipFile(zip_path.c_str(), destination.c_str());
    int rate = AddRate(10.0 / m_nTotalDownLoad);
    if (ok) MacUtil::PostUserMsg(kMsgProgress, 0, 0, rate);
    return ok;
}

bool IClient::UnzipFix() {
    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 9);
    return UnzipFile(UiTheme::Settings().m_szTempDir + "/" + m_serverConfig.serverFixVersion + ".zip",
                     StagedBundle() + "/Contents/");
}

bool IClient::UnzipConfig() {
    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 8);
    return UnzipFile(UiTheme::Settings().m_szTempDir + "/config.zip", StagedBundle() + "/Contents/");
}

bool IClient::UnzipQuant() {
    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 10);
    // Unpacked beside the runtimes and moved in only when complete, so a half-unpacked
    // runtime never passes for an installed one.
    const std::string stamp = zplat::LastPathComponent(UiTheme::Settings().m_szTempDir);
    const std::string partial = m_szQuantPath + ".unpacking-" + stamp;
    MacUtil::MakeDirs(m_szQuantPath.c_str());
    MacUtil::RemovePath(partial.c_str());
    bool ok = UnzipFile(UiTheme::Settings().m_szTempDir + "/" + m_serverConfig.serQuantVersion + ".zip", partial);
    if (ok) {
        for (const std::string& name : zplat::DirectoryEntries(partial)) {
            std::string from = partial + "/" + name;
            std::string to = zplat::AppendPathComponent(m_szQuantPath, name);
            if (!MacUtil::RemovePath(to.c_str()) || !zplat::MoveItem(from, to)) {
                zplat::LogLine("cannot move %s into %s", from.c_str(), m_szQuantPath.c_str());
                ok = false;
                break;
            }
        }
    }
    MacUtil::RemovePath(partial.c_str());
    return ok;
}

bool IClient::DeleteDownloads() {
    const std::string& tmp = UiTheme::Settings().m_szTempDir;
    const std::string files[] = {
        tmp + "/summary.ini",
        tmp + "/config.zip",
        tmp + "/" + m_serverConfig.serverFixVersion + ".zip",
        tmp + "/" + m_serverConfig.serQuantVersion + ".zip",
    };
    bool all = true;
    for (const std::string& f : files) all = MacUtil::RemovePath(f.c_str()) && all;
    return all;
}

bool IClient::WriteUpdateIni() {
    std::string path;
    if (!VersionFilePath(StagedBundle(), "update.ini", &path)) return false;
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(m_serverConfig.serverCfgVersion));
    WinCompat::WriteIniString("cfgstamp", "time", stamp, path.c_str());
    WinCompat::WriteIniString("version", "cur", m_serverConfig.serverFixVersion, path.c_str());
    if (m_stConfig.bQuant) {
        WinCompat::WriteIniString("version", "quant", m_serverConfig.serQuantVersion, path.c_str());
    }
    bool ok = ReadBack("cfgstamp", "time", path) == stamp &&
              ReadBack("version", "cur", path) == m_serverConfig.serverFixVersion;
    if (m_stConfig.bQuant) ok = ok && ReadBack("version", "quant", path) == m_serverConfig.serQuantVersion;
    return ok;
}

bool IClient::WritePackageIni() {
    std::string path;
    if (!VersionFilePath(StagedBundle(), "tamberlyn.Default.pub", &path)) return false;
    const InstallSettings& s = UiTheme::Settings();
    const std::string quant = m_stConfig.bQuant ? "1" : "0";
    WinCompat::WriteIniString("tamberlyn", "package", m_stConfig.szPkgNo, path.c_str());
    WinCompat::WriteIniString("StringTable", "IDS_PGE_NAME", m_stConfig.szPkgName, path.c_str());
    WinCompat::WriteIniString("StringTable", "IDS_PGE_APP", s.m_szAppName.c_str(), path.c_str());
    WinCompat::WriteIniString("StringTable", "IDS_SER_DIR", m_stConfig.szSerDir, path.c_str());
    WinCompat::WriteIniString("Switch", "IDS_PGE_QUANT", quant.c_str(), path.c_str());
    return ReadBack("tamberlyn", "package", path) == m_stConfig.szPkgNo &&
           ReadBack("StringTable", "IDS_PGE_NAME", path) == m_stConfig.szPkgName &&
           ReadBack("StringTable", "IDS_PGE_APP", path) == s.m_szAppName &&
           ReadBack("StringTable", "IDS_SER_DIR", path) == m_stConfig.szSerDir &&
           ReadBack("Switch", "IDS_PGE_QUANT", path) == quant;
}

// Puts `incoming` under the installed bundle's name, the installed one (if any) moving to
// `*previous`. One exchange where the system offers it, so the name is never missing;
// else two renames, the gap between them covered by RestoreInterruptedSwap.
bool IClient::SwapInBundle(const std::string& incoming, const std::string& installed, std::string* previous,
                           bool had_old) {
    zplat::ErrorRecord err;
    if (had_old && zplat::ExchangeItems(incoming, installed, &err)) {
        MacUtil::PostUserMsg(kMsgProgress, 0, 0, AddRate(5));
        // The previous bundle now lies under the incoming name; it takes its own, so that
        // a ".new-" leftover holds no old bundle. Failing that, it is dealt with there.
        if (!zplat::MoveItem(incoming, *previous)) *previous = incoming;
        return true;
    }
    if (had_old && !zplat::IsExchangeUnsupported(err)) {
        zplat::LogLine("cannot exchange the installed bundle %s: %s", installed.c_str(), err.description.c_str());
        return false;
    }
    if (had_old && !zplat::MoveItem(installed, *previous)) {
        zplat::LogLine("cannot move the installed bundle %s aside", installed.c_str());
        return false;
    }
    MacUtil::PostUserMsg(kMsgProgress, 0, 0, AddRate(5));
    if (!zplat::MoveItem(incoming, installed)) {
        zplat::LogLine("cannot move the new bundle into %s", installed.c_str());
        if (had_old) zplat::MoveItem(*previous, installed);
        return false;
    }
    return true;
}

bool IClient::ClaimStaging() {
    const std::string& staging = UiTheme::Settings().m_szTempDir;
    const std::string work = zplat::DeletingLastPathComponent(staging);
    zplat::ErrorRecord err;
    if (!MacUtil::MakeDirs(work.c_str()) || !m_stagingClaim.Claim(staging, &err)) {
        zplat::LogLine("cannot take the staging folder %s: %s", staging.c_str(), err.description.c_str());
        return false;
    }
    zplat::RemoveUnclaimedFolders(work, IsStagingName, [this](const std::string& stamp) {
        zplat::LogLine("removed the staging folder %s of a run that ended without cleaning up", stamp.c_str());
        MacUtil::RemovePath((m_szQuantPath + ".unpacking-" + stamp).c_str());
    });
    return true;
}

void IClient::RestoreInterruptedSwap() {
    const InstallSettings& s = UiTheme::Settings();
    const std::string installed = InstalledBundle();
    if (zplat::ItemExists(installed)) return;
    // A missing bundle may be another living run's swap between its two renames.
    zplat::FileLock lock;
    if (!LockBundle(&lock, s.m_szAppDir, s.m_szAppName) || zplat::ItemExists(installed)) return;
    // A ".old-" leftover was moved aside whole, in one rename; a ".new-" one may be a copy
    // cut short. Of several, the latest run's (stamps sort by time).
    const std::string previous = "." + s.m_szAppName + ".old-";
    std::string latest;
    for (const std::string& entry : zplat::DirectoryEntries(s.m_szAppDir)) {
        if (entry.rfind(previous, 0) == 0 && entry > latest) latest = entry;
    }
    if (latest.empty()) return;
    const std::string from = s.m_szAppDir + "/" + latest;
    zplat::ErrorRecord err;
    if (zplat::MoveItem(from, installed, &err)) {
        zplat::LogLine("put the previous bundle %s back after an interrupted swap", from.c_str());
    } else {
        zplat::LogLine("cannot put the previous bundle %s back: %s", from.c_str(), err.description.c_str());
    }
}

bool IClient::ReplaceInstalledBundle() {
    const InstallSettings& s = UiTheme::Settings();
    const std::string installed = InstalledBundle();
    const std::string stamp = zplat::LastPathComponent(s.m_szTempDir);
    const std::string incoming = s.m_szAppDir + "/." + s.m_szAppName + ".new-" + stamp;
    std::string previous = s.m_szAppDir + "/." + s.m_szAppName + ".old-" + stamp;

    // The new bundle is copied next to the old one first; the old one steps aside only
    // when the copy is complete and on the disk, and comes back if the swap fails.
    zplat::FileLock lock;
    if (!MacUtil::MakeDirs(s.m_szAppDir.c_str()) || !LockBundle(&lock, s.m_szAppDir, s.m_szAppName)) return false;
    MacUtil::RemovePath(incoming.c_str());
    if (!MacUtil::CopyTree(StagedBundle().c_str(), incoming.c_str())) {
        zplat::LogLine("copy of the staged bundle into %s failed", s.m_szAppDir.c_str());
        MacUtil::RemovePath(incoming.c_str());
        return false;
    }
    zplat::ErrorRecord flush;
    if (!zplat::SyncTree(incoming, &flush)) {
        zplat::LogLine("the copied bundle did not reach the disk: %s", flush.description.c_str());
        MacUtil::RemovePath(incoming.c_str());
        return false;
    }
    const bool had_old = zplat::ItemExists(installed);
    // A leftover under this run's own name (a run of the same stamp) would block the move
    // aside; with the installed bundle in place it is no one's only copy.
    if (had_old) MacUtil::RemovePath(previous.c_str());
    if (!SwapInBundle(incoming, installed, &previous, had_old)) {
        MacUtil::RemovePath(incoming.c_str());
        return false;
    }
    // The renames reach the disk before the previous bundle goes.
    bool ok = true;
    if (!zplat::SyncItem(s.m_szAppDir, &flush)) {
        zplat::LogLine("the swap in %s did not reach the disk: %s", s.m_szAppDir.c_str(), flush.description.c_str());
        return false;
    }
    if (had_old && !MacUtil::RemovePath(previous.c_str())) {
        zplat::LogLine("cannot remove the previous bundle %s", previous.c_str());
        ok = false;
    }
    // Only now: until this run's bundle is installed and on the disk, a leftover of an
    // earlier run may be the only copy of the application.
    RemoveSwapLeftovers(s.m_szAppDir, s.m_szAppName);
    if (!MacUtil::RemovePath(s.m_szTempDir.c_str())) {
        zplat::LogLine("cannot remove the staging folder %s", s.m_szTempDir.c_str());
        ok = false;
    }
    return ok;
}

bool IClient::RunInstall() {
    // A failed run leaves no staging behind: every try would add another, with whatever
    // it had unpacked.
    auto fail = [this](int step) {
        const std::string& staging = UiTheme::Settings().m_szTempDir;
        if (!staging.empty() && !MacUtil::RemovePath(staging.c_str())) {
            zplat::LogLine("cannot remove the staging folder %s", staging.c_str());
        }
        m_stagingClaim.Release();
        MacUtil::PostUserMsg(kMsgStepFailed, 0, 0, step);
        return false;
    };
    // Not through `fail`: a folder of this name may be another living run's.
    if (!ClaimStaging()) {
        MacUtil::PostUserMsg(kMsgStepFailed, 0, 0, 0);
        return false;
    }
    RestoreInterruptedSwap();
    if (!DownLoadSummary()) return fail(0);
    ReadServerConfig();
    if (!IsPlainName(m_serverConfig.serverFixVersion) || !IsPlainName(m_serverConfig.serQuantVersion)) {
        zplat::LogLine("summary.ini names an unusable version (\"%s\", \"%s\")", m_serverConfig.serverFixVersion,
                       m_serverConfig.serQuantVersion);
        return fail(0);
    }
    const bool needed = MacUtil::IsQuantNeeded(m_serverConfig.serQuantVersion);
    if (!DownLoadConfig()) return fail(3);
    if (!DownLoadFix((std::string(m_serverConfig.serverFixVersion) + ".zip").c_str())) return fail(4);
    if (m_stConfig.bQuant) {
        if (needed) {
            if (!DownLoadQuant((std::string(m_serverConfig.serQuantVersion) + ".zip").c_str())) return fail(5);
        } else {
            MacUtil::PostUserMsg(kMsgProgress, 0, 0, AddRate(0.8 / m_nTotalDownLoad * 100.0));
        }
    }
    usleep(100000);
    if (!UnzipFix()) return fail(9);
    usleep(100000);
    if (!UnzipConfig()) return fail(8);
    usleep(100000);
    if (m_stConfig.bQuant && needed) {
        if (!UnzipQuant()) return fail(10);
        usleep(100000);
    }
    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 11);
    bool removed = DeleteDownloads();
    bool update = WriteUpdateIni();
    bool package = WritePackageIni();
    if (!removed || !update || !package) return fail(11);

    MacUtil::PostUserMsg(kMsgStepStarted, 0, 0, 13);
    if (!ReplaceInstalledBundle()) return fail(13);
    m_stagingClaim.Release();
    MacUtil::PostUserMsg(kMsgProgress, 0, 0, AddRate(4));
    MacUtil::PostUserMsg(kMsgProgress, 0, 0, AddRate(1));
    MacUtil::PostUserMsg(kMsgFinished, 0, 0, 0);
    return true;
}

void* InstallThreadProc(void* engine) {
    usleep(100000);
    if (engine) static_cast<IClient*>(engine)->RunInstall();
    return nullptr;
}

bool StartInstallThread(IClient* engine) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, InstallThreadProc, engine) != 0) return false;
    pthread_detach(thread);
    return true;
}
