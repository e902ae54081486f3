// The photo album model: sorting, week and month sections, look-ups and
// library changes.

#include "app/viewmodels/OVPhotoAlbumViewModel.h"

#include <gtest/gtest.h>

#include "MediaRecords.h"
#include "app/viewmodels/PhotoTimeSections.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {
namespace {

using test::local;
using test::media;

const std::string kAlbum = "/storage/emulated/legacy/DCIM/Trip";

std::shared_ptr<OVImageAlbum> album(const std::string& path, std::vector<OVFileRef> children)
{
    auto a = std::make_shared<OVImageAlbum>();
    a->setPath(path);
    a->setChildren(std::move(children));
    return a;
}

std::vector<std::string> paths(const std::vector<OVViewModelRef>& items)
{
    std::vector<std::string> out;
    for (const auto& item : items)
        out.push_back(item->path().toStdString());
    return out;
}

struct SectionLayout {
    std::vector<std::string> keys;
    std::vector<std::vector<std::string>> items;
    std::vector<std::string> labels;
};

SectionLayout layout(const OVPhotoAlbumViewModel& model)
{
    SectionLayout out;
    for (const auto& group : model.grouplist().value_or(std::vector<OVPhotoTimeGroupRef>{})) {
        out.keys.push_back(group->hashKey.toStdString());
        out.items.push_back(paths(group->list));
        out.labels.push_back(group->label.toStdString());
    }
    return out;
}

class PhotoAlbum : public ::testing::Test {
protected:
    void SetUp() override { test::useDigitDateFormats(); }
    void TearDown() override { setLocalizedStringProvider({}); }
};

TEST_F(PhotoAlbum, WeekSectionsFollowLocalCalendarWeeks)
{
    struct Case {
        const char* name;
        const char* zone;
        std::vector<const char*> created;  // local times, any order
        std::vector<std::string> keys;     // sections, newest first
        std::vector<size_t> counts;
    };
    const Case cases[] = {
        {"Monday morning and Sunday night share a week; next Monday starts one", "Europe/Berlin",
         {"2021-06-07 08:00", "2021-06-13 20:00", "2021-06-14 00:10"},
         {"2021_24", "2021_23"}, {1, 2}},
        {"a week across New Year is one section of the week-based year", "Europe/Berlin",
         {"2020-12-31 10:00", "2021-01-02 10:00", "2021-01-04 10:00"},
         {"2021_1", "2020_53"}, {1, 2}},
        {"after the spring clock change, Monday 00:30 local is still Sunday in UTC", "Europe/Berlin",
         {"2021-03-28 01:30", "2021-03-28 23:30", "2021-03-29 00:30"},
         {"2021_13", "2021_12"}, {1, 2}},
        {"the autumn change keeps the repeated hour in its week", "America/New_York",
         {"2021-11-07 01:30", "2021-11-07 23:59", "2021-11-08 00:01"},
         {"2021_45", "2021_44"}, {1, 2}},
        {"east of UTC a Monday 08:00 is Sunday in UTC", "Asia/Tokyo",
         {"2021-06-07 08:00", "2021-06-06 22:00"},
         {"2021_23", "2021_22"}, {1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedTimeZone zone(c.zone);
        std::vector<OVFileRef> files;
        for (size_t i = 0; i < c.created.size(); ++i)
            files.push_back(media(kAlbum + "/" + std::to_string(i) + ".jpg", local(c.created[i])));
        auto model = OVPhotoAlbumViewModel::make(album(kAlbum, files), "S");
        model->setGroupType(OVPhotoGroupTypeWeek);
        const SectionLayout got = layout(*model);
        EXPECT_EQ(got.keys, c.keys);
        std::vector<size_t> counts;
        for (const auto& items : got.items)
            counts.push_back(items.size());
        EXPECT_EQ(counts, c.counts);
    }
}

TEST_F(PhotoAlbum, WeekLabelsShowTheYearOnlyWhereTheYearChanges)
{
    test::ScopedTimeZone zone("Europe/Berlin");
    const QDateTime now = QDateTime::fromString("2021-06-09 12:00", "yyyy-MM-dd HH:mm");
    std::vector<OVViewModelRef> items;
    for (const char* when : {"2021-06-09 10:00", "2021-06-07 09:00", "2021-05-04 09:00", "2020-12-01 09:00",
                             "2020-11-30 08:00"}) {
        items.push_back(OVViewModel::make(media(kAlbum + "/" + when + ".jpg", local(when)), "S"));
    }
    const auto groups = photo_time_sections::byWeek(items, now);
    ASSERT_EQ(groups.size(), 3u);
    // Newest first, today's end shown as "Today"; a multi-item week ends in the month-day form.
    EXPECT_EQ(groups[0]->label, "Today ~ 06-07");
    // A single item after a section of the same year: the month-day form alone.
    EXPECT_EQ(groups[1]->label, "05-04");
    // The first week of another year keeps the year until its second item, then loses it.
    EXPECT_EQ(groups[2]->label, "12-01 ~ 11-30");

    // A single-photo first section shows its full date, never "Today".
    const auto single = photo_time_sections::byWeek({items[0]}, now);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0]->label, "2021-06-09");
    EXPECT_EQ(single[0]->firstDate, single[0]->lastDate);
}

TEST_F(PhotoAlbum, TwoLocalDaysThatShareAUtcDayAreARange)
{
    test::ScopedTimeZone zone("Asia/Tokyo");
    const QDateTime now = QDateTime::fromString("2022-01-01 12:00", "yyyy-MM-dd HH:mm");
    // Both are 2021-06-08 in UTC (14:30 and 15:30), but two days here.
    std::vector<OVViewModelRef> items = {
        OVViewModel::make(media(kAlbum + "/b.jpg", local("2021-06-09 00:30")), "S"),
        OVViewModel::make(media(kAlbum + "/a.jpg", local("2021-06-08 23:30")), "S"),
    };
    const auto groups = photo_time_sections::byWeek(items, now);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0]->label, "06-09 ~ 06-08");
    EXPECT_TRUE(photo_time_sections::isSameDay(QDateTime::fromMSecsSinceEpoch(0), QDateTime::fromMSecsSinceEpoch(1000)));
}

