#include "app/viewmodels/OVPhotoAlbumViewModel.h"

#include <QSet>
#include <algorithm>
#include <numeric>

#include "app/toolkit/NSString+Path.h"
#include "app/viewmodels/PhotoTimeSections.h"
#include "core/bridge/model/OVAlbum.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {

namespace {

QString qstr(const std::string& s) { return QString::fromStdString(s); }

const QString kAllPhotos = QStringLiteral("AllPhotos");

// Newest (or largest) first; items without a key go last. Stable, so equal
// keys keep their previous order.
template <class T, class KeyOf>
void sortDescending(std::vector<T>& list, KeyOf keyOf)
{
    using Key = decltype(keyOf(list.front()));
    std::vector<std::pair<Key, size_t>> keyed;
    keyed.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i)
        keyed.emplace_back(keyOf(list[i]), i);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<T> sorted;
    sorted.reserve(list.size());
    for (const auto& [key, index] : keyed)
        sorted.push_back(std::move(list[index]));
    list = std::move(sorted);
}

// Missing dates sort below every real one.
int64_t dateKey(const OVFile::Date& date)
{
    return date ? std::chrono::duration_cast<std::chrono::milliseconds>(date->time_since_epoch()).count()
                : std::numeric_limits<int64_t>::min();
}

bool insideFolder(const OVFileRef& file, const QString& folder)
{
    return file && isSamePath(deletingLastPathComponent(qstr(file->path())), folder);
}

bool containsPath(const std::vector<OVFileRef>& files, const OVFileRef& file)
{
    return std::any_of(files.begin(), files.end(), [&](const OVFileRef& f) { return f && f->isEqual(*file); });
}

}  // namespace

OVPhotoAlbumViewModelRef OVPhotoAlbumViewModel::make(OVFileRef file, const QString& serialNumber)
{
    return std::make_shared<OVPhotoAlbumViewModel>(std::move(file), serialNumber);
}

OVPhotoAlbumViewModel::OVPhotoAlbumViewModel(OVFileRef file, const QString& serialNumber)
    : OVViewModel(std::move(file), serialNumber)
{
    ensureChildren();
    if (!childFiles().empty())
        rebuildItems();
}

void OVPhotoAlbumViewModel::setOvfile(OVFileRef file)
{
    if (file == ovfile())
        return;
    OVViewModel::setOvfile(std::move(file));
    ensureChildren();
    if (!childFiles().empty())
        rebuildItems();
}

std::vector<OVFileRef> OVPhotoAlbumViewModel::childFiles() const
{
    return ovfile() ? ovfile()->children().value_or(std::vector<OVFileRef>{}) : std::vector<OVFileRef>{};
}

void OVPhotoAlbumViewModel::ensureChildren()
{
    if (ovfile() && !ovfile()->children())
        ovfile()->setChildren(std::vector<OVFileRef>{});
}

void OVPhotoAlbumViewModel::setContentToOVFileChildren(const std::vector<OVFileRef>& files)
{
    if (!ovfile())
        OVViewModel::setOvfile(std::make_shared<OVAlbum>());
    ovfile()->setChildren(files);
    rebuildItems();
}

void OVPhotoAlbumViewModel::rebuildItems()
{
    {
        std::lock_guard lock(lock_);
        itemlist_.clear();
        const QString serial = serialNumber();
        for (const auto& child : childFiles()) {
            if (child)
                itemlist_.push_back(OVViewModel::make(child, serial));
        }
    }
    if (sortType_ == OVPhotoSortTypeSize)
        sortBySize();
    else
        sortByTime();
}

void OVPhotoAlbumViewModel::sortLocked(bool bySize)
{
    std::lock_guard lock(lock_);
    sortType_ = bySize ? OVPhotoSortTypeSize : OVPhotoSortTypeTime;
    if (itemlist_.empty())
        return;
    auto children = childFiles();
    if (bySize) {
        sortDescending(children, [](const OVFileRef& f) { return f ? f->size() : 0; });
        sortDescending(itemlist_, [](const OVViewModelRef& m) { return m->filesize(); });
    } else {
        sortDescending(children, [](const OVFileRef& f) { return f ? dateKey(f->modifiedDate()) : dateKey({}); });
        sortDescending(itemlist_, [](const OVViewModelRef& m) { return dateKey(m->createdDate()); });
    }
    ovfile()->setChildren(std::move(children));
}

