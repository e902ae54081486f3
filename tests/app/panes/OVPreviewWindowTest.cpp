// The preview window: one per process; pictures turned upright, text, sound
// and film, anything else as facts with Open; the placeholder until the copy
// arrives; the copy's bar along the bottom (indeterminate without a total);
// Space closes and other keys go to the pane.

#include <gtest/gtest.h>

#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/panes/OVPreviewWindow.h"

namespace orv {
namespace {

class Preview : public ::testing::Test {
protected:
    void TearDown() override { OVPreviewWindow::destroySharedPreviewPanel(); }
    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
    QTemporaryDir dir;
};

TEST_F(Preview, OneWindowPerProcess)
{
    EXPECT_FALSE(OVPreviewWindow::sharedPreviewPanelExists());
    OVPreviewWindow* window = OVPreviewWindow::sharedPreviewPanel();
    EXPECT_TRUE(OVPreviewWindow::sharedPreviewPanelExists());
    EXPECT_EQ(OVPreviewWindow::sharedPreviewPanel(), window);
    EXPECT_FALSE(window->isModal());
    OVPreviewWindow::destroySharedPreviewPanel();
    EXPECT_FALSE(OVPreviewWindow::sharedPreviewPanelExists());
}

TEST_F(Preview, EachKindOfFileShowsItsWay)
{
    // A landscape photo stored sideways, as cameras do: shown upright.
    QImage sideways(80, 40, QImage::Format_RGB32);
    sideways.fill(Qt::darkGreen);
    QImageWriter writer(dir.filePath("photo.jpg"));
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(sideways));
    const QString text = write("readme.txt", "Hello from the phone\n");
    const QString song = write("song.mp3", QByteArray("ID3") + QByteArray(64, '\0'));
    const QString other = write("archive.bin", QByteArray("\x00\x01\x02\x03", 4));

    OVPreviewWindow* window = OVPreviewWindow::sharedPreviewPanel();
    window->resize(400, 400);
    window->show();

    window->setItem({"photo.jpg", dir.filePath("photo.jpg"), {}, {}, 100, {}});
    ASSERT_EQ(window->kind(), OVPreviewWindow::Kind::Image);
    const QPixmap shown = window->pictureLabel()->pixmap();
    EXPECT_GT(shown.height(), shown.width());

    window->setItem({"readme.txt", text, {}, {}, 21, {}});
    ASSERT_EQ(window->kind(), OVPreviewWindow::Kind::Text);
    EXPECT_EQ(window->textView()->toPlainText(), "Hello from the phone\n");

    window->setItem({"song.mp3", song, {}, {}, 67, {}});
    ASSERT_EQ(window->kind(), OVPreviewWindow::Kind::Media);
    EXPECT_EQ(window->player()->source(), QUrl::fromLocalFile(song));

    QSignalSpy open(window, &OVPreviewWindow::openRequested);
    window->setItem({"archive.bin", other, {}, {}, 2048, QDateTime(QDate(2016, 2, 14), QTime(9, 30))});
    ASSERT_EQ(window->kind(), OVPreviewWindow::Kind::Facts);
    EXPECT_TRUE(window->factsText().startsWith("archive.bin\n"));
    EXPECT_TRUE(window->factsText().contains("2"));  // the size
    // Leaving a film for facts stops it and lets go of the file.
    EXPECT_TRUE(window->player()->source().isEmpty());
    QTest::mouseClick(window->openButton(), Qt::LeftButton);
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(open[0][0].toString(), other);
}

TEST_F(Preview, ThePlaceholderStandsUntilTheCopyArrives)
{
    QImage card(270, 270, QImage::Format_RGB32);
    card.fill(Qt::white);
    OVPreviewItem item{"photo.jpg", {}, card, {}, 1000, {}};
    OVPreviewWindow* window = OVPreviewWindow::sharedPreviewPanel();
    window->resize(600, 500);
    window->show();
    window->setItem(item);
    EXPECT_EQ(window->kind(), OVPreviewWindow::Kind::Placeholder);
    EXPECT_EQ(window->pictureLabel()->pixmap().size(), QSize(270, 270));  // never enlarged

    window->setProgress(40);
    QProgressBar* bar = window->progressBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry(), QRect(0, window->height() - 12, window->width(), 12));
    EXPECT_EQ(bar->value(), 40);
    window->setProgress(-1);  // a total of 0 bytes: no fraction, no division
    EXPECT_EQ(bar->maximum(), 0);
    window->resize(500, 300);
    EXPECT_EQ(bar->geometry(), QRect(0, 288, 500, 12));

    QImage photo(30, 20, QImage::Format_RGB32);
    photo.fill(Qt::blue);
    ASSERT_TRUE(photo.save(dir.filePath("photo.jpg")));
    item.localPath = dir.filePath("photo.jpg");
    window->hideProgress();
    window->setItem(item);
    EXPECT_EQ(window->kind(), OVPreviewWindow::Kind::Image);
    EXPECT_EQ(window->pictureLabel()->pixmap().size(), QSize(30, 20));
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(Preview, SpaceClosesAndArrowsGoToThePane)
{
    OVPreviewWindow* window = OVPreviewWindow::sharedPreviewPanel();
    std::vector<int> keys;
    window->setKeyHandler([&](QKeyEvent* event) {
        keys.push_back(event->key());
        return event->key() != Qt::Key_A;
    });
    QSignalSpy closed(window, &OVPreviewWindow::closed);
    window->show();
    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Right);
    EXPECT_EQ(keys, (std::vector<int>{Qt::Key_Down, Qt::Key_Right}));
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(window, Qt::Key_Space);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.size(), 1);
    EXPECT_EQ(keys.size(), 2u);  // Space is the window's own
}

}  // namespace
}  // namespace orv
