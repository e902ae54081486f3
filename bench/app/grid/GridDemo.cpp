// Shows the grid in a window: grid_demo [--sections N] [--items N] [--scroll Y]
// [--select a,b,...] [--shot file.png] [--band x0,y0,x1,y1]. With --shot the
// window is saved once shown and the program exits.

#include <QApplication>
#include <QCommandLineParser>
#include <QMouseEvent>
#include <QTimer>

#include "GridDemoTiles.h"

using namespace orv;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"sections", "sections (0: none)", "n", "12"},
                       {"items", "items per section", "n", "23"},
                       {"scroll", "scroll offset", "y", "0"},
                       {"select", "selected items of section 0 or of the grid", "list"},
                       {"band", "rubber band from x0,y0 to x1,y1 (viewport)", "rect"},
                       {"shot", "save the window here and exit", "file"}});
    parser.process(app);

    demo::DemoModel model;
    model.sections = parser.value("sections").toLongLong();
    model.itemsPerSection = parser.value("items").toLongLong();
    IBCollectionView grid;
    model.attach(grid);
    grid.resize(760, 560);
    grid.setWindowTitle(QStringLiteral("Grid"));
    grid.show();
    grid.reloadData();
    QList<IBSectionIndexSet> selection;
    for (const QString& item : parser.value("select").split(',', Qt::SkipEmptyParts))
        selection.append(IBSectionIndexSet(0, item.toLongLong()));
    grid.selectItemWithIndexSets(selection);
    grid.scrollToOffsetPoint(QPointF(0, parser.value("scroll").toDouble()));

    if (parser.isSet("band")) {
        const QStringList v = parser.value("band").split(',');
        if (v.size() == 4) {
            const QPoint from(v[0].toInt(), v[1].toInt()), to(v[2].toInt(), v[3].toInt());
            QWidget* viewport = grid.viewport();
            QMouseEvent press(QEvent::MouseButtonPress, from, viewport->mapToGlobal(from), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &press);
            QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
        }
    }
    if (parser.isSet("shot")) {
        const QString file = parser.value("shot");
        QTimer::singleShot(300, &grid, [&grid, file] {
            grid.grab().save(file);
            QApplication::quit();
        });
    }
    return app.exec();
}
