#pragma once
// gzip (and zlib) compression of byte buffers, as the companion service's
// library replies use it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orv {

// More than any library reply holds: a few bytes of gzip may stand for
// gigabytes, so inflation stops here.
inline constexpr size_t kGzipInflateLimit = size_t(256) << 20;

// The inflated bytes of a gzip or zlib stream (the header is detected), or
// nullopt when the stream is damaged, cut short or inflates beyond `limit`
// bytes. Empty input gives empty output.
std::optional<std::vector<uint8_t>> gzipInflate(const uint8_t* data, size_t size, size_t limit = kGzipInflateLimit);
std::optional<std::vector<uint8_t>> gzipInflate(const std::vector<uint8_t>& data, size_t limit = kGzipInflateLimit);

// A gzip stream of the bytes at the default level, or nullopt when zlib
// cannot start. Empty input gives empty output.
std::optional<std::vector<uint8_t>> gzipDeflate(const uint8_t* data, size_t size);
std::optional<std::vector<uint8_t>> gzipDeflate(const std::vector<uint8_t>& data);

}  // namespace orv
