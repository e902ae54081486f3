#include "core/bridge/adb/PhoneListing.h"

#include <gtest/gtest.h>

#include <ctime>

#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"

namespace orv {
namespace {

std::shared_ptr<OVDirectoryFile> folder(const char* path)
{
    auto dir = std::make_shared<OVDirectoryFile>();
    dir->setPath(path);
    return dir;
}

// What a phone prints for `ls -al` of a folder, its own quirks included.
const char* const kListing =
    "total 48\n"
    "drwxrwx--x root     sdcard_rw          2015-03-01 10:20 .\n"
    "drwxrwx--x root     sdcard_rw          2015-03-01 10:19 ..\n"
    "drwxrwx--- root     sdcard_r          2015-03-01 10:20 DCIM\n"
    "-rw-rw---- root     sdcard_r   123456 2015-03-01 10:21 IMG 1.JPG\n"
    "-rw-rw---- root     sdcard_r  4294979641 2016-02-14 09:30 huge.bin\n"
    "-rw-rw---- root     sdcard_r       12 2016-02-14 09:30 Song.mp3\n"
    "-rw-rw---- root     sdcard_r       12 2016-02-14 09:30 clip.mp4\n"
    "lrwxrwxrwx root     sdcard_rw          2015-03-01 10:20 sdcard -> /storage/emulated/legacy\n"
    "crw-rw-rw- root     root       1,   3 2015-03-01 10:20 null\n"
    "-rw-rw---- root     sdcard_r       10 2016-02-14 09:30   leading and trailing  \n"
    "-rw-rw---- root     sdcard_r       10 2016-02-14 09:30 report 2015-01-01 10:00 final.txt\n"
    "-rw-rw---- root     sdcard_r       10 no date here.txt\n";

TEST(PhoneListingTest, EntriesBecomeRecordsOfTheirKind)
{
    auto dir = folder("/storage/emulated/legacy/");
    auto files = filesFromPhoneListing(kListing, dir->path(), dir);
    ASSERT_EQ(files.size(), 7u);

    EXPECT_STREQ(files[0]->className(), "OVDirectoryFile");
    EXPECT_EQ(files[0]->name(), "DCIM");
    EXPECT_EQ(files[0]->path(), "/storage/emulated/legacy/DCIM");
    EXPECT_EQ(files[0]->parent(), dir);

    // An upper-case extension still makes a picture.
    EXPECT_STREQ(files[1]->className(), "OVImageFile");
    EXPECT_EQ(files[1]->name(), "IMG 1.JPG");
    EXPECT_EQ(files[1]->size(), 123456u);
    std::tm expected{};
    expected.tm_year = 115;
    expected.tm_mon = 2;
    expected.tm_mday = 1;
    expected.tm_hour = 10;
    expected.tm_min = 21;
    expected.tm_isdst = -1;
    ASSERT_TRUE(files[1]->createdDate());
    EXPECT_EQ(*files[1]->createdDate(), std::chrono::system_clock::from_time_t(std::mktime(&expected)));
    EXPECT_EQ(files[1]->modifiedDate(), files[1]->createdDate());

    EXPECT_EQ(files[2]->size(), 4294979641u);
    EXPECT_STREQ(files[2]->className(), "OVFile");
    EXPECT_STREQ(files[3]->className(), "OVAudioFile");
    EXPECT_STREQ(files[4]->className(), "OVVideoFile");
    EXPECT_EQ(files[5]->name(), "  leading and trailing  ");
    // A date-like text inside a name stays part of the name.
    EXPECT_EQ(files[6]->name(), "report 2015-01-01 10:00 final.txt");
}

std::vector<std::string> namesOf(const std::vector<OVFileRef>& files)
{
    std::vector<std::string> names;
    for (const auto& file : files)
        names.push_back(file->name());
    return names;
}

// A carriage return ending a name is the name's own unless a terminal ended
// every line so; an escaped listing prints the name's own as "\r".
TEST(PhoneListingTest, CarriageReturnsAreKeptInNamesAndDroppedAsLineEnds)
{
    using Names = std::vector<std::string>;
    auto dir = folder("/sdcard");
    const std::string cr = "-rw-rw---- root sdcard_r 1 2016-02-14 09:30 ends in cr\r\n";
    const std::string plain = "-rw-rw---- root sdcard_r 1 2016-02-14 09:30 plain\n";
    EXPECT_EQ(namesOf(filesFromPhoneListing(cr + plain, "/sdcard", dir)), (Names{"ends in cr\r", "plain"}));
    EXPECT_EQ(namesOf(filesFromPhoneListing(cr, "/sdcard", dir)), (Names{"ends in cr"}));
    const std::string terminal = "-rw-rw---- root sdcard_r 1 2016-02-14 09:30 a\r\r\n"
                                 "-rw-rw---- root sdcard_r 1 2016-02-14 09:30 b\r\n";
    EXPECT_EQ(namesOf(filesFromPhoneListing(terminal, "/sdcard", dir)), (Names{"a\r", "b"}));
    const std::string escaped = "-rw-rw---- 1 root sdcard_rw 1 2016-02-14 09:30 own\\r\r\n"
                                "-rw-rw---- 1 root sdcard_rw 1 2016-02-14 09:30 plain\n";
    EXPECT_EQ(namesOf(filesFromPhoneListing(escaped, "/sdcard", dir, 0, PhoneListingForm::Escaped)),
              (Names{"own\r", "plain"}));
}

// `ls -b` carries every byte: line breaks, blanks, backslashes and bytes
// that are not UTF-8 come back as they are on the phone.
TEST(PhoneListingTest, EscapedListingsGiveBackEveryByteOfAName)
{
    struct Case {
        std::string printed;
        std::string name;
    };
    for (const auto& c : {Case{"plain.txt", "plain.txt"}, Case{"with\\ space", "with space"},
                          Case{"new\\nline", "new\nline"}, Case{"back\\\\slash", "back\\slash"},
                          Case{"tab\\tbell\\aesc\\e", "tab\tbell\aesc\x1b"}, Case{"\\b\\f\\v\\r", "\b\f\v\r"},
                          Case{"bad\\377.txt", "bad\xff.txt"}, Case{"nul\\000", std::string("nul\0", 4)},
                          Case{"c1\\302\\205", "c1\xc2\x85"}, Case{"caf\xc3\xa9", "caf\xc3\xa9"},
                          Case{"odd\\q\\", "odd\\q\\"}, Case{"short\\37", "short\\37"},
                          Case{"digits\\1234", "digits\x53" "4"}}) {
        EXPECT_EQ(unescapedListingName(c.printed), c.name) << c.printed;
    }

    auto dir = folder("/sdcard/x");
    const std::string listing = "total 12\n"
                                "drwxrwx--x 2 root sdcard_rw 4096 2016-02-14 09:30 .\n"
                                "drwxrwx--x 2 root sdcard_rw 4096 2016-02-14 09:30 ..\n"
                                "drwxrwx--x 2 root sdcard_rw 4096 2016-02-14 09:30 two\\nlines\n"
                                "-rw-rw---- 1 root sdcard_rw 10 2016-02-14 09:30 a\\ b\\\\c\\377.jpg\n";
    auto files = filesFromPhoneListing(listing, dir->path(), dir, 0, PhoneListingForm::Escaped);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(files[0]->isDirectory());
    EXPECT_EQ(files[0]->name(), "two\nlines");
    EXPECT_EQ(files[0]->path(), "/sdcard/x/two\nlines");
    EXPECT_EQ(files[1]->name(), "a b\\c\xff.jpg");
    EXPECT_STREQ(files[1]->className(), "OVImageFile");
    EXPECT_EQ(files[1]->size(), 10u);
}

TEST(PhoneListingTest, LinksDevicesAndDotEntriesAreSkipped)
{
    // "sdcard_rw" holds a "d": only the mode field may make a folder.
    EXPECT_FALSE(parsePhoneListingLine("lrwxrwxrwx root sdcard_rw 2015-03-01 10:20 sdcard -> /x"));
    EXPECT_FALSE(parsePhoneListingLine("drwxrwx--x root sdcard_rw  2015-03-01 10:20 ."));
    EXPECT_FALSE(parsePhoneListingLine("drwxrwx--x root sdcard_rw  2015-03-01 10:20 .."));
    EXPECT_FALSE(parsePhoneListingLine("total 48"));
    EXPECT_TRUE(parsePhoneListingLine("drwxrwx--x root sdcard_rw  2015-03-01 10:20 ..."));
    auto folderLine = parsePhoneListingLine("drwxrwx--- root     sdcard_r          2015-03-01 10:20 DCIM");
    ASSERT_TRUE(folderLine);
    EXPECT_TRUE(folderLine->directory);
    EXPECT_EQ(folderLine->size, 0u);
}

TEST(PhoneListingTest, TypeFlagsSelectLinesByTheirTerms)
{
    const std::string_view folder = "drwxrwx--- root sdcard_r 2015-03-01 10:20 DCIM";
    const std::string_view jpg = "-rw-rw---- root sdcard_r 12 2015-03-01 10:20 a.jpg";
    const std::string_view upperJpg = "-rw-rw---- root sdcard_r 12 2015-03-01 10:20 b.JPG";
    const std::string_view song = "-rw-rw---- root sdcard_r 12 2015-03-01 10:20 s.mp3";
    struct Case {
        uint64_t flags;
        std::string_view line;
        bool selected;
    };
    for (const Case& c : {Case{0, upperJpg, true}, Case{1, folder, true}, Case{1, jpg, false},
                          Case{2, jpg, true}, Case{2, upperJpg, false}, Case{2 | 8, song, true},
                          Case{4, song, false}, Case{16, jpg, false}, Case{16, folder, false}})
        EXPECT_EQ(phoneListingLineSelected(c.line, c.flags), c.selected) << c.flags << " " << c.line;
}

TEST(PhoneListingTest, DatesThatDoNotParseStayEmpty)
{
    EXPECT_FALSE(phoneListingDate("2015-13-01 10:20"));
    EXPECT_FALSE(phoneListingDate("2015-03-01"));
    EXPECT_TRUE(phoneListingDate("2015-3-1  9:05"));
    // Years the clock cannot hold give no date rather than one from 1677.
    EXPECT_FALSE(phoneListingDate("9999-12-31 23:59"));
    EXPECT_FALSE(phoneListingDate("2263-01-01 00:00"));
    EXPECT_FALSE(phoneListingDate("1600-01-01 00:00"));
    EXPECT_FALSE(phoneListingDate("0000-01-01 00:00"));
    EXPECT_TRUE(phoneListingDate("2261-06-01 00:00"));
    EXPECT_TRUE(phoneListingDate("1679-01-01 00:00"));
}

}  // namespace
}  // namespace orv
