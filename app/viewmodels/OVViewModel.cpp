#include "app/viewmodels/OVViewModel.h"

#include <QFileInfo>
#include <QLocale>
#include <QPixmap>

#include "app/viewmodels/AppImages.h"
#include "app/viewmodels/OVAppFolderTable.h"
#include "app/toolkit/NSString+Path.h"
#include "app/toolkit/NSDate+LXExtension.h"
#include "app/viewmodels/ViewModelSettings.h"
#include "core/bridge/model/OVAlbum.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/facade/OVLocalization.h"
#include "core/bridge/model/OVVideoFile.h"
#include "core/bridge/model/OVVisualFile.h"

namespace orv {

namespace {

QString text(const char* key) { return QString::fromStdString(localizedString(key, key)); }

QString qstr(const std::string& s) { return QString::fromStdString(s); }

bool isPanorama(const OVImageFile& image, const QString& path)
{
    if (!lastPathComponent(path).startsWith(QLatin1String("PANO")))
        return false;
    if (!path.startsWith(qstr(OVDeviceClient::cameraDir()->path())))
        return false;
    const uint64_t longSide = std::max(image.width(), image.height());
    const uint64_t shortSide = std::min(image.width(), image.height());
    if (longSide < 1045 || shortSide < 308)
        return false;
    return double(longSide) / double(shortSide) >= 2.5;
}

}  // namespace

QDateTime qDateTimeFromFileDate(const OVFile::Date& date)
{
    if (!date)
        return {};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date->time_since_epoch()).count();
    return QDateTime::fromMSecsSinceEpoch(ms);
}

OVViewModelRef OVViewModel::make(OVFileRef file, const QString& serialNumber)
{
    return std::make_shared<OVViewModel>(std::move(file), serialNumber);
}

OVViewModel::OVViewModel(OVFileRef file, const QString& serialNumber) : serialNumber_(serialNumber)
{
    setOvfile(std::move(file));
    // A photo or video already seen shows its thumbnail at once; only the
    // memory side is asked here, the disk waits for loadThumbnail.
    if (std::dynamic_pointer_cast<OVVisualFile>(ovfile_))
        takeMemoryCachedThumbnail();
}

OVViewModel::~OVViewModel() = default;

void OVViewModel::setOvfile(OVFileRef file)
{
    if (file == ovfile_)
        return;
    ovfile_ = std::move(file);
    deriveFromFile();
}

void OVViewModel::deriveFromFile()
{
    isPanoramaImage_ = false;
    path_ = ovfile_ ? qstr(ovfile_->path()) : QString();
    const bool album = bool(std::dynamic_pointer_cast<OVAlbum>(ovfile_));
    isDir_ = album || (ovfile_ && ovfile_->isDirectory());
    isAlbum_ = album;
    isVideo_ = isAudio_ = isImage_ = false;
    if (std::dynamic_pointer_cast<OVVideoFile>(ovfile_)) {
        isVideo_ = true;
    } else if (std::dynamic_pointer_cast<OVAudioFile>(ovfile_)) {
        isAudio_ = true;
    } else if (auto image = std::dynamic_pointer_cast<OVImageFile>(ovfile_)) {
        isImage_ = true;
        isPanoramaImage_ = isPanorama(*image, path_);
    } else {
        isImage_ = bool(std::dynamic_pointer_cast<OVImageAlbum>(ovfile_));
    }
    rootRelativePath_ = QString(path_).remove(qstr(OVDeviceClient::rootDir()->path())).toLower();
}

QString OVViewModel::serialNumber() const
{
    std::lock_guard lock(atomicMutex_);
    return serialNumber_;
}

void OVViewModel::setSerialNumber(const QString& serial)
{
    std::lock_guard lock(atomicMutex_);
    serialNumber_ = serial;
}

bool OVViewModel::isSystemFile(const QString& path)
{
    static const QString prefixes[] = {QStringLiteral("/storage/emulated/legacy/Android"), QStringLiteral("/system"),
                                       QStringLiteral("/root")};
    if (path.isNull())
        return false;
    for (const QString& prefix : prefixes) {
        if (path.startsWith(prefix))
            return true;
    }
    return false;
}

QString OVViewModel::rawfilename() const { return lastPathComponent(path_); }

QString OVViewModel::name() const { return ovfile_ ? qstr(ovfile_->name()) : QString(); }

QString OVViewModel::displayname() const
{
    if (isDir_) {
        const auto entry = OVAppFolderTable::entry(rootRelativePath_);
        if (!entry.isEmpty()) {
            const bool english = text("Yes").startsWith(QLatin1Char('Y'));
            const char* order[2] = {"name_en", "name_ch"};
            if (!english)
                std::swap(order[0], order[1]);
            for (const char* key : order) {
                if (entry.contains(QLatin1String(key)))
                    return entry.value(QLatin1String(key)).toString();
            }
        }
    }
    if (!std::dynamic_pointer_cast<OVImageAlbum>(ovfile_))
        return lastPathComponent(qstr(ovfile_ ? ovfile_->path() : std::string()));
    const std::pair<std::shared_ptr<OVDirectoryFile> (*)(), const char*> standard[] = {
        {&OVDeviceClient::fromMacDir, "PhotoAlbumFromMac"},
        {&OVDeviceClient::cameraDir, "PhotoAlbumCamera"},
        {&OVDeviceClient::screenshotsDir, "PhotoAlbumScreenshot"},
        {&OVDeviceClient::quickcaptureDir, "PhotoAlbumQuickCapture"},
    };
    for (const auto& [folder, key] : standard) {
        if (isSamePath(path_, qstr(folder()->path())))
            return text(key);
    }
    return name();
}

