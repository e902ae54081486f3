// The path bar: the trail's edits keep exactly the last segment highlighted,
// the lookups answer null at the ends, and a click names its segment even when
// the pane trims the trail while handling it.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "app/panes/OVPathView.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {
namespace {

OVViewModelRef folder(const QString& path)
{
    auto file = std::make_shared<OVDirectoryFile>();
    file->setPath(path.toStdString());
    return OVViewModel::make(file, QStringLiteral("S"));
}

// The titles in order, the highlighted one in brackets.
QString trail(const OVPathView& bar)
{
    QStringList parts;
    for (const auto& cell : bar.pathComponentCells())
        parts << (cell->isHighlighted() ? QStringLiteral("[%1]").arg(cell->title()) : cell->title());
    return parts.join(QLatin1Char('/'));
}

class PathBar : public ::testing::Test {
public:
    void SetUp() override
    {
        for (const char* name : {"root", "a", "b", "c"})
            bar.addItemWithTitle(QString::fromLatin1(name), folder(QStringLiteral("/sdcard/") + QLatin1String(name)));
    }
    OVPathViewComponentCell* cell(int i) { return bar.pathComponentCells().at(size_t(i)).get(); }
    OVPathView bar;
};

TEST_F(PathBar, EveryEditLeavesOnlyTheLastSegmentHighlighted)
{
    struct Case {
        const char* name;
        std::function<void(PathBar&)> edit;
        const char* expected;
    };
    const Case cases[] = {
        {"as built", [](PathBar&) {}, "root/a/b/[c]"},
        {"insert in the middle", [](PathBar& t) { t.bar.insertItemWithTitle("x", 2, folder("/x")); }, "root/a/x/b/[c]"},
        {"insert past the end appends", [](PathBar& t) { t.bar.insertItemWithTitle("x", 99, folder("/x")); }, "root/a/b/c/[x]"},
        {"insert with an empty title", [](PathBar& t) { t.bar.insertItemWithTitle(QString(), 4, folder("/x")); }, "root/a/b/c/[]"},
        {"remove the last by index", [](PathBar& t) { t.bar.removeItemAtIndex(3); }, "root/a/[b]"},
        {"remove an index outside", [](PathBar& t) { t.bar.removeItemAtIndex(4); t.bar.removeItemAtIndex(-1); }, "root/a/b/[c]"},
        {"remove after the first", [](PathBar& t) { t.bar.removeItemAfter(t.cell(0)); }, "[root]"},
        {"remove after the last", [](PathBar& t) { t.bar.removeItemAfter(t.cell(3)); }, "root/a/b/[c]"},
        {"remove a and after", [](PathBar& t) { t.bar.removeItemAndAfter(t.cell(1)); }, "[root]"},
        {"remove the first and after", [](PathBar& t) { t.bar.removeItemAndAfter(t.cell(0)); }, ""},
        {"remove the last", [](PathBar& t) { t.bar.removeLastItem(); }, "root/a/[b]"},
        {"remove all", [](PathBar& t) { t.bar.removeAllItems(); t.bar.removeLastItem(); }, ""},
    };
    for (const Case& c : cases) {
        OVPathView& bar = this->bar;
        bar.removeAllItems();
        SetUp();
        c.edit(*this);
        EXPECT_EQ(trail(bar), QString::fromLatin1(c.expected)) << c.name;
    }
}

TEST_F(PathBar, ASegmentFromAnotherBarRemovesNothing)
{
    OVPathView other;
    other.addItemWithTitle("root", folder("/sdcard/root"));
    bar.removeItemAfter(other.pathComponentCells()[0].get());
    bar.removeItemAndAfter(other.pathComponentCells()[0].get());
    bar.removeItemAfter(nullptr);
    EXPECT_EQ(trail(bar), "root/a/b/[c]");
    EXPECT_EQ(bar.objectAfterCell(other.pathComponentCells()[0].get()), nullptr);
}

TEST_F(PathBar, LookupsAnswerNullAtTheEnds)
{
    EXPECT_EQ(bar.currentDirectory()->path(), "/sdcard/c");
    EXPECT_EQ(bar.enclosingDirectory()->path(), "/sdcard/b");
    EXPECT_EQ(bar.objectAfterCell(cell(1))->path(), "/sdcard/b");
    EXPECT_EQ(bar.objectAfterCell(cell(3)), nullptr);

    bar.removeItemAfter(cell(0));
    EXPECT_EQ(bar.currentDirectory()->path(), "/sdcard/root");
    EXPECT_EQ(bar.enclosingDirectory(), nullptr);
    bar.removeAllItems();
    EXPECT_EQ(bar.currentDirectory(), nullptr);
    EXPECT_EQ(bar.enclosingDirectory(), nullptr);

    // An empty title still carries its level.
    bar.addItemWithTitle(QString(), folder("/sdcard/untitled"));
    EXPECT_EQ(bar.pathComponentCells()[0]->title(), "");
    EXPECT_EQ(bar.currentDirectory()->path(), "/sdcard/untitled");
}

TEST_F(PathBar, AClickNamesItsSegmentAndSurvivesTheTrailBeingTrimmed)
{
    bar.resize(600, 30);
    QSignalSpy spy(&bar, &OVPathView::pathbarAction);
    QString reached;
    QObject::connect(&bar, &OVPathView::pathbarAction, &bar, [&](OVPathViewComponentCell* clicked) {
        // What a pane does: go back to the level and cut the trail after it.
        reached = clicked->object()->path();
        bar.removeItemAfter(clicked);
        reached += QLatin1Char(' ') + clicked->title();
    });
    const auto frames = bar.segmentFrames();
    ASSERT_EQ(frames.size(), 4u);
    // Segments overlap by 12: a point in the overlap belongs to the later one.
    EXPECT_EQ(frames[1].x(), frames[0].right() + 1 - 12);
    EXPECT_EQ(bar.segmentAt(QPoint(frames[1].x() + 2, 15)), 1);
    EXPECT_EQ(bar.segmentAt(QPoint(frames[3].right() + 40, 15)), -1);

    QTest::mouseClick(&bar, Qt::LeftButton, {}, frames[1].center() + QPoint(4, 0));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(reached, "/sdcard/a a");
    EXPECT_EQ(trail(bar), "root/[a]");

    // A press on one segment released on another is no click.
    const auto now = bar.segmentFrames();
    QTest::mousePress(&bar, Qt::LeftButton, {}, now[0].center() - QPoint(10, 0));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, now[1].center() + QPoint(10, 0));
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(PathBar, ALongTrailSqueezesEarlierSegmentsAndKeepsTheLastWhole)
{
    bar.removeAllItems();
    bar.addItemWithTitle("storage", folder("/s"));
    bar.addItemWithTitle(QString(80, QLatin1Char('m')), folder("/s/m"));
    bar.addItemWithTitle("Where I am", folder("/s/m/w"));
    bar.resize(2000, 30);
    const auto wide = bar.segmentFrames();
    bar.resize(300, 30);
    const auto narrow = bar.segmentFrames();
    EXPECT_EQ(narrow[2].width(), wide[2].width());
    EXPECT_LT(narrow[1].width(), wide[1].width());
    EXPECT_LE(narrow[2].right(), 300);
    // Far too narrow: earlier segments stop at their minimum rather than vanish.
    bar.resize(60, 30);
    for (const QRect& f : bar.segmentFrames())
        EXPECT_GT(f.width(), 30);
}

}  // namespace
}  // namespace orv
