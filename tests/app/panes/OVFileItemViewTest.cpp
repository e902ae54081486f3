// The file grid cell: its geometry against the measures of a 140-wide cell,
// what counts as a hit, the title colour rules, the preview pie and what the
// drawn cell shows for hidden, selected and framed items.

#include <gtest/gtest.h>

#include <QPainter>

#include "app/panes/OVFileItemView.h"
#include "app/toolkit/OVPieProgressBar.h"
#include "core/bridge/model/OVImageFile.h"

namespace orv {
namespace {

constexpr double W = 140;
const QRectF kBounds(0, 0, 140, 165);

TEST(FileItemGeometry, PictureSlotAndPictureSizes)
{
    EXPECT_EQ(OVFileItemView::imageFrameRect(W), QRectF(11, 3, 118, 118));  // slot 104 at (18, 10), grown by 7
    EXPECT_EQ(OVFileItemView::imageFrameRect(141.5), QRectF(11, 3, 119, 119));  // side trunc(105.5)

    struct Case {
        const char* name;
        QSizeF image;
        bool framed;
        QRectF expected;
    };
    const QSizeF frame(110, 110);
    const Case cases[] = {
        {"no picture: the slot", QSizeF(), false, QRectF(18, 10, 104, 104)},
        {"an icon near the slot keeps its size", QSizeF(128, 128), false, QRectF(6, -2, 128, 128)},
        {"a small icon keeps its size", QSizeF(80, 80), false, QRectF(30, 22, 80, 80)},
        {"a wide thumbnail takes the slot's height", QSizeF(512, 384), false, QRectF(1, 10, 138, 104)},
        {"a tall thumbnail too", QSizeF(384, 512), false, QRectF(31, 10, 78, 104)},
        {"a framed picture takes the frame's size", QSizeF(512, 384), true, QRectF(15, 7, 110, 110)},
        {"a frame without a picture as well", QSizeF(), true, QRectF(15, 7, 110, 110)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OVFileItemView::imageRect(W, c.image, c.framed, frame), c.expected) << c.name;

    // The badge sits 14 in and 32 up from the picture's lower-left corner.
    EXPECT_EQ(OVFileItemView::videoRect(QRectF(15, 7, 110, 110), QSizeF()), QRectF(29, 85, 30, 30));
    EXPECT_EQ(OVFileItemView::videoRect(QRectF(15, 7, 110, 110), QSizeF(24.6, 20.2)), QRectF(29, 85, 24, 20));
}

TEST(FileItemGeometry, TitleAndSubtitleRectangles)
{
    // A 50 x 16 title.
    const QRectF frame = OVFileItemView::titleFrameRect(kBounds, QSizeF(50, 16.4));
    EXPECT_EQ(frame, QRectF(39, 125, 62, 22));
    const QRectF text = OVFileItemView::titleTextRect(kBounds, QSizeF(50, 16.4), frame);
    EXPECT_EQ(text, QRectF(40.5, 124, 59, 16));

    // A title wider than the cell is held inside it, the frame a little wider than the text.
    const QRectF wideFrame = OVFileItemView::titleFrameRect(kBounds, QSizeF(400, 16));
    const QRectF wideText = OVFileItemView::titleTextRect(kBounds, QSizeF(400, 16), wideFrame);
    EXPECT_EQ(wideFrame, QRectF(4, 125, 132, 22));
    EXPECT_EQ(wideText, QRectF(7, 124, 126, 16));

    // No title: 10 by 14, the text at least 15 high.
    const QRectF none = OVFileItemView::titleFrameRect(kBounds, QSizeF());
    EXPECT_EQ(none.height(), 20);
    EXPECT_EQ(OVFileItemView::titleTextRect(kBounds, QSizeF(), none).height(), 15);

    // The subtitle 7 under the title; two lines 27 high when too wide.
    EXPECT_EQ(OVFileItemView::subTitleTextRect(kBounds, 40.7, text), QRectF(50, 147, 40, 14));
    EXPECT_EQ(OVFileItemView::subTitleTextRect(kBounds, 300, text), QRectF(14, 147, 112, 27));
    EXPECT_EQ(OVFileItemView::subTitleTextRect(kBounds, 112, text).height(), 14);
    EXPECT_EQ(OVFileItemView::subTitleTextRect(kBounds, 113, text).height(), 27);
}

TEST(FileItemView, HitsOnlyOnThePictureAndTheTitle)
{
    OVFileItemView cell;
    cell.resize(140, 165);
    cell.setTitle("holiday.jpg");
    cell.setImage(QImage(80, 80, QImage::Format_ARGB32));
    EXPECT_TRUE(cell.clickTest(cell.imageRect().center()));
    EXPECT_TRUE(cell.clickTest(cell.titleTextRect().center()));
    EXPECT_FALSE(cell.clickTest(QPointF(2, 2)));        // the empty corner
    EXPECT_FALSE(cell.clickTest(QPointF(2, 160)));      // beside the title
    EXPECT_TRUE(cell.accpetSelectWithRect(QRectF(0, 0, 40, 40)));    // touches the picture
    EXPECT_FALSE(cell.accpetSelectWithRect(QRectF(0, 0, 20, 20)));   // the corner alone
    EXPECT_TRUE(cell.accpetSelectWithRect(QRectF(60, 140, 4, 4)));   // the title's frame
}

TEST(FileItemView, TitleColours)
{
    const QColor hidden(0x8f, 0x92, 0x97);
    struct Case {
        bool selected, key, hiddenFile;
        QColor expected;
    };
    const Case cases[] = {
        {false, false, false, QColor::fromRgbF(0.316f, 0.316f, 0.316f)},
        {false, false, true, hidden},
        {false, true, true, Qt::red},  // a hidden system file is red all the same
        {true, true, true, Qt::white},
        {true, false, false, Qt::white},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OVFileItemView::titleColor(c.selected, c.key, c.hiddenFile), c.expected)
            << c.selected << c.key << c.hiddenFile;
}

TEST(FileItemView, ThePieIsMadeOnceAndOnlyFedWhileItExists)
{
    OVFileItemView cell;
    cell.resize(140, 165);
    cell.setMaxValue(100);
    cell.setDoubleValue(40);  // no pie yet: nothing to feed, nothing made
    EXPECT_EQ(cell.pie(), nullptr);
    cell.startDownloadingAnimation();
    OVPieProgressBar* pie = cell.pie();
    ASSERT_NE(pie, nullptr);
    EXPECT_EQ(pie->geometry(), QRect(55, 77, 30, 30));
    EXPECT_EQ(pie->doubleValue(), 0);
    cell.setMaxValue(100);
    cell.setDoubleValue(40);
    cell.startDownloadingAnimation();  // a second start keeps the pie and its value
    EXPECT_EQ(cell.pie(), pie);
    EXPECT_EQ(pie->doubleValue(), 40);
    cell.stopDownloadingAnimation();
    EXPECT_EQ(cell.pie(), nullptr);
    cell.stopDownloadingAnimation();
}

QImage render(OVFileItemView& cell)
{
    QImage image(140, 165, QImage::Format_ARGB32);
    image.fill(Qt::white);
    cell.render(&image);
    return image;
}

TEST(FileItemView, DrawsHiddenItemsFaintAndSelectionsBlue)
{
    QImage black(80, 80, QImage::Format_ARGB32);
    black.fill(Qt::black);
    OVFileItemView cell;
    cell.resize(140, 165);
    cell.setImage(black);
    cell.setTitle("notes");
    const QPointF middle = cell.imageRect().center();
    EXPECT_EQ(render(cell).pixelColor(middle.toPoint()), QColor(Qt::black));
    cell.setIsHiddenFile(true);
    const QColor faint = render(cell).pixelColor(middle.toPoint());
    EXPECT_GT(faint.red(), 120);  // about 40 % black over white
    EXPECT_LT(faint.red(), 180);

    cell.setIsHiddenFile(false);
    cell.setSelected(true);
    const QImage selected = render(cell);
    const QRectF pill = cell.titleFrameRect();
    const QColor blue = selected.pixelColor(QPoint(int(pill.x()) + 2, int(pill.center().y())));
    EXPECT_EQ(blue, QColor::fromRgbF(0.32941176470588235f, 0.5215686274509804f, 0.9568627450980393f).toRgb());
    // The slot behind the picture is shaded.
    EXPECT_LT(selected.pixelColor(QPoint(int(cell.imageFrameRect().x()) + 4, 60)).lightness(), 250);
}

TEST(FileItemView, CopiesPictureTextsAndFlagsButNotTheItem)
{
    OVFileItemView cell;
    auto file = std::make_shared<OVImageFile>();
    file->setPath("/sdcard/DCIM/a.jpg");
    cell.setRepresentedObject(OVViewModel::make(file, "S"));
    cell.setTitle("a.jpg");
    cell.setSubTitle("sub");
    cell.setIsVideo(true);
    cell.setIsHiddenFile(true);
    cell.setNeedIconShadow(true);
    cell.startDownloadingAnimation();
    const auto twin = cell.copy();
    EXPECT_EQ(twin->title(), "a.jpg");
    EXPECT_EQ(twin->subTitle(), "sub");
    EXPECT_TRUE(twin->isVideo() && twin->isHiddenFile() && twin->needIconShadow());
    EXPECT_EQ(twin->representedObject(), nullptr);
    EXPECT_EQ(twin->pie(), nullptr);
    EXPECT_TRUE(cell.debugQuickLookObject().contains("path: /sdcard/DCIM/a.jpg"));
    EXPECT_TRUE(cell.debugQuickLookObject().contains("Type: image\nHas Thumbnail: NO\n"));
}

}  // namespace
}  // namespace orv
