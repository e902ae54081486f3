#pragma once
// The preview window: one per process, not modal. It shows one item at a time:
// a picture (turned upright as its file says), text, sound or film with play
// controls, or else the item's icon, name, size and date with an Open button.
// Until the copy of a phone file has arrived it shows the item's placeholder,
// with the copy's progress as a 12-high bar along its bottom. Space closes it;
// other keys (the arrows) go to the controlling pane, which moves its
// selection and shows the next item.

#include <QDateTime>
#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QMediaPlayer;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedLayout;
class QAudioOutput;
class QVideoWidget;

namespace orv {

struct OVPreviewItem {
    QString title;
    // The local file to show; empty while there is none (the placeholder shows).
    QString localPath;
    QImage placeholder;
    QIcon icon;
    uint64_t size = 0;
    QDateTime modified;
};

class OVPreviewWindow : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Placeholder, Image, Text, Media, Facts };

    // The process's window, made on first use.
    static OVPreviewWindow* sharedPreviewPanel();
    static bool sharedPreviewPanelExists();
    // Closes and destroys the process's window (at quit, and between tests).
    static void destroySharedPreviewPanel();

    // What a file would be shown as.
    static Kind kindForFile(const QString& path);
    // The most text shown of a file.
    static constexpr qint64 kTextLimit = 1024 * 1024;

    void setItem(const OVPreviewItem& item);
    const OVPreviewItem& item() const { return item_; }
    Kind kind() const { return kind_; }
    // Shows the current item again (its local copy may have arrived).
    void refreshCurrentPreviewItem();

    // The copy's bar: shown with a percentage, or indeterminate for a negative
    // value (a total of 0 bytes gives no fraction); hidden by hideProgress().
    void setProgress(double percent);
    void hideProgress();
    QProgressBar* progressBar() const { return bar_; }

    // Keys the window does not keep (all but Space and Escape); true when taken.
    void setKeyHandler(std::function<bool(QKeyEvent*)> handler) { keyHandler_ = std::move(handler); }

    // The parts shown, for the tests and the look.
    QLabel* pictureLabel() const { return picture_; }
    QPlainTextEdit* textView() const { return text_; }
    QPushButton* openButton() const { return open_; }
    // Made when sound or film is first shown; null before.
    QMediaPlayer* player() const { return player_; }
    QString factsText() const;

signals:
    // The user pressed Open on an item the window cannot show.
    void openRequested(const QString& localPath);
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    OVPreviewWindow();
    void showPicture(const QImage& image);
    void showFacts();
    void ensurePlayer();
    void stopMedia();

    OVPreviewItem item_;
    Kind kind_ = Kind::Placeholder;
    QImage shownImage_;
    QStackedLayout* stack_ = nullptr;
    QLabel* picture_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QWidget* media_ = nullptr;
    QVideoWidget* video_ = nullptr;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    QPushButton* play_ = nullptr;
    QWidget* facts_ = nullptr;
    QLabel* factsIcon_ = nullptr;
    QLabel* factsName_ = nullptr;
    QLabel* factsDetail_ = nullptr;
    QPushButton* open_ = nullptr;
    QProgressBar* bar_ = nullptr;
    std::function<bool(QKeyEvent*)> keyHandler_;
};

}  // namespace orv
