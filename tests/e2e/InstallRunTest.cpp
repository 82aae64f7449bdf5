// The install run end to end: the real engine, message channel and storage client against
// the loopback storage service, into temporary applications, home and bundle folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ClientSettings.h"
#include "IClient.h"
#include "support/LocalServiceFixture.h"
#include "support/ScopedEnv.h"
#include "MacUtil.h"
#include "SamplePackage.h"
#include "UiTheme.h"
#include "support/ZipFixture.h"
#include "platform/Durability.h"
#include "platform/FileManager.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"

using zuzezi_zid::ClientSettings;

namespace {

constexpr uint64_t kAppId = 1250000000;

struct Message {
    int64_t msg;
    int64_t l;
};

class InstallRunTest : public zid_test::LocalServiceFixture {
protected:
    void SetUp() override {
        LocalServiceFixture::SetUp();
        savedThreads_ = ClientSettings::GetDownThreadPoolSize();
        savedSlice_ = ClientSettings::GetDownSliceSize();
        root_ = zid_test::MakeTempFolder("zid-install-run");
        apps_ = root_ + "/Applications";
        home_ = root_ + "/home";
        bundle_ = root_ + "/installer/Installer.app";
        zplat::CreateDirectory(apps_, true);
        zplat::CreateDirectory(home_, true);
        pkg_.bigEntryBytes = 1000;
        env_.Set("HOME", home_);
        env_.Set("ZID_INSTALLER_BUNDLE", bundle_);
        env_.Set("ZID_INSTALLER_APPLICATIONS", apps_);
        env_.Set("ZID_INSTALLER_ACCOUNT", root_ + "/account.json");
        env_.Set("ZID_INSTALLER_MACHINE", "x86_64");
        zid_test::WriteBytes(root_ + "/account.json",
                             "{\"AppID\": " + std::to_string(kAppId) +
                                 ", \"AccessKey\": \"AKID\", \"SecretKey\": \"SK\", \"Bucket\": \"tamberlyn\","
                                 " \"DestDomain\": \"" + DestDomain() + "\"}");
        zplat::MainQueueBindThisThread();
        observer_ = zplat::NotificationCenter::Default().AddObserver(
            "OnFrameUserMsg", [this](const zplat::Notification& n) {
                messages_.push_back({n.userInfo.at("msg"), n.userInfo.at("l")});
            });
    }

    void TearDown() override {
        // A run that never ended may still use its engine: that one is left to the process.
        if (running_) {
            for (auto& e : engines_) e.release();
        }
        engines_.clear();
        zplat::NotificationCenter::Default().RemoveObserver(observer_);
        ClientSettings::SetDownThreadPoolSize(savedThreads_);
        ClientSettings::SetDownSliceSize(savedSlice_);
        zplat::RemoveItem(root_);
        LocalServiceFixture::TearDown();
    }

    // Writes the package, loads it into the service and prepares the installer bundle.
    void Publish() {
        ASSERT_TRUE(zid_sample::WriteRemoteObjects(pkg_, root_ + "/seed", Bucket("tamberlyn", kAppId)));
        ASSERT_TRUE(zid_sample::WriteInstallerBundle(pkg_, bundle_));
        Service().Seed(root_ + "/seed");
    }

    std::string Key(const std::string& rest) const { return pkg_.serDir + "/" + rest; }
    std::string Label() const { return Bucket("tamberlyn", kAppId); }

