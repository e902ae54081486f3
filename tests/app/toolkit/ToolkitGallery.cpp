// A window showing the toolkit's widgets, for a look under a real display
// (not installed, not a test): toolkit_gallery [--cover]

#include <QApplication>
#include <QLabel>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/toolkit/AWAppStoreWindow.h"
#include "app/toolkit/OVButton.h"
#include "app/toolkit/OVGrayCoverView.h"
#include "app/toolkit/OVPieProgressBar.h"
#include "app/toolkit/OVPlainViews.h"
#include "app/toolkit/OVSegButton.h"

using namespace orv;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    AWAppStoreWindow window;
    window.setWindowTitle("Toolkit gallery");
    window.resize(720, 480);
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
    layout->addStretch();
    window.setContentView(content);

    if (app.arguments().contains("--cover")) {
        auto* cover = new OVGrayCoverView(content);
        cover->show();
        cover->startLoading();
    }
    window.show();
    return app.exec();
}
