#include "app/panes/SafeLocalName.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace orv {
namespace {

TEST(SafeLocalNameTest, MapsUnsafeNamesAndKeepsTheRest)
{
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {"", "_"},
        {".", "_"},
        {"..", "_"},
        {"AC/DC", "AC_DC"},
        {"a/../b", "a_.._b"},
        {"../..", ".._.."},
        {QString::fromUtf8("nul\0x", 5), "nul_x"},
        {"...", "..."},
        {"q\"u'o`te $(x) \\ back\nline", "q\"u'o`te $(x) \\ back\nline"},
        {QString::fromUtf8("emoji \xF0\x9F\x98\x80.txt"), QString::fromUtf8("emoji \xF0\x9F\x98\x80.txt")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(safeLocalName(c.in), c.out) << c.in.toStdString();
}

TEST(SafeLocalNameTest, CutsLongNamesOnCharacterBoundaries)
{
    EXPECT_EQ(safeLocalName(QString(255, 'a')), QString(255, 'a'));
    EXPECT_EQ(safeLocalName(QString(300, 'a')).toUtf8().size(), 255);
    // 4-byte characters: 63 of them fit (252 bytes), never half of one.
    QString emoji;
    for (int i = 0; i < 70; ++i)
        emoji += QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString cut = safeLocalName(emoji);
    EXPECT_EQ(cut.toUtf8().size(), 252);
    EXPECT_FALSE(cut.back().isHighSurrogate());
}

TEST(SafeLocalNameTest, TargetsStayInsideTheChosenFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = dir.path() + "/chosen";
    ASSERT_TRUE(QDir().mkpath(base));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/outside"));
    ASSERT_TRUE(QFile::link(dir.path() + "/outside", base + "/escape"));

    EXPECT_TRUE(isInsideFolder(base, base + "/a.txt"));
    EXPECT_TRUE(isInsideFolder(base, base + "/new/deeper/a.txt"));
    EXPECT_FALSE(isInsideFolder(base, base));
    EXPECT_FALSE(isInsideFolder(base, base + "/../a.txt"));
    EXPECT_FALSE(isInsideFolder(base, base + "/escape/a.txt"));
    EXPECT_FALSE(isInsideFolder(base, dir.path() + "/chosenx/a"));

    EXPECT_EQ(localTargetFor(base, ".."), base + "/_");
    EXPECT_EQ(localTargetFor(base, "a/../../b"), base + "/a_.._.._b");
    // A name that is a link out of the folder is refused.
    EXPECT_TRUE(localTargetFor(base, "escape").isEmpty());
}

}  // namespace
}  // namespace orv
