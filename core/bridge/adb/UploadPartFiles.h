#pragma once
// The hidden part files a push writes before the file takes its real name
// (".orvane-part-" and hexadecimal digits, beside the final file). A push
// cut off by an unplug leaves one behind; the next upload into that folder
// removes such leftovers, never a part a running push of this process owns.

#include <string>
#include <string_view>

#include "core/bridge/adb/ADBRunner.h"

namespace orv {

class UploadPartFiles {
public:
    // A fresh part path beside `phonePath`, registered as in flight until
    // the returned claim is destroyed.
    class Claim {
    public:
        explicit Claim(const std::string& phonePath);
        ~Claim();
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        const std::string& path() const { return path_; }

    private:
        std::string path_;
    };

    // True for a name of our own part-file form.
    static bool isPartName(std::string_view name);

    // Removes part files of our form from the phone folder, except those in
    // flight. Best effort: a folder that cannot be listed is left alone.
    static void removeLeftovers(const ADBRunner& runner, const std::string& folderPath);
};

}  // namespace orv
