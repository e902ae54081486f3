#include "core/bridge/model/MediaTypes.h"

#include <algorithm>
#include <array>
#include <string_view>

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
bool contains(const Table& table, std::string_view extension)
{
    return std::any_of(table.begin(), table.end(), [&](const char* entry) { return extension == entry; });
}

}  // namespace

MediaKind mediaKindForPath(std::string_view path)
{
    // The extension of the last component, a trailing "/" ignored; read in
    // place, since listings ask this for every entry.
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    size_t slash = path.rfind('/');
    std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = last.rfind('.');
    if (dot == std::string_view::npos)
        return MediaKind::None;
    std::string_view extension = last.substr(dot + 1);
    char lower[8];
    if (extension.empty() || extension.size() > sizeof lower)
        return MediaKind::None;
    for (size_t i = 0; i < extension.size(); ++i) {
        char c = extension[i];
        lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    const std::string_view key(lower, extension.size());
    if (contains(kImage, key))
        return MediaKind::Image;
    if (contains(kMovie, key))
        return MediaKind::Movie;
    if (contains(kAudio, key))
        return MediaKind::Audio;
    return MediaKind::None;
}

}  // namespace orv