void OVPhotoAlbumViewModel::sortByTime()
{
    sortLocked(false);
    calculateGroup();
}

void OVPhotoAlbumViewModel::sortBySize()
{
    sortLocked(true);
    calculateGroup();
}

void OVPhotoAlbumViewModel::calculateGroup()
{
    std::lock_guard lock(lock_);
    switch (groupType_) {
    case OVPhotoGroupTypeNone:
        grouplist_.reset();
        break;
    case OVPhotoGroupTypeWeek:
        grouplist_ = photo_time_sections::byWeek(itemlist_);
        break;
    case OVPhotoGroupTypeMonth:
        grouplist_ = photo_time_sections::byMonth(itemlist_);
        break;
    default:
        break;
    }
}

void OVPhotoAlbumViewModel::setGroupType(int64_t type)
{
    if (type == groupType_)
        return;
    groupType_ = type;
    if (sortType_ == OVPhotoSortTypeSize)
        sortBySize();
    else
        sortByTime();
}

int64_t OVPhotoAlbumViewModel::groupSegmentIndex() const
{
    return groupType_ == OVPhotoGroupTypeNone ? 0 : groupType_ == OVPhotoGroupTypeWeek ? 1 : 2;
}

void OVPhotoAlbumViewModel::removeAllObjects()
{
    std::lock_guard lock(lock_);
    itemlist_.clear();
    grouplist_.reset();
}

void OVPhotoAlbumViewModel::addedOVFiles(const std::vector<OVFileRef>& added, const std::vector<OVFileRef>& deleted)
{
    ensureChildren();
    bool changed = false;
    const bool allPhotos = path() == kAllPhotos;
    {
        std::lock_guard lock(lock_);
        auto children = childFiles();
        for (const auto& file : added) {
            if (!file || (!allPhotos && !insideFolder(file, path())) || containsPath(children, file))
                continue;
            children.push_back(file);
            changed = true;
        }
        for (const auto& file : deleted) {
            if (!file || (!allPhotos && !insideFolder(file, path())))
                continue;
            const auto end = std::remove_if(children.begin(), children.end(),
                                            [&](const OVFileRef& c) { return c && c->isEqual(*file); });
            changed |= end != children.end();
            children.erase(end, children.end());
        }
        ovfile()->setChildren(std::move(children));
    }
    if (changed || allPhotos)
        rebuildItems();
}

void OVPhotoAlbumViewModel::deleteOVFile(const OVFileRef& file)
{
    if (!file || !ovfile())
        return;
    std::lock_guard lock(lock_);
    auto children = childFiles();
    const QString target = qstr(file->path());
    const auto match = std::find_if(children.begin(), children.end(), [&](const OVFileRef& c) {
        return c && isSamePath(qstr(c->path()), target);
    });
    if (match == children.end())
        return;
    const OVFileRef child = *match;
    std::erase_if(children, [&](const OVFileRef& c) { return c && c->isEqual(*child); });
    ovfile()->setChildren(std::move(children));

    const auto item = std::find_if(itemlist_.begin(), itemlist_.end(),
                                   [&](const OVViewModelRef& m) { return m->ovfile() == child; });
    if (item == itemlist_.end())
        return;
    const OVViewModelRef removed = *item;
    std::erase_if(itemlist_, [&](const OVViewModelRef& m) { return m->isEqual(*removed); });
    // The item leaves its section too, so grouped look-ups never hand out a
    // file that is gone; a section left empty goes with it.
    if (grouplist_) {
        for (auto& group : *grouplist_)
            std::erase_if(group->list, [&](const OVViewModelRef& m) { return m->isEqual(*removed); });
        std::erase_if(*grouplist_, [](const OVPhotoTimeGroupRef& g) { return g->list.empty(); });
    }
}

void OVPhotoAlbumViewModel::addOVFile(const OVFileRef& file)
{
    if (!file)
        return;
    ensureChildren();
    std::lock_guard lock(lock_);
    auto children = childFiles();
    const QString target = qstr(file->path());
    if (std::any_of(children.begin(), children.end(),
                    [&](const OVFileRef& c) { return c && isSamePath(qstr(c->path()), target); }))
        return;
    children.push_back(file);
    ovfile()->setChildren(std::move(children));
    itemlist_.push_back(OVViewModel::make(file, serialNumber()));
}

void OVPhotoAlbumViewModel::addViewModelWithOutResort(OVViewModelRef item)
{
    if (item)
        itemlist_.push_back(std::move(item));
}

