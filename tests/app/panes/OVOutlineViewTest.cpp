// The panes' list: its look (row and header height, grid line, selection
// active and inactive, moved triangle), the column state it shares with the
// tables, the right-click row rule, and keys and edit commands reaching the pane.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

#include "QtWait.h"
#include "app/panes/OVOutlineView.h"

namespace orv {
namespace {

using test::qtWaitUntil;

class Pane : public OVOutlineViewDelegate {
public:
    bool keyDown(OVOutlineView*, QKeyEvent* event) override { return event->key() == Qt::Key_Down; }
    QMenu* menuForEvent(OVOutlineView*, QContextMenuEvent*) override
    {
        ++menus;
        return nullptr;
    }
    bool validateMenuItem(QAction* item) override { return item->text() == QLatin1String("Open"); }
    void deleteAction(QObject* sender) override { senders.push_back({"delete", sender}); }
    void importAction(QObject* sender) override { senders.push_back({"import", sender}); }
    void exportAction(QObject* sender) override { senders.push_back({"export", sender}); }
    int menus = 0;
    std::vector<std::pair<std::string, QObject*>> senders;
};

class Outline : public ::testing::Test {
protected:
    void SetUp() override
    {
        model.setHorizontalHeaderLabels({"Name", "Size", "Date"});
        for (int i = 0; i < 6; ++i) {
            QList<QStandardItem*> row{new QStandardItem(QStringLiteral("item %1").arg(i)), new QStandardItem("1 KB"),
                                      new QStandardItem("Today")};
            if (i == 0)
                row[0]->appendRow({new QStandardItem("child"), new QStandardItem("2 KB"), new QStandardItem("Today")});
            model.appendRow(row);
        }
    }
    std::unique_ptr<OVOutlineView> outline()
    {
        auto o = std::make_unique<OVOutlineView>();
        o->setIdentifier("files");
        o->setSettings(&store);
        o->setModel(&model);
        o->addColumn("name", "Name");
        o->addColumn("size", "Size");
        o->addColumn("date", "Date", Qt::AlignLeft, true);
        o->column(0).canHide = false;
        o->setColumnWidthClamped(0, 200);
        o->resize(600, 400);
        return o;
    }
    QTemporaryDir dir;
    QSettings store{dir.filePath("settings.ini"), QSettings::IniFormat};
    QStandardItemModel model;
};

TEST_F(Outline, LooksLikeTheApplicationsLists)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit;
    layout->addWidget(field);
    OVOutlineView* o = outline().release();
    layout->addWidget(o);
    o->setupTableHeaderMenu();
    window.resize(600, 400);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(o->header()->height(), 30);
    EXPECT_EQ(o->visualRect(model.index(1, 0)).height(), 40);
    EXPECT_EQ(o->disclosureXOffset(), 10);
    o->selectionModel()->select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QRect row = o->visualRect(model.index(2, 0));
    const int right = o->viewport()->width() - 3;

