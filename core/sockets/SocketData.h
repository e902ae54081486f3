#pragma once
// Byte vectors, and the view a finished read hands out: `length` bytes at
// `offset` of a buffer the view keeps alive (the read's own buffer, or the
// caller's buffer for reads into one, which is then not copied).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

using Bytes = std::vector<uint8_t>;

struct SocketData {
    std::shared_ptr<const Bytes> buffer;
    size_t offset = 0;
    size_t length = 0;

    const uint8_t* data() const { return buffer ? buffer->data() + offset : nullptr; }
    size_t size() const { return length; }
    bool empty() const { return length == 0; }
    Bytes bytes() const { return length ? Bytes(data(), data() + length) : Bytes(); }
    std::string_view view() const
    {
        return length ? std::string_view(reinterpret_cast<const char*>(data()), length) : std::string_view();
    }
};

}  // namespace orv
