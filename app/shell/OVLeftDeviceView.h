#pragma once
// The device card at the foot of the sidebar: phone picture (with an optional
// screen image), name, battery gauge and percentage, storage used of total,
// and an eject control. Clicks are posted on the default notification centre
// with the card as the object: "ejectNotification" for a release inside the
// eject control, "updatePhoneImageNotification" for a release on the phone
// picture while needUpdateScreenImage is on and no screen image is loading.

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "app/shell/SpinningGear.h"

namespace orv {

inline constexpr const char* kEjectNotification = "ejectNotification";
inline constexpr const char* kUpdatePhoneImageNotification = "updatePhoneImageNotification";

class OVLeftDeviceView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kHeight = 145;

    explicit OVLeftDeviceView(QWidget* parent = nullptr);
    ~OVLeftDeviceView() override;

    // None of the setters redisplays; whoever fills the card calls update().
    void setDeviceImage(const QImage& image) { deviceImage_ = image; }
    const QImage& deviceImage() const { return deviceImage_; }
    const QImage& screenImage() const { return screenImage_; }
    // Stores a copy scaled to fit the screen area and redisplays; the image already stored changes nothing.
    void updateScreen(const QImage& image);
    void setDeviceName(const QString& name);
    const QString& deviceName() const { return deviceName_; }
    // Kept within 0 to 100.
    void setBatteryLevel(int64_t level);
    int64_t batteryLevel() const { return batteryLevel_; }
    void setTotalSpace(int64_t kilobytes) { totalSpace_ = kilobytes; }
    int64_t totalSpace() const { return totalSpace_; }
    void setFreeSpace(int64_t kilobytes) { freeSpace_ = kilobytes; }
    int64_t freeSpace() const { return freeSpace_; }
    void setDrawEjectButton(bool draw) { drawEjectButton_ = draw; }
    bool drawEjectButton() const { return drawEjectButton_; }
    void setNeedUpdateScreenImage(bool need) { needUpdateScreenImage_ = need; }
    bool needUpdateScreenImage() const { return needUpdateScreenImage_; }
    // Shown anywhere on the card but over the name, which shows the whole name.
    void setCardToolTip(const QString& text) { cardToolTip_ = text; }
    QString toolTipAt(const QPoint& point) const;

    void startLoadingAnimation();
    void stopLoadingAnimation();
    bool isLoading() const { return gear_ != nullptr; }

    // "<DiskUsage> used/total GB" in decimal units from kilobytes; used is at
    // least 1 and never the total while more than 150 MB are free. Storage
    // under 1 GB is given in MB; empty when there is nothing to show.
    static QString diskSpaceText(int64_t totalKilobytes, int64_t freeKilobytes);
    // Width in points of the gauge's charge bar for a level.
    static int batteryBarWidth(int64_t level);

    // Layout in Qt coordinates.
    QRectF imageRect() const;
    QRectF screenRect() const;
    QRect gearRect() const;
    QRectF nameRect() const;
    QRectF batteryRect() const;
    QRectF batteryPercentageRect() const;
    QRectF ejectRect() const;
    QRectF storageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void drawBattery(QPainter& painter) const;
    void drawEject(QPainter& painter) const;
    QString ejectText() const;

    QImage deviceImage_;
    QImage screenImage_;
    QImage lastScreenSource_;
    QString deviceName_;
    QString cardToolTip_;
    int64_t batteryLevel_ = 0;
    int64_t totalSpace_ = 0;
    int64_t freeSpace_ = 0;
    bool drawEjectButton_ = false;
    bool needUpdateScreenImage_ = false;
    bool ejectPressed_ = false;
    bool imagePressed_ = false;
    QPointer<SpinningGear> gear_;
};

}  // namespace orv
