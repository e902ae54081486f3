#include "app/toolkit/OVGrayCoverView.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>
#include <QWheelEvent>

#include "app/toolkit/ApplicationImages.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/ToolkitText.h"

namespace orv {

namespace {

constexpr int kSpinnerSide = 52;
// One quarter turn every 0.2 s, without end.
constexpr int kFullTurnMs = 800;

// Drawn when the application has no "loading" image: twelve fading spokes.
QImage drawnSpinner()
{
    QImage image(QSize(kSpinnerSide, kSpinnerSide) * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(kSpinnerSide / 2.0, kSpinnerSide / 2.0);
    for (int spoke = 0; spoke < 12; ++spoke) {
        QColor color = colorWithHex("5b5c62");
        color.setAlphaF(float(0.15 + 0.85 * spoke / 11.0));
        painter.setPen(QPen(color, 4, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -12), QPointF(0, -22));
        painter.rotate(30);
    }
    return image;
}

}  // namespace

OVGrayCoverView::OVGrayCoverView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NoMousePropagation);
    setMouseTracking(true);
    spinner_ = namedImage(QStringLiteral("loading"));
    if (spinner_.isNull())
        spinner_ = drawnSpinner();
    turn_ = new QVariantAnimation(this);
    turn_->setStartValue(0.0);
    turn_->setEndValue(360.0);
    turn_->setDuration(kFullTurnMs);
    turn_->setLoopCount(-1);
    connect(turn_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        angle_ = value.toDouble();
        update(spinnerRect());
    });
    if (parent) {
        parent->installEventFilter(this);
        setGeometry(parent->rect());
    }
    raise();
}

QFont OVGrayCoverView::titleFont() const
{
    QFont font = this->font();
    font.setPixelSize(18);
    return font;
}

QString OVGrayCoverView::title() const { return localizedText(QStringLiteral("LoadingPleaseWait")); }

QRect OVGrayCoverView::spinnerRect() const
{
    // Above the centre: its bottom edge 26 above the middle.
    const QPoint middle = rect().center() + QPoint(1, 1);
    return QRect(middle.x() - kSpinnerSide / 2, middle.y() - 26 - kSpinnerSide, kSpinnerSide, kSpinnerSide);
}

QRect OVGrayCoverView::titleRect() const
{
    const int width = QFontMetrics(titleFont()).horizontalAdvance(title()) + 20;
    const QPoint middle = rect().center() + QPoint(1, 1);
    // 50 below the spinner's bottom edge counts to the text field's bottom edge.
    const int bottom = spinnerRect().bottom() + 1 + 50;
    return QRect(middle.x() - width / 2, bottom - 30, width, 30);
}

void OVGrayCoverView::startLoading()
{
    turn_->stop();
    angle_ = 0;
    turn_->start();
    showing_ = true;
    update();
}

void OVGrayCoverView::stopLoading()
{
    turn_->stop();
    showing_ = false;
    update();
}

bool OVGrayCoverView::isLoading() const { return showing_ && turn_->state() == QAbstractAnimation::Running; }

void OVGrayCoverView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!showing_)
        return;
    const QRectF spinner = spinnerRect();
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(spinner.center());
    painter.rotate(angle_);
    painter.drawImage(QRectF(-spinner.width() / 2, -spinner.height() / 2, spinner.width(), spinner.height()),
                      spinner_);
    painter.restore();
    painter.setFont(titleFont());
    painter.setPen(colorWithHex("5b5c62"));
    painter.drawText(titleRect(), Qt::AlignHCenter | Qt::AlignTop, title());
}

bool OVGrayCoverView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void OVGrayCoverView::showEvent(QShowEvent* event)
{
    // A hidden parent gets no resize events; catch up when shown.
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    QWidget::showEvent(event);
}

void OVGrayCoverView::mousePressEvent(QMouseEvent* event) { event->accept(); }
void OVGrayCoverView::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }
void OVGrayCoverView::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }
void OVGrayCoverView::mouseMoveEvent(QMouseEvent* event) { event->accept(); }
void OVGrayCoverView::wheelEvent(QWheelEvent* event) { event->accept(); }

}  // namespace orv
