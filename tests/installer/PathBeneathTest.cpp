// Paths below a folder full of links: links inside are followed, links and chains that
// lead out are refused, nothing is made or written outside.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/FileManager.h"
#include "platform/PathBeneath.h"
#include "support/LocalServiceFixture.h"
#include "support/ZipFixture.h"

namespace {

class PathBeneathTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = zid_test::MakeTempFolder("zid-beneath");
        root_ = dir_ + "/a/b/root";
        ASSERT_TRUE(zplat::CreateDirectory(root_ + "/sub", true));
        zid_test::WriteBytes(root_ + "/f", "f");
        const struct {
            const char* name;
            std::string target;
        } links[] = {
            {"in", "sub"},      {"in2", "./in/../in"}, {"sub/back", "../f"},
            // Each of these looks inside on its own; the chain leads out.
            {"dot", "."},       {"c", "dot/.."},       {"d", "c/.."},
            {"up", "../victim"}, {"abs", dir_},         {"loop1", "loop2"}, {"loop2", "loop1"},
        };
        for (const auto& l : links) ASSERT_EQ(symlink(l.target.c_str(), (root_ + "/" + l.name).c_str()), 0) << l.name;
    }
    void TearDown() override { zplat::RemoveItem(dir_); }

    std::string dir_, root_;
};

TEST_F(PathBeneathTest, ResolvesThroughInsideLinksAndRefusesTheWayOut) {
    const struct {
        const char* rel;
        int err;  // 0: resolves
        const char* resolved;
    } cases[] = {
        {"sub/x", 0, "/sub/x"},
        {"in/x", 0, "/sub/x"},
        {"in2/x", 0, "/sub/x"},
        {"sub/back", 0, "/f"},
        {"sub/../in/./y", 0, "/sub/y"},
        {"dot/dot/sub", 0, "/sub"},
        {"c/x", EXDEV, nullptr},
        {"d/victim", EXDEV, nullptr},
        {"up", EXDEV, nullptr},
        {"abs/x", EXDEV, nullptr},
        {"..", EXDEV, nullptr},
        {"sub/../../x", EXDEV, nullptr},
        {"loop1/x", ELOOP, nullptr},
        {"f/x", ENOTDIR, nullptr},
        {"missing/x", ENOENT, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rel);
        std::string resolved = "unset";
        zplat::ErrorRecord err;
        bool ok = zplat::ResolveBeneath(root_, c.rel, false, &resolved, &err);
        EXPECT_EQ(ok, c.err == 0);
        if (c.err == 0) {
            EXPECT_EQ(resolved, root_ + c.resolved);
        } else {
            EXPECT_EQ(err.domain, zplat::kPosixErrorDomain);
            EXPECT_EQ(err.code, c.err) << err.description;
        }
    }
}

TEST_F(PathBeneathTest, MakesFoldersOnlyInside) {
    std::string resolved;
    ASSERT_TRUE(zplat::ResolveBeneath(root_, "in/new/deeper/file", true, &resolved));
    EXPECT_EQ(resolved, root_ + "/sub/new/deeper/file");
    EXPECT_TRUE(zplat::IsDirectory(root_ + "/sub/new/deeper"));
    EXPECT_FALSE(zplat::ItemExists(resolved));

    EXPECT_FALSE(zplat::ResolveBeneath(root_, "c/made/file", true, &resolved));
    EXPECT_FALSE(zplat::ResolveBeneath(root_, "abs/made/file", true, &resolved));
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/a/b/made"));
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/made"));
}

TEST_F(PathBeneathTest, OpensForWritingOnlyInside) {
    int fd = zplat::OpenBeneath(root_, "in/w.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "w", 1), 1);
    close(fd);
    EXPECT_EQ(zid_test::ReadBytes(root_ + "/sub/w.txt"), "w");

    // A link as the last item leads out: neither created through nor followed.
    zid_test::WriteBytes(dir_ + "/a/b/victim", "untouched");
    for (const char* rel : {"up", "c/victim", "d/b/victim", "abs/new.txt"}) {
        SCOPED_TRACE(rel);
        zplat::ErrorRecord err;
        EXPECT_EQ(zplat::OpenBeneath(root_, rel, O_WRONLY | O_CREAT | O_TRUNC, 0600, &err), -1);
        EXPECT_EQ(err.code, EXDEV) << err.description;
    }
    EXPECT_EQ(zid_test::ReadBytes(dir_ + "/a/b/victim"), "untouched");
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/new.txt"));

    // O_NOFOLLOW: a link in the last place is refused, even one that stays inside.
    EXPECT_EQ(zplat::OpenBeneath(root_, "sub/back", O_WRONLY | O_NOFOLLOW, 0), -1);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(zid_test::ReadBytes(root_ + "/f"), "f");
}

TEST_F(PathBeneathTest, NamesHoldingANulByteAreNeverHandedOn) {
    // Read up to their NULs these segments climb out of the root.
    const char kRel[] = "sub\0/..\0/..\0/..\0/escaped";
    const std::string rel(kRel, sizeof kRel - 1);
    std::string resolved = "unset";
    zplat::ErrorRecord err;
    EXPECT_FALSE(zplat::ResolveBeneath(root_, rel, true, &resolved, &err));
    EXPECT_EQ(err.code, EINVAL) << err.description;
    err = {};
    EXPECT_EQ(zplat::OpenBeneath(root_, rel, O_WRONLY | O_CREAT | O_TRUNC, 0600, &err), -1);
    EXPECT_EQ(err.code, EINVAL) << err.description;
    err = {};
    const char kLast[] = "new\0.txt";
    EXPECT_EQ(zplat::OpenBeneath(root_, std::string(kLast, sizeof kLast - 1), O_WRONLY | O_CREAT, 0600, &err), -1);
    EXPECT_EQ(err.code, EINVAL) << err.description;
    EXPECT_FALSE(zplat::ItemExists(root_ + "/new"));
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/a/escaped"));
    EXPECT_FALSE(zplat::ItemExists(dir_ + "/a/b/escaped"));
}

}  // namespace