    // A new engine (new staging folder), set up as the window does.
    IClient* MakeEngine() {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));  // staging names carry milliseconds
        engines_.push_back(std::make_unique<IClient>());
        IClient* engine = engines_.back().get();
        engine->InitOssAccount();
        engine->InitOssClient();
        staging_ = UiTheme::Settings().m_szTempDir;
        return engine;
    }

    // Runs the install on its own thread and delivers the messages on this one.
    bool Run(IClient* engine) {
        messages_.clear();
        running_ = StartInstallThread(engine);
        EXPECT_TRUE(running_);
        bool ended = zplat::MainQueueRunUntil(
            [this] {
                return !messages_.empty() &&
                       (messages_.back().msg == kMsgFinished || messages_.back().msg == kMsgStepFailed);
            },
            120000);
        EXPECT_TRUE(ended) << "the run did not end";
        if (ended) running_ = false;
        // Let the worker return before the next run touches the settings record.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        zplat::MainQueueDrain();
        return ended && messages_.back().msg == kMsgFinished;
    }

    std::vector<int64_t> Of(int64_t msg) const {
        std::vector<int64_t> out;
        for (const Message& m : messages_) {
            if (m.msg == msg) out.push_back(m.l);
        }
        return out;
    }

    // The distinct percents in the order posted.
    std::vector<int64_t> Percents() const {
        std::vector<int64_t> out;
        for (int64_t p : Of(kMsgProgress)) {
            if (out.empty() || out.back() != p) out.push_back(p);
        }
        return out;
    }

    bool RequestedKey(const std::string& key) const {
        for (const auto& r : Service().Requests()) {
            if (r.key == key || r.key == "/" + key) return true;
        }
        return false;
    }

    std::string WorkFolder() const { return home_ + "/Library/tamberlyn9.5"; }

    static time_t Local(int year, int month, int day, int hour, int minute, int second) {
        struct tm t = {};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        t.tm_isdst = -1;
        return mktime(&t);
    }

    std::string Installed(const std::string& rel) const {
        return apps_ + "/" + pkg_.pkgName + ".app/" + rel;
    }

    zid_sample::SamplePackage pkg_;
    std::string root_, apps_, home_, bundle_, staging_;
    std::vector<Message> messages_;

private:
    zid_test::ScopedEnv env_;
    int observer_ = 0;
    unsigned savedThreads_ = 0;
    unsigned savedSlice_ = 0;
    std::vector<std::unique_ptr<IClient>> engines_;
    bool running_ = false;  // an install thread was started and its run has not ended
};

bool IsSubsequence(const std::vector<int64_t>& want, const std::vector<int64_t>& got) {
    size_t i = 0;
    for (int64_t g : got) {
        if (i < want.size() && g == want[i]) ++i;
    }
    return i == want.size();
}

TEST_F(InstallRunTest, PackageWithoutQuantOptionInstallsWithItsStepsPercentsAndVersionFiles) {
    pkg_.bigEntryBytes = 9u << 20;  // several 4 MiB slices
    Publish();
    IClient* engine = MakeEngine();
    EXPECT_EQ(engine->TotalDownLoad(), 3);
    ASSERT_TRUE(Run(engine));

    EXPECT_EQ(Of(kMsgStepStarted), (std::vector<int64_t>{0, 3, 4, 9, 8, 11, 13}));
    std::vector<int64_t> percents = Percents();
    EXPECT_TRUE(IsSubsequence({26, 53, 80, 83, 86, 91, 95, 96}, percents)) << ::testing::PrintToString(percents);
    for (size_t i = 1; i < percents.size(); ++i) EXPECT_LE(percents[i - 1], percents[i]);
    EXPECT_EQ(percents.back(), 96);
    EXPECT_EQ(messages_.back().msg, kMsgFinished);
    EXPECT_TRUE(Of(kMsgStepFailed).empty());

    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/config/update.ini")),
              "[cfgstamp]\ntime=20261210093000\n[version]\ncur=9.5.3\n");
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/config/tamberlyn.Default.pub")),
              "[tamberlyn]\npackage=8001\n[StringTable]\nIDS_PGE_NAME=Tamberlyn\nIDS_PGE_APP=Tamberlyn.app\n"
              "IDS_SER_DIR=mac8001\n[Switch]\nIDS_PGE_QUANT=0\n");
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/Resources/data.bin")), zid_sample::BigEntryContent(9u << 20));
    EXPECT_EQ(zplat::PosixMode(Installed("Contents/MacOS/Tamberlyn")) & 0777, 0755);
    std::string target;
    ASSERT_TRUE(zplat::ReadLink(Installed("Contents/MacOS/run"), &target));
    EXPECT_EQ(target, "Tamberlyn");
    EXPECT_TRUE(zplat::IsDirectory(Installed("Contents/Resources/empty")));
    // Both packages hold config/readme.txt: the configuration package is unpacked last.
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/config/readme.txt")), "from the configuration package\n");
    EXPECT_FALSE(zplat::ItemExists(staging_));
    EXPECT_FALSE(RequestedKey(Key("quantIntel/q2.1.0.zip")));
    EXPECT_FALSE(zplat::ItemExists(home_ + "/Library/tamberlyn9.5_quant"));
    EXPECT_EQ(ClientSettings::GetDownThreadPoolSize(), 10u);
    EXPECT_EQ(ClientSettings::GetDownSliceSize(), 4194304u);
}

