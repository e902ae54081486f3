// The list table: stored column state across two tables sharing one settings
// file, the header menu, the last shown column, auto-fit, the context-menu
// row rule, delegate keys and edit commands, the header's look and the row
// fills (selection, alternate rows, grid lines).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include "QtWait.h"
#include "app/toolkit/OVTableHeaderView.h"
#include "app/toolkit/OVTableView.h"

namespace orv {
namespace {

class TableState : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettings store{dir.filePath("settings.ini"), QSettings::IniFormat};
    QStandardItemModel model{5, 3};

    std::unique_ptr<OVTableView> table()
    {
        auto t = std::make_unique<OVTableView>();
        t->setIdentifier("songs");
        t->setSettings(&store);
        t->setModel(&model);
        t->addColumn("name", "Name");
        t->addColumn("artist", "artist");
        t->addColumn("time", "Time", Qt::AlignRight, true);
        t->column(0).canHide = false;
        t->setColumnWidthClamped(0, 180);
        t->resize(400, 300);
        return t;
    }
};

TEST_F(TableState, WithNothingStoredTheOwnersWidthsAndDefaultsStand)
{
    auto t = table();
    t->setupTableHeaderMenu();
    EXPECT_EQ(t->columnWidth(0), 180);  // not dropped to the minimum
    EXPECT_FALSE(t->isColumnHidden(1));
    EXPECT_TRUE(t->isColumnHidden(2));
    // Only hideable columns, by title in plain string order ("Time" before "artist").
    const QList<QAction*> items = t->headerContextMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "Time");
    EXPECT_EQ(items[1]->text(), "artist");
    EXPECT_FALSE(items[0]->isChecked());
    EXPECT_TRUE(items[1]->isChecked());
}

TEST_F(TableState, ToggledColumnsAndDraggedWidthsSurviveIntoTheNextTable)
{
    {
        auto t = table();
        t->setupTableHeaderMenu();
        t->toggleColumn(2);  // show Time
        t->toggleColumn(1);  // hide artist
        t->horizontalHeader()->resizeSection(0, 222);  // as a drag would
    }  // closing keeps the width even though no toggle followed the drag
    EXPECT_EQ(store.value("OVH_songs_artist").toString(), "hide");
    EXPECT_EQ(store.value("OVH_songs_time").toString(), "show");
    auto next = table();
    next->setupTableHeaderMenu();
    EXPECT_TRUE(next->isColumnHidden(1));
    EXPECT_FALSE(next->isColumnHidden(2));
    EXPECT_EQ(next->columnWidth(0), 222);
}

TEST_F(TableState, StoredTextsOtherThanHideShowAndAllHiddenShowsAll)
{
    store.setValue("OVH_songs_artist", "whatever");
    store.setValue("OVW_songs_artist", 0.0);
    auto t = table();
    t->setupTableHeaderMenu();
    EXPECT_FALSE(t->isColumnHidden(1));
    EXPECT_EQ(t->columnWidth(1), 100);  // a stored 0 is no width

    store.setValue("OVH_songs_artist", "hide");
    store.setValue("OVH_songs_time", "hide");
    auto all = table();
    all->setupTableHeaderMenu();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(all->isColumnHidden(i)) << i;
    for (QAction* item : all->headerContextMenu()->actions())
        EXPECT_TRUE(item->isChecked());
}

TEST_F(TableState, TheLastShownColumnCannotBeHidden)
{
    auto t = std::make_unique<OVTableView>();
    t->setIdentifier("one");
    t->setSettings(&store);
    t->setModel(&model);
    t->addColumn("a", "A");
    t->addColumn("b", "B");
    t->setupTableHeaderMenu();
    t->toggleColumn(0);
    EXPECT_TRUE(t->isColumnHidden(0));
    t->toggleColumn(1);
    EXPECT_FALSE(t->isColumnHidden(1));
    const QList<QAction*> items = t->headerContextMenu()->actions();
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
}

