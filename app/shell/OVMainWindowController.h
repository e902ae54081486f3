#pragma once
// One device window: loads its phone through its own OVDeviceClient under a
// grey cover, shows the connection-error panel when loading fails (with a
// retry or an update check), then fills the sidebar's card, counts the
// badges, shows the Photos pane and follows the phone's pushed changes.
// Panes come from the pane factory registry. Main thread only.
//
// Once the window is closed or its phone marked ejected, no reply of the
// device client touches it: every reply checks that first.

#include <QElapsedTimer>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>
#include <optional>

#include "app/shell/ConnectionErrorPanel.h"
#include "app/shell/DeviceWindow.h"
#include "app/shell/OVLeftSidebarView.h"
#include "app/toolkit/OVGrayCoverView.h"
#include "core/bridge/companion/OVLibraryChange.h"
#include "platform/Error.h"

class QKeyEvent;

namespace orv {

class OVDeviceClient;
class OVDevicePane;
class OVLeftDeviceView;

class OVMainWindowController : public QObject, public DeviceWindow, public OVLeftSidebarViewDelegate {
    Q_OBJECT

public:
    static constexpr int kSidebarWidth = 208;

    explicit OVMainWindowController(DeviceWindowHost& host);
    ~OVMainWindowController() override;

    static DeviceWindowFactory factory();

    // --- DeviceWindow ---------------------------------------------------------
    void setDevice(std::shared_ptr<OVUSBDevice> device) override { device_ = std::move(device); }
    std::shared_ptr<OVUSBDevice> device() const override { return device_; }
    void setLocationId(int64_t locationId) override { locationId_ = locationId; }
    int64_t locationId() const override { return locationId_; }
    std::string serialNumber() const override { return serialNumber_; }
    void loadWindow() override;
    QWidget* window() const override { return window_; }
    void loadDeviceWithSerialNumber(const std::string& serialNumber) override;
    void resetTitle(bool showDeviceName) override;
    bool canClose() const override;
    void setDeviceEjected(bool ejected) override { deviceEjected_ = ejected; }
    bool deviceEjected() const override { return deviceEjected_; }
    void closeThisWindow(QObject* sender) override;

    // --- sidebar requests -------------------------------------------------------
    void switchToView(int64_t viewType) override;
    void reloadBadge(int64_t index, bool animation, bool useCache, bool reloadParent) override;
    void ejectDevice() override;
    void updatePhoneScreenImage() override;

    // --- loading ------------------------------------------------------------------
    // (Re)loads the phone under the cover; also the retry of the error panel.
    void reloadDevice();
    // Shows the cover; with a time-out it is taken away after 5.2 s unless an error is shown.
    void grayoutWindow(bool withTimeout);
    void cleangrayoutWindow();
    // The error panel inside the cover; the caption is not displayed.
    void showAuthWindow(const QString& caption, const QString& info, const QString& title, const QString& buttonTitle);
    void authButtonAction();
    void checkForUpdate();
    // Follows the phone's pushed information and library changes (when "UseWatchCommand" is on).
    void monitorDevice();

    // Places a cascaded window; it is then not centred when it appears.
    void setCascadePosition(const QPoint& topLeft);

    // --- badges ---------------------------------------------------------------------
    // The saved string for this phone and key ("photoBadge", ...), or a null string.
    QString savedInfoForKey(const QString& key) const;
    void saveInfo(const QString& value, const QString& key);

    // --- panes and commands ------------------------------------------------------
    void selectAll();
    OVDevicePane* currentPane() const { return currentViewController_; }
    OVDevicePane* pane(int64_t viewType) const;
    QWidget* rightBaseView() const { return rightBaseView_; }
    void setStatusText(const QString& text);
    QLabel* statusLabel() const { return statusLabel_; }
    SpinningGear* spinGear() const { return spinGear_; }

    // --- Quick Look, forwarded to the pane on screen ---------------------------------
    bool acceptsPreviewPanelControl();
    void beginPreviewPanelControl();
    void endPreviewPanelControl();
    int64_t numberOfPreviewItems();
    QString previewItemAtIndex(int64_t index);
    bool previewPanelHandleEvent(QKeyEvent* event);
    QRect sourceFrameOnScreenForPreviewItem(int64_t index);
    QImage transitionImageForPreviewItem(int64_t index, QRect* contentRect);
    // The preview window while one of this window's panes drives it.
    void setPreviewPanel(QWidget* panel) { previewPanel_ = panel; }
    QWidget* previewPanel() const { return previewPanel_; }

    // --- state ------------------------------------------------------------------------
    const std::shared_ptr<OVDeviceClient>& client() const { return client_; }
    OVLeftSidebarView* sidebar() const { return sidebar_; }
    ConnectionErrorPanel* errorPanel() const { return authView_; }
    bool isGrayedOut() const { return grayView_ != nullptr; }
    const std::optional<Error>& coreError() const { return coreError_; }
    bool didLoadDevice() const { return didLoadDevice_; }
    bool titleShowDeviceName() const { return titleShowDeviceName_; }
    int64_t phoneLocked() const { return phoneLocked_; }
    bool isClosed() const { return closed_; }

    // Presents an error to the user, unless it is a socket error. Replaceable for tests.
    static void presentError(const Error& error, QWidget* parent);
    static void setErrorPresenter(std::function<void(const Error&, QWidget*)> presenter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True when a reply of the device client must leave the window alone.
    bool repliesIgnored() const { return closed_ || deviceEjected_ || !client_; }
    void loadCompleted(const std::optional<Error>& error);
    void fillDeviceCard();
    QString deviceDisplayName() const;
    void applyDeviceInfo(const QString& description);
    void applyLibraryChange(int64_t viewType, const std::optional<OVLibraryChange>& change);
    void layoutContent();
    void layoutBottomBar();
    void windowWillClose();

    DeviceWindowHost& host_;
    bool deviceEjected_ = false;
    bool titleShowDeviceName_ = false;
    bool didLoadDevice_ = false;
    bool didAwakeFromNib_ = false;
    bool closed_ = false;
    bool cascaded_ = false;
    bool monitoring_ = false;
    int64_t locationId_ = 0;
    std::shared_ptr<OVDeviceClient> client_;
    std::shared_ptr<OVUSBDevice> device_;
    std::string serialNumber_;
    QPointer<QWidget> window_;
    OVLeftSidebarView* sidebar_ = nullptr;
    QWidget* contentView_ = nullptr;
    QWidget* rightBaseView_ = nullptr;
    QWidget* bottomBar_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    SpinningGear* spinGear_ = nullptr;
    OVDevicePane* currentViewController_ = nullptr;
    std::array<std::unique_ptr<OVDevicePane>, 5> panes_;
    QPointer<QWidget> previewPanel_;
    QPointer<ConnectionErrorPanel> authView_;
    QPointer<OVGrayCoverView> grayView_;
    int64_t phoneLocked_ = -1;
    QElapsedTimer launchTime_;
    std::optional<Error> coreError_;
};

}  // namespace orv