TEST_F(InstallRunTest, QuantRuntimeComesFromTheFolderOfTheMachineType) {
    const struct {
        const char* machine;
        const char* folder;
        const char* other;
    } cases[] = {{"arm64", "quantM1", "quantIntel"}, {"x86_64", "quantIntel", "quantM1"}};
    pkg_.quant = true;
    Publish();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.machine);
        setenv("ZID_INSTALLER_MACHINE", c.machine, 1);
        zplat::RemoveItem(home_ + "/Library/tamberlyn9.5_quant");
        Service().ClearRequests();
        IClient* engine = MakeEngine();
        EXPECT_EQ(engine->TotalDownLoad(), 4);
        ASSERT_TRUE(Run(engine));
        EXPECT_TRUE(RequestedKey(Key(std::string(c.folder) + "/q2.1.0.zip")));
        EXPECT_FALSE(RequestedKey(Key(std::string(c.other) + "/q2.1.0.zip")));
        EXPECT_EQ(Of(kMsgStepStarted), (std::vector<int64_t>{0, 3, 4, 5, 9, 8, 10, 11, 13}));
        EXPECT_TRUE(IsSubsequence({20, 40, 60, 80, 82, 84, 86, 91, 95, 96}, Percents()))
            << ::testing::PrintToString(Percents());
        const std::string runtime = home_ + "/Library/tamberlyn9.5_quant/q2.1.0";
        EXPECT_EQ(zid_test::ReadBytes(runtime + "/runtime.txt"), std::string(c.folder) + "\n");
        EXPECT_EQ(zplat::PosixMode(runtime + "/bin/qrun") & 0777, 0755);
        // Nothing else is left beside the runtime (no half-unpacked folder).
        EXPECT_EQ(zplat::DirectoryEntries(home_ + "/Library/tamberlyn9.5_quant"), std::vector<std::string>{"q2.1.0"});
        EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/config/update.ini")),
                  "[cfgstamp]\ntime=20261210093000\n[version]\ncur=9.5.3\nquant=q2.1.0\n");
    }
}

TEST_F(InstallRunTest, RuntimeAlreadyPresentIsNeitherDownloadedNorUnpacked) {
    pkg_.quant = true;
    Publish();
    const std::string runtime = home_ + "/Library/tamberlyn9.5_quant/q2.1.0";
    ASSERT_TRUE(zplat::CreateDirectory(runtime, true));
    zid_test::WriteBytes(runtime + "/mine.txt", "kept");
    IClient* engine = MakeEngine();
    ASSERT_TRUE(Run(engine));
    EXPECT_FALSE(RequestedKey(Key("quantIntel/q2.1.0.zip")));
    EXPECT_FALSE(RequestedKey(Key("quantM1/q2.1.0.zip")));
    EXPECT_EQ(Of(kMsgStepStarted), (std::vector<int64_t>{0, 3, 4, 9, 8, 11, 13}));
    // The skipped download still counts for its share: 60 jumps to 80.
    EXPECT_TRUE(IsSubsequence({60, 80, 82, 84, 89, 93, 94}, Percents())) << ::testing::PrintToString(Percents());
    EXPECT_EQ(zid_test::ReadBytes(runtime + "/mine.txt"), "kept");
    EXPECT_FALSE(zplat::ItemExists(runtime + "/runtime.txt"));
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/config/update.ini")),
              "[cfgstamp]\ntime=20261210093000\n[version]\ncur=9.5.3\nquant=q2.1.0\n");
}

