#include "app/shell/PlaceholderDeviceWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "app/shell/L10n.h"

namespace orv {

namespace {
constexpr double kCloseGuardSeconds = 0.5;
}

PlaceholderDeviceWindow::PlaceholderDeviceWindow(DeviceWindowHost& host) : host_(host) {}

PlaceholderDeviceWindow::~PlaceholderDeviceWindow()
{
    if (window_) {
        window_->removeEventFilter(this);
        delete window_.data();
    }
}

DeviceWindowFactory PlaceholderDeviceWindow::factory()
{
    return [](DeviceWindowHost& host) { return std::make_shared<PlaceholderDeviceWindow>(host); };
}

void PlaceholderDeviceWindow::loadWindow()
{
    if (window_)
        return;
    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("MainWindow"));
    window->resize(1035, 685);
    window->setMinimumSize(1035, 685);
    label_ = new QLabel(window);
    label_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(label_);
    window->installEventFilter(this);
    window_ = window;
    launchTime_ = OVUSBDevice::now();
    resetTitle(false);
}

void PlaceholderDeviceWindow::loadDeviceWithSerialNumber(const std::string& serialNumber)
{
    serialNumber_ = serialNumber;
    if (!window_)
        return;
    const QString name = device_ ? QString::fromStdString(device_->name()) : QString();
    label_->setText(QStringLiteral("%1\n%2").arg(name, QString::fromStdString(serialNumber)));
    window_->show();
}

void PlaceholderDeviceWindow::resetTitle(bool showDeviceName)
{
    if (!window_)
        return;
    if (showDeviceName && device_)
        window_->setWindowTitle(QString::fromStdString(device_->name()));
    else
        window_->setWindowTitle(L10n::text("Orvane File Manager"));
}

bool PlaceholderDeviceWindow::canClose() const { return OVUSBDevice::now() - launchTime_ > kCloseGuardSeconds; }

void PlaceholderDeviceWindow::closeThisWindow(QObject* sender)
{
    if (closing_ || !canClose())
        return;
    closing_ = true;
    if (sender)
        host_.manuallyWindowControllerClose(*this);
    if (window_)
        window_->hide();
    host_.didMainWindowControllerClose(*this);
}

bool PlaceholderDeviceWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && event->type() == QEvent::Close) {
        // The close button is a close by hand; the window itself only hides.
        event->ignore();
        closeThisWindow(this);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace orv
