// A window showing the panes' own widgets, for a look under a real display
// (not installed, not a test): panes_gallery [--preview]

#include <QApplication>
#include <QHBoxLayout>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "app/panes/OVFileItemView.h"
#include "app/panes/OVOutlineView.h"
#include "app/panes/OVPathView.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/toolkit/OVTableView.h"
#include "core/bridge/model/OVDirectoryFile.h"

using namespace orv;

namespace {

OVViewModelRef folder(const QString& path)
{
    auto file = std::make_shared<OVDirectoryFile>();
    file->setPath(path.toStdString());
    return OVViewModel::make(file, QStringLiteral("GALLERY"));
}

QImage picture(int w, int h, QColor a, QColor b)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixelColor(x, y, ((x / 16 + y / 16) % 2) ? a : b);
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    OVTableView::installAlternatingRowColors();
    QWidget window;
    window.setWindowTitle("Panes gallery");
    window.resize(900, 640);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* bar = new OVPathView;
    bar->setFixedHeight(30);
    bar->addItemWithTitle("Phone", folder("/storage/emulated/legacy"));
    bar->addItemWithTitle("DCIM", folder("/storage/emulated/legacy/DCIM"));
    bar->addItemWithTitle("Camera", folder("/storage/emulated/legacy/DCIM/Camera"));
    layout->addWidget(bar);

    auto* cells = new QHBoxLayout;
    cells->setSpacing(6);
    cells->setContentsMargins(22, 10, 22, 10);
    struct Cell {
        const char* title;
        const char* subtitle;
        QImage image;
        bool shadow, video, key, hidden, selected, drop;
    };
    const Cell list[] = {
        {"Camera", nullptr, QImage(), false, false, false, false, false, false},
        {"IMG_20160214_093000.jpg", nullptr, picture(120, 120, QColor(80, 140, 200), QColor(230, 200, 120)), true, false, false, false, true, false},
        {"VID_0001.mp4", nullptr, picture(120, 120, QColor(60, 60, 60), QColor(160, 90, 90)), true, true, false, false, false, false},
        {"Android", "Do not touch", QImage(), false, false, true, false, false, true},
        {".thumbnails", nullptr, QImage(), false, false, false, true, false, false},
        {"com.example.averyverylongapplicationname", "com.example.averyverylongapplicationname.data", QImage(), false, false, false, false, false, false},
    };
    QImage folderIcon = folder("/x")->icon();
    for (const Cell& c : list) {
        auto* cell = new OVFileItemView;
        cell->setFixedSize(140, 165);
        cell->setTitle(c.title);
        if (c.subtitle)
            cell->setSubTitle(c.subtitle);
        cell->setImage(c.image.isNull() ? folderIcon : c.image);
        cell->setNeedIconShadow(c.shadow);
        cell->setIsVideo(c.video);
        cell->setIsKeyItem(c.key);
        cell->setIsHiddenFile(c.hidden);
        cell->setSelected(c.selected);
        cell->setDropOn(c.drop);
        if (c.video) {
            cell->startDownloadingAnimation();
            cell->setMaxValue(100);
            cell->setDoubleValue(35);
        }
        cells->addWidget(cell);
    }
    cells->addStretch();
    auto* grid = new QWidget;
    grid->setAutoFillBackground(true);
    QPalette white = grid->palette();
    white.setColor(QPalette::Window, Qt::white);
    grid->setPalette(white);
    grid->setLayout(cells);
    grid->setFixedHeight(190);
    layout->addWidget(grid);

    auto* model = new QStandardItemModel(&window);
    model->setHorizontalHeaderLabels({"Name", "Size", "Date Modified", "Kind"});
    const char* names[] = {"DCIM", "Download", "Music", "notes.txt", "song.mp3", "wallpaper.jpg"};
    for (const char* name : names) {
        QList<QStandardItem*> row{new QStandardItem(name), new QStandardItem("12 KB"), new QStandardItem("Today, 09:30"),
                                  new QStandardItem("Document")};
        if (QString(name) == "DCIM")
            row[0]->appendRow({new QStandardItem("Camera"), new QStandardItem("--"), new QStandardItem("Yesterday, 18:02"),
                               new QStandardItem("Folder")});
        model->appendRow(row);
    }
    auto* outline = new OVOutlineView;
    outline->setIdentifier("gallery");
    outline->setModel(model);
    outline->addColumn("name", "Name");
    outline->addColumn("size", "Size");
    outline->addColumn("date", "Date Modified");
    outline->addColumn("kind", "Kind", Qt::AlignLeft, true);
    outline->column(0).canHide = false;
    outline->setColumnWidthClamped(0, 260);
    outline->setupTableHeaderMenu();
    outline->expandAll();
    outline->selectionModel()->select(model->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    layout->addWidget(outline, 1);
    window.show();
    outline->autoFitColumeWidth();

    if (app.arguments().contains("--preview")) {
        OVPreviewWindow* preview = OVPreviewWindow::sharedPreviewPanel();
        preview->setItem({"IMG_20160214_093000.jpg", {}, picture(270, 270, QColor(80, 140, 200), QColor(230, 200, 120)), {}, 123456, {}});
        preview->move(300, 120);
        preview->show();
        preview->setProgress(42);
    }
    if (app.arguments().contains("--facts")) {
        OVPreviewWindow* preview = OVPreviewWindow::sharedPreviewPanel();
        preview->setItem({"archive.bin", "/etc/hostname.nonexistent.bin", {}, QIcon::fromTheme("package-x-generic"), 2048,
                          QDateTime::currentDateTime()});
        preview->move(300, 120);
        preview->show();
    }
    return app.exec();
}
