// A window showing the toolkit's widgets, for a look under a real display
// (not installed, not a test): toolkit_gallery [--cover] [--popover]

#include <QApplication>
#include <QLabel>
#include <QHBoxLayout>
#include <QPainter>
#include <QSlider>
#include <QStandardItemModel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/toolkit/AWAppStoreWindow.h"
#include "app/toolkit/OVBPopover.h"
#include "app/toolkit/OVButton.h"
#include "app/toolkit/OVCenterIconTextFieldCell.h"
#include "app/toolkit/OVGrayCoverView.h"
#include "app/toolkit/OVIconTextFieldCell.h"
#include "app/toolkit/OVPieProgressBar.h"
#include "app/toolkit/OVPlainViews.h"
#include "app/toolkit/OVSegButton.h"
#include "app/toolkit/OVSliderCell.h"
#include "app/toolkit/OVTableView.h"

using namespace orv;

namespace {

QIcon swatch(const QColor& color, QSize size = QSize(16, 16))
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(color);
    painter.setPen(color.darker(140));
    painter.drawRoundedRect(QRectF(pixmap.rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    return QIcon(pixmap);
}

// A short list of the application's kind drawn by one of the cells, `rowHeight` high per row.
OVTableView* cellList(QAbstractItemDelegate* cell, int rowHeight, bool icons, QObject* owner)
{
    auto* model = new QStandardItemModel(owner);
    const QColor colors[] = {QColor(220, 80, 60), QColor(60, 140, 220), QColor(90, 180, 90)};
    const char* names[] = {"Camera", "Downloads", "A rather long folder name that does not fit"};
    for (int i = 0; i < 3; ++i) {
        auto* item = new QStandardItem(names[i]);
        if (icons)
            item->setIcon(swatch(colors[i], i == 1 ? QSize(32, 16) : QSize(16, 16)));
        model->appendRow(item);
    }
    auto* list = new OVTableView;
    list->setModel(model);
    list->addColumn("name", "Name");
    list->horizontalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    list->verticalHeader()->setDefaultSectionSize(rowHeight);
    list->setItemDelegate(cell);
    cell->setParent(list);
    list->setFixedSize(220, 3 * rowHeight);
    list->selectRow(1);
    return list;
}

}  // namespace

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
    auto* cells = new QHBoxLayout;
    cells->addWidget(cellList(new OVIconTextFieldCell, 24, true, content));
    cells->addWidget(cellList(new OVCenterIconTextFieldCell, 40, true, content));
    cells->addWidget(cellList(new OVTextCenterCell, 40, false, content));
    cells->addStretch();
    layout->addLayout(cells);
    auto* sliders = new QHBoxLayout;
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setStyle(new OVSliderCell(slider));
    slider->setValue(40);
    slider->setFixedWidth(200);
    sliders->addWidget(slider);
    auto* popoverButton = new OVButton("Popover");
    sliders->addWidget(popoverButton);
    sliders->addStretch();
    layout->addLayout(sliders);
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
    table->addColumn("name", "Name");
    table->addColumn("artist", "Artist");
    table->addColumn("time", "Time", Qt::AlignRight);
    table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    table->horizontalHeader()->setSortIndicatorShown(true);
    table->selectRow(1);
    layout->addWidget(table, 1);
    table->setFocus();
    window.setContentView(content);

    if (app.arguments().contains("--cover")) {
        auto* cover = new OVGrayCoverView(content);
        cover->show();
        cover->startLoading();
    }
    window.show();
    window.activateWindow();

    auto* label = new QLabel("A popover's content");
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet("color: white");
    label->resize(180, 80);
    OVBPopover popover(label);
    QObject::connect(popoverButton, &OVButton::clicked, &popover, [&] {
        if (popover.isVisible())
            popover.closePopover();
        else
            popover.showRelativeTo(popoverButton->rect(), popoverButton, true);
    });
    if (app.arguments().contains("--popover"))
        QTimer::singleShot(300, popoverButton, &OVButton::click);
    return app.exec();
}
