#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <Poco/TemporaryFile.h>

#include "ClientSettings.h"
#include "SettingsGuard.h"
#include "ZidConfig.h"

using namespace zuzezi_zid;

namespace {

// Captures what a block writes to std::cout and std::cerr.
class StreamCapture {
public:
    StreamCapture()
        : out_(std::cout.rdbuf(out_buf_.rdbuf())), err_(std::cerr.rdbuf(err_buf_.rdbuf())) {}
    ~StreamCapture() {
        std::cout.rdbuf(out_);
        std::cerr.rdbuf(err_);
    }
    std::string Out() const { return out_buf_.str(); }
    std::string Err() const { return err_buf_.str(); }

private:
    std::ostringstream out_buf_, err_buf_;
    std::streambuf* out_;
    std::streambuf* err_;
};

const std::string kPrimary = ClientSettings::kPrimaryDomainSuffix;
const std::string kBackup = ClientSettings::kBackupDomainSuffix;

}  // namespace

TEST(ClientSettingsTest, LoadValues) {
    EXPECT_EQ(ClientSettings::GetUploadCopyPartSize(), 20971520u);
    EXPECT_EQ(ClientSettings::GetDnsCacheExpireSeconds(), 600u);
    EXPECT_EQ(ClientSettings::GetDnsCacheSize(), 1000u);
    EXPECT_FALSE(ClientSettings::IsKeepAlive());
    EXPECT_EQ(ClientSettings::GetKeepIdle(), 20);
    EXPECT_EQ(ClientSettings::GetKeepIntvl(), 5);
}

TEST(ClientSettingsTest, SettersClamp) {
    zid_util_test::SettingsGuard guard;
    struct Case {
        void (*set)(unsigned);
        unsigned (*get)();
        unsigned in, out;
    };
    const Case cases[] = {
        {ClientSettings::SetDownThreadPoolSize, ClientSettings::GetDownThreadPoolSize, 0, 1},
        {ClientSettings::SetDownThreadPoolSize, ClientSettings::GetDownThreadPoolSize, 10, 10},
        {ClientSettings::SetDownThreadPoolSize, ClientSettings::GetDownThreadPoolSize, 11, 10},
        {ClientSettings::SetDownSliceSize, ClientSettings::GetDownSliceSize, 4095, 4096},
        {ClientSettings::SetDownSliceSize, ClientSettings::GetDownSliceSize, 4194304, 4194304},
        {ClientSettings::SetDownSliceSize, ClientSettings::GetDownSliceSize, 20971521, 20971520},
        {ClientSettings::SetUploadThreadPoolSize, ClientSettings::GetUploadThreadPoolSize, 0, 1},
        {ClientSettings::SetUploadThreadPoolSize, ClientSettings::GetUploadThreadPoolSize, 101,
         100},
        {ClientSettings::SetUploadThreadPoolSize, ClientSettings::GetUploadThreadPoolSize, 7, 7},
        {ClientSettings::SetAsynThreadPoolSize, ClientSettings::GetAsynThreadPoolSize, 0, 1},
        {ClientSettings::SetAsynThreadPoolSize, ClientSettings::GetAsynThreadPoolSize, 64, 64},
    };
    for (const auto& c : cases) {
        c.set(c.in);
        EXPECT_EQ(c.get(), c.out) << c.in;
    }
}

TEST(ClientSettingsTest, BucketHosts) {
    const std::string label = ClientSettings::kServiceLabel;
    EXPECT_EQ(label, "zid");
    struct Case {
        uint64_t app_id;
        const char* region;
        const char* bucket;
        bool backup;
        std::string expected;
    };
    const Case cases[] = {
        {7, "ap-x", "b", false, "b-7.zid.ap-x" + kPrimary},
        {7, "ap-x", "b-7", false, "b-7.zid.ap-x" + kPrimary},
        {0, "ap-x", "b", false, "b.zid.ap-x" + kPrimary},
        {7, "ap-x", "b", true, "b-7.zid.ap-x" + kBackup},
        {0, "sg", "b", false, "b.sg" + kPrimary},
        {0, "cn-south-2", "b", false, "b.cn-south-2" + kPrimary},
        {0, "cn-east", "b", false, "b.cn-east" + kPrimary},
        {0, "SG", "b", false, "b.zid.SG" + kPrimary},
        {0, "zid.ap-x", "b", false, "b.zid.ap-x" + kPrimary},
        {0, "accelerate", "b", false, "b.zid.accelerate" + kPrimary},
        {17, "ap-x", "b-7", false, "b-7-17.zid.ap-x" + kPrimary},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClientSettings::BuildBucketHost(c.app_id, c.region, c.bucket, c.backup),
                  c.expected);
    }
    EXPECT_NE(kPrimary, kBackup);
}