uint64_t OVViewModel::filesize() const
{
    if (!ovfile_ || std::dynamic_pointer_cast<OVAlbum>(ovfile_))
        return 0;
    return ovfile_->size();
}

int64_t OVViewModel::albumId() const
{
    if (auto album = std::dynamic_pointer_cast<OVAlbum>(ovfile_))
        return album->albumId();
    if (auto image = std::dynamic_pointer_cast<OVImageFile>(ovfile_))
        return image->albumId();
    if (auto audio = std::dynamic_pointer_cast<OVAudioFile>(ovfile_))
        return audio->album() ? audio->album()->albumId() : -1;
    return -1;
}

OVFile::Date OVViewModel::modifiedDate() const
{
    if (!ovfile_ || std::dynamic_pointer_cast<OVAlbum>(ovfile_))
        return std::nullopt;
    return ovfile_->modifiedDate();
}

OVFile::Date OVViewModel::createdDate() const
{
    if (!ovfile_ || std::dynamic_pointer_cast<OVAlbum>(ovfile_))
        return std::nullopt;
    return ovfile_->createdDate();
}

QString OVViewModel::localizedDate(const OVFile::Date& date) const
{
    if (isAlbum_)
        return QString(QLatin1String(""));
    if (!date)
        return {};
    const QDateTime when = qDateTimeFromFileDate(date);
    const QLocale locale;
    const QString time = locale.toString(when.time(), QLocale::ShortFormat);
    if (isToday(when))
        return QStringLiteral("%1, %2").arg(text("Today"), time);
    if (isYesterday(when))
        return QStringLiteral("%1, %2").arg(text("Yesterday"), time);
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') + time;
}

QString OVViewModel::modifiedDateLocalized() const { return localizedDate(ovfile_ ? ovfile_->modifiedDate() : std::nullopt); }

QString OVViewModel::createdDateLocalized() const { return localizedDate(ovfile_ ? ovfile_->createdDate() : std::nullopt); }

QIcon OVViewModel::smallIcon() const
{
    const QImage image = isDir_ ? app_images::iconFolder() : app_images::iconForFileType(QFileInfo(path_).suffix());
    return QIcon(QPixmap::fromImage(image.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

QImage OVViewModel::icon()
{
    if (std::dynamic_pointer_cast<OVImageAlbum>(ovfile_))
        return {};
    if (!appicon_.isNull())
        return appicon_;
    if (icon_.isNull())
        icon_ = isDir_ ? app_images::iconFolder() : app_images::iconForFileType(QFileInfo(path_).suffix());
    return icon_;
}

const std::vector<OVViewModelRef>& OVViewModel::children()
{
    if (!childrenMade_ && ovfile_) {
        const auto files = ovfile_->children();
        if (files && !files->empty()) {
            std::vector<OVViewModelRef> models;
            models.reserve(files->size());
            const QString serial = serialNumber();
            for (const auto& file : *files)
                models.push_back(make(file, serial));
            childrenViewModels_ = std::move(models);
            childrenMade_ = true;
        }
    }
    return childrenViewModels_;
}

void OVViewModel::setOVFileChildren(const std::vector<OVFileRef>& files)
{
    const bool showHidden = viewmodel_settings::showHiddenFiles();
    const QString serial = serialNumber();
    std::vector<OVFileRef> kept;
    std::vector<OVViewModelRef> models;
    for (const auto& file : files) {
        if (!file)
            continue;
        if (!showHidden && lastPathComponent(qstr(file->path())).startsWith(QLatin1Char('.')))
            continue;
        kept.push_back(file);
        models.push_back(make(file, serial));
    }
    childrenViewModels_ = std::move(models);
    childrenMade_ = true;
    if (ovfile_)
        ovfile_->setChildren(std::move(kept));
}

void OVViewModel::setChildrenViewModels(std::vector<OVViewModelRef> children)
{
    childrenViewModels_ = std::move(children);
    childrenMade_ = true;
}

void OVViewModel::fetchChildren(OVDeviceClient& client, FilesCallback callback)
{
    if (std::dynamic_pointer_cast<OVImageAlbum>(ovfile_)) {
        callback(ovfile_->children().value_or(std::vector<OVFileRef>{}), std::nullopt);
        return;
    }
    if (std::dynamic_pointer_cast<OVDirectoryFile>(ovfile_)) {
        client.filesInDirectory(ovfile_, std::move(callback));
        return;
    }
    callback({}, std::nullopt);
}

void OVViewModel::rename(OVDeviceClient& client, const QString& newName, ErrorCallback callback)
{
    if (newName.isNull() || newName == rawfilename()) {
        callback(std::nullopt);
        return;
    }
    client.renameFile(ovfile_, newName.toStdString(), std::move(callback));
}

size_t OVViewModel::hash() const { return qHash(path()); }

OVViewModelRef OVViewModel::copy() const
{
    auto copied = make(nullptr, QString());
    copied->setSerialNumber(QString());
    copied->setOvfile(ovfile_);
    copied->setChildrenViewModels(childrenViewModels_);
    copied->setCachedURL(cachedURL());
    copied->setThumbnail(thumbnail_);
    return copied;
}

}  // namespace orv
