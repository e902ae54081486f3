#include "app/shell/OVMainWindowController.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "app/shell/AdbProcesses.h"
#include "app/shell/ConnectionErrorPanel.h"
#include "app/shell/ConnectionErrorTexts.h"
#include "app/shell/OVDevicePane.h"
#include "app/shell/OVLeftDeviceView.h"
#include "app/shell/OVLeftShadowView.h"
#include "app/shell/ShellImages.h"
#include "app/shell/ShellLook.h"
#include "app/shell/Updater.h"
#include "app/toolkit/AWAppStoreWindow.h"
#include "app/toolkit/OVGrayCoverView.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVLocalization.h"

namespace orv {

namespace {

constexpr int kBottomBarHeight = 20;
constexpr int kTitleBarHeight = 36;
constexpr int kOverlayTimeoutMs = 5200;
constexpr int kRetryDelayMs = 1000;

QString text(const char* key, const char* english) { return QString::fromStdString(localizedString(key, english)); }

std::function<void(const Error&, QWidget*)>& errorPresenter()
{
    static std::function<void(const Error&, QWidget*)> presenter;
    return presenter;
}

}  // namespace

OVMainWindowController::OVMainWindowController(DeviceWindowHost& host) : host_(host) {}

OVMainWindowController::~OVMainWindowController()
{
    closed_ = true;
    currentViewController_ = nullptr;
    for (auto& pane : panes_)
        pane.reset();
    client_.reset();
    delete window_.data();
}

DeviceWindowFactory OVMainWindowController::factory()
{
    return [](DeviceWindowHost& host) -> std::shared_ptr<DeviceWindow> { return std::make_shared<OVMainWindowController>(host); };
}

// --- window set-up ---------------------------------------------------------------

void OVMainWindowController::loadWindow()
{
    if (didAwakeFromNib_)
        return;
    launchTime_.start();
    didAwakeFromNib_ = true;
    phoneLocked_ = -1;

    auto* window = new AWAppStoreWindow;
    window_ = window;
    window->setProperty("windowController", QVariant::fromValue(static_cast<QObject*>(this)));
    window->setWindowTitle(text("Orvane File Manager", "Orvane File Manager"));
    window->installEventFilter(this);
    window->setBottomBarHeight(kBottomBarHeight);
    window->setShowsBottomBarSeparator(true);
    window->setCenterTrafficLightButtons(true);
    window->setTitleBarHeight(kTitleBarHeight, false);
    window->setShowsBaselineSeparator(true);
    window->setShowsTitle(true);
    window->setVerticallyCenterTitle(true);
    window->setVerticalTrafficLightButtons(false);
    window->setCenterFullScreenButton(true);
    window->setShowsTitleInFullscreen(true);
    window->setFullScreenButton(nullptr);
    window->resize(1035, 685);
    window->setMinimumSize(1035, 685);

    contentView_ = new QWidget;
    window->setContentView(contentView_);
    contentView_->installEventFilter(this);

    sidebar_ = new OVLeftSidebarView(contentView_);
    sidebar_->deviceView()->setNeedUpdateScreenImage(false);
    sidebar_->deviceView()->setDrawEjectButton(false);
    sidebar_->setDelegate(this);
    auto* shadow = new OVLeftShadowView(contentView_);
    sidebar_->setShadowView(shadow);

    rightBaseView_ = new QWidget(contentView_);
    rightBaseView_->installEventFilter(this);

    // The window draws the bar; the status line and busy indicator sit on it.
    bottomBar_ = new QWidget;
    window->setBottomBarView(bottomBar_);
    bottomBar_->installEventFilter(this);
    statusLabel_ = new QLabel(bottomBar_);
    statusLabel_->setFont(shell_look::systemFont(11));
    statusLabel_->setAlignment(Qt::AlignCenter);
    statusLabel_->setStyleSheet(QStringLiteral("color: #5b5c62;"));
    spinGear_ = new SpinningGear(bottomBar_);
    spinGear_->stop();

    // Laid out once now, and again on every resize.
    layoutContent();
    layoutBottomBar();

    grayoutWindow(false);

    // Centred before it is first shown, unless it was already cascaded.
    if (!cascaded_)
        if (QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen()) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
}

void OVMainWindowController::setCascadePosition(const QPoint& topLeft)
{
    cascaded_ = true;
    if (window_)
        window_->move(topLeft);
}

bool OVMainWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == contentView_ && event->type() == QEvent::Resize) {
        layoutContent();
        return false;
    }
    if (watched == bottomBar_ && event->type() == QEvent::Resize) {
        layoutBottomBar();
        return false;
    }
    if (watched == rightBaseView_ && event->type() == QEvent::Resize) {
        if (currentViewController_ && currentViewController_->view())
            currentViewController_->view()->setGeometry(rightBaseView_->rect());
        return false;
    }
    if (watched == window_ && event->type() == QEvent::Close) {
        if (closed_) {
            windowWillClose();
            return false;
        }
        // The title bar's close button takes the same road as every other
        // close (refused during the first half second), once this close
        // event is over: Qt refuses a close from inside another.
        event->ignore();
        QTimer::singleShot(0, this, [this] { closeThisWindow(window_); });
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void OVMainWindowController::layoutContent()
{
    const int w = contentView_->width();
    const int h = contentView_->height();
    sidebar_->setGeometry(0, 0, kSidebarWidth, h);
    if (auto* shadow = sidebar_->shadowView()) {
        shadow->setGeometry(kSidebarWidth - 8, 0, 8, h);
        shadow->raise();
    }
    rightBaseView_->setGeometry(kSidebarWidth, 0, w - kSidebarWidth, h);
    if (grayView_) {
        grayView_->raise();
        if (authView_)
            authView_->setGeometry(grayView_->rect());
    }
}

void OVMainWindowController::layoutBottomBar()
{
    const int w = bottomBar_->width();
    const int h = bottomBar_->height();
    statusLabel_->setGeometry(50, h - 2 - 15, w - 100, 15);
    spinGear_->setGeometry(w - 26, (h - 16) / 2, 16, 16);
}

void OVMainWindowController::setStatusText(const QString& text)
{
    if (statusLabel_)
        statusLabel_->setText(text);
}

// --- loading -----------------------------------------------------------------------

void OVMainWindowController::loadDeviceWithSerialNumber(const std::string& serialNumber)
{
    loadWindow();
    serialNumber_ = serialNumber;
    client_ = std::make_shared<OVDeviceClient>();
    for (auto& pane : panes_)
        if (pane)
            pane->setClient(client_);
    window_->show();
    QTimer::singleShot(250, this, [this] {
        if (window_ && !closed_) {
            window_->raise();
            window_->activateWindow();
        }
    });
    reloadDevice();
}

void OVMainWindowController::reloadDevice()
{
    if (!client_ || closed_)
        return;
    grayoutWindow(true);
    spinGear_->stop();
    QPointer<OVMainWindowController> self(this);
    client_->updateWithSerialNumber(serialNumber_, [self](std::optional<Error> error) {
        if (self)
            self->loadCompleted(error);
    });
}

void OVMainWindowController::loadCompleted(const std::optional<Error>& error)
{
    if (repliesIgnored())
        return;
    spinGear_->stop();
    if (authView_) {
        authView_->gear()->stop();
        authView_->button()->setEnabled(true);
    }
    if (error) {
        coreError_ = error;
        const long code = error->domain == kADBErrorDomain ? error->code : -1;
        const ConnectionErrorTexts texts = ConnectionErrorTexts::forCode(code);
        showAuthWindow(texts.caption, texts.explanation, texts.title, texts.button);
        if (texts.killsAdb)
            adb_processes::killAll();
        return;
    }
    coreError_.reset();
    cleangrayoutWindow();
    // Every pane made while loading learns that the phone is there, Download included.
    for (auto& pane : panes_)
        if (pane)
            pane->setDeviceDone();
    fillDeviceCard();
    resetTitle(titleShowDeviceName_);
    for (int64_t badge : {0, 1, 2})
        reloadBadge(badge, true, false, false);
    for (int64_t badge : {3, 4})
        reloadBadge(badge, true, true, false);
    didLoadDevice_ = true;
    sidebar_->deviceView()->setDrawEjectButton(true);
    sidebar_->deviceView()->update();
    QTimer::singleShot(0, this, [this] {
        if (closed_)
            return;
        sidebar_->clickPictureButton();
        monitorDevice();
    });
}

void OVMainWindowController::fillDeviceCard()
{
    const auto& device = client_->device();
    OVLeftDeviceView* card = sidebar_->deviceView();
    const char* picture = device->productType() != 0 ? "Pq1" : device->color() != 0 ? "Wq3-white" : "Wq3-black";
    card->setDeviceImage(shell_images::image(QLatin1String(picture)));
    card->setDeviceName(deviceDisplayName());
    card->setBatteryLevel(device->battery());
    card->setTotalSpace(device->totalSpace());
    card->setFreeSpace(device->freeSpace());
    card->update();
}

QString OVMainWindowController::deviceDisplayName() const
{
    const std::string name = client_ ? client_->device()->friendlyName() : std::string();
    if (name.empty())
        return text("Unknow Device Name", "Unknown Device Name");
    return QString::fromStdString(name);
}

void OVMainWindowController::grayoutWindow(bool withTimeout)
{
    if (!window_)
        return;
    if (!grayView_) {
        // The cover follows the content view's size by itself.
        grayView_ = new OVGrayCoverView(contentView_);
        grayView_->show();
        grayView_->raise();
        grayView_->startLoading();
    }
    if (withTimeout)
        QTimer::singleShot(kOverlayTimeoutMs, this, [this] { cleangrayoutWindow(); });
}

void OVMainWindowController::cleangrayoutWindow()
{
    if (coreError_ || !grayView_)
        return;
    grayView_->stopLoading();
    delete grayView_.data();  // the error panel inside goes with it
}

void OVMainWindowController::showAuthWindow(const QString&, const QString& info, const QString& title, const QString& buttonTitle)
{
    if (!grayView_)
        grayoutWindow(false);
    if (!grayView_)
        return;
    if (!authView_) {
        authView_ = new ConnectionErrorPanel(grayView_);
        authView_->gear()->stop();
    }
    QPushButton* button = authView_->button();
    button->disconnect(this);
    if (!buttonTitle.isEmpty()) {
        if (buttonTitle == ConnectionErrorTexts::forCode(ADBErrorFrameworkTooOld).button)
            connect(button, &QPushButton::clicked, this, [this] { checkForUpdate(); });
        else
            connect(button, &QPushButton::clicked, this, [this] { authButtonAction(); });
    }
    authView_->setTexts(title, info, buttonTitle);
    authView_->setGeometry(grayView_->rect());
    authView_->show();
    grayView_->stopLoading();
}

void OVMainWindowController::authButtonAction()
{
    if (!authView_)
        return;
    authView_->button()->setEnabled(false);
    authView_->gear()->start();
    spinGear_->stop();
    QTimer::singleShot(kRetryDelayMs, this, [this] {
        if (deviceEjected_ || closed_)
            return;
        QTimer::singleShot(0, this, [this] { reloadDevice(); });
    });
}

void OVMainWindowController::checkForUpdate() { Updater::shared().checkForUpdates(window_); }

// --- errors ------------------------------------------------------------------------

void OVMainWindowController::presentError(const Error& error, QWidget* parent)
{
    if (errorPresenter())
        return errorPresenter()(error, parent);
    const QString message = QString::fromStdString(error.message);
    if (message.contains(QLatin1String("socket"), Qt::CaseInsensitive))
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, message, QString::fromStdString(error.recoverySuggestion), QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void OVMainWindowController::setErrorPresenter(std::function<void(const Error&, QWidget*)> presenter)
{
    errorPresenter() = std::move(presenter);
}

}  // namespace orv
