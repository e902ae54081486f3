#include "app/viewmodels/OVAudioViewModel.h"

#include "app/toolkit/NSString+Format.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVLocalization.h"

namespace orv {

std::shared_ptr<OVAudioViewModel> OVAudioViewModel::make(std::shared_ptr<OVAudioFile> file, const QString& serialNumber)
{
    return std::make_shared<OVAudioViewModel>(std::move(file), serialNumber);
}

OVAudioViewModel::OVAudioViewModel(std::shared_ptr<OVAudioFile> file, const QString& serialNumber)
    : OVViewModel(std::move(file), serialNumber)
{
}

std::shared_ptr<OVAudioFile> OVAudioViewModel::audio() const { return std::dynamic_pointer_cast<OVAudioFile>(ovfile()); }

std::shared_ptr<OVAudioAlbum> OVAudioViewModel::album() const { return audio() ? audio()->album() : nullptr; }
QString OVAudioViewModel::title() const { return audio() ? QString::fromStdString(audio()->title()) : QString(); }
QString OVAudioViewModel::artist() const { return audio() ? QString::fromStdString(audio()->artist()) : QString(); }
double OVAudioViewModel::duration() const { return audio() ? audio()->duration() : 0; }
double OVAudioViewModel::startOffset() const { return audio() ? audio()->startOffset() : 0; }
uint64_t OVAudioViewModel::year() const { return audio() ? audio()->year() : 0; }
uint64_t OVAudioViewModel::playCount() const { return audio() ? audio()->playCount() : 0; }
uint64_t OVAudioViewModel::track() const { return audio() ? audio()->track() : 0; }
uint16_t OVAudioViewModel::bitRate() const { return audio() ? audio()->bitRate() : 0; }

QVariant OVAudioViewModel::value(const QString& key) const
{
    enum Column { Title, Time, Artist, Album, Year, BitRate, PlayCount, Track, DisplayPath, DisplayFileSize };
    static const std::pair<const char*, Column> columns[] = {
        {"name", Title},   {"title", Title},          {"time", Time},           {"artist", Artist},
        {"singer", Artist}, {"album", Album},         {"year", Year},           {"bitRate", BitRate},
        {"playCount", PlayCount}, {"track", Track},   {"displaypath", DisplayPath}, {"displayfilesize", DisplayFileSize},
    };
    for (const auto& [name, column] : columns) {
        if (key.compare(QLatin1String(name), Qt::CaseInsensitive) != 0)
            continue;
        switch (column) {
        case Title:
            return title();
        case Time:
            return QString::asprintf("%lf", duration());
        case Artist:
            return artist();
        case Album:
            return album() ? QString::fromStdString(album()->name()) : QString();
        case Year:
            return QString::number(year());
        case BitRate:
            return QStringLiteral("%1 kbps").arg(bitRate());
        case PlayCount:
            return QString::number(playCount());
        case Track:
            return QString::number(track());
        case DisplayPath:
            return QLatin1Char('/') + QString(path()).remove(QString::fromStdString(OVDeviceClient::rootDir()->path()));
        case DisplayFileSize: {
            if (isDir())
                return QStringLiteral("--");
            const QString size = formatFromByteSize(int64_t(filesize()));
            return size.isEmpty() ? QString::fromStdString(localizedString("(Unknown Size)", "(Unknown Size)")) : size;
        }
        }
    }
    return {};
}

}  // namespace orv
