#pragma once
// A location as the interface hands it to transfers: a URL with a scheme and
// a path. Only file URLs name places on this computer; transfers refuse the
// others.

#include <string>

namespace orv {

class HostURL {
public:
    HostURL() = default;
    // A file URL for a path on this computer.
    static HostURL fileURLWithPath(std::string path);
    // Parses "scheme:rest"; "file://[localhost]/path" percent-decoded into a
    // file URL. Text without a scheme gives an empty URL.
    static HostURL URLWithString(const std::string& text);

    const std::string& scheme() const { return scheme_; }
    // The path of a file URL; for other URLs the text after the scheme.
    const std::string& path() const { return path_; }
    bool isFileURL() const { return scheme_ == "file" && !path_.empty() && path_.front() == '/'; }

    bool operator==(const HostURL&) const = default;

private:
    std::string scheme_;
    std::string path_;
};

}  // namespace orv
