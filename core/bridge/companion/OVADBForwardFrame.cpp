#include "core/bridge/companion/OVADBForwardFrame.h"

namespace orv {

ForwardFrameBuilder::ForwardFrameBuilder(uint8_t command, uint8_t type)
    : bytes_{0, 0, 0, 0, command, type, Version}
{
}

ForwardFrameBuilder& ForwardFrameBuilder::u32(uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes_.push_back(static_cast<uint8_t>(value >> shift));
    return *this;
}

ForwardFrameBuilder& ForwardFrameBuilder::u64(uint64_t value)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes_.push_back(static_cast<uint8_t>(value >> shift));
    return *this;
}

ForwardFrameBuilder& ForwardFrameBuilder::string(std::string_view text)
{
    u32(static_cast<uint32_t>(text.size()));
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
}

ForwardBytes ForwardFrameBuilder::frame() &&
{
    const auto length = static_cast<uint32_t>(bytes_.size() - 4);
    for (int i = 0; i < 4; ++i)
        bytes_[static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (24 - 8 * i));
    return std::move(bytes_);
}

ForwardBytes forwardFrame(uint8_t command, uint8_t type)
{
    return ForwardFrameBuilder(command, type).frame();
}

uint32_t parseResponseLength(const uint8_t* data, size_t size)
{
    if (!data || size < 4)
        return 0;
    return (uint32_t(data[0]) << 24) | (uint32_t(data[1]) << 16) | (uint32_t(data[2]) << 8) | uint32_t(data[3]);
}

std::optional<uint8_t> ForwardReader::u8()
{
    if (remaining() < 1)
        return std::nullopt;
    return data_[offset_++];
}

std::optional<uint32_t> ForwardReader::u32()
{
    if (remaining() < 4)
        return std::nullopt;
    const uint32_t value = parseResponseLength(data_ + offset_, 4);
    offset_ += 4;
    return value;
}

std::optional<uint64_t> ForwardReader::u64()
{
    if (remaining() < 8)
        return std::nullopt;
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | data_[offset_ + static_cast<size_t>(i)];
    offset_ += 8;
    return value;
}

std::optional<std::string> ForwardReader::string()
{
    const size_t start = offset_;
    auto length = u32();
    if (!length || remaining() < *length) {
        offset_ = start;
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(data_ + offset_), *length);
    offset_ += *length;
    return text;
}

std::optional<std::vector<uint8_t>> ForwardReader::bytes(size_t length)
{
    if (remaining() < length)
        return std::nullopt;
    std::vector<uint8_t> out(data_ + offset_, data_ + offset_ + length);
    offset_ += length;
    return out;
}

bool ForwardReader::skip(size_t length)
{
    if (remaining() < length)
        return false;
    offset_ += length;
    return true;
}

}  // namespace orv
