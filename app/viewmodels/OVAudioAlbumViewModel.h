#pragma once
// One music album for the music pane: its songs, and its cover, fetched from
// the phone or the thumbnail cache and shown exactly as the phone sent it.

#include "app/viewmodels/OVViewModel.h"
#include "core/bridge/model/OVAudioAlbum.h"

namespace orv {

class OVAudioAlbumViewModel : public OVViewModel {
    Q_OBJECT
public:
    static std::shared_ptr<OVAudioAlbumViewModel> make(std::shared_ptr<OVAudioAlbum> album, const QString& serialNumber);
    OVAudioAlbumViewModel(std::shared_ptr<OVAudioAlbum> album, const QString& serialNumber);

    std::shared_ptr<OVAudioAlbum> ovAlbum() const;
    void setOvAlbum(std::shared_ptr<OVAudioAlbum> album);
    const std::vector<OVFileRef>& songs() const { return songs_; }
    void setSongs(std::vector<OVFileRef> songs) { songs_ = std::move(songs); }
    QString albumName() const;
    QString artist() const;
    bool hasCoverImage() const;
    // The cover the phone sent, or the application's default album picture.
    QImage coverImage() const;
    // The key the cover is cached under: the record's class name and the album id.
    QString coverKey() const;

    void loadThumbnail(OVDeviceClient& client) override;
    void cancelLoadThumbnail() override;
    bool hasPendingCoverRequest() const { return coverOperation_ != nullptr; }

private:
    void showCover(const QByteArray& bytes);

    std::shared_ptr<Operation> coverOperation_;
    mutable std::mutex albumMutex_;
    std::shared_ptr<OVAudioAlbum> ovAlbum_;
    std::vector<OVFileRef> songs_;
};

}  // namespace orv
