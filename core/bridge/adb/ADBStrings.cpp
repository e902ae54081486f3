#include "core/bridge/adb/ADBStrings.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/bridge/model/MediaTypes.h"
#include "core/bridge/adb/OVADBConstants.h"
#include "core/bridge/adb/PhonePath.h"

namespace orv {

std::string adb_replacedStringForShell(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\\' || c == '$' || c == '`' || c == '"')
            result += '\\';
        result += c;
    }
    return result;
}

std::string adb_quotedForShell(std::string_view text)
{
    return "\"" + adb_replacedStringForShell(text) + "\"";
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

int64_t integerValue(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t value = 0;
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int64_t>::max());
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const uint64_t digit = uint64_t(text[i] - '0');
        // Checked before multiplying: a 20-digit number would wrap the
        // unsigned value past the test and read as a small one.
        if (value > (limit - digit) / 10) {
            value = limit;
            break;
        }
        value = value * 10 + digit;
    }
    if (negative)
        return value == limit ? std::numeric_limits<int64_t>::min() : -int64_t(value);
    return int64_t(value);
}

uint64_t unsignedIntegerValue(std::string_view text)
{
    return static_cast<uint64_t>(integerValue(text));
}

double doubleValue(std::string_view text)
{
    std::string copy(text);
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() ? 0.0 : value;
}

int64_t saturatedInteger(double number)
{
    if (std::isnan(number))
        return 0;
    // 2^63 is exact as a double; anything at or past it does not fit.
    if (number >= 9223372036854775808.0)
        return std::numeric_limits<int64_t>::max();
    if (number < -9223372036854775808.0)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(number);
}

bool isMediaFile(std::string_view path)
{
    return mediaKindForPath(path) != MediaKind::None;
}

std::string relativePathToSDCard(std::string_view path)
{
    const auto& constants = OVADBConstants::sharedInstance();
    std::string result(path);
    if (auto rest = removingPathPrefix(path, constants.SDCardRoot(), true))
        result = *rest;
    else if (auto rest = removingPathPrefix(path, constants.mediaLibraryRoot(), true))
        result = *rest;
    if (!result.empty() && result.back() == '/')
        result.pop_back();
    return result;
}

namespace {

// The length of the well-formed UTF-8 sequence at `i`, or 0 when there is none.
size_t utf8SequenceAt(std::string_view bytes, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80)
        return 1;
    size_t length;
    uint32_t code;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((length == 2 && code < 0x80) || (length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
        (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

}  // namespace

bool isValidUTF8(std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = utf8SequenceAt(bytes, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string displayableText(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = utf8SequenceAt(bytes, i);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            ++i;
        } else {
            text.append(bytes.substr(i, length));
            i += length;
        }
    }
    return text;
}

}  // namespace orv
