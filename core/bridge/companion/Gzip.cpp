#include "core/bridge/companion/Gzip.h"

#include <algorithm>
#include <climits>

#include <zlib.h>

namespace orv {

namespace {

// zlib counts in 32-bit units; larger buffers are fed in slices.
constexpr size_t kSlice = UINT_MAX / 2;

// The input and the output buffer, fed to zlib a slice at a time; the counts
// move on by what each step used and wrote.
struct Slices {
    const uint8_t* data;
    size_t size;
    std::vector<uint8_t>& output;
    size_t consumed = 0;
    size_t written = 0;

    // Points the stream at the next slices and runs one zlib step.
    template <class Step>
    int step(z_stream& stream, Step run)
    {
        stream.next_in = const_cast<Bytef*>(data + consumed);
        stream.avail_in = static_cast<uInt>(std::min(size - consumed, kSlice));
        stream.next_out = output.data() + written;
        stream.avail_out = static_cast<uInt>(std::min(output.size() - written, kSlice));
        const uInt inBefore = stream.avail_in;
        const uInt outBefore = stream.avail_out;
        const int status = run(stream, consumed + inBefore == size);
        consumed += inBefore - stream.avail_in;
        written += outBefore - stream.avail_out;
        return status;
    }
};

}  // namespace

std::optional<std::vector<uint8_t>> gzipInflate(const uint8_t* data, size_t size, size_t limit)
{
    if (size == 0)
        return std::vector<uint8_t>();

    z_stream stream{};
    // 15-bit window plus 32: accept a gzip or a zlib header.
    if (inflateInit2(&stream, 15 + 32) != Z_OK)
        return std::nullopt;

    std::vector<uint8_t> output(std::min(size + size / 2, limit + 1));
    Slices slices{data, size, output};
    int status = Z_OK;
    while (status == Z_OK) {
        if (slices.written > limit)
            break;
        if (slices.written == output.size())  // doubling keeps a large reply linear
            output.resize(std::min(output.size() * 2, limit + 1));
        status = slices.step(stream, [](z_stream& s, bool) { return inflate(&s, Z_SYNC_FLUSH); });
        // Input used up before the end of the stream: it was cut short.
        if (status == Z_OK && slices.consumed == size && stream.avail_out != 0)
            status = Z_BUF_ERROR;
    }
    const bool complete = status == Z_STREAM_END && slices.written <= limit;
    if (inflateEnd(&stream) != Z_OK || !complete)
        return std::nullopt;
    output.resize(slices.written);
    return output;
}

std::optional<std::vector<uint8_t>> gzipInflate(const std::vector<uint8_t>& data, size_t limit)
{
    return gzipInflate(data.data(), data.size(), limit);
}

std::optional<std::vector<uint8_t>> gzipDeflate(const uint8_t* data, size_t size)
{
    if (size == 0)
        return std::vector<uint8_t>();

    z_stream stream{};
    // 15-bit window plus 16: write a gzip wrapper.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;

    std::vector<uint8_t> output(std::max<size_t>(16384, deflateBound(&stream, static_cast<uLong>(std::min(size, kSlice)))));
    Slices slices{data, size, output};
    int status = Z_OK;
    while (status == Z_OK || status == Z_BUF_ERROR) {
        if (slices.written == output.size())
            output.resize(output.size() + std::max<size_t>(16384, output.size() / 2));
        status = slices.step(stream, [](z_stream& s, bool last) { return deflate(&s, last ? Z_FINISH : Z_NO_FLUSH); });
    }
    const bool complete = status == Z_STREAM_END;
    deflateEnd(&stream);
    if (!complete)
        return std::nullopt;
    output.resize(slices.written);
    return output;
}

std::optional<std::vector<uint8_t>> gzipDeflate(const std::vector<uint8_t>& data)
{
    return gzipDeflate(data.data(), data.size());
}

}  // namespace orv