TEST_F(PhotoAlbum, MonthSectionsNameTheYearOnlyOutsideThisYear)
{
    test::ScopedTimeZone zone("Europe/Berlin");
    const int year = QDate::currentDate().year();
    const std::string thisYear = std::to_string(year) + "-03-05 10:00";
    const std::string lastYear = std::to_string(year - 1) + "-03-05 10:00";
    auto model = OVPhotoAlbumViewModel::make(
        album(kAlbum, {media(kAlbum + "/new.jpg", local(thisYear.c_str())),
                       media(kAlbum + "/old.jpg", local(lastYear.c_str())), media(kAlbum + "/undated.jpg")}),
        "S");
    model->setGroupType(OVPhotoGroupTypeMonth);
    const SectionLayout got = layout(*model);
    EXPECT_EQ(got.labels, (std::vector<std::string>{"03", std::to_string(year - 1) + "-03"}));
    EXPECT_EQ(got.keys, (std::vector<std::string>{std::to_string(year) + "_3", std::to_string(year - 1) + "_3"}));
    // The undated item is counted and reachable ungrouped, but in no section.
    EXPECT_EQ(model->totalItemNumber(), 3);
    EXPECT_EQ(model->itemNumberForSection(0) + model->itemNumberForSection(1), 2);
    model->setGroupType(OVPhotoGroupTypeNone);
    EXPECT_EQ(model->itemNumberForSection(7), 3);
    EXPECT_EQ(model->sectionNumber(), 0);
    EXPECT_EQ(model->itemForSection(5, 2)->path().toStdString(), kAlbum + "/undated.jpg");
    EXPECT_EQ(model->itemForSection(0, 3), nullptr);
    EXPECT_EQ(model->titleLabelForSection(0), "");
}

TEST_F(PhotoAlbum, SortsNewestOrLargestFirstAndRegroupsOnlyOnChange)
{
    auto model = OVPhotoAlbumViewModel::make(
        album(kAlbum, {media(kAlbum + "/small-new.jpg", local("2021-06-09 10:00"), 10),
                       media(kAlbum + "/big-old.jpg", local("2020-01-01 10:00"), 1000),
                       media(kAlbum + "/mid.jpg", local("2021-01-01 10:00"), 100)}),
        "S");
    EXPECT_EQ(paths(model->childrenViewModels()),
              (std::vector<std::string>{kAlbum + "/small-new.jpg", kAlbum + "/mid.jpg", kAlbum + "/big-old.jpg"}));
    model->sortBySize();
    EXPECT_EQ(model->sortType(), OVPhotoSortTypeSize);
    EXPECT_EQ(paths(model->childrenViewModels()),
              (std::vector<std::string>{kAlbum + "/big-old.jpg", kAlbum + "/mid.jpg", kAlbum + "/small-new.jpg"}));
    EXPECT_EQ(model->ovfile()->children()->front()->path(), kAlbum + "/big-old.jpg");

    model->setGroupType(OVPhotoGroupTypeMonth);  // regroups with the size order
    ASSERT_EQ(model->sectionNumber(), 3);
    EXPECT_EQ(model->itemForSection(0, 0)->path().toStdString(), kAlbum + "/big-old.jpg");
    const auto before = model->grouplist();
    model->setGroupType(OVPhotoGroupTypeMonth);
    EXPECT_EQ(model->grouplist()->front().get(), before->front().get());
    EXPECT_EQ(model->groupSegmentIndex(), 2);

    const auto position = model->indexSetForItem(*model->itemForSection(2, 0));
    ASSERT_TRUE(position);
    EXPECT_EQ(*position, (OVIndexPath{2, 0}));
    EXPECT_EQ(paths(model->itemsForIndexSets({{2, 0}, {9, 0}, {0, 0}})),
              (std::vector<std::string>{kAlbum + "/small-new.jpg", kAlbum + "/big-old.jpg"}));
}

