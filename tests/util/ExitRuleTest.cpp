// A transfer thread may still sign, address a request or read an answer while the process
// exits: the library's own tables must still be whole after exit has run the static destructors.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "ClientSettings.h"
#include "ZidConfig.h"
#include "op/BaseOp.h"
#include "response/ObjectResp.h"
#include "util/AuthTool.h"

using namespace zuzezi_zid;

namespace {

// 0 when every table answers as it should, else the number of the first that does not.
int CheckTables() {
    std::map<std::string, std::string> filtered;
    AuthTool::FilterSignedHeaders({{"Content-Length", "5"}, {"Host", "h"}, {"Accept", "x"}},
                                  &filtered, {});
    if (filtered.size() != 2) return 11;

    BaseOp op(std::make_shared<ZidConfig>(1, "ak", "sk", "ap-x"));
    const std::string host = ClientSettings::BuildBucketHost(1, "ap-x", "b", false);
    if (!op.IsDefaultHost(host)) return 12;
    if (op.ChangeHostSuffix(host) != ClientSettings::BuildBucketHost(1, "ap-x", "b", true)) return 13;

    ClientSettings::SetDestDomain("");
    ClientSettings::SetUseDnsCache(true);
    const std::string url = op.GetRealUrl("localhost", "/k", false);
    if (url != "http://127.0.0.1/k" && url != "http://[::1]/k") return 14;

    ObjectMetaResp resp;
    resp.ParseFromHeaders({{"x-zid-meta-color", "red"}, {"x-zid-object-type", "appendable"}});
    if (resp.GetXZidMeta("color") != "red" || resp.GetObjectType() != "appendable") return 15;
    return 0;
}

void CheckAgainAtExit() { _exit(CheckTables()); }

}  // namespace

TEST(ExitRuleDeathTest, LibraryTablesOutliveTheStaticDestructors) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ClientSettings::SetLogLevel(0);
            // Registered before the tables exist, so it runs after every destructor they register.
            std::atexit(CheckAgainAtExit);
            if (CheckTables() != 0) _exit(10);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
