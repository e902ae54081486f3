#pragma once
// The device window's left column: five category buttons (Photos, Music,
// Videos, Download, Files from the top, tags 0, 2, 1, 3, 4 = view types and
// badge indexes) and the device card at the foot. It owns no device logic:
// clicks become pane switches and badge reloads, and its own card's eject and
// screen-image notifications become requests, all sent to its delegate.

#include <QWidget>
#include <array>
#include <cstdint>

namespace orv {

class OVLeftDeviceView;
class OVLeftSidebarButton;
class OVLeftShadowView;

class OVLeftSidebarViewDelegate {
public:
    virtual ~OVLeftSidebarViewDelegate() = default;
    virtual void reloadBadge(int64_t index, bool animation, bool useCache, bool reloadParent) = 0;
    virtual void switchToView(int64_t viewType) = 0;
    virtual void ejectDevice() = 0;
    virtual void updatePhoneScreenImage() = 0;
};

class OVLeftSidebarView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 53;

    explicit OVLeftSidebarView(QWidget* parent = nullptr);
    ~OVLeftSidebarView() override;

    // Not owned. When none is set, the controller its window names (property
    // "windowController") becomes the delegate if it is one.
    void setDelegate(OVLeftSidebarViewDelegate* delegate) { delegate_ = delegate; }
    OVLeftSidebarViewDelegate* delegate() const { return delegate_; }
    void setShadowView(OVLeftShadowView* shadow) { shadowView_ = shadow; }
    OVLeftShadowView* shadowView() const { return shadowView_; }

    OVLeftDeviceView* deviceView() const { return deviceView_; }
    OVLeftSidebarButton* buttonPicture() const { return buttonPicture_; }
    OVLeftSidebarButton* buttonVideo() const { return buttonVideo_; }
    OVLeftSidebarButton* buttonAudio() const { return buttonAudio_; }
    OVLeftSidebarButton* buttonDownload() const { return buttonDownload_; }
    OVLeftSidebarButton* buttonFile() const { return buttonFile_; }
    // The button whose tag (view type, badge index) is `index`, or nullptr.
    OVLeftSidebarButton* buttonForIndex(int64_t index) const;

    // Selects the sender, flags the button above it and asks for its pane; a
    // sender that is none of the five leaves all unselected and asks nothing.
    void buttonAction(QObject* sender);
    void reloadAction(QObject* sender);
    void clickPictureButton();
    void clickVideoButton();
    void clickAudioButton();
    void clickDownloadButton();
    void clickFileButton();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    OVLeftSidebarViewDelegate* boundDelegate();
    // Buttons from the top down.
    std::array<OVLeftSidebarButton*, 5> rows() const;

    OVLeftSidebarViewDelegate* delegate_ = nullptr;
    OVLeftShadowView* shadowView_ = nullptr;
    OVLeftDeviceView* deviceView_ = nullptr;
    OVLeftSidebarButton* buttonPicture_ = nullptr;
    OVLeftSidebarButton* buttonVideo_ = nullptr;
    OVLeftSidebarButton* buttonAudio_ = nullptr;
    OVLeftSidebarButton* buttonDownload_ = nullptr;
    OVLeftSidebarButton* buttonFile_ = nullptr;
};

}  // namespace orv
