#include "core/bridge/model/ThumbnailRecords.h"

#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/model/OVVisualFile.h"

namespace orv {

bool setRecordThumbnail(const OVFileRef& file, OVFile::Data thumbnail)
{
    if (auto visual = std::dynamic_pointer_cast<OVVisualFile>(file)) {
        visual->setThumbnail(std::move(thumbnail));
        return true;
    }
    if (auto album = std::dynamic_pointer_cast<OVAudioAlbum>(file)) {
        album->setThumbnail(std::move(thumbnail));
        return true;
    }
    return false;
}

bool setRecordThumbnailError(const OVFileRef& file, bool failed)
{
    if (auto visual = std::dynamic_pointer_cast<OVVisualFile>(file)) {
        visual->setGetThumbnailError(failed);
        return true;
    }
    if (auto album = std::dynamic_pointer_cast<OVAudioAlbum>(file)) {
        album->setGetThumbnailError(failed);
        return true;
    }
    return false;
}

OVFile::Data recordThumbnail(const OVFileRef& file)
{
    if (auto visual = std::dynamic_pointer_cast<OVVisualFile>(file))
        return visual->thumbnail();
    if (auto album = std::dynamic_pointer_cast<OVAudioAlbum>(file))
        return album->thumbnail();
    return nullptr;
}

bool recordThumbnailError(const OVFileRef& file)
{
    if (auto visual = std::dynamic_pointer_cast<OVVisualFile>(file))
        return visual->getThumbnailError();
    if (auto album = std::dynamic_pointer_cast<OVAudioAlbum>(file))
        return album->getThumbnailError();
    return false;
}

}  // namespace orv
