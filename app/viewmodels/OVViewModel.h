#pragma once
// The presentation of one phone file, folder or album for one phone: its kind,
// the name to show, localised dates, icons, child view models, and three
// asynchronous services: the thumbnail, the app-folder icon and the Quick Look
// placeholder. Made, read and changed on the main thread; the observable keys
// are the signals thumbnailChanged() and gotAppIconChanged().
//
// View models are shared (OVViewModelRef): replies that arrive after the
// panes let a model go never touch it. Two models are equal when their paths
// are equal, whatever their phones or kinds.

#include <QDateTime>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/bridge/model/OVFile.h"
#include "platform/Error.h"

namespace orv {

class OVDeviceClient;
class OVImageDownloader;
class Operation;
class OVViewModel;
using OVViewModelRef = std::shared_ptr<OVViewModel>;

class OVViewModel : public QObject, public std::enable_shared_from_this<OVViewModel> {
    Q_OBJECT
public:
    using FilesCallback = std::function<void(std::vector<OVFileRef> files, std::optional<Error> error)>;
    using ErrorCallback = std::function<void(std::optional<Error> error)>;

    static OVViewModelRef make(OVFileRef file, const QString& serialNumber);
    OVViewModel(OVFileRef file, const QString& serialNumber);
    ~OVViewModel() override;

    // Setting another file derives every flag and path again; the same object does nothing.
    virtual void setOvfile(OVFileRef file);
    const OVFileRef& ovfile() const { return ovfile_; }
    QString serialNumber() const;
    void setSerialNumber(const QString& serial);

    static bool isSystemFile(const QString& path);
    bool isSystemFile() const { return isSystemFile(path_); }
    virtual bool isDir() const { return isDir_; }
    bool isDirectory() const { return isDir(); }
    bool isImage() const { return isImage_; }
    bool isVideo() const { return isVideo_; }
    bool isAudio() const { return isAudio_; }
    bool isAlbum() const { return isAlbum_; }
    bool isPanoramaImage() const { return isPanoramaImage_; }
    bool isHiddenFile() const { return rawfilename().startsWith(QLatin1Char('.')); }

    virtual QString path() const { return path_; }
    QString rootRelativePath() const { return rootRelativePath_; }
    QString rawfilename() const;
    QString displayName() const { return rawfilename(); }
    QString name() const;
    // The name shown to the user: app-folder names, standard album names, else the file name.
    QString displayname() const;
    QString description() const { return path_; }
    uint64_t filesize() const;
    virtual int64_t albumId() const;
    OVFile::Date modifiedDate() const;
    OVFile::Date createdDate() const;
    QString modifiedDateLocalized() const;
    QString createdDateLocalized() const;

    // Icons: the small one made on every call, the large one once (an app
    // icon once loaded wins); a photo album has no large icon.
    QIcon smallIcon() const;
    QImage icon();

    // Child view models, made on first request from the file's children.
    const std::vector<OVViewModelRef>& children();
    // Replaces the children with a fresh listing, dropping hidden files unless shown.
    void setOVFileChildren(const std::vector<OVFileRef>& files);
    virtual const std::vector<OVViewModelRef>& childrenViewModels() const { return childrenViewModels_; }
    void setChildrenViewModels(std::vector<OVViewModelRef> children);
    void fetchChildren(OVDeviceClient& client, FilesCallback callback);
    void rename(OVDeviceClient& client, const QString& newName, ErrorCallback callback);

    size_t hash() const;
    bool isEqual(const OVViewModel& other) const { return path() == other.path(); }
    bool operator==(const OVViewModel& other) const { return isEqual(other); }
    // A plain view model with the same file, children, cached copy and thumbnail.
    OVViewModelRef copy() const;

    bool observerThumbnailLoading() const { return observerThumbnailLoading_; }
    void setObserverThumbnailLoading(bool on) { observerThumbnailLoading_ = on; }
    bool observerIconLoading() const { return observerIconLoading_; }
    void setObserverIconLoading(bool on) { observerIconLoading_ = on; }

