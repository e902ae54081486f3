#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "UsbTestSupport.h"
#include "usbwatch/InstanceLock.h"

extern char** environ;

namespace orv::usb::testing {
namespace {

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
        ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_)
            ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

    TempDir runtime;

private:
    std::optional<std::string> saved_;
};

TEST_F(InstanceLockTest, OneHolderAtATimeWithItsPidInside) {
    std::unique_ptr<InstanceLock> lock;
    ASSERT_EQ(InstanceLock::tryAcquire(kApplicationLockName, lock), InstanceLock::Status::Acquired);
    EXPECT_EQ(lock->path(), runtime.path() / kApplicationLockName);
    EXPECT_TRUE(InstanceLock::isHeld(kApplicationLockName));
    EXPECT_FALSE(InstanceLock::isHeld(kAgentLockName));
    EXPECT_EQ(InstanceLock::holder(kApplicationLockName), ::getpid());

    std::unique_ptr<InstanceLock> second;
    EXPECT_EQ(InstanceLock::tryAcquire(kApplicationLockName, second), InstanceLock::Status::HeldElsewhere);
    EXPECT_FALSE(second);

    lock.reset();
    EXPECT_FALSE(InstanceLock::isHeld(kApplicationLockName));
    EXPECT_FALSE(InstanceLock::holder(kApplicationLockName));
    EXPECT_EQ(InstanceLock::tryAcquire(kApplicationLockName, second), InstanceLock::Status::Acquired);
}

TEST_F(InstanceLockTest, AChildStartedWhileHoldingDoesNotKeepTheLock) {
    std::unique_ptr<InstanceLock> lock;
    ASSERT_EQ(InstanceLock::tryAcquire(kAgentLockName, lock), InstanceLock::Status::Acquired);

    // A child that lives until its standard input closes.
    int input[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    const char* argv[] = {"/bin/sh", "-c", "read line", nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);

    lock.reset();
    EXPECT_FALSE(InstanceLock::isHeld(kAgentLockName));

    ::close(input[1]);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
}

TEST_F(InstanceLockTest, ALinkInPlaceOfTheLockFileIsRefused) {
    TempDir elsewhere;
    std::filesystem::create_symlink(elsewhere.path() / "target", runtime.path() / kApplicationLockName);
    std::unique_ptr<InstanceLock> lock;
    std::string error;
    EXPECT_EQ(InstanceLock::tryAcquire(kApplicationLockName, lock, &error), InstanceLock::Status::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(elsewhere.path() / "target"));
}

}  // namespace
}  // namespace orv::usb::testing
