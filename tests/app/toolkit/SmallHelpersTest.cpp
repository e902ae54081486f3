// Phone path texts, UUIDs, removing files and the list helpers.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "app/toolkit/NSArray+LXExtension.h"
#include "app/toolkit/NSFileManager+LXExtension.h"
#include "app/toolkit/NSString+Path.h"
#include "app/toolkit/NSString+UUID.h"
#include "app/toolkit/NSView+LXExtension.h"

namespace orv {
namespace {

TEST(PhonePaths, CompareIgnoringCaseAndOneTrailingSlash)
{
    EXPECT_TRUE(isSamePath("/sdcard/DCIM/", "/SDCARD/dcim"));
    EXPECT_FALSE(isSamePath("/sdcard/DCIM//", "/sdcard/DCIM"));
    EXPECT_FALSE(isSamePath("/sdcard", QString()));
    EXPECT_FALSE(isSamePath(QString(), QString()));
}

TEST(PhonePaths, ShapedForFolderLookups)
{
    const struct {
        const char *path, *withSlash, *parentWithSlash, *parent, *last;
    } cases[] = {
        {"/", "/", "/", "/", ""},
        {"/Sdcard/Music", "/sdcard/music/", "/sdcard/", "/Sdcard", "Music"},
        {"/sdcard/Music/a.mp3", "/sdcard/music/a.mp3/", "/sdcard/music/", "/sdcard/Music", "a.mp3"},
        {"/sdcard/Music/", "/sdcard/music/", "/sdcard/", "/sdcard", "Music"},
        {"name", "name/", "/", "", "name"},
        {"/top", "/top/", "/", "/", "top"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lowercaseStringWithSlash(c.path), c.withSlash) << c.path;
        EXPECT_EQ(lowercaseStringByDeletingLastPathComponentWithSlash(c.path), c.parentWithSlash) << c.path;
        EXPECT_EQ(deletingLastPathComponent(c.path), c.parent) << c.path;
        EXPECT_EQ(lastPathComponent(c.path), c.last) << c.path;
    }
}

TEST(Uuids, FreshUpperCaseAndWellFormed)
{
    const QString a = stringWithNewUUID(), b = stringWithNewUUID();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.size(), 36);
    EXPECT_EQ(a, a.toUpper());
    EXPECT_EQ(a.split('-').size(), 5);
}

TEST(Removal, FilesAndFoldersGoAndMissingPathsAreHarmless)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString folder = temp.filePath("a");
    QDir().mkpath(folder + "/b/c");
    QFile(folder + "/b/c/f").open(QIODevice::WriteOnly);
    const QString file = temp.filePath("g");
    QFile(file).open(QIODevice::WriteOnly);
    // A link into a folder that must survive: removed, not followed.
    const QString keep = temp.filePath("keep");
    QDir().mkpath(keep);
    QFile(keep + "/precious").open(QIODevice::WriteOnly);
    QFile::link(keep, temp.filePath("link"));

    deleteFileOrDirectory(folder);
    deleteFileOrDirectory(file);
    deleteFileOrDirectory(temp.filePath("link"));
    deleteFileOrDirectory(temp.filePath("missing"));
    deleteFileOrDirectory(QString());
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(QFileInfo(temp.filePath("link")).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(keep + "/precious"));
}

TEST(Lists, ReverseAndFindPositions)
{
    const QList<int> list{1, 2, 3, 2};
    EXPECT_EQ(reversedArray(list), (QList<int>{2, 3, 2, 1}));
    EXPECT_EQ(list, (QList<int>{1, 2, 3, 2}));
    QList<int> empty;
    reversArray(empty);
    EXPECT_TRUE(empty.isEmpty());
    QList<int> inPlace = list;
    reversArray(inPlace);
    EXPECT_EQ(inPlace, reversedArray(list));
    EXPECT_EQ(indexesOfObjects(list, QList<int>{2, 9, 3}), (std::set<qsizetype>{1, 2}));

    int a = 1, b = 1, c = 2;
    const QList<int*> pointers{&a, &c};
    EXPECT_TRUE(containsObjectIdenticalTo(pointers, &a));
    EXPECT_FALSE(containsObjectIdenticalTo(pointers, &b));  // equal, but not the same object
    EXPECT_TRUE(containsAnyObjectsIdenticalTo(pointers, QList<int*>{&b, &c}));
    EXPECT_FALSE(containsAnyObjectsIdenticalTo(pointers, QList<int*>{}));
}

TEST(Vibrancy, NotAvailableSoNoViewIsInserted)
{
    QWidget view;
    EXPECT_EQ(tryInsertVibrancyViewBlendingModeBehindWindow(&view), nullptr);
    EXPECT_EQ(tryInsertVibrancyViewBlendingModeWithinWindow(&view), nullptr);
    EXPECT_TRUE(view.children().isEmpty());
}

}  // namespace
}  // namespace orv
