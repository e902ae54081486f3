#pragma once
// Copies phone files dragged out of a pane into a fresh private staging folder
// when the drop target asks for them, and names the copies as file URLs.
// While the copy runs, the application's own events are served (the phone's
// replies arrive through them) and a progress window offers Cancel after a
// moment. A selection larger than the user would wait for is refused with a
// hint to use Export, before the drag (known sizes) or when the phone reports
// the total (folders). The staging folder is removed when the exporter goes,
// after a grace period for a drop target still copying from it.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/viewmodels/OVViewModel.h"

class QProgressDialog;

namespace orv {

class OVDeviceClient;
class Operation;

class OVDragOutExporter : public QObject {
    Q_OBJECT
public:
    // Above this a drag is refused: at USB speeds the drop would hang for minutes.
    static constexpr uint64_t kDefaultSizeLimit = 256ull * 1024 * 1024;

    // The client must outlive the exporter's staging (a drag blocks its window anyway).
    OVDragOutExporter(OVDeviceClient& client, std::vector<OVViewModelRef> items, QObject* parent = nullptr);
    ~OVDragOutExporter() override;

    void setSizeLimit(uint64_t bytes) { sizeLimit_ = bytes; }
    uint64_t sizeLimit() const { return sizeLimit_; }
    // How long the staged copies stay after the exporter goes; 0 removes them at once.
    void setCleanupDelay(int milliseconds) { cleanupDelay_ = milliseconds; }
    // How long the copy may run before the progress window shows.
    void setProgressDelay(int milliseconds) { progressDelay_ = milliseconds; }

    // The sum of the sizes the phone listed (folders count as listed).
    uint64_t knownSize() const;
    // False, with the hint in refusal(), when the drag should not start.
    bool canStartDrag();
    QString refusal() const { return refusal_; }

    // Copies the items (once; later calls answer the same list) and returns
    // the copies' URLs, only those that arrived inside the staging folder.
    // Empty on error, cancel or refusal (refusal() then says why).
    QList<QUrl> stage();
    bool isStaging() const { return staging_; }
    bool hasStaged() const { return staged_.has_value(); }
    QString stagingFolder() const { return folder_; }
    // Stops a running copy; stage() then answers an empty list.
    void cancel();
    // Removes the staging folder now.
    void cleanUp();

signals:
    // The copy's progress, 0..100; -1 while the total is unknown.
    void progress(int percent);
    // A refused drag or a failed copy; the pane shows the text.
    void refused(const QString& hint);

private:
    QString makeStagingFolder();
    bool copyBatch(const std::vector<OVFileRef>& files, const QString& destination);

    OVDeviceClient& client_;
    std::vector<OVViewModelRef> items_;
    uint64_t sizeLimit_ = kDefaultSizeLimit;
    int cleanupDelay_ = 120000;
    int progressDelay_ = 400;
    QString refusal_;
    QString folder_;
    std::optional<QList<QUrl>> staged_;
    bool staging_ = false;
    bool cancelled_ = false;
    std::shared_ptr<Operation> operation_;
    QPointer<QProgressDialog> dialog_;
};

}  // namespace orv
