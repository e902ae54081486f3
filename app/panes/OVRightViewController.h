#pragma once
// The base of every right-hand pane of a device window: the navigation bar
// with Import, Export and Delete, the context menu, and the machinery every
// pane shares - import, export, delete, the delayed progress sheet, Open and
// Open With, messages and layout. Concrete panes supply their content through
// the virtual hooks, whose base behaviour is neutral.
//
// One transfer runs per pane from its start to its finish; each has its own
// cancel flag. Callbacks of a transfer hold the pane weakly and do nothing
// once it is gone. Main thread only.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/panes/OVTaskProgressPanel.h"
#include "app/shell/OVDevicePane.h"
#include "app/viewmodels/OVViewModel.h"
#include "platform/Error.h"

class QAction;
class QMenu;
class QMimeData;

namespace orv {

class OVButton;
class OVNavbarView;
class Operation;
class QuickLookDownloadItemView;
struct PaneTransfer;

class OVRightViewController : public QObject, public OVDevicePane {
    Q_OBJECT

public:
    using ImportCallback = std::function<void(std::optional<Error> error, std::vector<std::string> phonePaths)>;
    using ErrorCallback = std::function<void(std::optional<Error> error)>;

    // Context-menu item tags.
    enum MenuTag { MenuOpen = 0, MenuOpenWith = 1, MenuExport = 2, MenuDelete = 3 };
    static constexpr int kNavbarHeight = 47;

    OVRightViewController();
    ~OVRightViewController() override;

    // --- OVDevicePane ---------------------------------------------------------
    void setViewType(int64_t viewType) override { viewType_ = viewType; }
    int64_t viewType() const { return viewType_; }
    void setClient(std::shared_ptr<OVDeviceClient> client) override { client_ = std::move(client); }
    // The pane's client; taken from the window when none was given.
    std::shared_ptr<OVDeviceClient> client();
    void setMainWindowController(OVMainWindowController* controller) override;
    OVMainWindowController* mainWindowController() const;
    void loadView() override;
    QWidget* view() override { return view_; }
    void setDeviceDone() override {}
    void reloadCurrentViewData() override {}
    void removeFromWindow() override;
    void updateStatusLabel() override;
    QWidget* firstResponder() override { return nullptr; }
    void selectAll() override {}
    void cleanUp() override;
    void deviceLibraryCallback(const std::optional<OVLibraryChange>&) override {}

    // --- hooks ------------------------------------------------------------------
    virtual void reloadLibraryDataFromDevice() {}
    virtual std::vector<OVViewModelRef> selectedItems() { return {}; }
    virtual OVViewModelRef selectedItemAtIndex(int64_t) { return nullptr; }
    virtual OVViewModelRef currentDirectory() { return nullptr; }
    // Extensions the import chooser offers; empty: any file.
    virtual QStringList allowedFileTypes() { return {}; }
    virtual void doImportDone(const std::optional<Error>& error, const std::vector<std::string>& phonePaths);
    virtual void doDeleteDone(const std::optional<Error>& error);
    virtual void doExportDone(const std::optional<Error>&) {}
    virtual void showImportDoneMessage(uint64_t) {}
    virtual void showDeleteDoneMessage(uint64_t) {}
    virtual void showExportDoneMessage(uint64_t) {}
    virtual void createFolder() {}
    // The Delete key: the same as the Delete button.
    void deleteKey() { deleteAction(); }
    void quickAction();

    // --- import -------------------------------------------------------------------
    // Asks for files (or, with `folder`, one folder), then imports them into
    // currentDirectory().
    void importAction(bool folder = false);
    virtual void doImport(const QStringList& localPaths, ImportCallback callback);
    // Refused (no callback) for an empty list, no destination or while another
    // transfer of the pane runs.
    virtual void doImport(const QStringList& localPaths, const OVViewModelRef& toDir, ImportCallback callback);

    // --- export and delete -------------------------------------------------------
    void exportAction();
    // Copies the selection into `folder`; a name already there is asked about
    // (Replace, Keep both, Stop). Refused (no callback) for no folder, an
    // empty selection or while another transfer runs.
    virtual void doExport(const QString& folder, ErrorCallback callback);
    void deleteAction();
    // Deletes the items (albums: their children), never system files.
    virtual void doDelete(const std::vector<OVViewModelRef>& items, ErrorCallback callback);

    // --- progress sheet ----------------------------------------------------------
    OVTaskProgressPanel* progressPanel() const { return progressPanel_; }
    // True once the running transfer was cancelled.
    bool shouldStopProgressPanel() const;
    void setShouldStopProgressPanel(bool stop);
    // True while a transfer of this pane runs.
    bool isTransferRunning() const { return transfer_ != nullptr; }
    void openProgressPanel();
    void cleanProgressPanel();
    void cancelProgressPanelAction();
    // The delay before a transfer's sheet shows, in milliseconds.
    static int progressPanelDelayMs();

    // --- context menu and validation ------------------------------------------------
    QMenu* rightClickMenu() const { return rightClickMenu_; }
    // Titles, shows and hides the menu's items for the selection (before it opens).
    void menuWillOpen(QMenu* menu);
    // Enables or disables one action for the selection; false when disabled.
    bool validateAction(QAction* action);
    // Delete and Export buttons from the selection, then the status line.
    void validationButtons();
    virtual void openMenuAction();
    virtual void openwithMenuAction(const QString& applicationId);
    virtual void exportMenuAction() { exportAction(); }
    virtual void deleteMenuAction() { deleteAction(); }

