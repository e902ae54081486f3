#pragma once
// What kind of media a file name stands for, judged by its extension (letter
// case ignored), as the desktop's type registry would: image, movie, sound.

#include <string_view>

namespace orv {

enum class MediaKind { None, Image, Movie, Audio };

MediaKind mediaKindForPath(std::string_view path);

}  // namespace orv
