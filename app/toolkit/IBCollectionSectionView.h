#pragma once
// A full-width container for one grid section: its tiles plus an optional
// header strip (on by default) and bottom strip. When the section enters a
// parent it gets a default black header if it asks for one and has none.
// tiles() lists the children without the two strips.

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace orv {

class IBCollectionItemView;

class IBCollectionSectionView : public QWidget {
    Q_OBJECT
public:
    explicit IBCollectionSectionView(QWidget* parent = nullptr);

    bool hasHeader() const { return hasHeader_; }
    void setHasHeader(bool has) { hasHeader_ = has; }
    bool hasBottom() const { return hasBottom_; }
    void setHasBottom(bool has) { hasBottom_ = has; }
    // Plain stores; the getters create nothing. The section takes the strips as children.
    QWidget* headerView() const { return headerView_; }
    void setHeaderView(QWidget* view);
    QWidget* bottomView() const { return bottomView_; }
    void setBottomView(QWidget* view);
    const QString& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(const QString& identifier) { reuseIdentifier_ = identifier; }

    // The item views shown in this section (children other than the strips;
    // pooled tiles wait hidden and are left out).
    QList<IBCollectionItemView*> tiles() const;

    // Makes the default header when one is wanted and missing, and adopts the
    // strips as children. Runs when the section gets a parent; idempotent.
    virtual void viewDidMoveToSuperview();

    // Keeps the header at the top of the visible rectangle (content
    // coordinates) while the section passes under it, pushed up by the
    // section's end so it stops above the bottom strip.
    virtual void trackHeaderViewWithVisibleRect(QRectF visible);

protected:
    bool event(QEvent* event) override;

private:
    bool hasHeader_ = true;
    bool hasBottom_ = false;
    QPointer<QWidget> headerView_;
    QPointer<QWidget> bottomView_;
    QString reuseIdentifier_;
};

}  // namespace orv
