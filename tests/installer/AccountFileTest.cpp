// The engine's account file: read when it is a sound file, passed over when it cannot be read.
#include <gtest/gtest.h>

#include <string>

#include "IClient.h"
#include "platform/FileManager.h"
#include "support/LocalServiceFixture.h"
#include "support/ScopedEnv.h"
#include "support/ZipFixture.h"

TEST(AccountFileTest, UnreadableAccountFileFallsBackToTheBuiltInAccount) {
    const std::string dir = zid_test::MakeTempFolder("zid-account");
    zid_test::ScopedEnv env("HOME", dir + "/home");
    env.Set("ZID_INSTALLER_BUNDLE", dir + "/Installer.app");
    ASSERT_TRUE(zplat::CreateDirectory(dir + "/folder.json", true));
    zid_test::WriteBytes(dir + "/sound.json", R"({"Bucket": "other-bucket"})");
    const struct {
        const char* file;
        const char* bucket;
    } cases[] = {{"folder.json", "tamberlyn"}, {"sound.json", "other-bucket"}};
    for (const auto& c : cases) {
        env.Set("ZID_INSTALLER_ACCOUNT", dir + "/" + c.file);
        IClient client;
        client.InitOssAccount();
        EXPECT_EQ(client.Bucket(), c.bucket) << c.file;
    }
    zplat::RemoveItem(dir);
}
