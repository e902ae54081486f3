#include "app/panes/OVDragOutExporter.h"

#include <QCoreApplication>
#include <algorithm>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include "app/shell/L10n.h"
#include "app/viewmodels/PreviewTempFolder.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "platform/OperationQueue.h"

namespace orv {
namespace {

QString tooLargeHint(uint64_t limit)
{
    return L10n::format(QStringLiteral("DragOutTooLarge"), {QLocale().formattedDataSize(qint64(limit))});
}

void removeFolder(const QString& folder)
{
    if (!folder.isEmpty())
        QDir(folder).removeRecursively();
}

// Is `path` (which exists) inside `folder`, symbolic links resolved?
bool isInside(const QString& path, const QString& folder)
{
    const QString root = QFileInfo(folder).canonicalFilePath();
    const QString target = QFileInfo(path).canonicalFilePath();
    return !root.isEmpty() && target.startsWith(root + QLatin1Char('/'));
}

}  // namespace

OVDragOutExporter::OVDragOutExporter(OVDeviceClient& client, std::vector<OVViewModelRef> items, QObject* parent)
    : QObject(parent), client_(client), items_(std::move(items))
{
    items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end());
}

OVDragOutExporter::~OVDragOutExporter()
{
    cancel();
    if (cleanupDelay_ <= 0 || folder_.isEmpty()) {
        cleanUp();
        return;
    }
    // A drop target may still be copying from the folder after the drop.
    const QString folder = folder_;
    QTimer::singleShot(cleanupDelay_, QCoreApplication::instance(), [folder] { removeFolder(folder); });
}

uint64_t OVDragOutExporter::knownSize() const
{
    uint64_t sum = 0;
    for (const auto& item : items_)
        if (!item->isDir())
            sum += item->filesize();
    return sum;
}

bool OVDragOutExporter::canStartDrag()
{
    if (items_.empty())
        return false;
    if (knownSize() > sizeLimit_) {
        refusal_ = tooLargeHint(sizeLimit_);
        emit refused(refusal_);
        return false;
    }
    return true;
}

QString OVDragOutExporter::makeStagingFolder()
{
    const QString root = preview_temp_folder::root();
    if (root.isEmpty())
        return {};
    QTemporaryDir dir(root + QStringLiteral("/drag-XXXXXX"));
    if (!dir.isValid())
        return {};
    dir.setAutoRemove(false);
    return dir.path();
}

QList<QUrl> OVDragOutExporter::stage()
{
    if (staged_)
        return *staged_;
    if (staging_)  // asked again from inside the copy's own event loop
        return {};
    if (!canStartDrag()) {
        staged_ = QList<QUrl>();
        return {};
    }
    staging_ = true;
    cancelled_ = false;
    folder_ = makeStagingFolder();
    QList<QUrl> urls;
    bool ok = !folder_.isEmpty();

    // Two items of one name (entries of expanded sub-folders) cannot share a
    // folder: the n-th item of a name goes to the sub-folder "n".
    std::vector<std::vector<OVFileRef>> batches;
    std::vector<QString> localPaths;
    QHash<QString, int> seen;
    for (const auto& item : items_) {
        const QString name = item->rawfilename();
        const int n = seen.value(name, 0);
        seen.insert(name, n + 1);
        if (size_t(n) >= batches.size())
            batches.resize(size_t(n) + 1);
        batches[size_t(n)].push_back(item->ovfile());
        localPaths.push_back(n == 0 ? folder_ + QLatin1Char('/') + name
                                    : QStringLiteral("%1/%2/%3").arg(folder_).arg(n).arg(name));
    }
    for (size_t n = 0; ok && n < batches.size(); ++n) {
        const QString destination = n == 0 ? folder_ : QStringLiteral("%1/%2").arg(folder_).arg(n);
        ok = QDir().mkpath(destination) && copyBatch(batches[n], destination);
    }
    delete dialog_.data();
    staging_ = false;
    if (ok && !cancelled_) {
        for (const QString& path : localPaths)
            if (QFileInfo::exists(path) && isInside(path, folder_))
                urls << QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    }
    if (urls.isEmpty() || urls.size() != int(localPaths.size())) {
        // A drop of some of the files would look like success: all or nothing.
        urls.clear();
        cleanUp();
        if (!cancelled_ && refusal_.isEmpty())
            emit refused(L10n::text("DragOutFailed"));
    }
    staged_ = urls;
    return urls;
}

bool OVDragOutExporter::copyBatch(const std::vector<OVFileRef>& files, const QString& destination)
{
    struct State {
        bool done = false;
        bool failed = false;
        uint64_t total = 0;
    };
    auto state = std::make_shared<State>();
    QPointer<OVDragOutExporter> self(this);
    emit progress(-1);
    operation_ = client_.downloadFiles(
        files, HostURL::fileURLWithPath(destination.toStdString()),
        [self, state](uint64_t, uint64_t bytes) {
            state->total = bytes;
            if (self && bytes > self->sizeLimit_) {
                self->refusal_ = tooLargeHint(self->sizeLimit_);
                emit self->refused(self->refusal_);
                self->cancel();
            }
        },
        [self, state](const OVFileRef&, int64_t, int64_t, int64_t overall) {
            if (!self || self->cancelled_)
                return false;
            // A total of 0 gives no fraction: the bar stays indeterminate.
            emit self->progress(state->total > 0 ? int(std::min<uint64_t>(100, uint64_t(overall) * 100 / state->total)) : -1);
            return true;
        },
        [state](std::optional<Error> error, bool cancelled) {
            state->failed = error.has_value() || cancelled;
            state->done = true;
        });
    if (!operation_)
        return false;  // refused at once (argument error): its finish has run

    QElapsedTimer clock;
    clock.start();
    std::optional<QDeadlineTimer> afterCancel;
    while (!state->done) {
        // A copy cancelled before it started never reports: stop waiting for it.
        if (cancelled_ && !afterCancel)
            afterCancel = QDeadlineTimer(10000);
        if (afterCancel && afterCancel->hasExpired())
            break;
        if (!dialog_ && clock.elapsed() >= progressDelay_ && !cancelled_) {
            dialog_ = new QProgressDialog(L10n::text("Exporting..."), L10n::text("Cancel"), 0, 0);
            dialog_->setWindowModality(Qt::ApplicationModal);
            dialog_->setMinimumDuration(0);
            dialog_->setAutoClose(false);
            dialog_->setAutoReset(false);
            connect(dialog_, &QProgressDialog::canceled, this, &OVDragOutExporter::cancel);
            connect(this, &OVDragOutExporter::progress, dialog_, [d = dialog_](int percent) {
                if (percent < 0)
                    d->setRange(0, 0);
                else {
                    d->setRange(0, 100);
                    d->setValue(percent);
                }
            });
            dialog_->show();
        }
        // Until the progress window shows, the user's input waits: nothing may
        // change the pane under a drop in progress.
        const auto flags = dialog_ ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
        QCoreApplication::processEvents(flags | QEventLoop::WaitForMoreEvents, 20);
    }
    operation_.reset();
    return !state->failed && !cancelled_;
}

void OVDragOutExporter::cancel()
{
    if (!staging_)
        return;
    cancelled_ = true;
    if (operation_)
        operation_->cancel();
}

void OVDragOutExporter::cleanUp()
{
    removeFolder(folder_);
    folder_.clear();
}

}  // namespace orv
