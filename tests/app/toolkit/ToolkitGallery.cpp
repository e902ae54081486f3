// A window showing the toolkit's widgets, for a look under a real display
// (not installed, not a test): toolkit_gallery [--cover]

#include <QApplication>
#include <QLabel>
#include <QHBoxLayout>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "app/toolkit/AWAppStoreWindow.h"
#include "app/toolkit/OVButton.h"
#include "app/toolkit/OVGrayCoverView.h"
#include "app/toolkit/OVPieProgressBar.h"
#include "app/toolkit/OVPlainViews.h"
#include "app/toolkit/OVSegButton.h"
#include "app/toolkit/OVTableView.h"
#include "app/toolkit/OVVCenterTextFieldCell.h"

using namespace orv;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    AWAppStoreWindow window;
    window.setWindowTitle("Toolkit gallery");
    window.resize(720, 560);
    window.setTitleBarHeight(36, false);
    window.setBottomBarHeight(20);
    window.setShowsTitle(true);
    window.setVerticallyCenterTitle(true);

    auto* content = new QWidget;
    content->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(new QLabel("Content of the window"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new OVButton("Import"));
    auto* disabled = new OVButton("Export");
    disabled->setEnabled(false);
    buttons->addWidget(disabled);
    auto* blue = new OVButton("Allow");
    blue->setBlue(true);
    buttons->addWidget(blue);
    auto* red = new OVButton("Delete");
    red->setRed(true);
    buttons->addWidget(red);
    buttons->addStretch();
    layout->addLayout(buttons);
    auto* seg = new OVSegButton;
    seg->setSegmentCount(3);
    seg->setLabel("Icons", 0);
    seg->setLabel("List", 1);
    seg->setLabel("Columns", 2);
    seg->setSelectedSegment(1);
    seg->setFixedSize(seg->sizeHint());
    layout->addWidget(seg);
    auto* pies = new QHBoxLayout;
    for (double value : {0.0, 25.0, 60.0, 100.0}) {
        auto* pie = new OVPieProgressBar;
        pie->setFixedSize(30, 30);
        pie->setMaxValue(100);
        pie->setDoubleValue(value);
        pies->addWidget(pie);
    }
    pies->addStretch();
    layout->addLayout(pies);
    auto* line = new OVLineView;
    line->setFixedHeight(1);
    layout->addWidget(line);
    OVTableView::installAlternatingRowColors();
    auto* model = new QStandardItemModel(6, 3, content);
    const char* titles[] = {"Name", "Artist", "Time"};
    for (int c = 0; c < 3; ++c)
        model->setHeaderData(c, Qt::Horizontal, titles[c]);
    for (int r = 0; r < 6; ++r) {
        model->setItem(r, 0, new QStandardItem(QString("Song %1").arg(r + 1)));
        model->setItem(r, 1, new QStandardItem("Someone"));
        model->setItem(r, 2, new QStandardItem(QString(" %1:0%2").arg(r + 2).arg(r)));
    }
    auto* table = new OVTableView;
    table->setModel(model);
    table->setItemDelegate(new OVVCenterTextFieldCell(table));
    table->addColumn("name", "Name");
    table->addColumn("artist", "Artist");
    table->addColumn("time", "Time", Qt::AlignRight);
    table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    table->horizontalHeader()->setSortIndicatorShown(true);
    table->selectRow(1);
    layout->addWidget(table, 1);
    window.setContentView(content);

    if (app.arguments().contains("--cover")) {
        auto* cover = new OVGrayCoverView(content);
        cover->show();
        cover->startLoading();
    }
    window.show();
    return app.exec();
}
