#pragma once
// The companion service's frame: a 4-byte big-endian body length, then the
// body: command byte, type byte, version 0x01 and the payload. Integers in
// payloads are big-endian; a string is its 4-byte UTF-8 byte count and the
// bytes. Helpers to build request frames and to read reply bodies.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

using ForwardBytes = std::vector<uint8_t>;

inline constexpr uint8_t Version = 0x01;

inline constexpr uint8_t CMD_DeviceInfo = 0x03;
inline constexpr uint8_t CMD_Close = 0x04;
inline constexpr uint8_t CMD_Keep_Alive = 0x05;
inline constexpr uint8_t CMD_Heart_Beat = 0x06;
inline constexpr uint8_t CMD_New_Fetch = 0x07;
inline constexpr uint8_t CMD_Push = 0x09;
inline constexpr uint8_t CMD_File_Watch = 0x0a;
inline constexpr uint8_t CMD_DeleteMedia = 0x0b;
inline constexpr uint8_t CMD_UpdateMedia = 0x0c;

// Bytes of command, type and version that open every body.
inline constexpr size_t kFrameHeaderLength = 3;
// The largest body this side accepts; a whole media library in one gzip
// reply stays far below it, and a broken length cannot make us allocate more.
inline constexpr uint32_t kMaxFrameBodyLength = 64u * 1024u * 1024u;

// Socket tags: the request write, the 4-byte length read, the body read, and
// the close message's write and acknowledgement read.
inline constexpr int64_t kRequestTag = 0;
inline constexpr int64_t kLengthTag = 1;
inline constexpr int64_t kBodyTag = 2;
inline constexpr int64_t kCloseTag = 1345;

// Builds one frame: the length prefix is filled in by frame().
class ForwardFrameBuilder {
public:
    ForwardFrameBuilder(uint8_t command, uint8_t type);
    ForwardFrameBuilder& u32(uint32_t value);
    ForwardFrameBuilder& u64(uint64_t value);
    ForwardFrameBuilder& string(std::string_view text);
    ForwardBytes frame() &&;

private:
    ForwardBytes bytes_;
};

// A frame of only the three header bytes.
ForwardBytes forwardFrame(uint8_t command, uint8_t type);

// The big-endian value of the first 4 bytes; 0 when there are fewer.
uint32_t parseResponseLength(const uint8_t* data, size_t size);

// A body length this side reads: 3 to kMaxFrameBodyLength bytes (0 is told
// apart by the callers).
inline bool isAcceptableBodyLength(uint32_t length)
{
    return length >= kFrameHeaderLength && length <= kMaxFrameBodyLength;
}

// Reads big-endian fields of a reply body; every read checks the bounds.
class ForwardReader {
public:
    ForwardReader(const uint8_t* data, size_t size, size_t offset = 0) : data_(data), size_(size), offset_(offset) {}
    std::optional<uint8_t> u8();
    std::optional<uint32_t> u32();
    std::optional<int32_t> i32() { auto v = u32(); return v ? std::optional<int32_t>(static_cast<int32_t>(*v)) : std::nullopt; }
    std::optional<uint64_t> u64();
    std::optional<std::string> string();
    // `length` bytes, or nullopt when fewer remain.
    std::optional<std::vector<uint8_t>> bytes(size_t length);
    bool skip(size_t length);
    size_t offset() const { return offset_; }
    size_t remaining() const { return size_ - offset_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_;
};

}  // namespace orv