TEST_F(InstallRunTest, EachMissingObjectFailsItsDownloadStep) {
    const struct {
        const char* key;
        int64_t step;
    } cases[] = {{"summary.ini", 0}, {"config.zip", 3}, {"fix/9.5.3.zip", 4}, {"quantIntel/q2.1.0.zip", 5}};
    pkg_.quant = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        Service().Clear();
        Publish();
        ASSERT_TRUE(Service().DeleteObject(Label(), Key(c.key)));
        IClient* engine = MakeEngine();
        EXPECT_FALSE(Run(engine));
        EXPECT_EQ(messages_.back().msg, kMsgStepFailed);
        EXPECT_EQ(messages_.back().l, c.step);
        EXPECT_EQ(Of(kMsgStepStarted).back(), c.step);  // nothing after the failed step
        EXPECT_TRUE(Of(kMsgFinished).empty());
        EXPECT_FALSE(zplat::ItemExists(Installed("")));
        EXPECT_EQ(zplat::DirectoryEntries(WorkFolder()), std::vector<std::string>{});
    }
}

TEST_F(InstallRunTest, EachCorruptArchiveFailsItsUnpackStep) {
    const struct {
        const char* key;
        int64_t step;
    } cases[] = {{"fix/9.5.3.zip", 9}, {"config.zip", 8}, {"quantIntel/q2.1.0.zip", 10}};
    pkg_.quant = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        Service().Clear();
        Publish();
        Service().PutObject(Label(), Key(c.key), "PK\x03\x04 this is no archive");
        IClient* engine = MakeEngine();
        EXPECT_FALSE(Run(engine));
        EXPECT_EQ(messages_.back().msg, kMsgStepFailed);
        EXPECT_EQ(messages_.back().l, c.step);
        EXPECT_FALSE(zplat::ItemExists(Installed("")));
        // Nothing of the failed try is left, nor of the ones before it.
        EXPECT_FALSE(zplat::ItemExists(staging_));
        EXPECT_EQ(zplat::DirectoryEntries(WorkFolder()), std::vector<std::string>{});
    }
}

TEST_F(InstallRunTest, HalfUnpackedRuntimeIsNotTakenForAnInstalledOne) {
    pkg_.quant = true;
    Publish();
    // The first entry unpacks, the second fails its CRC check.
    const std::string zip = root_ + "/bad-quant.zip";
    zid_test::ZipEntrySpec first = zid_test::FileEntry("q2.1.0/runtime.txt", "quantIntel\n");
    zid_test::ZipEntrySpec second = zid_test::FileEntry("q2.1.0/lib.bin", "UNIQUE-PAYLOAD-0123456789");
    first.stored = second.stored = true;
    zid_test::WriteZip(zip, {first, second});
    zid_test::CorruptStoredData(zip, "UNIQUE-PAYLOAD-0123456789");
    Service().PutObject(Label(), Key("quantIntel/q2.1.0.zip"), zid_test::ReadBytes(zip));

    IClient* engine = MakeEngine();
    EXPECT_FALSE(Run(engine));
    EXPECT_EQ(messages_.back().l, 10);
    EXPECT_TRUE(MacUtil::IsQuantNeeded("q2.1.0"));
    EXPECT_FALSE(zplat::ItemExists(home_ + "/Library/tamberlyn9.5_quant/q2.1.0"));
}

