// The Qt-free platform part: checksums, the run lock and file stamps, on every system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "platform/filestamps.h"
#include "platform/runlock.h"
#include "platform/sha256.h"

namespace quorvel::platform {
namespace {

namespace fs = std::filesystem;

class PlatformCoreTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("quorvel-platformcore-" +
                   std::to_string(testing::UnitTest::GetInstance()->random_seed()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path folder_;
};

TEST(Sha256Test, KnownDigests) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex(std::string(1000, 'a')),
              "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

// Every version of every program that drives one host must find the same lock file: these are
// the names earlier versions made.
TEST(RunLockTest, FileNamesAsBefore) {
    EXPECT_EQ(runLockFileName("unix:path=/run/user/1000/bus"), "quorvel-run-8ff4574dec892711.lock");
    EXPECT_EQ(runLockFileName("session"), "quorvel-run-3f3af1ecebbd1410.lock");
    EXPECT_EQ(runLockFileName("unix:abstract=/tmp/dbus-中文,guid=1"),
              "quorvel-run-9eb1104592d46d9b.lock");
}

TEST_F(PlatformCoreTest, OneRunAtATimePerHost) {
#ifndef _WIN32
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
#endif
    const std::string key = "platformcore-test " + folder_.filename().string();
    HostRunLock first(key);
    HostRunLock second(key);
    HostRunLock otherHost(key + " other");
    ASSERT_TRUE(first.tryLock());
    EXPECT_FALSE(first.tryLock());
    EXPECT_FALSE(second.tryLock());
    EXPECT_TRUE(otherHost.tryLock());
    first.unlock();
    EXPECT_TRUE(second.tryLock());
}

#ifndef _WIN32
TEST_F(PlatformCoreTest, LockFolders) {
    ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    EXPECT_EQ(HostRunLock("session").lockFilePath(), folder_ / "quorvel-run-3f3af1ecebbd1410.lock");

    // A lock file that is a link someone else put there is not opened.
    fs::create_symlink(folder_ / "elsewhere", folder_ / runLockFileName("linked"));
    EXPECT_FALSE(HostRunLock("linked").tryLock());
    EXPECT_FALSE(fs::exists(folder_ / "elsewhere"));

    // Without a runtime folder, a private one in $TMPDIR; a $TMPDIR that is no folder means /tmp.
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string user = "quorvel-" + std::to_string(::getuid());
    ::setenv("TMPDIR", folder_.c_str(), 1);
    HostRunLock inTemp("session");
    EXPECT_EQ(inTemp.lockFilePath(), folder_ / user / "quorvel-run-3f3af1ecebbd1410.lock");
    EXPECT_TRUE(inTemp.tryLock());
    EXPECT_EQ(fs::status(folder_ / user).permissions(), fs::perms::owner_all);
    ::setenv("TMPDIR", (folder_ / "missing").c_str(), 1);
    EXPECT_EQ(HostRunLock("session").lockFilePath().parent_path(), fs::path("/tmp") / user);
    ::unsetenv("TMPDIR");
}
#endif

TEST_F(PlatformCoreTest, FileStampsTellOneFileUnderEveryName) {
    const fs::path drawing = folder_ / u8"图纸.dxf";
    std::ofstream(drawing, std::ios::binary) << "0\nEOF\n";
    StatFileStamps stamps;
    const auto stamp = stamps.stamp(drawing.u16string());
    ASSERT_TRUE(stamp.has_value());
    EXPECT_EQ(stamp->size, 6);
    fs::create_hard_link(drawing, folder_ / "other.dxf");
    const auto other = stamps.stamp((folder_ / "other.dxf").u16string());
    ASSERT_TRUE(other.has_value());
    EXPECT_TRUE(other->sameFile(*stamp));
    EXPECT_FALSE(stamps.stamp((folder_ / "missing.dxf").u16string()).has_value());
    EXPECT_FALSE(stamps.stamp(u"").has_value());
}

}  // namespace
}  // namespace quorvel::platform
