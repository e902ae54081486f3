#pragma once
// The row of page dots under the intro pages: one 8x8 dot per page in
// 20-point cells centred on the bar, the current page filled. With fewer
// than two pages nothing is drawn and clicks are ignored.

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <vector>

namespace orv {

class OVIntroNavbarView;

class OVIntroNavbarViewDelegate {
public:
    virtual ~OVIntroNavbarViewDelegate() = default;
    virtual uint64_t numberOfPage(OVIntroNavbarView& bar) = 0;
    virtual void slideToPage(uint64_t page, uint64_t fromPage) = 0;
};

class OVIntroNavbarView : public QWidget {
    Q_OBJECT

public:
    explicit OVIntroNavbarView(QWidget* parent = nullptr);

    OVIntroNavbarViewDelegate* delegate() const { return delegate_; }
    void setDelegate(OVIntroNavbarViewDelegate* delegate) { delegate_ = delegate; }
    uint64_t currentPage() const { return currentPage_; }
    // Redraws only when the page changes.
    void setCurrentPage(uint64_t page);

    // The dot cells (20x20, in this widget's coordinates) for `pages` pages.
    std::vector<QRect> cellRects(uint64_t pages) const;
    int repaintRequests() const { return repaintRequests_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    uint64_t pageCount() const;

    OVIntroNavbarViewDelegate* delegate_ = nullptr;
    uint64_t currentPage_ = 0;
    int repaintRequests_ = 0;
};

}  // namespace orv