TEST_F(InstallRunTest, FailedCopyAtTheSwapKeepsTheInstalledBundle) {
    Publish();
    ASSERT_TRUE(Run(MakeEngine()));
    const std::string before = zid_test::ReadBytes(Installed("Contents/Info.plist"));
    ASSERT_FALSE(before.empty());
    zid_test::WriteBytes(Installed("Contents/old-only.txt"), "old");

    // A new release; its staged bundle holds an item that cannot be copied (a FIFO).
    Service().PutObject(Label(), Key("summary.ini"),
                        "[cfgstamp]\ntime=2\n[fixstamp]\n8001=9.5.3\n[quant]\n8001=\n");
    IClient* engine = MakeEngine();
    const std::string staged = staging_ + "/" + pkg_.pkgName + ".app/Contents";
    ASSERT_TRUE(zplat::CreateDirectory(staged, true));
    ASSERT_EQ(mkfifo((staged + "/pipe").c_str(), 0600), 0);
    EXPECT_FALSE(Run(engine));
    EXPECT_EQ(messages_.back().msg, kMsgStepFailed);
    EXPECT_EQ(messages_.back().l, 13);
    EXPECT_TRUE(Of(kMsgFinished).empty());

    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/Info.plist")), before);
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/old-only.txt")), "old");
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/config/update.ini")),
              "[cfgstamp]\ntime=20261210093000\n[version]\ncur=9.5.3\n");
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{pkg_.pkgName + ".app"});
    EXPECT_FALSE(zplat::ItemExists(staging_));
}

TEST_F(InstallRunTest, FailedFlushAtTheSwapKeepsTheInstalledBundle) {
    Publish();
    ASSERT_TRUE(Run(MakeEngine()));
    const std::string before = zid_test::ReadBytes(Installed("Contents/Info.plist"));
    Service().PutObject(Label(), Key("summary.ini"),
                        "[cfgstamp]\ntime=2\n[fixstamp]\n8001=9.5.3\n[quant]\n8001=\n");
    IClient* engine = MakeEngine();
    {
        // The disk refuses one file of the copied bundle.
        struct Restore {
            ~Restore() { zplat::SetSyncHook(nullptr); }
        } restore;
        zplat::SetSyncHook([](const std::string& path, int) {
            return zplat::LastPathComponent(path) == "Info.plist" ? EIO : 0;
        });
        EXPECT_FALSE(Run(engine));
    }
    EXPECT_EQ(messages_.back().msg, kMsgStepFailed);
    EXPECT_EQ(messages_.back().l, 13);
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/Info.plist")), before);
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/config/update.ini")),
              "[cfgstamp]\ntime=20261210093000\n[version]\ncur=9.5.3\n");
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{pkg_.pkgName + ".app"});
    EXPECT_EQ(zplat::DirectoryEntries(WorkFolder()), std::vector<std::string>{});
}

