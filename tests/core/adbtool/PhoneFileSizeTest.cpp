// Reading a phone file's size from the listings of the phones' different
// `ls` programs, and quoting the path for the phone's shell.
#include "core/adbtool/PhoneFileSize.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using orv::adbtool::parsePhoneFileSize;
using orv::adbtool::phoneFileSizeCommand;
using orv::adbtool::quoteForPhoneShell;

struct Listing {
    const char* text;
    std::optional<uint64_t> size;
};

class PhoneFileSizeTest : public testing::TestWithParam<Listing> {};

TEST_P(PhoneFileSizeTest, ReadsTheSizeOfOneRegularFile)
{
    EXPECT_EQ(parsePhoneFileSize(GetParam().text), GetParam().size) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Listings, PhoneFileSizeTest,
    testing::Values(
        // toolbox: no link count
        Listing{"-rw-rw---- root     sdcard_r 20971520 2015-03-01 10:20 /sdcard/big.bin\n", 20971520},
        // toybox: link count, and a name with spaces and digits that look like a size
        Listing{"-rw-rw---- 1 u0_a7 sdcard_rw 123 2021-06-30 08:01 /sdcard/x 2015-03-01 9\n", 123},
        // busybox: month names
        Listing{"-rw-r--r--    1 root     root          4096 Mar  1 10:20 /sdcard/a\n", 4096},
        Listing{"-rw-rw---- root sdcard_r 0 2015-03-01 10:20 empty\r\n", 0},
        Listing{"-rw-rw---- root sdcard_r 18446744073709551615 2015-03-01 10:20 huge\n",
                18446744073709551615ULL},
        // A size beyond 64 bits is no size.
        Listing{"-rw-rw---- root sdcard_r 18446744073709551616 2015-03-01 10:20 huge\n", std::nullopt},
        // Folders and links have no size to transfer (toybox prints 4096 for a folder).
        Listing{"drwxrwx--x 3 root sdcard_rw 4096 2019-01-01 10:00 /sdcard/DCIM\n", std::nullopt},
        Listing{"lrwxrwxrwx root root 2015-03-01 10:20 sdcard -> /storage/emulated/legacy\n",
                std::nullopt},
        Listing{"ls: /sdcard/nothere: No such file or directory\n", std::nullopt},
        Listing{"error: device offline\n", std::nullopt},
        Listing{"", std::nullopt},
        // Two lines are not one file.
        Listing{"-rw-rw---- root sdcard_r 1 2015-03-01 10:20 a\n"
                "-rw-rw---- root sdcard_r 2 2015-03-01 10:20 b\n",
                std::nullopt}));

TEST(PhoneShellQuotingTest, KeepsEveryCharacterLiteral)
{
    EXPECT_EQ(quoteForPhoneShell("/sdcard/a b.jpg"), "'/sdcard/a b.jpg'");
    EXPECT_EQ(quoteForPhoneShell("it's"), "'it'\\''s'");
    EXPECT_EQ(quoteForPhoneShell("$(reboot) `id` \"q\" \\"), "'$(reboot) `id` \"q\" \\'");
    EXPECT_EQ(phoneFileSizeCommand("/sdcard/it's"), "ls -ld '/sdcard/it'\\''s'");
}

}  // namespace
