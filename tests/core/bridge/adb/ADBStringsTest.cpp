#include "core/bridge/adb/ADBStrings.h"

#include <gtest/gtest.h>

#include "core/bridge/adb/PhonePath.h"

namespace orv {
namespace {

TEST(ADBStringsTest, ShellQuotingLeavesNothingLiveInsideDoubleQuotes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"a`b", "a\\`b"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"$HOME", "\\$HOME"},
        {"$(rm -rf /)", "\\$(rm -rf /)"},
        {"${PATH}", "\\${PATH}"},
        {"back\\slash", "back\\\\slash"},
        {"trailing\\", "trailing\\\\"},
        {"it's; fine | & >", "it's; fine | & >"},
        {"📷 photo", "📷 photo"},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(adb_replacedStringForShell(input), expected);
        EXPECT_EQ(adb_quotedForShell(input), std::string("\"") + expected + "\"");
    }
}

TEST(ADBStringsTest, RelativePathToSDCardRemovesOnlyALeadingRoot)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/storage/emulated/legacy/DCIM/a.jpg", "/DCIM/a.jpg"},
        {"/storage/emulated/0/Music/", "/Music"},
        {"/STORAGE/Emulated/Legacy/DCIM", "/DCIM"},
        {"/storage/emulated/legacy", ""},
        {"/storage/emulated/legacy/", ""},
        {"/mnt/media_rw/card/a.jpg", "/mnt/media_rw/card/a.jpg"},
        // The root text inside a path is a name like any other.
        {"/storage/emulated/legacy/backup/storage/emulated/legacy/x", "/backup/storage/emulated/legacy/x"},
        // A longer first component is not the root.
        {"/storage/emulated/legacyX/a", "/storage/emulated/legacyX/a"},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(relativePathToSDCard(input), expected);
    }
}

TEST(ADBStringsTest, MediaFilesAreKnownByExtensionInAnyCase)
{
    EXPECT_TRUE(isMediaFile("/a/IMG_1.JPG"));
    EXPECT_TRUE(isMediaFile("clip.mp4"));
    EXPECT_TRUE(isMediaFile("song.Mp3"));
    EXPECT_FALSE(isMediaFile("notes.txt"));
    EXPECT_FALSE(isMediaFile("README"));
    EXPECT_FALSE(isMediaFile("/folder.jpg/inside"));
}

TEST(ADBStringsTest, NumbersAreReadLikeCommandOutput)
{
    EXPECT_EQ(integerValue("  42\n"), 42);
    EXPECT_EQ(integerValue("-7 apples"), -7);
    EXPECT_EQ(integerValue(""), 0);
    EXPECT_EQ(integerValue("abc"), 0);
    EXPECT_EQ(integerValue("99999999999999999999"), INT64_MAX);
    EXPECT_EQ(integerValue("20000000000000000000"), INT64_MAX);
    EXPECT_EQ(integerValue("18446744073709551617"), INT64_MAX);
    EXPECT_EQ(integerValue("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(integerValue("9223372036854775808"), INT64_MAX);
    EXPECT_EQ(integerValue("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(integerValue("-20000000000000000000"), INT64_MIN);
    EXPECT_EQ(unsignedIntegerValue("-1"), UINT64_MAX);
    EXPECT_DOUBLE_EQ(doubleValue(" 1.5x"), 1.5);
}

TEST(PhonePathTest, ComponentsIgnoreATrailingSlash)
{
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(deletingLastPathComponent("/a/b/"), "/a");
    EXPECT_EQ(deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(appendingPathComponent("/a/", "b"), "/a/b");
    EXPECT_EQ(appendingPathComponent("/", "b"), "/b");
    EXPECT_EQ(pathExtension("/x/photo.JPG"), "JPG");
    EXPECT_EQ(pathExtension("/x/README"), "");
}

TEST(PhonePathTest, PrefixesAreRemovedByWholeComponents)
{
    EXPECT_EQ(removingPathPrefix("/a/b/c", "/a/b"), "/c");
    EXPECT_EQ(removingPathPrefix("/a/b/c", "/a/b/"), "/c");
    EXPECT_EQ(removingPathPrefix("/a/b", "/a/b"), "");
    EXPECT_EQ(removingPathPrefix("/a/bc", "/a/b"), std::nullopt);
    EXPECT_EQ(removingPathPrefix("/x/a/b", "/a/b"), std::nullopt);
    EXPECT_EQ(removingPathPrefix("/A/B/c", "/a/b", true), "/c");
}

TEST(PhonePathTest, HostComponentsCannotClimbOrSplit)
{
    EXPECT_EQ(hostPathComponent(".."), "");
    EXPECT_EQ(hostPathComponent("."), "");
    EXPECT_EQ(hostPathComponent(""), "");
    EXPECT_EQ(hostPathComponent("/"), "");
    EXPECT_EQ(hostPathComponent("../x"), ".._x");
    EXPECT_EQ(hostPathComponent("AC/DC"), "AC_DC");
    EXPECT_EQ(hostPathComponent(".. "), ".. ");
    EXPECT_EQ(hostPathComponent("back\\slash $x `y`"), "back\\slash $x `y`");
}

}  // namespace
}  // namespace orv
