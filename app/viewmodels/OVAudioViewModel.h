#pragma once
// One song for the music pane's tables: the song's facts, and the text of
// each table column by its key (letter case ignored).

#include <QVariant>

#include "app/viewmodels/OVViewModel.h"
#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/model/OVAudioFile.h"

namespace orv {

class OVAudioViewModel : public OVViewModel {
    Q_OBJECT
public:
    static std::shared_ptr<OVAudioViewModel> make(std::shared_ptr<OVAudioFile> file, const QString& serialNumber);
    OVAudioViewModel(std::shared_ptr<OVAudioFile> file, const QString& serialNumber);

    std::shared_ptr<OVAudioAlbum> album() const;
    QString title() const;
    QString artist() const;
    double duration() const;
    double startOffset() const;
    uint64_t year() const;
    uint64_t playCount() const;
    uint64_t track() const;
    uint16_t bitRate() const;

    // The cell value for a column key ("title", "artist", "time", …); invalid for any other key.
    QVariant value(const QString& key) const;

private:
    std::shared_ptr<OVAudioFile> audio() const;
};

}  // namespace orv
