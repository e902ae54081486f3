// The media panes' pure pieces: the library fetch throttle with its trailing
// fetch, the photo cell's and album tile's geometry, the pinned section
// header's clamp, and a reused tile forgetting the previous album's cover.

#include <gtest/gtest.h>

#include "app/media/OVMediaReloadThrottle.h"
#include "app/media/OVPhotoAlbumItemView.h"
#include "app/media/OVPhotoItemView.h"
#include "app/media/PhotoSectionView.h"
#include "core/bridge/model/OVImageFile.h"

namespace orv {
namespace {

using Decision = OVMediaReloadThrottle::Decision;

TEST(MediaReloadThrottle, RequestsWithinTheIntervalBecomeOneTrailingFetch)
{
    struct Case {
        std::vector<double> requests;
        std::vector<Decision> expected;
    };
    const std::vector<Case> cases = {
        {{0, 2.0}, {Decision::FetchNow, Decision::FetchNow}},
        {{0, 1.0}, {Decision::FetchNow, Decision::Deferred}},
        {{0, 1.0, 1.2, 1.4}, {Decision::FetchNow, Decision::Deferred, Decision::AlreadyDeferred, Decision::AlreadyDeferred}},
        {{0, 1.5}, {Decision::FetchNow, Decision::FetchNow}},
    };
    for (const Case& c : cases) {
        OVMediaReloadThrottle throttle;
        for (size_t i = 0; i < c.requests.size(); ++i)
            EXPECT_EQ(throttle.request(c.requests[i]).decision, c.expected[i]) << "request " << i;
    }
    OVMediaReloadThrottle throttle;
    throttle.request(10.0);
    const auto deferred = throttle.request(10.4);
    ASSERT_EQ(deferred.decision, Decision::Deferred);
    EXPECT_DOUBLE_EQ(deferred.delaySeconds, 1.1);
    // The trailing fetch counts as a start: the interval runs from it.
    throttle.trailingFired(11.5);
    EXPECT_FALSE(throttle.hasTrailing());
    EXPECT_EQ(throttle.request(12.0).decision, Decision::Deferred);
    throttle.reset();
    EXPECT_EQ(throttle.request(12.1).decision, Decision::FetchNow);
}

TEST(PhotoItemView, ImageSquareAndRingFollowTheCellWidth)
{
    struct Case {
        double side, inset, growth, radius;
    };
    for (const Case& c : std::vector<Case>{{154, 4, 4, 5}, {111, 3, 3, 3}, {64, 2, 2, 2}, {84, 2, 2, 2}, {119, 3, 3, 3}}) {
        const QRectF r = OVPhotoItemView::imageRect(QRectF(0, 0, c.side, c.side));
        EXPECT_EQ(r, QRectF(c.inset, c.inset, c.side - 2 * c.inset, c.side - 2 * c.inset)) << c.side;
        EXPECT_EQ(OVPhotoItemView::selectionGrowth(r.width()), c.growth) << c.side;
        EXPECT_EQ(OVPhotoItemView::selectionRadius(r.width()), c.radius) << c.side;
    }
    EXPECT_EQ(OVPhotoItemView::badgeRect(QRectF(4, 4, 146, 146), QSizeF()), QRectF(18, 118, 30, 30));
    EXPECT_EQ(photoPlaceholder(146).width(), 144);
    EXPECT_EQ(photoPlaceholder(105).width(), 104);
    EXPECT_EQ(photoPlaceholder(60).width(), 66);

    OVPhotoItemView cell;
    cell.resize(154, 154);
    EXPECT_TRUE(cell.clickTest(QPointF(10, 10)));
    EXPECT_FALSE(cell.clickTest(QPointF(1, 1)));
    const auto first = OVViewModel::make(std::make_shared<OVImageFile>(), QString());
    cell.setRepresentedObject(first);
    cell.setImage(QImage(4, 4, QImage::Format_RGB32));
    cell.setError(QStringLiteral("failed"));
    cell.setRepresentedObject(first);
    EXPECT_FALSE(cell.image().isNull());
    cell.setRepresentedObject(OVViewModel::make(std::make_shared<OVImageFile>(), QString()));
    EXPECT_TRUE(cell.image().isNull());
    EXPECT_TRUE(cell.error().isEmpty());
    cell.startDownloadingAnimation();
    OVPieProgressBar* pie = cell.pie();
    cell.startDownloadingAnimation();
    EXPECT_EQ(cell.pie(), pie);
    cell.stopDownloadingAnimation();
    EXPECT_EQ(cell.pie(), nullptr);
    cell.setDoubleValue(3);  // without a pie: nothing
}

TEST(PhotoAlbumItemView, TileGeometryAndAReusedTileStartsClean)
{
    const QRectF bounds(0, 0, 180, 207);
    const QRectF frame = OVPhotoAlbumItemView::imageFrameRect(bounds);
    EXPECT_EQ(frame, QRectF(7, 1, 166, 166));
    EXPECT_EQ(OVPhotoAlbumItemView::imageRect(bounds, QSizeF()), QRectF(7, 0, 166, 166));
    EXPECT_EQ(OVPhotoAlbumItemView::imageRect(bounds, QSizeF(100, 80)), QRectF(40, 0, 100, 80));
    const QRectF badge = OVPhotoAlbumItemView::titleFrameRect(bounds, QSizeF(), frame);
    EXPECT_EQ(badge, QRectF(85, 171, 10, 14));
    // A very long label never grows wider than the tile minus 16.
    EXPECT_EQ(OVPhotoAlbumItemView::titleFrameRect(bounds, QSizeF(900, 15), frame).width(), 164);
    EXPECT_EQ(OVPhotoAlbumItemView::titleTextRect(bounds, QSizeF(900, 15), badge).width(), 158);

    OVPhotoAlbumItemView tile;
    tile.resize(180, 207);
    tile.setTitle(QStringLiteral("Saved"));
    tile.setNumber(12);
    EXPECT_EQ(tile.label(), QStringLiteral("Saved (12)"));
    EXPECT_TRUE(tile.clickTest(QPointF(90, 172)));
    EXPECT_FALSE(tile.clickTest(QPointF(2, 200)));
    tile.setRepresentedObject(OVViewModel::make(std::make_shared<OVImageFile>(), QString()));
    tile.setImage(QImage(10, 10, QImage::Format_RGB32));
    tile.setError(QStringLiteral("cover failed"));
    // Handed another album, the tile must not show the previous cover or error.
    tile.setRepresentedObject(OVViewModel::make(std::make_shared<OVImageFile>(), QString()));
    EXPECT_TRUE(tile.image().isNull());
    EXPECT_TRUE(tile.error().isEmpty());
}

TEST(PhotoSectionView, HeaderStaysPinnedInsideItsSection)
{
    struct Case {
        double sectionY, visibleY, expected;
    };
    // A 500-point section with a 40-point header.
    for (const Case& c : std::vector<Case>{{0, 0, 0}, {200, 100, 0}, {0, 100, 100}, {0, 480, 460}, {0, 900, 460}})
        EXPECT_EQ(OVCollectionSectionView::stickyHeaderY(c.sectionY, 500, 40, 0, c.visibleY), c.expected)
            << c.sectionY << " " << c.visibleY;
    EXPECT_EQ(OVCollectionSectionView::stickyHeaderY(0, 500, 40, 20, 480), 440);

    QWidget parent;
    auto* section = new OVCollectionSectionView;
    section->setSectionTitle(QStringLiteral("March 2015"));
    section->setParent(&parent);
    ASSERT_NE(section->sectionHeader(), nullptr);
    EXPECT_EQ(section->sectionHeader()->sectionTitle(), QStringLiteral("March 2015"));
    section->setSectionTitle(QStringLiteral("April 2015"));
    EXPECT_EQ(section->sectionHeader()->sectionTitle(), QStringLiteral("April 2015"));
}

}  // namespace
}  // namespace orv