    // --- open ----------------------------------------------------------------------
    void downloadAndOpenItem(const OVViewModelRef& item);
    void downloadAndOpenItem(const OVViewModelRef& item, const QString& applicationId);
    void downloadAndOpenItems(const std::vector<OVViewModelRef>& items);
    // Opens a local picture with the desktop's image viewer; nothing when it is missing.
    void openImageFileInPreview(const QString& path);

    // --- drag out ----------------------------------------------------------------------
    // What a drag of these entries out of the pane carries: their copies, made
    // when the drop asks for them. Null (the hint shown) when the drag would be
    // too large, or without a phone or entries.
    QMimeData* dragOutMimeData(const std::vector<OVViewModelRef>& dragged);

    // --- Quick Look ------------------------------------------------------------------
    // Shows the item in the preview window and copies its file from the phone
    // in the background; with reload false while the window is up, closes it.
    // Folders and albums are not previewed.
    virtual void quickLookPreviewItem(const OVViewModelRef& item, bool reload);
    // Where the item is on screen (the preview opens from there); empty by default.
    virtual QRect screenRectForItem(const OVViewModelRef&) { return {}; }
    // The cell showing the item, which shows the copy's progress; none by default.
    virtual QuickLookDownloadItemView* quickLookDownloadItemViewForItem(const OVViewModelRef&) { return nullptr; }
    OVViewModelRef quicklookItem() const { return quicklookItem_; }
    bool isQuickLookCopyRunning() const { return quickLookDownloadOperation_ != nullptr; }
    bool acceptsPreviewPanelControl() override { return true; }
    void beginPreviewPanelControl() override;
    // The preview window closed: the running copy stops and the item's local copy goes.
    void endPreviewPanelControl() override;
    int64_t numberOfPreviewItems() override { return 1; }
    QString previewItemAtIndex(int64_t index) override;
    QRect sourceFrameOnScreenForPreviewItem(int64_t index) override;
    QImage transitionImageForPreviewItem(int64_t index, QRect* contentRect) override;

    // --- messages and layout --------------------------------------------------------
    // An alert unless "SuppressAlert_<key>" is on; with a key it offers to
    // suppress itself from then on.
    void showMessage(const QString& message, const QString& title, const QString& suppressKey = {});
    virtual void layoutSubView();
    // Makes `content` the pane's content view below the navigation bar.
    void addContentView(QWidget* content);
    QWidget* mainContentView() const { return mainContentView_; }

    OVNavbarView* navbarView() const { return navbarView_; }
    OVButton* importButton() const { return importButton_; }
    OVButton* exportButton() const { return exportButton_; }
    OVButton* deleteButton() const { return deleteButton_; }
    double zoomLevel() const { return zoomLevel_; }
    virtual void setZoomLevel(double level) { zoomLevel_ = level; }
    uint64_t minIconWidth() const { return minIconWidth_; }
    void setMinIconWidth(uint64_t width) { minIconWidth_ = width; }
    uint64_t maxIconWidth() const { return maxIconWidth_; }
    void setMaxIconWidth(uint64_t width) { maxIconWidth_ = width; }

protected:
    // Builds the bar, its buttons and the context menu; subclasses call it
    // first and then build their content.
    virtual void awakeFromNib();
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The window's busy indicator.
    void startSpinning();
    void stopSpinning();
    void presentError(const Error& error);

private:
    std::shared_ptr<PaneTransfer> beginTransfer(int kind);
    void endTransfer(const std::shared_ptr<PaneTransfer>& transfer);
    void scheduleProgressPanel(const std::shared_ptr<PaneTransfer>& transfer, const QString& title);
    bool progressStep(const std::shared_ptr<PaneTransfer>& transfer, const QString& path, int64_t overallDone,
                      bool withSpeed);
    void refuseBusy();
    void reloadBadgeLater(int delayMs);
    void finishExport(const std::shared_ptr<PaneTransfer>& transfer, const QString& folder,
                      const std::vector<std::pair<QString, QString>>& moves, std::optional<Error> error,
                      bool cancelled, const ErrorCallback& callback);
    void downloadAndOpen(const std::vector<OVViewModelRef>& items, const QString& applicationId, bool single);
    void fillOpenWithMenu(QMenu* submenu, const QString& fileName);
    void buildDefaultMenu();
    void stopQuickLookCopy();
    void startQuickLookCopy(const OVViewModelRef& item);
    void showInPreview(const OVViewModelRef& item, const QString& localPath);

    int64_t viewType_ = -1;
    std::shared_ptr<OVDeviceClient> client_;
    QPointer<OVMainWindowController> mainWindowController_;
    QPointer<QWidget> view_;
    OVNavbarView* navbarView_ = nullptr;
    OVButton* importButton_ = nullptr;
    OVButton* exportButton_ = nullptr;
    OVButton* deleteButton_ = nullptr;
    QMenu* rightClickMenu_ = nullptr;
    QPointer<QWidget> mainContentView_;
    QPointer<OVTaskProgressPanel> progressPanel_;
    // The item the preview shows, its running copy and the private folder the copy lands in.
    OVViewModelRef quicklookItem_;
    std::shared_ptr<Operation> quickLookDownloadOperation_;
    QPointer<QObject> quickLookDownloadItemView_;
    QString quickLookCopyFolder_;
    std::shared_ptr<PaneTransfer> transfer_;
    double zoomLevel_ = 0;
    uint64_t minIconWidth_ = 78;
    uint64_t maxIconWidth_ = 282;
    bool cleanedUp_ = false;
};

}  // namespace orv