TEST_F(TableState, AutoFitPassesACappedColumnsShareToTheOthers)
{
    auto t = table();
    t->setupTableHeaderMenu();
    t->toggleColumn(2);
    t->setColumnWidthClamped(0, 100);
    t->setColumnWidthClamped(1, 100);
    t->setColumnWidthClamped(2, 50);
    t->column(1).maxWidth = 120;
    t->show();
    t->resize(400 + t->width() - t->viewport()->width(), 300);
    ASSERT_EQ(t->viewport()->width(), 400);
    t->autoFitColumeWidth();
    EXPECT_EQ(t->columnWidth(0), 165);
    EXPECT_EQ(t->columnWidth(1), 120);
    EXPECT_EQ(t->columnWidth(2), 115);
    EXPECT_DOUBLE_EQ(store.value("OVW_songs_time").toDouble(), 115);

    t->autoFitColumeWidth();  // already filling the table: nothing changes
    EXPECT_EQ(t->columnWidth(0), 165);
}

class Recorder : public OVSongTableViewDelegate {
public:
    bool keyDownEvent(OVTableView*, QKeyEvent* event) override { return event->key() == Qt::Key_Down; }
    QMenu* menuForEvent(OVTableView*, QContextMenuEvent*) override
    {
        ++menus;
        return nullptr;
    }
    bool validateMenuItem(QAction* item) override { return item->text() == QLatin1String("Delete"); }
    void deleteAction(QObject* sender) override { senders.push_back({"delete", sender}); }
    void importAction(QObject* sender) override { senders.push_back({"import", sender}); }
    void exportAction(QObject* sender) override { senders.push_back({"export", sender}); }
    int menus = 0;
    std::vector<std::pair<std::string, QObject*>> senders;
};

