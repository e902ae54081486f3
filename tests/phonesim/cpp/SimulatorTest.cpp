// The test helper starts a simulated phone, reaches it through the stand-in adb, and leaves no
// process or folder behind, also when the start fails.
#include "phonesim/Simulator.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;

// Points TMPDIR at a private folder so the test can see that nothing is left in it.
class PhonesimFixtureTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        hadTmp_ = old != nullptr;
        if (hadTmp_) oldTmp_ = old;
        std::string templ = (fs::temp_directory_path() / "phonesim-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        tmp_ = templ;
        ::setenv("TMPDIR", tmp_.c_str(), 1);
    }

    void TearDown() override {
        if (hadTmp_) {
            ::setenv("TMPDIR", oldTmp_.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
        std::error_code ec;
        fs::remove_all(tmp_, ec);
    }

    bool tmpIsEmpty() const { return fs::is_empty(tmp_); }

    fs::path tmp_;

private:
    bool hadTmp_ = false;
    std::string oldTmp_;
};

TEST_F(PhonesimFixtureTest, StartsAPhoneThatAdbReachesAndCleansUp) {
    pid_t pid = -1;
    {
        auto sim = phonesim::Simulator::start(phonesim::Fixture::realistic());
        pid = sim->pid();
        const std::string serial = sim->serial();
        EXPECT_EQ(sim->folder().parent_path(), tmp_);
        EXPECT_TRUE(fs::is_regular_file(sim->resourceDir() / "Tidewell.apk"));
        EXPECT_TRUE(fs::is_directory(sim->phoneRoot(serial) / "DCIM" / "Camera"));

        auto devices = sim->adb({"devices"});
        EXPECT_EQ(devices.status, 0);
        EXPECT_EQ(devices.out, "List of devices attached\n" + serial + "\tdevice\n\n");

        sim->set(serial, "battery", "42");
        auto level = sim->adb({"-s", serial, "shell", "dumpsys battery | grep -e level"});
        EXPECT_EQ(level.out, "  level: 42\n");

        sim->putFile(serial, "/sdcard/Download/hello.txt", "hello!\n");
        EXPECT_EQ(sim->shell(serial, "cat /sdcard/Download/hello.txt"), "hello!\n");

        sim->unplug(serial);
        EXPECT_EQ(sim->adb({"devices"}).out, "List of devices attached\n\n");
        auto refused = sim->adb({"-s", serial, "shell", "ls"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "error: device '" + serial + "' not found\n");
        sim->replug(serial);
        EXPECT_EQ(sim->adb({"devices"}).out, devices.out);
        EXPECT_FALSE(sim->log(serial, "adb").empty());
    }
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(PhonesimFixtureTest, AFailedStartLeavesNothingBehind) {
    phonesim::Options options;
    options.phones.push_back(phonesim::Fixture::realistic().serial("A"));
    options.phones.push_back(phonesim::Fixture::empty().serial("A"));  // the same serial twice
    EXPECT_THROW(phonesim::Simulator::start(options), std::runtime_error);
    EXPECT_TRUE(tmpIsEmpty());
}

}  // namespace
