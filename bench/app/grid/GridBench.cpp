// The sectioned grid with 100,000 tiles of 100 x 100 (a picture and a label),
// as one section and as 1,000 sections of 100 with pinned headers, against
// QListView in icon mode over a model of 100,000 rows with a painting
// delegate, same viewport, offscreen. Measured: reload to the first painted
// screen, and one page of scrolling (display, recycle, paint). Printed at the
// end: ours / QListView for both, and the peak number of tile widgets.

#include <benchmark/benchmark.h>

#include <QAbstractListModel>
#include <QApplication>
#include <QDeadlineTimer>
#include <QWindow>
#include <QListView>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <chrono>
#include <cstdio>
#include <memory>

#include "GridBenchSupport.h"
#include "GridDemoTiles.h"
#include "RatioReporter.h"

namespace {

using namespace orv;
using orv::bench::flushPostedEvents;
using orv::bench::pageSteps;
using orv::bench::waitUntilExposed;
constexpr int kItems = 100000;
constexpr QSize kViewport(1000, 800);

class Rows : public QAbstractListModel {
public:
    int rowCount(const QModelIndex& parent = QModelIndex()) const override { return parent.isValid() ? 0 : kItems; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DisplayRole)
            return QStringLiteral("IMG_%1").arg(index.row());
        return QVariant();
    }
    void reload()
    {
        beginResetModel();
        endResetModel();
    }
};

// Paints what our tiles paint.
class TilePainter : public QStyledItemDelegate {
public:
    mutable int64_t paints = 0;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        ++paints;
        const QRect r = option.rect;
        painter->fillRect(r, (option.state & QStyle::State_Selected) ? QColor(200, 220, 250) : option.palette.base().color());
        painter->drawPixmap(r.x() + 10, r.y() + 8, demo::tilePicture());
        painter->setPen(QColor(0x5b, 0x5c, 0x62));
        painter->drawText(QRect(r.x() + 2, r.y() + 72, r.width() - 4, 24), Qt::AlignCenter,
                          painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideMiddle, r.width() - 4));
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return QSize(100, 100); }
};

struct OurGrid {
    demo::DemoModel model;
    IBCollectionView grid;
    int peakLive = 0;
    explicit OurGrid(bool sections)
    {
        model.sections = sections ? 1000 : 0;
        model.itemsPerSection = sections ? 100 : kItems;
        model.attach(grid);
        grid.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid.resize(kViewport);
        grid.show();
        waitUntilExposed(grid);
        grid.reloadData();
    }
};

struct TheirList {
    Rows rows;
    TilePainter painter;
    QListView view;
    TheirList()
    {
        view.setViewMode(QListView::IconMode);
        view.setMovement(QListView::Static);
        view.setResizeMode(QListView::Adjust);
        view.setGridSize(QSize(110, 110));
        view.setSpacing(0);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view.setItemDelegate(&painter);
        view.setModel(&rows);
        view.resize(kViewport);
        view.show();
        waitUntilExposed(view);
        view.doItemsLayout();
    }
};

// Made after and destroyed before the QApplication of main().
std::unique_ptr<OurGrid> oneSection;
std::unique_ptr<OurGrid> manySections;
std::unique_ptr<TheirList> listView;

OurGrid& ourGrid(bool sections)
{
    auto& grid = sections ? manySections : oneSection;
    if (!grid)
        grid = std::make_unique<OurGrid>(sections);
    return *grid;
}

TheirList& theirList()
{
    if (!listView)
        listView = std::make_unique<TheirList>();
    return *listView;
}

void ourFirstDisplay(benchmark::State& state, bool sections)
{
    OurGrid& our = ourGrid(sections);
    for (auto _ : state) {
        our.grid.reloadData();
        flushPostedEvents();
    }
}

void OursFirstDisplayOneSection(benchmark::State& state) { ourFirstDisplay(state, false); }
void OursFirstDisplay1000Sections(benchmark::State& state) { ourFirstDisplay(state, true); }

void QListViewFirstDisplay(benchmark::State& state)
{
    TheirList& their = theirList();
    for (auto _ : state) {
        their.rows.reload();
        their.view.doItemsLayout();
        flushPostedEvents();
    }
}

void ourScroll(benchmark::State& state, bool sections)
{
    OurGrid& our = ourGrid(sections);
    our.grid.reloadData();
    our.model.created = 0;
    const int64_t paintsBefore = demo::DemoTile::paints;
    pageSteps(state, our.grid, [&] {});
    state.counters["tiles_painted_per_page"] =
        static_cast<double>(demo::DemoTile::paints - paintsBefore) / state.iterations();
    // Every tile widget made is alive (shown or pooled) until the next reload.
    state.counters["tile_widgets"] = our.model.created;
    our.peakLive = std::max(our.peakLive, our.model.created);
}

void OursScrollPageOneSection(benchmark::State& state) { ourScroll(state, false); }
void OursScrollPage1000Sections(benchmark::State& state) { ourScroll(state, true); }

void QListViewScrollPage(benchmark::State& state)
{
    TheirList& their = theirList();
    their.painter.paints = 0;
    pageSteps(state, their.view, [] {});
    state.counters["tiles_painted_per_page"] = static_cast<double>(their.painter.paints) / state.iterations();
}

BENCHMARK(OursFirstDisplayOneSection)->Unit(benchmark::kMicrosecond);
BENCHMARK(OursFirstDisplay1000Sections)->Unit(benchmark::kMicrosecond);
BENCHMARK(QListViewFirstDisplay)->Unit(benchmark::kMicrosecond);
BENCHMARK(OursScrollPageOneSection)->Unit(benchmark::kMicrosecond)->Iterations(3000);
BENCHMARK(OursScrollPage1000Sections)->Unit(benchmark::kMicrosecond)->Iterations(3000);
BENCHMARK(QListViewScrollPage)->Unit(benchmark::kMicrosecond)->Iterations(3000);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    orv::bench::runPrintingRatios(argc, argv, {{"OursFirstDisplayOneSection", "QListViewFirstDisplay"},
                                               {"OursFirstDisplay1000Sections", "QListViewFirstDisplay"},
                                               {"OursScrollPageOneSection", "QListViewScrollPage"},
                                               {"OursScrollPage1000Sections", "QListViewScrollPage"}});
    // A screen of 1000 x 800 shows at most 9 columns by 8 rows of 110-point cells.
    std::printf("\npeak live tile widgets: one section %d, 1000 sections %d (one screen holds at most %d)\n",
                oneSection ? oneSection->peakLive : 0, manySections ? manySections->peakLive : 0, 9 * 8);
    oneSection.reset();
    manySections.reset();
    listView.reset();
    return 0;
}
