#include "app/panes/OVPreviewWindow.h"

#include <QAudioOutput>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMediaPlayer>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <QVideoWidget>

#include "app/shell/L10n.h"
#include "app/toolkit/NSString+Format.h"
#include "app/viewmodels/AppImages.h"

namespace orv {
namespace {

QPointer<OVPreviewWindow>& shared()
{
    static QPointer<OVPreviewWindow> window;
    return window;
}

constexpr int kBarHeight = 12;

}  // namespace

OVPreviewWindow* OVPreviewWindow::sharedPreviewPanel()
{
    if (!shared())
        shared() = new OVPreviewWindow;
    return shared();
}

bool OVPreviewWindow::sharedPreviewPanelExists()
{
    return !shared().isNull();
}

void OVPreviewWindow::destroySharedPreviewPanel()
{
    delete shared().data();
}

OVPreviewWindow::OVPreviewWindow() : QWidget(nullptr, Qt::Window)
{
    // The media framework's FFmpeg backend plays without further system
    // packages; the GStreamer one can stall the window when its plugins are
    // missing. Chosen before the first media object exists; a backend the
    // user chose stays.
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(640, 520);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    stack_ = new QStackedLayout;
    outer->addLayout(stack_);

    picture_ = new QLabel;
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setMinimumSize(1, 1);
    picture_->setStyleSheet(QStringLiteral("background: #f4f4f5"));
    stack_->addWidget(picture_);

    text_ = new QPlainTextEdit;
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setFrameShape(QFrame::NoFrame);
    stack_->addWidget(text_);

    media_ = new QWidget;
    auto* mediaLayout = new QVBoxLayout(media_);
    mediaLayout->setContentsMargins(0, 0, 0, 8);
    video_ = new QVideoWidget;
    mediaLayout->addWidget(video_, 1);
    play_ = new QPushButton(L10n::text("Play"));
    auto* controls = new QHBoxLayout;
    controls->addStretch();
    controls->addWidget(play_);
    controls->addStretch();
    mediaLayout->addLayout(controls);
    stack_->addWidget(media_);
    connect(play_, &QPushButton::clicked, this, [this] {
        if (!player_)
            return;
        if (player_->playbackState() == QMediaPlayer::PlayingState)
            player_->pause();
        else
            player_->play();
    });

    facts_ = new QWidget;
    auto* factsLayout = new QVBoxLayout(facts_);
    factsLayout->addStretch();
    factsIcon_ = new QLabel;
    factsIcon_->setAlignment(Qt::AlignCenter);
    factsName_ = new QLabel;
    factsName_->setAlignment(Qt::AlignCenter);
    factsName_->setWordWrap(true);
    QFont big = factsName_->font();
    big.setPixelSize(16);
    big.setBold(true);
    factsName_->setFont(big);
    factsDetail_ = new QLabel;
    factsDetail_->setAlignment(Qt::AlignCenter);
    factsDetail_->setStyleSheet(QStringLiteral("color: #6b6d73"));
    open_ = new QPushButton(L10n::text("Open"));
    auto* openRow = new QHBoxLayout;
    openRow->addStretch();
    openRow->addWidget(open_);
    openRow->addStretch();
    factsLayout->addWidget(factsIcon_);
    factsLayout->addWidget(factsName_);
    factsLayout->addWidget(factsDetail_);
    factsLayout->addSpacing(8);
    factsLayout->addLayout(openRow);
    factsLayout->addStretch();
    stack_->addWidget(facts_);
    connect(open_, &QPushButton::clicked, this, [this] { emit openRequested(item_.localPath); });

    bar_ = new QProgressBar(this);
    bar_->setTextVisible(false);
    bar_->setRange(0, 100);
    bar_->hide();
}

OVPreviewWindow::Kind OVPreviewWindow::kindForFile(const QString& path)
{
    if (path.isEmpty())
        return Kind::Placeholder;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    const QString name = type.name();
    if (name.startsWith(QLatin1String("image/")) && QImageReader(path).canRead())
        return Kind::Image;
    if (name.startsWith(QLatin1String("audio/")) || name.startsWith(QLatin1String("video/")))
        return Kind::Media;
    if (name.startsWith(QLatin1String("text/")) || type.inherits(QStringLiteral("text/plain")))
        return Kind::Text;
    return Kind::Facts;
}

void OVPreviewWindow::setItem(const OVPreviewItem& item)
{
    item_ = item;
    setWindowTitle(item.title);
    refreshCurrentPreviewItem();
}

void OVPreviewWindow::refreshCurrentPreviewItem()
{
    stopMedia();
    kind_ = kindForFile(item_.localPath);
    switch (kind_) {
    case Kind::Placeholder:
        showPicture(!item_.placeholder.isNull() ? item_.placeholder : item_.icon.pixmap(128).toImage());
        stack_->setCurrentWidget(picture_);
        break;
    case Kind::Image: {
        QImageReader reader(item_.localPath);
        reader.setAutoTransform(true);
        const QImage image = reader.read();
        if (image.isNull()) {
            kind_ = Kind::Facts;
            showFacts();
            break;
        }
        showPicture(image);
        stack_->setCurrentWidget(picture_);
        break;
    }
    case Kind::Text: {
        QFile file(item_.localPath);
        QByteArray bytes;
        if (file.open(QIODevice::ReadOnly))
            bytes = file.read(kTextLimit);
        text_->setPlainText(QString::fromUtf8(bytes));
        stack_->setCurrentWidget(text_);
        break;
    }
    case Kind::Media:
        ensurePlayer();
        player_->setSource(QUrl::fromLocalFile(item_.localPath));
        stack_->setCurrentWidget(media_);
        break;
    case Kind::Facts:
        showFacts();
        break;
    }
    bar_->raise();
}

void OVPreviewWindow::showPicture(const QImage& image)
{
    shownImage_ = image;
    if (image.isNull()) {
        picture_->clear();
        return;
    }
    // Fitted into the window, never enlarged past its own size.
    const QSize room = picture_->size().boundedTo(image.deviceIndependentSize().toSize());
    picture_->setPixmap(QPixmap::fromImage(image.scaled(room * image.devicePixelRatio(), Qt::KeepAspectRatio,
                                                        Qt::SmoothTransformation)));
}

void OVPreviewWindow::showFacts()
{
    QPixmap icon = item_.icon.pixmap(128);
    if (icon.isNull())
        icon = QPixmap::fromImage(app_images::iconForFileType(QFileInfo(item_.title).suffix().toLower()));
    factsIcon_->setPixmap(icon.scaled(QSize(128, 128).boundedTo(icon.deviceIndependentSize().toSize()), Qt::KeepAspectRatio,
                                      Qt::SmoothTransformation));
    factsName_->setText(item_.title);
    QStringList detail;
    detail << formatFromByteSize(int64_t(item_.size));
    if (item_.modified.isValid())
        detail << formatDate(item_.modified);
    factsDetail_->setText(detail.join(QStringLiteral("  ·  ")));
    open_->setEnabled(!item_.localPath.isEmpty());
    stack_->setCurrentWidget(facts_);
}

QString OVPreviewWindow::factsText() const
{
    return factsName_->text() + QLatin1Char('\n') + factsDetail_->text();
}

void OVPreviewWindow::ensurePlayer()
{
    if (player_)
        return;
    // Made only for sound and film, so pictures and text never wait for it.
    player_ = new QMediaPlayer(this);
    audio_ = new QAudioOutput(this);
    player_->setAudioOutput(audio_);
    player_->setVideoOutput(video_);
    connect(player_, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        play_->setText(state == QMediaPlayer::PlayingState ? L10n::text("Pause") : L10n::text("Play"));
    });
}

void OVPreviewWindow::stopMedia()
{
    if (!player_)
        return;
    if (player_->playbackState() != QMediaPlayer::StoppedState)
        player_->stop();
    if (!player_->source().isEmpty())
        player_->setSource(QUrl());
}

void OVPreviewWindow::setProgress(double percent)
{
    if (percent < 0) {
        bar_->setRange(0, 0);
    } else {
        bar_->setRange(0, 100);
        bar_->setValue(int(std::min(100.0, percent)));
    }
    bar_->setGeometry(0, height() - kBarHeight, width(), kBarHeight);
    bar_->show();
    bar_->raise();
}

void OVPreviewWindow::hideProgress()
{
    bar_->hide();
}

void OVPreviewWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (keyHandler_ && keyHandler_(event))
        return;
    QWidget::keyPressEvent(event);
}

void OVPreviewWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    bar_->setGeometry(0, height() - kBarHeight, width(), kBarHeight);
    if (!shownImage_.isNull() && stack_->currentWidget() == picture_)
        showPicture(shownImage_);
}

void OVPreviewWindow::closeEvent(QCloseEvent* event)
{
    stopMedia();
    hideProgress();
    QWidget::closeEvent(event);
    emit closed();
}

}  // namespace orv
