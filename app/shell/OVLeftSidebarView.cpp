#include "app/shell/OVLeftSidebarView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVariant>

#include "app/shell/OVLeftDeviceView.h"
#include "app/shell/OVLeftSidebarButton.h"
#include "app/shell/ShellImages.h"
#include "app/shell/ShellLook.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "core/bridge/facade/OVLocalization.h"
#include "platform/NotificationCenter.h"

namespace orv {

using namespace shell_look;

OVLeftSidebarView::OVLeftSidebarView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    struct Row {
        OVLeftSidebarButton** button;
        int tag;
        const char* key;
        const char* english;
        const char* icon;
    };
    const Row rows[] = {
        {&buttonPicture_, 0, "SidebarPicture", "Photos", "SidePhoto"},
        {&buttonAudio_, 2, "SidebarAudio", "Music", "SideAudio"},
        {&buttonVideo_, 1, "SidebarVideo", "Videos", "SideVideo"},
        {&buttonDownload_, 3, "SidebarDownload", "Download", "SideDownload"},
        {&buttonFile_, 4, "SidebarFile", "Files", "SideFile"},
    };
    for (const Row& row : rows) {
        auto* button = new OVLeftSidebarButton(this);
        button->setButtonTag(row.tag);
        button->setTitle(QString::fromStdString(localizedString(row.key, row.english)));
        button->setIcon(shell_images::image(QLatin1String(row.icon)));
        connect(button, &OVLeftSidebarButton::clicked, this, [this](OVLeftSidebarButton* b) { buttonAction(b); });
        connect(button, &OVLeftSidebarButton::reloadRequested, this, [this](OVLeftSidebarButton* b) { reloadAction(b); });
        *row.button = button;
    }
    deviceView_ = new OVLeftDeviceView(this);
    deviceView_->setDrawEjectButton(true);

    // Every window's card posts to the same centre: act only on our own.
    const std::pair<const char*, void (OVLeftSidebarViewDelegate::*)()> requests[] = {
        {kEjectNotification, &OVLeftSidebarViewDelegate::ejectDevice},
        {kUpdatePhoneImageNotification, &OVLeftSidebarViewDelegate::updatePhoneScreenImage},
    };
    for (const auto& [name, request] : requests) {
        const auto ask = request;
        NotificationCenter::defaultCenter().addObserver(
            this,
            [this, ask](const Notification& n) {
                if (n.object != deviceView_)
                    return;
                if (auto* d = boundDelegate())
                    (d->*ask)();
            },
            name);
    }
}

OVLeftSidebarView::~OVLeftSidebarView() { NotificationCenter::defaultCenter().removeObserver(this); }

std::array<OVLeftSidebarButton*, 5> OVLeftSidebarView::rows() const
{
    return {buttonPicture_, buttonAudio_, buttonVideo_, buttonDownload_, buttonFile_};
}

OVLeftSidebarButton* OVLeftSidebarView::buttonForIndex(int64_t index) const
{
    for (auto* button : rows())
        if (button->buttonTag() == index)
            return button;
    return nullptr;
}

OVLeftSidebarViewDelegate* OVLeftSidebarView::boundDelegate()
{
    // The window names its controller; when that is a sidebar delegate, it is ours.
    if (!delegate_ && window())
        delegate_ = dynamic_cast<OVLeftSidebarViewDelegate*>(window()->property("windowController").value<QObject*>());
    return delegate_;
}

void OVLeftSidebarView::buttonAction(QObject* sender)
{
    auto* delegate = boundDelegate();
    const auto buttons = rows();
    for (auto* button : buttons) {
        button->setSelected(false);
        button->setBelowButtonIsSelected(false);
    }
    for (size_t row = 0; row < buttons.size(); ++row) {
        if (buttons[row] != sender)
            continue;
        buttons[row]->setSelected(true);
        if (row > 0)
            buttons[row - 1]->setBelowButtonIsSelected(true);
        if (delegate)
            delegate->switchToView(buttons[row]->buttonTag());
    }
    update();
}

void OVLeftSidebarView::clickPictureButton() { buttonAction(buttonPicture_); }
void OVLeftSidebarView::clickVideoButton() { buttonAction(buttonVideo_); }
void OVLeftSidebarView::clickAudioButton() { buttonAction(buttonAudio_); }
void OVLeftSidebarView::clickDownloadButton() { buttonAction(buttonDownload_); }
void OVLeftSidebarView::clickFileButton() { buttonAction(buttonFile_); }

void OVLeftSidebarView::reloadAction(QObject* sender)
{
    auto* delegate = boundDelegate();
    for (auto* button : rows())
        if (button == sender && delegate)
            delegate->reloadBadge(button->buttonTag(), true, false, false);
}

void OVLeftSidebarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Rows pinned to the top, the card to the bottom; the rightmost column
    // stays free for the separator.
    const int w = width();
    const int h = height();
    const auto buttons = rows();
    for (size_t row = 0; row < buttons.size(); ++row)
        buttons[row]->setGeometry(0, kRowHeight * static_cast<int>(row), w - 1, kRowHeight);
    deviceView_->setGeometry(0, h - OVLeftDeviceView::kHeight, w - 1, OVLeftDeviceView::kHeight);
}

void OVLeftSidebarView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    if (!kTranslucentLook)
        p.fillRect(event->rect(), colorWithHex(QStringLiteral("f5f5f5")));
    p.fillRect(QRectF(width() - 1, 0, 1, height()), black(kTranslucentLook ? 0.13 : 0.1));
    p.fillRect(QRectF(width() - 2, 0, 1, height()), black(0.05));
}

}  // namespace orv
