#pragma once
// The state one transfer of a pane (import, export, delete or open) shares
// between its callbacks, from the call to its finish. Each transfer has its
// own cancel flag, so a Cancel never reaches another transfer. Main thread,
// except uploadedPaths, which the upload's worker fills.

#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace orv {

struct PaneTransfer {
    enum class Kind { Import, Export, Delete, Open };

    explicit PaneTransfer(Kind k) : kind(k) { started.start(); }

    const Kind kind;
    QElapsedTimer started;
    uint64_t totalBytes = 1;
    uint64_t fileCount = 0;
    bool sheetShown = false;
    bool finished = false;
    std::atomic<bool> cancelled{false};

    // Import: one clash sound per import; the phone paths that arrived, in order.
    bool clashSoundPlayed = false;
    void addUploadedPath(const std::string& path)
    {
        std::lock_guard lock(pathsMutex_);
        for (const auto& known : uploadedPaths_)
            if (known == path)
                return;
        uploadedPaths_.push_back(path);
    }
    std::vector<std::string> uploadedPaths() const
    {
        std::lock_guard lock(pathsMutex_);
        return uploadedPaths_;
    }

    // Delete: where the slice being deleted starts and how long it is.
    uint64_t deleteSliceBegin = 0;
    uint64_t deleteSliceEnd = 0;

    // Export and open: the private folder the copies land in first.
    QString stagingFolder;

private:
    mutable std::mutex pathsMutex_;
    std::vector<std::string> uploadedPaths_;
};

}  // namespace orv