TEST_F(InstallRunTest, InstalledBundleKeepsTheArchiveDatesAndItsFrameworkLinks) {
    using zid_test::DosDate;
    Publish();
    const std::string fw = "Frameworks/Z.framework/";
    zid_test::ZipEntrySpec exe = zid_test::FileEntry("MacOS/Tamberlyn", "#!/bin/sh\n", 0755);
    exe.dosDate = DosDate(2001, 2, 3, 4, 5, 6);
    zid_test::ZipEntrySpec macos = zid_test::DirEntry("MacOS/");
    macos.dosDate = DosDate(2002, 3, 4, 5, 6, 8);
    zid_test::ZipEntrySpec current = zid_test::LinkEntry(fw + "Versions/Current", "A");
    current.dosDate = DosDate(2003, 4, 5, 6, 7, 8);
    zid_test::ZipEntrySpec info = zid_test::FileEntry(fw + "Versions/Current/Info.txt", "info");
    info.dosDate = DosDate(2004, 5, 6, 7, 8, 10);
    const std::string zip = root_ + "/dated.zip";
    zid_test::WriteZip(zip, {macos, exe, current, info});
    Service().PutObject(Label(), Key("fix/9.5.3.zip"), zid_test::ReadBytes(zip));
    ASSERT_TRUE(Run(MakeEngine()));

    const struct {
        std::string rel;
        time_t when;  // local time, as the archive's dates are
    } cases[] = {
        {"Contents/MacOS/Tamberlyn", Local(2001, 2, 3, 4, 5, 6)},
        {"Contents/MacOS", Local(2002, 3, 4, 5, 6, 8)},
        {"Contents/" + fw + "Versions/Current", Local(2003, 4, 5, 6, 7, 8)},  // the link itself
        {"Contents/" + fw + "Versions/A/Info.txt", Local(2004, 5, 6, 7, 8, 10)},
    };
    for (const auto& c : cases) {
        time_t when = 0;
        ASSERT_TRUE(zplat::GetModificationDate(Installed(c.rel), &when)) << c.rel;
        EXPECT_EQ(when, c.when) << c.rel;
    }
    EXPECT_EQ(zplat::ItemTypeAt(Installed("Contents/" + fw + "Versions/Current")), zplat::ItemType::Symlink);
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/" + fw + "Versions/Current/Info.txt")), "info");
}

TEST_F(InstallRunTest, VersionFileThatCannotBeWrittenFailsStep11) {
    Publish();
    ASSERT_TRUE(Run(MakeEngine()));
    const std::string before = zid_test::ReadBytes(Installed("Contents/config/update.ini"));
    // The configuration package puts a folder where update.ini goes.
    const std::string zip = root_ + "/cfg.zip";
    zid_test::WriteZip(zip, {zid_test::DirEntry("config/update.ini/"), zid_test::FileEntry("config/x.cfg", "x")});
    Service().PutObject(Label(), Key("config.zip"), zid_test::ReadBytes(zip));
    EXPECT_FALSE(Run(MakeEngine()));
    EXPECT_EQ(messages_.back().msg, kMsgStepFailed);
    EXPECT_EQ(messages_.back().l, 11);
    EXPECT_EQ(Of(kMsgStepStarted).back(), 11);  // the bundle is not replaced
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/config/update.ini")), before);
    EXPECT_FALSE(zplat::ItemExists(Installed("Contents/config/x.cfg")));
}

TEST_F(InstallRunTest, SecondInstallReplacesTheBundleWhole) {
    Publish();
    ASSERT_TRUE(Run(MakeEngine()));
    zid_test::WriteBytes(Installed("Contents/old-only.txt"), "old");
    ASSERT_TRUE(Run(MakeEngine()));
    EXPECT_FALSE(zplat::ItemExists(Installed("Contents/old-only.txt")));
    EXPECT_TRUE(zplat::ItemExists(Installed("Contents/MacOS/Tamberlyn")));
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{pkg_.pkgName + ".app"});
}

// What killed runs left: a swap cut between its two renames, and a staging folder with
// its downloads and staged bundle. The next run puts the previous bundle back before it
// does anything else, even when it fails, and clears the dead run's staging.
TEST_F(InstallRunTest, RunAfterKilledRunsRestoresTheBundleAndClearsTheirStaging) {
    Publish();
    ASSERT_TRUE(Run(MakeEngine()));
    const std::string before = zid_test::ReadBytes(Installed("Contents/Info.plist"));
    ASSERT_FALSE(before.empty());
    const std::string stamp = "20261101090000000";
    ASSERT_TRUE(zplat::MoveItem(Installed(""), apps_ + "/." + pkg_.pkgName + ".app.old-" + stamp));
    ASSERT_TRUE(zplat::CreateDirectory(apps_ + "/." + pkg_.pkgName + ".app.new-" + stamp + "/Contents", true));
    const std::string dead = WorkFolder() + "/" + stamp;
    ASSERT_TRUE(zplat::CreateDirectory(dead + "/" + pkg_.pkgName + ".app/Contents", true));
    zid_test::WriteBytes(dead + "/summary.ini", "[cfgstamp]\ntime=1\n");
    zid_test::WriteBytes(dead + "/config.zip", "zip");

    ASSERT_TRUE(Service().DeleteObject(Label(), Key("summary.ini")));
    EXPECT_FALSE(Run(MakeEngine()));
    EXPECT_EQ(messages_.back().l, 0);
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/Info.plist")), before);
    EXPECT_EQ(zplat::DirectoryEntries(WorkFolder()), std::vector<std::string>{});

    Publish();
    ASSERT_TRUE(Run(MakeEngine()));
    EXPECT_EQ(zplat::DirectoryEntries(apps_), std::vector<std::string>{pkg_.pkgName + ".app"});
}

