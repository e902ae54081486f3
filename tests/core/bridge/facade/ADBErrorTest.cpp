#include "core/bridge/facade/ADBError.h"

#include <gtest/gtest.h>

#include "core/bridge/facade/OVLocalization.h"

namespace orv {
namespace {

struct Row {
    long code;
    const char* message;
    const char* suggestion;
};

// Without the application's text table, keys show as themselves.
const Row kTable[] = {
    {0, "Orvane 发生错误.", "Orvane 发生错误."},
    {1, "无效的参数", "无效的参数"},
    {2, "无法连接设备，请确认开启 USB Debug", "无法连接设备，请确认开启 USB Debug"},
    {3, "USB 未授权", "USB 未授权"},
    {4, "Unable to connect your phone", "Please re-plug in your phone."},
    {5, "Unknow source apk can not be installed", "Please set unknow source app install allowed."},
    {6, "Unable to install the Forward Service App", "How to recovery"},
    {7, "Unable to launch the Forward Service", "How to recovery"},
    {8, "Orvane is too old", "Please upgrade your Orvane."},
    {9, "ROM is too old", "Please upgrade your ROM."},
    {10, "Socket reset by remote", "Socket reset by remote"},
    {11, "Socket timeout", "Socket timeout"},
    {12, "Socket no body data", "Socket no body data"},
    {13, "Orvane 发生错误.", "Orvane 发生错误."},
    {-1, "Orvane 发生错误.", "Orvane 发生错误."},
};

TEST(ADBErrorTest, EveryCodeHasItsMessageAndSuggestion)
{
    for (const Row& row : kTable) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(messageForCode(row.code), row.message);
        EXPECT_EQ(recoverySuggestionForCode(row.code), row.suggestion);
        Error error = adb_errorWithCode(row.code);
        EXPECT_EQ(error.domain, "ADBError");
        EXPECT_EQ(error.code, row.code);
        EXPECT_EQ(error.message, row.message);
        EXPECT_EQ(error.recoverySuggestion, row.suggestion);
    }
}

TEST(ADBErrorTest, FreeMessagesAreGenericFailures)
{
    Error error = adb_errorWithMessage("无效的参数");
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.message, "无效的参数");
    EXPECT_EQ(error.recoverySuggestion, "Orvane 发生错误.");

    Error bare = adb_errorWithCodeAndMessage(7, std::nullopt);
    EXPECT_EQ(bare.message, "");
    EXPECT_EQ(bare.recoverySuggestion, "How to recovery");
}

// A failed phone command names its path and keeps what adb said, without
// the line ends that would break the alert's text.
TEST(ADBErrorTest, PathErrorsKeepWhatAdbSaidWithoutLineEnds)
{
    struct Case {
        const char* said;
        std::optional<std::string> kept;  // nullopt: no "adb" entry at all
    };
    const Case cases[] = {
        {"remote object does not exist\n", "remote object does not exist"},
        {"no space left\r\n\r\n", "no space left"},
        {"two\nlines\n", "two\nlines"},
        {"", std::nullopt},
        {"\r\n", std::nullopt},
    };
    for (const auto& c : cases) {
        const Error error = adb_errorForPath("/sdcard/a b.jpg", c.said);
        EXPECT_EQ(error.domain, kADBErrorDomain) << c.said;
        EXPECT_EQ(error.code, ADBErrorGeneric) << c.said;
        EXPECT_EQ(error.info.at("path"), "/sdcard/a b.jpg") << c.said;
        const auto adb = error.info.find("adb");
        if (c.kept) {
            ASSERT_NE(adb, error.info.end()) << c.said;
            EXPECT_EQ(adb->second, *c.kept);
        } else {
            EXPECT_EQ(adb, error.info.end()) << c.said;
        }
    }
}

TEST(ADBErrorTest, KeyedTextsComeFromTheApplicationsTable)
{
    setLocalizedStringProvider([](const std::string& key) -> std::optional<std::string> {
        if (key == "Orvane is too old")
            return "This version of Orvane is too old";
        return std::nullopt;
    });
    EXPECT_EQ(messageForCode(8), "This version of Orvane is too old");
    EXPECT_EQ(recoverySuggestionForCode(8), "Please upgrade your Orvane.");  // no entry: the key
    EXPECT_EQ(messageForCode(3), "USB 未授权");                               // fixed text, never looked up
    setLocalizedStringProvider(nullptr);
    EXPECT_EQ(messageForCode(8), "Orvane is too old");
}

}  // namespace
}  // namespace orv