    // --- thumbnail ------------------------------------------------------------
    virtual void loadThumbnail(OVDeviceClient& client);
    virtual void cancelLoadThumbnail();
    void cleanupThumbnail(OVDeviceClient& client);
    // An album whose first item is no longer the one its cover shows answers a null image.
    QImage thumbnail() const;
    void setThumbnail(const QImage& image);
    QString thumbnailError() const { return thumbnailError_; }
    void setThumbnailError(const QString& error) { thumbnailError_ = error; }
    QString thumbnailPath() const { return tempThumbnailPath_; }
    void setThumbnailPath(const QString& path) { tempThumbnailPath_ = path; }
    uint64_t thumbnailOrientation() const;
    // The square crop of a picture, centred on its largest face when face detection is on.
    static QImage iconImageWithImage(const QImage& image);
    // An album or folder cover: the frame for `count` items with the picture in it.
    static QImage albumCoverWithImage(const QImage& image, int count);
    bool hasPendingThumbnailRequest() const { return loadThumbnailOperation_ != nullptr; }

    // --- app-folder icon ------------------------------------------------------
    bool hasAppIcon() const;
    void loadIcon(OVDeviceClient* client = nullptr);
    void cancelLoadIcon();
    void cleanupAppIcon() { appicon_ = QImage(); }
    bool gotAppIcon() const { return gotAppIcon_; }
    void setGotAppIcon(bool got);
    QString iconDownloadUUID() const;
    void setIconDownloadUUID(const QString& uuid);
    static QImage specialFolderIconWithName(const QString& name);
    // Where app icons are downloaded (tests bring their own); null means the shared downloader.
    static void setIconDownloader(OVImageDownloader* downloader);
    QImage appIcon() const { return appicon_; }
    void renderAppIcon(const QByteArray& bytes, const QString& name);

    // --- Quick Look -----------------------------------------------------------
    void createQLPreviewItem();
    void cleanQLPreviewItem();
    QString previewItemURL() const;
    void setPreviewItemURL(const QString& url) { previewItemURL_ = url; }
    QString previewItemTitle() const { return displayname(); }
    QString cachedURL() const;
    void setCachedURL(const QString& url);
    bool canDownloadPreview() const;
    // The look of the placeholder: the thumbnail on a white card (270 by 270), or empty without one.
    QImage previewCard() const;

signals:
    void thumbnailChanged();
    void gotAppIconChanged();

protected:
    void fetchThumbnailDone(const QString& serial);
    // The date as the panes print it: "Today, 14:05", "Yesterday, …", else date and time.
    QString localizedDate(const OVFile::Date& date) const;

private:
    void deriveFromFile();
    void takeMemoryCachedThumbnail();
    void loadAlbumCover(OVDeviceClient& client);
    void loadVideoFolderCover(OVDeviceClient& client);
    void finishCover(const OVFileRef& first, const std::optional<Error>& error, const QString& key,
                     const QString& serial, bool turnUpright, int count);

    bool isImage_ = false;
    bool isDir_ = false;
    bool isVideo_ = false;
    bool isAlbum_ = false;
    bool isAudio_ = false;
    bool isPanoramaImage_ = false;
    QString rootRelativePath_;
    QString path_;
    QString tempThumbnailPath_;
    QImage icon_;
    QImage appicon_;
    std::shared_ptr<Operation> loadThumbnailOperation_;
    bool observerThumbnailLoading_ = false;
    bool observerIconLoading_ = false;
    bool gotAppIcon_ = false;
    mutable std::mutex atomicMutex_;  // serialNumber_, cachedURL_, iconDownloadUUID_
    QString serialNumber_;
    OVFileRef ovfile_;
    std::vector<OVViewModelRef> childrenViewModels_;
    bool childrenMade_ = false;
    QImage thumbnail_;
    QString thumbnailError_;
    QString cachedURL_;
    QString previewItemURL_;
    QString iconDownloadUUID_;
};

// Dates of the device records as Qt dates (local time); null for none.
QDateTime qDateTimeFromFileDate(const OVFile::Date& date);

}  // namespace orv
