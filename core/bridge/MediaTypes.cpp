#include "core/bridge/MediaTypes.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/bridge/PhonePath.h"

namespace orv {

namespace {

constexpr std::array kImage = {"jpg", "jpeg", "jpe", "jfif", "png", "gif", "bmp", "dib", "tif", "tiff",
                               "webp", "heic", "heif", "ico", "dng", "cr2", "nef", "arw", "orf", "rw2",
                               "pef", "srw", "raf", "psd", "tga", "svg", "svgz", "jp2", "pct", "pict"};
constexpr std::array kMovie = {"mp4", "m4v", "mov", "qt", "3gp", "3gpp", "3g2", "avi", "mkv", "webm",
                               "mpg", "mpeg", "mpe", "m2v", "ts", "mts", "m2ts", "wmv", "flv", "asf",
                               "ogv", "vob", "rm", "rmvb", "dv"};
constexpr std::array kAudio = {"mp3", "m4a", "m4b", "m4r", "m4p", "aac", "adts", "wav", "wave", "aif",
                               "aiff", "aifc", "flac", "ogg", "oga", "opus", "wma", "amr", "awb", "mid",
                               "midi", "kar", "mka", "caf", "ac3", "3ga", "ape", "au", "snd", "mp2"};

template <class Table>
bool contains(const Table& table, const std::string& extension)
{
    return std::any_of(table.begin(), table.end(), [&](const char* entry) { return extension == entry; });
}

}  // namespace

MediaKind mediaKindForPath(std::string_view path)
{
    std::string extension = pathExtension(path);
    if (extension.empty())
        return MediaKind::None;
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    if (contains(kImage, extension))
        return MediaKind::Image;
    if (contains(kMovie, extension))
        return MediaKind::Movie;
    if (contains(kAudio, extension))
        return MediaKind::Audio;
    return MediaKind::None;
}

}  // namespace orv
