#include "app/shell/LoadingCover.h"

#include <QEvent>
#include <QPainter>

#include "app/shell/ShellLook.h"
#include "core/bridge/facade/OVLocalization.h"

namespace orv {

LoadingCover::LoadingCover(QWidget* parent)
    : QWidget(parent), spinner_(new SpinningGear(this)), caption_(new QLabel(this))
{
    caption_->setText(QString::fromStdString(localizedString("Connecting", "Connecting to the phone…")));
    caption_->setFont(shell_look::systemFont(13));
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setStyleSheet(QStringLiteral("color: #5b5c62;"));
    caption_->hide();
}

void LoadingCover::startLoading()
{
    spinner_->start();
    caption_->show();
    spinner_->raise();
}

void LoadingCover::stopLoading()
{
    spinner_->stop();
    caption_->hide();
}

void LoadingCover::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0xf0, 0xf0, 0xf2, 235));
}

void LoadingCover::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QPoint centre = rect().center();
    spinner_->setGeometry(centre.x() - 16, centre.y() - 40, 32, 32);
    caption_->setGeometry(0, centre.y() - 2, width(), 24);
}

bool LoadingCover::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;  // nothing under the cover is reachable
    default:
        return QWidget::event(event);
    }
}

}  // namespace orv
