#pragma once
// One category row of the device window's sidebar: icon, bold title, a count
// badge at the right end (-1: none), a spinning gear while the count loads,
// and a context menu whose one item reloads the count. The badge, the gear
// and the menu exist only while the preference "ShowLeftBadge" is on.

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "app/shell/SpinningGear.h"
#include <memory>

class QMenu;

namespace orv {

class OVLeftSidebarButton : public QWidget {
    Q_OBJECT

public:
    explicit OVLeftSidebarButton(QWidget* parent = nullptr);
    ~OVLeftSidebarButton() override;

    void setIcon(const QImage& icon);
    const QImage& icon() const { return icon_; }
    void setTitle(const QString& title);
    const QString& title() const { return title_; }
    void setButtonTag(int tag) { buttonTag_ = tag; }
    int buttonTag() const { return buttonTag_; }

    int64_t badge() const { return badge_; }
    void setBadge(int64_t badge);
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    bool belowButtonIsSelected() const { return belowButtonIsSelected_; }
    void setBelowButtonIsSelected(bool selected);

    void startLoadingAnimation();
    void stopLoadingAnimation();
    bool isLoading() const;

    // " " below 0, the number up to 999, then whole thousands rounded down with "K+".
    static QString badgeText(int64_t badge);
    QColor textColor() const;
    QColor badgeTextColor() const;

    // Layout in Qt coordinates.
    QRectF iconFrame() const;
    QRectF titleFrame() const;
    QRectF badgeFrame() const;
    QRect gearRect() const;

    // The context menu, or nullptr while "ShowLeftBadge" is off. Its item is
    // disabled while the gear spins.
    std::unique_ptr<QMenu> makeContextMenu();

signals:
    // A press on the button followed by a release anywhere.
    void clicked(OVLeftSidebarButton* button);
    void reloadRequested(OVLeftSidebarButton* button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage icon_;
    QString title_;
    int buttonTag_ = 0;
    int64_t badge_ = -1;
    bool selected_ = false;
    bool belowButtonIsSelected_ = false;
    bool pressed_ = false;
    QPointer<SpinningGear> gear_;
};

}  // namespace orv