TEST(ClientSettingsTest, ProcessingAndPictureHosts) {
    const std::string proc = ClientSettings::kProcessingLabel;
    const std::string pic = ClientSettings::kPictureLabel;
    EXPECT_EQ(ClientSettings::BuildProcessingHost("", "ap-x"), proc + ".ap-x" + kPrimary);
    EXPECT_EQ(ClientSettings::BuildProcessingHost("b-7", "sg"), "b-7." + proc + ".sg" + kPrimary);
    EXPECT_EQ(ClientSettings::GetPicHost(7, "ap-x", "b"), "b-7." + pic + ".ap-x" + kPrimary);
    EXPECT_EQ(ClientSettings::GetPicHost(7, "ap-x", "b-7"), "b-7." + pic + ".ap-x" + kPrimary);
    EXPECT_EQ(ClientSettings::GetPicHost(0, "ap-x", "b"), "b." + pic + ".ap-x" + kPrimary);
}

TEST(ClientSettingsTest, DumpOrderAndFormat) {
    zid_util_test::SettingsGuard guard;
    ClientSettings::SetIsDomainSameToHost(false);
    ClientSettings::SetIsUseIntranet(true);
    ClientSettings::SetDestDomain("");
    ClientSettings::SetIntranetAddr("10.0.0.1");
    StreamCapture capture;
    ClientSettings::PrintSettings();
    const std::string out = capture.Out();
    const char* labels[] = {"upload_part_size:",
                            "upload_copy_part_size:",
                            "sign_expire_in_s:",
                            "conn_timeout_in_ms:",
                            "recv_timeout_in_ms:",
                            "threadpool_size:",
                            "asyn_threadpool_size:",
                            "log_outtype:",
                            "log_level:",
                            "down_thread_pool_size:",
                            "down_slice_size:",
                            "is_domain_same_to_host:",
                            "dest_domain:",
                            "is_use_intranet:",
                            "intranet_addr:",
                            "keepalive:",
                            "keepidle:",
                            "keepintvl:"};
    std::istringstream lines(out);
    std::string line;
    for (const char* label : labels) {
        ASSERT_TRUE(std::getline(lines, line)) << label;
        EXPECT_EQ(line.rfind(label, 0), 0u) << line;
    }
    EXPECT_FALSE(std::getline(lines, line));
    EXPECT_NE(out.find("\nis_domain_same_to_host:0\n"), std::string::npos);
    EXPECT_NE(out.find("\ndest_domain:\n"), std::string::npos);
    EXPECT_NE(out.find("\nis_use_intranet:1\nintranet_addr:10.0.0.1\n"), std::string::npos);
}

class ZidConfigFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& json) {
        std::ofstream(file_.path()) << json;
        return file_.path();
    }
    Poco::TemporaryFile file_;
    zid_util_test::SettingsGuard guard_;
};