TEST_F(InstallRunTest, HostileApplicationPackageWritesNothingOutsideTheBundle) {
    const struct {
        const char* name;
        std::vector<zid_test::ZipEntrySpec> entries;
    } cases[] = {
        {"link to an absolute path, then a file through it",
         {zid_test::LinkEntry("MacOS/out", root_), zid_test::FileEntry("MacOS/out/escaped.txt", "x")}},
        {"link climbing out, then a file through it",
         {zid_test::LinkEntry("MacOS/up", "../../../../../.."), zid_test::FileEntry("MacOS/up/escaped.txt", "x")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        Publish();
        const std::string zip = root_ + "/hostile.zip";
        zid_test::WriteZip(zip, c.entries);
        Service().PutObject(Label(), Key("fix/9.5.3.zip"), zid_test::ReadBytes(zip));
        IClient* engine = MakeEngine();
        EXPECT_FALSE(Run(engine));
        EXPECT_EQ(messages_.back().l, 9);
        EXPECT_FALSE(zplat::ItemExists(root_ + "/escaped.txt"));
        EXPECT_FALSE(zplat::ItemExists("/escaped.txt"));
        EXPECT_FALSE(zplat::ItemExists(Installed("")));
    }
}

TEST_F(InstallRunTest, LinksLeadingOutOfTheBundleTakeNoWrite) {
    using zid_test::FileEntry;
    using zid_test::LinkEntry;
    // Each link looks inside on its own; read through the ones before it, "e" is the work
    // folder that holds the staging folder.
    const std::vector<zid_test::ZipEntrySpec> chain = {LinkEntry("b", "."), LinkEntry("c", "b/.."),
                                                       LinkEntry("d", "c/.."), LinkEntry("e", "d/..")};
    auto with = [&](const zid_test::ZipEntrySpec& last) {
        std::vector<zid_test::ZipEntrySpec> all = chain;
        all.push_back(last);
        return all;
    };
    const std::vector<zid_test::ZipEntrySpec> plain_app = {FileEntry("MacOS/Tamberlyn", "#!/bin/sh\n", 0755)};
    const std::vector<zid_test::ZipEntrySpec> no_config_folder = {FileEntry("other/server.cfg", "s")};
    const std::string outside = root_ + "/outside";
    const struct {
        const char* name;
        std::vector<zid_test::ZipEntrySpec> app, config;  // empty: the sample's own
        const char* staged_link;  // made in the staged bundle before the run
        std::string staged_target;
        int failed_step;  // 0: installs
    } cases[] = {
        {"a link chain in the application package ends at the version folder",
         with(LinkEntry("config", "e/victim")), {}, nullptr, "", 9},
        {"a file of the application package written through the chain",
         with(FileEntry("e/victim/update.ini", "x")), {}, nullptr, "", 9},
        {"the version folder is a link out of the bundle", plain_app, no_config_folder, "Contents/config", outside, 11},
        {"a version file is a link out of the bundle", {}, {}, "Contents/config/update.ini",
         "../../../../../../../outside/update.ini", 11},
        {"the version folder is a link inside the bundle", plain_app, no_config_folder, "Contents/config",
         "Resources/settings", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Service().Clear();
        zplat::RemoveItem(apps_);
        zplat::CreateDirectory(apps_, true);
        zplat::RemoveItem(outside);
        zplat::CreateDirectory(outside, true);
        Publish();
        if (!c.app.empty()) {
            zid_test::WriteZip(root_ + "/app.zip", c.app);
            Service().PutObject(Label(), Key("fix/9.5.3.zip"), zid_test::ReadBytes(root_ + "/app.zip"));
        }
        if (!c.config.empty()) {
            zid_test::WriteZip(root_ + "/cfg.zip", c.config);
            Service().PutObject(Label(), Key("config.zip"), zid_test::ReadBytes(root_ + "/cfg.zip"));
        }
        IClient* engine = MakeEngine();
        if (c.staged_link) {
            const std::string link = staging_ + "/" + pkg_.pkgName + ".app/" + c.staged_link;
            ASSERT_TRUE(zplat::CreateDirectory(zplat::DeletingLastPathComponent(link), true));
            ASSERT_EQ(symlink(c.staged_target.c_str(), link.c_str()), 0);
        }
        const bool installed = Run(engine);
        EXPECT_EQ(installed, c.failed_step == 0);
        if (c.failed_step != 0) {
            EXPECT_EQ(messages_.back().l, c.failed_step);
            EXPECT_FALSE(zplat::ItemExists(Installed("")));
        } else {
            EXPECT_EQ(zplat::ItemTypeAt(Installed("Contents/config")), zplat::ItemType::Symlink);
            EXPECT_NE(zid_test::ReadBytes(Installed("Contents/Resources/settings/update.ini")).find("cur=9.5.3"),
                      std::string::npos);
        }
        EXPECT_EQ(zplat::DirectoryEntries(outside), std::vector<std::string>{});
        EXPECT_FALSE(zplat::ItemExists(home_ + "/Library/tamberlyn9.5/victim"));
    }
}

TEST_F(InstallRunTest, ClimbingEntryNamesStayInsideTheBundle) {
    Publish();
    const std::string zip = root_ + "/slip.zip";
    zid_test::WriteZip(zip, {zid_test::FileEntry("../../../../slip.txt", "a"),
                             zid_test::FileEntry("/abs/dir/file.txt", "b"),
                             zid_test::FileEntry("MacOS\\Tamberlyn", "#!/bin/sh\n", 0755)});
    Service().PutObject(Label(), Key("fix/9.5.3.zip"), zid_test::ReadBytes(zip));
    ASSERT_TRUE(Run(MakeEngine()));
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/slip.txt")), "a");
    EXPECT_EQ(zid_test::ReadBytes(Installed("Contents/abs/dir/file.txt")), "b");
    EXPECT_TRUE(zplat::ItemExists(Installed("Contents/MacOS/Tamberlyn")));
    EXPECT_FALSE(zplat::ItemExists(root_ + "/slip.txt"));
    EXPECT_FALSE(zplat::ItemExists(home_ + "/Library/slip.txt"));
}

TEST_F(InstallRunTest, UnsafeVersionInTheSummaryFailsTheFirstStep) {
    for (const char* version : {"../../evil", "..", "a/b"}) {
        SCOPED_TRACE(version);
        Service().Clear();
        Publish();
        Service().PutObject(Label(), Key("summary.ini"),
                            std::string("[cfgstamp]\ntime=1\n[fixstamp]\n8001=") + version + "\n");
        EXPECT_FALSE(Run(MakeEngine()));
        EXPECT_EQ(messages_.back().msg, kMsgStepFailed);
        EXPECT_EQ(messages_.back().l, 0);
        EXPECT_EQ(Of(kMsgStepStarted), std::vector<int64_t>{0});
    }
}

}  // namespace