int64_t OVPhotoAlbumViewModel::totalItemNumber() const { return int64_t(itemlist_.size()); }

int64_t OVPhotoAlbumViewModel::sectionNumber() const
{
    if (groupType_ != OVPhotoGroupTypeWeek && groupType_ != OVPhotoGroupTypeMonth)
        return 0;
    return grouplist_ ? int64_t(grouplist_->size()) : 0;
}

int64_t OVPhotoAlbumViewModel::itemNumberForSection(int64_t section) const
{
    if (groupType_ == OVPhotoGroupTypeNone)
        return int64_t(itemlist_.size());
    if (!grouplist_ || section < 0 || section >= int64_t(grouplist_->size()))
        return 0;
    return (*grouplist_)[size_t(section)]->itemNumber();
}

OVViewModelRef OVPhotoAlbumViewModel::itemForSection(int64_t section, int64_t index) const
{
    if (groupType_ == OVPhotoGroupTypeNone) {
        if (index < 0 || index >= int64_t(itemlist_.size()))
            return nullptr;
        return itemlist_[size_t(index)];
    }
    if (!grouplist_ || section < 0 || section >= int64_t(grouplist_->size()))
        return nullptr;
    return (*grouplist_)[size_t(section)]->objectAtIndex(index);
}

std::vector<OVViewModelRef> OVPhotoAlbumViewModel::itemsForIndexSets(const std::vector<OVIndexPath>& positions) const
{
    std::vector<OVViewModelRef> items;
    for (const auto& position : positions) {
        if (auto item = itemForSection(position.section, position.item))
            items.push_back(std::move(item));
    }
    return items;
}

QString OVPhotoAlbumViewModel::titleLabelForSection(int64_t section) const
{
    if (groupType_ == OVPhotoGroupTypeNone || !grouplist_ || section < 0 || section >= int64_t(grouplist_->size()))
        return QString(QLatin1String(""));
    return (*grouplist_)[size_t(section)]->label;
}

std::optional<OVIndexPath> OVPhotoAlbumViewModel::indexSetForItem(const OVViewModel& item) const
{
    if (groupType_ == OVPhotoGroupTypeNone) {
        for (size_t i = 0; i < itemlist_.size(); ++i) {
            if (itemlist_[i]->isEqual(item))
                return OVIndexPath{0, int64_t(i)};
        }
        return std::nullopt;
    }
    if (!grouplist_)
        return std::nullopt;
    for (size_t s = 0; s < grouplist_->size(); ++s) {
        const int64_t index = (*grouplist_)[s]->indexOfObject(item);
        if (index >= 0)
            return OVIndexPath{int64_t(s), index};
    }
    return std::nullopt;
}

int64_t OVPhotoAlbumViewModel::albumId() const
{
    auto album = std::dynamic_pointer_cast<OVAlbum>(ovfile());
    return album ? album->albumId() : -1;
}

QString OVPhotoAlbumViewModel::filename() const
{
    auto album = std::dynamic_pointer_cast<OVAlbum>(ovfile());
    if (album && !album->name().empty())
        return qstr(album->name());
    return lastPathComponent(path());
}

OVViewModelRef OVPhotoAlbumViewModel::dir() const
{
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath(path().toStdString());
    folder->setName(lastPathComponent(path()).toStdString());
    return OVViewModel::make(folder, serialNumber());
}

QSet<QString> OVPhotoAlbumViewModel::pathDirectory() const
{
    std::lock_guard lock(lock_);
    QSet<QString> paths;
    for (const auto& item : itemlist_)
        paths.insert(item->path());
    return paths;
}

QString OVPhotoAlbumViewModel::descriptionText() const
{
    QStringList items;
    for (const auto& item : itemlist_)
        items << item->path();
    return QStringLiteral("ovfile=%1 itemlist=(%2)")
        .arg(ovfile() ? qstr(ovfile()->description()) : QStringLiteral("(null)"), items.join(QStringLiteral(", ")));
}

std::optional<std::vector<OVPhotoTimeGroupRef>> OVPhotoAlbumViewModel::grouplist() const
{
    std::lock_guard lock(lock_);
    return grouplist_;
}

std::vector<OVViewModelRef> OVPhotoAlbumViewModel::itemlist() const
{
    std::lock_guard lock(lock_);
    return itemlist_;
}

}  // namespace orv