TEST_F(ZidConfigFileTest, FullFileSetsConfigurationAndSettings) {
    const std::string path = Write(R"({
        "AppID": 1250000000, "AccessKey": "ak-old", "SecretId": "  AKID  ", "SecretKey": "\tSK ",
        "Region": " ap-x ", "SignExpiredTime": 60, "ConnectTimeoutInms": 1000,
        "ReceiveTimeoutInms": 2000, "UploadPartSize": 1048576, "UploadThreadPoolSize": 0,
        "AsynThreadPoolSize": 3, "LogoutType": 0, "LogLevel": 2, "DownloadThreadPoolSize": 50,
        "DownloadSliceSize": 100, "IsCheckMd5": true, "DestDomain": "127.0.0.1:9",
        "IsDomainSameToHost": true, "IsUseIntranet": true, "IntranetAddr": "10.1.1.1"})");
    StreamCapture capture;
    ZidConfig config(path);
    EXPECT_TRUE(config.IsLoadedFromFile());
    EXPECT_EQ(config.GetAppId(), 1250000000u);
    EXPECT_EQ(config.GetAccessKey(), "AKID");  // SecretId wins, blanks trimmed
    EXPECT_EQ(config.GetSecretKey(), "\tSK");  // a tab is not a blank
    EXPECT_EQ(config.GetRegion(), "ap-x");
    EXPECT_EQ(ClientSettings::GetSignExpiredTime(), 60u);
    EXPECT_EQ(ClientSettings::GetConnTimeoutInms(), 1000u);
    EXPECT_EQ(ClientSettings::GetRecvTimeoutInms(), 2000u);
    EXPECT_EQ(ClientSettings::GetUploadPartSize(), 1048576u);
    EXPECT_EQ(ClientSettings::GetUploadThreadPoolSize(), 1u);
    EXPECT_EQ(ClientSettings::GetAsynThreadPoolSize(), 3u);
    EXPECT_EQ(ClientSettings::GetLogOutType(), 0);
    EXPECT_EQ(ClientSettings::GetLogLevel(), 2);
    EXPECT_EQ(ClientSettings::GetDownThreadPoolSize(), 10u);
    EXPECT_EQ(ClientSettings::GetDownSliceSize(), 4096u);
    EXPECT_TRUE(ClientSettings::IsCheckMd5());
    EXPECT_EQ(ClientSettings::GetDestDomain(), "127.0.0.1:9");
    EXPECT_EQ(config.GetDestDomain(), "127.0.0.1:9");
    EXPECT_TRUE(ClientSettings::IsDomainSameToHost());
    EXPECT_FALSE(config.GetSetDomainSameToHost());
    EXPECT_TRUE(ClientSettings::IsUseIntranet());
    EXPECT_TRUE(config.IsUseIntranet());
    EXPECT_TRUE(config.GetSetIntranetOnce());
    EXPECT_EQ(config.GetIntranetAddr(), "10.1.1.1");
    EXPECT_EQ(capture.Err(), "");
    EXPECT_NE(capture.Out().find("down_slice_size:4096\n"), std::string::npos);
}

TEST_F(ZidConfigFileTest, WrongTypesAreReportedAndSkipped) {
    ClientSettings::SetSignExpiredTime(3600);
    ClientSettings::SetDownSliceSize(4194304);
    const std::string path = Write(R"({"AccessKey": "AKID", "SignExpiredTime": "60", "Region": 5,
        "IsCheckMd5": 1, "UploadPartSize": 1.5, "ConnectTimeoutInms": -5, "LogLevel": true,
        "DownloadSliceSize": 4294967296})");
    StreamCapture capture;
    ZidConfig config(path);
    EXPECT_TRUE(config.IsLoadedFromFile());
    const std::string err = capture.Err();
    EXPECT_NE(err.find("warnning, access_key or serete_key not exists\n"), std::string::npos);
    EXPECT_NE(
        err.find("failed to parse config file, SignExpiredTime should be unsigned interger\n"),
        std::string::npos);
    EXPECT_NE(err.find("failed to parse config file, Region should be interger\n"),
              std::string::npos);
    EXPECT_NE(err.find("failed to parse config file, IsCheckMd5 should be boolean\n"),
              std::string::npos);
    EXPECT_NE(err.find("failed to parse config file, UploadPartSize should be unsigned interger\n"),
              std::string::npos);
    EXPECT_NE(
        err.find("failed to parse config file, ConnectTimeoutInms should be unsigned interger\n"),
        std::string::npos);
    EXPECT_NE(err.find("failed to parse config file, LogLevel should be unsigned interger\n"),
              std::string::npos);
    EXPECT_EQ(ClientSettings::GetSignExpiredTime(), 3600u);
    EXPECT_EQ(config.GetRegion(), "");
    // 2^32 reaches the setter as its low 32 bits, 0, and is clamped.
    EXPECT_EQ(ClientSettings::GetDownSliceSize(), 4096u);
}