    // The focus elsewhere: the whole row, beyond the last column too, is the inactive grey.
    field->setFocus();
    ASSERT_TRUE(qtWaitUntil([&] { return field->hasFocus(); }, std::chrono::seconds(2)));
    QImage image = o->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(right, row.center().y()), QColor(146, 146, 146));
    // The grid line under every row.
    EXPECT_EQ(image.pixelColor(right, o->visualRect(model.index(3, 0)).bottom()), QColor(239, 239, 239));
    // A selected alternate row keeps its fill under the cells too, not only past them.
    o->selectionModel()->select(model.index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    image = o->viewport()->grab().toImage();
    const QRect alternate = o->visualRect(model.index(3, 0));
    EXPECT_EQ(image.pixelColor(alternate.left() + 150, alternate.top() + 3), QColor(146, 146, 146));
    o->selectionModel()->select(model.index(3, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    // Alternate rows are shaded across the whole width, odd ones not.
    image = o->viewport()->grab().toImage();
    EXPECT_NE(image.pixelColor(right, alternate.center().y()), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(right, o->visualRect(model.index(4, 0)).center().y()), QColor(Qt::white));

    o->setFocus();
    ASSERT_TRUE(qtWaitUntil([&] { return o->selectionIsActive(); }, std::chrono::seconds(2)));
    image = o->viewport()->grab().toImage();
    const QColor top = image.pixelColor(right, row.top() + 1);
    const QColor bottom = image.pixelColor(right, row.bottom() - 2);
    EXPECT_NEAR(top.red(), 90, 2);
    EXPECT_NEAR(top.blue(), 245, 2);
    EXPECT_NEAR(bottom.red(), 79, 2);  // a gradient, darker downwards
}

TEST_F(Outline, TheTriangleMovesWithTheOffset)
{
    auto o = outline();
    o->setupTableHeaderMenu();
    o->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(o.get()));
    auto inkColumns = [&] {
        const QImage image = o->viewport()->grab().toImage();
        const QRect row = o->visualRect(model.index(0, 0));
        int first = -1;
        for (int x = 0; x < 40 && first < 0; ++x)
            for (int y = row.top() + 2; y < row.bottom() - 2; ++y)
                if (image.pixelColor(x, y).lightness() < 200) {
                    first = x;
                    break;
                }
        return first;
    };
    const int moved = inkColumns();
    o->setDisclosureXOffset(0);
    const int plain = inkColumns();
    ASSERT_GE(plain, 0);
    EXPECT_EQ(moved - plain, 10);
}

TEST_F(Outline, ColumnStateIsKeptUnderTheListsKeys)
{
    {
        auto o = outline();
        o->show();
        o->setupTableHeaderMenu();
        EXPECT_EQ(o->columnWidth(0), 200);  // nothing stored: the owner's width stands
        EXPECT_TRUE(o->isColumnHidden(2));
        o->toggleColumn(2);
        // Shown, and the spare width spread so the columns fill the list.
        EXPECT_FALSE(o->isColumnHidden(2));
        int sum = 0;
        for (int i = 0; i < 3; ++i)
            sum += o->columnWidth(i);
        EXPECT_NEAR(sum, o->viewport()->width(), 3);
        // Both hideable columns can go while "Name" stays; "Name" itself never hides.
        o->toggleColumn(1);
        o->toggleColumn(2);
        o->toggleColumn(0);
        EXPECT_FALSE(o->isColumnHidden(0));
    }
    EXPECT_EQ(store.value("OVH_files_size").toString(), "hide");
    EXPECT_EQ(store.value("OVH_files_date").toString(), "hide");
    EXPECT_GT(store.value("OVW_files_name").toDouble(), 200);
    // Every hideable column hidden: the next list shows them all.
    auto next = outline();
    next->setupTableHeaderMenu();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(next->isColumnHidden(i)) << i;
}

TEST_F(Outline, RightClicksSelectTheRowAndCommandsReachThePane)
{
    auto o = outline();
    Pane pane;
    o->setOutlineDelegate(&pane);
    o->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(o.get()));
    o->selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    o->selectionModel()->select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    auto rightClick = [&](int row) {
        const QPoint at = o->visualRect(model.index(row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, o->viewport()->mapToGlobal(at));
        QApplication::sendEvent(o->viewport(), &event);
    };
    rightClick(2);  // inside the selection: kept
    EXPECT_EQ(o->selectionModel()->selectedRows().size(), 2);
    rightClick(4);  // outside: that row alone
    ASSERT_EQ(o->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(o->selectionModel()->selectedRows().first().row(), 4);
    EXPECT_EQ(pane.menus, 2);

    o->setCurrentIndex(model.index(0, 0));
    QTest::keyClick(o.get(), Qt::Key_Down);  // the pane took it
    EXPECT_EQ(o->currentIndex().row(), 0);
    QTest::keyClick(o.get(), Qt::Key_End);  // the pane did not: the list moves
    EXPECT_EQ(o->currentIndex().row(), 5);

    QObject button;
    o->deleteAction(&button);
    o->importAction();
    o->exportAction();
    ASSERT_EQ(pane.senders.size(), 3u);
    EXPECT_EQ(pane.senders[0], std::make_pair(std::string("delete"), &button));
    EXPECT_EQ(pane.senders[1], std::make_pair(std::string("import"), static_cast<QObject*>(o.get())));
    EXPECT_EQ(pane.senders[2], std::make_pair(std::string("export"), static_cast<QObject*>(o.get())));
    QAction open("Open"), other("Rename");
    EXPECT_TRUE(o->validateMenuItem(&open));
    EXPECT_FALSE(o->validateMenuItem(&other));
    o->setOutlineDelegate(nullptr);
    EXPECT_FALSE(o->validateMenuItem(&open));
}

TEST_F(Outline, ScrollOffsetsRoundTrip)
{
    for (int i = 0; i < 60; ++i)
        model.appendRow(new QStandardItem(QStringLiteral("more %1").arg(i)));
    auto o = outline();
    o->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(o.get()));
    o->scrollToOffsetPoint(QPoint(0, 15));
    EXPECT_EQ(o->scrollOffsetPoint(), QPoint(0, 15));
    o->scrollToTop();
    EXPECT_EQ(o->scrollOffsetPoint(), QPoint(0, 0));
}

}  // namespace
}  // namespace orv