TEST_F(PhotoAlbum, LibraryChangesReachOnlyTheAlbumOfTheirFolder)
{
    auto trip = OVPhotoAlbumViewModel::make(album(kAlbum, {media(kAlbum + "/1.jpg", local("2021-01-01 10:00"))}), "S");
    auto allFolder = std::make_shared<OVDirectoryFile>();
    allFolder->setPath("AllPhotos");
    auto all = OVPhotoAlbumViewModel::make(allFolder, "S");

    const OVFileRef inTrip = media(kAlbum + "/2.jpg", local("2021-01-02 10:00"));
    const OVFileRef inTripOtherCase = media("/storage/emulated/legacy/DCIM/trip/3.jpg", local("2021-01-03 10:00"));
    const OVFileRef elsewhere = media("/storage/emulated/legacy/DCIM/Other/4.jpg", local("2021-01-04 10:00"));
    const OVFileRef nested = media(kAlbum + "/sub/5.jpg", local("2021-01-05 10:00"));
    for (auto* model : {trip.get(), all.get()})
        model->addedOVFiles({inTrip, inTripOtherCase, elsewhere, nested, media(kAlbum + "/1.jpg")}, {});
    EXPECT_EQ(trip->totalItemNumber(), 3);
    EXPECT_EQ(all->totalItemNumber(), 5);

    trip->addedOVFiles({inTrip}, {media(kAlbum + "/1.jpg"), elsewhere});
    EXPECT_EQ(paths(trip->childrenViewModels()),
              (std::vector<std::string>{inTripOtherCase->path(), inTrip->path()}));
    all->addedOVFiles({}, {elsewhere});
    EXPECT_EQ(all->totalItemNumber(), 4);
}

TEST_F(PhotoAlbum, ADeletedItemLeavesItsSectionAndAnEmptySectionGoes)
{
    auto model = OVPhotoAlbumViewModel::make(
        album(kAlbum, {media(kAlbum + "/jan.jpg", local("2021-01-10 10:00")),
                       media(kAlbum + "/mar1.jpg", local("2021-03-10 10:00")),
                       media(kAlbum + "/mar2.jpg", local("2021-03-11 10:00"))}),
        "S");
    model->setGroupType(OVPhotoGroupTypeMonth);
    ASSERT_EQ(model->sectionNumber(), 2);

    model->deleteOVFile(media("/storage/emulated/legacy/dcim/trip/MAR2.JPG/"));  // same path by isSamePath
    EXPECT_EQ(model->sectionNumber(), 2);
    EXPECT_EQ(model->itemNumberForSection(0), 1);
    model->deleteOVFile(media(kAlbum + "/jan.jpg"));
    ASSERT_EQ(model->sectionNumber(), 1);
    EXPECT_EQ(model->itemForSection(0, 0)->path().toStdString(), kAlbum + "/mar1.jpg");
    EXPECT_EQ(model->itemForSection(1, 0), nullptr);
    EXPECT_EQ(model->ovfile()->children()->size(), 1u);
    EXPECT_FALSE(model->indexSetForItem(*OVViewModel::make(media(kAlbum + "/jan.jpg"), "S")));

    model->addOVFile(media(kAlbum + "/MAR1.jpg"));  // already there by path
    EXPECT_EQ(model->totalItemNumber(), 1);
    model->removeAllObjects();
    EXPECT_EQ(model->totalItemNumber(), 0);
    EXPECT_EQ(model->sectionNumber(), 0);
    EXPECT_EQ(model->itemForSection(0, 0), nullptr);
}

TEST_F(PhotoAlbum, ContentGivenWithoutAFileMakesAnAlbum)
{
    auto model = OVPhotoAlbumViewModel::make(nullptr, "S");
    model->setContentToOVFileChildren({media(kAlbum + "/1.jpg", local("2021-01-01 10:00")), media(kAlbum + "/2.jpg")});
    ASSERT_TRUE(std::dynamic_pointer_cast<OVAlbum>(model->ovfile()));
    EXPECT_EQ(model->totalItemNumber(), 2);
    EXPECT_TRUE(model->isDir());
    EXPECT_EQ(model->dir()->path(), model->path());
    EXPECT_EQ(model->pathDirectory().size(), 2);
    int visited = 0;
    for (const auto& item : *model)
        visited += model->pathDirectory().contains(item->path());
    EXPECT_EQ(visited, 2);
}

}  // namespace
}  // namespace orv