TEST_F(ZidConfigFileTest, FatalFailures) {
    {
        StreamCapture capture;
        ZidConfig missing("/nonexistent-zid/config.json");
        EXPECT_FALSE(missing.IsLoadedFromFile());
        EXPECT_EQ(capture.Err(), "failed to open config file /nonexistent-zid/config.json\n");
    }
    {
        const std::string path = Write("[1, 2]");
        StreamCapture capture;
        ZidConfig array(path);
        EXPECT_FALSE(array.IsLoadedFromFile());
        EXPECT_EQ(capture.Err(), "failed to parse config file " + path + "\n");
        EXPECT_EQ(capture.Out(), "");  // no settings dump
    }
    {
        const std::string path = Write("{\"AppID\": ");
        StreamCapture capture;
        ZidConfig broken(path);
        EXPECT_FALSE(broken.IsLoadedFromFile());
        EXPECT_EQ(capture.Err().rfind("failed to parse config file, ", 0), 0u);
        EXPECT_EQ(broken.GetAppId(), 0u);
    }
    // Paths that open but do not read as a file: a failed load naming the path and the reason.
    Poco::TemporaryFile folder;
    folder.createDirectories();
    const struct {
        std::string path;
        std::string reason;
    } unreadable[] = {{folder.path(), "Is a directory"},
                      {"/dev/zero", "larger than 4194304 bytes"}};
    for (const auto& c : unreadable) {
        StreamCapture capture;
        ZidConfig config(c.path);
        EXPECT_FALSE(config.IsLoadedFromFile()) << c.path;
        EXPECT_EQ(capture.Err(), "failed to read config file " + c.path + ", " + c.reason + "\n");
    }
}

TEST(ZidConfigTest, FieldsCopyAndSwitches) {
    zid_util_test::SettingsGuard guard;
    ZidConfig config(7, "ak", "sk", "ap-x");
    EXPECT_EQ(config.GetAppId(), 7u);
    EXPECT_EQ(config.GetSecurityToken(), "");
    EXPECT_FALSE(config.GetSetIntranetOnce());
    EXPECT_FALSE(config.GetSetDomainSameToHost());
    EXPECT_FALSE(config.IsLoadedFromFile());

    config.SetIsDomainSameToHost(false);
    config.SetCredentials("ak2", "sk2", "tok");
    config.SetDestDomain("dest:1");
    config.SetIntranetAddr("10.0.0.3");
    EXPECT_EQ(ClientSettings::GetDestDomain(), "dest:1");
    EXPECT_EQ(ClientSettings::GetIntranetAddr(), "10.0.0.3");
    EXPECT_TRUE(config.GetSetIntranetOnce());
    EXPECT_FALSE(config.IsUseIntranet());

    const ZidConfig copy(config);
    EXPECT_TRUE(copy.GetSetDomainSameToHost());
    EXPECT_FALSE(copy.IsDomainSameToHost());
    EXPECT_EQ(copy.GetAccessKey(), "ak2");
    EXPECT_EQ(copy.GetSecretKey(), "sk2");
    EXPECT_EQ(copy.GetSecurityToken(), "tok");
    EXPECT_EQ(copy.GetDestDomain(), "dest:1");
    EXPECT_EQ(copy.GetIntranetAddr(), "10.0.0.3");
    EXPECT_TRUE(copy.GetSetIntranetOnce());
    EXPECT_EQ(copy.GetRegion(), "ap-x");
}

TEST(ZidConfigTest, CheckRegion) {
    for (const char* region : {"ap-x", "a", "7", "ap.x.y", "AP-1"}) {
        EXPECT_TRUE(ZidConfig(0, "", "", region).CheckRegion()) << region;
    }
    for (const char* region : {"", "-ap", "ap.", "ap_x", "ap x", ".", "-"}) {
        EXPECT_FALSE(ZidConfig(0, "", "", region).CheckRegion()) << region;
    }
}