TEST_F(TableState, RightClicksSelectTheRowAndKeysGoToTheDelegateFirst)
{
    auto t = table();
    Recorder recorder;
    t->setTableDelegate(&recorder);
    t->setupTableHeaderMenu();
    t->show();
    t->selectRow(0);
    t->selectionModel()->select(t->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    auto rightClick = [&](int row) {
        const QPoint at = row < 0 ? QPoint(10, t->viewport()->height() - 2) : t->visualRect(t->model()->index(row, 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, t->viewport()->mapToGlobal(at));
        QApplication::sendEvent(t->viewport(), &event);
    };
    rightClick(1);  // a selected row: the selection stays
    EXPECT_EQ(t->selectionModel()->selectedRows().size(), 2);
    rightClick(3);  // an unselected row: it alone
    ASSERT_EQ(t->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(t->selectionModel()->selectedRows().first().row(), 3);
    EXPECT_EQ(recorder.menus, 2);
    rightClick(-1);  // below the rows: nothing selected, no menu
    EXPECT_TRUE(t->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(recorder.menus, 2);

    t->setCurrentIndex(t->model()->index(0, 0));
    QTest::keyClick(t.get(), Qt::Key_Down);  // taken by the delegate
    EXPECT_EQ(t->currentIndex().row(), 0);
}

TEST_F(TableState, EditCommandsReachTheDelegate)
{
    auto t = table();
    QAction remove("Delete"), rename("Rename");
    EXPECT_FALSE(t->validateMenuItem(&remove));  // no delegate: disabled, commands go nowhere
    t->deleteAction(nullptr);

    Recorder recorder;
    t->setTableDelegate(&recorder);
    EXPECT_TRUE(t->validateMenuItem(&remove));
    EXPECT_FALSE(t->validateMenuItem(&rename));
    QObject button;
    t->deleteAction(&button);
    t->importAction();
    t->exportAction();
    const std::vector<std::pair<std::string, QObject*>> expected{
        {"delete", &button}, {"import", t.get()}, {"export", t.get()}};
    EXPECT_EQ(recorder.senders, expected);
}

TEST(TableLook, SelectedRowsTakeTheGradientOnlyWhileTheTableHasTheFocus)
{
    OVTableView::installAlternatingRowColors();
    QStandardItemModel model(5, 2);
    for (int r = 0; r < 5; ++r) {
        model.setItem(r, 0, new QStandardItem(QStringLiteral("Song %1").arg(r)));
        model.setItem(r, 1, new QStandardItem("3:00"));
    }
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit;
    layout->addWidget(field);
    auto* t = new OVTableView;
    layout->addWidget(t);
    t->setModel(&model);
    t->addColumn("name", "Name");
    t->addColumn("time", "Time", Qt::AlignRight);
    t->horizontalHeader()->setStretchLastSection(false);
    window.resize(500, 400);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_LT(t->horizontalHeader()->length(), t->viewport()->width() - 20);
    EXPECT_EQ(t->rowHeight(0), 40);
    t->selectRow(1);  // an alternate row: the selection, not the shade, shows
    const QRect row = t->visualRect(model.index(1, 0));
    // Past the last column too: the fill is the whole row's.
    const int right = t->viewport()->width() - 3;

    field->setFocus();
    ASSERT_TRUE(test::qtWaitUntil([&] { return field->hasFocus(); }, std::chrono::seconds(2)));
    QImage image = t->viewport()->grab().toImage();
    EXPECT_EQ(image.pixelColor(right, row.center().y()), QColor(146, 146, 146));
    EXPECT_EQ(image.pixelColor(right, t->visualRect(model.index(3, 0)).center().y()), QColor(247, 247, 247));
    EXPECT_EQ(image.pixelColor(right, t->visualRect(model.index(2, 0)).center().y()), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(right, t->visualRect(model.index(2, 0)).bottom()), QColor(239, 239, 239));

    t->setFocus();
    ASSERT_TRUE(test::qtWaitUntil([&] { return t->selectionIsActive(); }, std::chrono::seconds(2)));
    image = t->viewport()->grab().toImage();
    for (int x : {5, right}) {
        const QColor top = image.pixelColor(x, row.top() + 1);
        const QColor bottom = image.pixelColor(x, row.bottom() - 2);
        EXPECT_NEAR(top.red(), 90, 2) << x;
        EXPECT_NEAR(top.blue(), 245, 2) << x;
        EXPECT_NEAR(bottom.red(), 79, 2) << x;  // a gradient, darker downwards
    }

    // The data cells take their column's alignment: the time's text ends near its column's right edge.
    const QRect time = t->visualRect(model.index(2, 1));
    int ink = -1;
    for (int x = time.left(); x <= time.right(); ++x)
        for (int y = time.top() + 5; y < time.bottom() - 5; ++y)
            if (image.pixelColor(x, y).lightness() < 128)
                ink = x;
    EXPECT_GT(ink, time.right() - 30);
}

TEST(TableLook, HeaderCellsAndAlternateRows)
{
    OVTableView::installAlternatingRowColors();
    EXPECT_EQ(QApplication::palette().color(QPalette::AlternateBase), QColor(247, 247, 247));
    QStandardItemModel model(1, 2);
    model.setHeaderData(0, Qt::Horizontal, "WWWWWWWWWWWWWWWWW");
    model.setHeaderData(1, Qt::Horizontal, "WWWWWWWWWWWWWWWWW");
    OVTableView table;
    table.setModel(&model);
    table.addColumn("a", "A");
    table.addColumn("b", "B");
    table.resize(300, 100);
    table.horizontalHeader()->resizeSection(0, 19);
    const QImage header = table.horizontalHeader()->grab().toImage();
    // A narrow section: background and lines, no title.
    for (int x = 0; x < 18; ++x)
        for (int y = 0; y < 29; ++y)
            ASSERT_EQ(header.pixelColor(x, y), QColor(252, 252, 252)) << x << "," << y;
    EXPECT_EQ(header.pixelColor(18, 10), QColor(229, 229, 229));  // right line
    EXPECT_EQ(header.pixelColor(5, 29), QColor(229, 229, 229));   // bottom line
    EXPECT_EQ(OVTableHeaderView::titleRect(QRect(0, 0, 100, 30), true), QRect(15, 0, 55, 30));
}

}  // namespace
}  // namespace orv
