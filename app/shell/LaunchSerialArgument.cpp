#include "app/shell/LaunchSerialArgument.h"

namespace orv {

namespace {

// The leading decimal integer of the text after optional blanks and sign;
// 0 when there is none, saturated at the ends of the range.
int64_t leadingInteger(const QString& text)
{
    qsizetype at = 0;
    while (at < text.size() && text[at].isSpace())
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+')) {
        negative = text[at] == u'-';
        ++at;
    }
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
        const uint64_t digit = static_cast<uint64_t>(text[at].unicode() - u'0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == uint64_t(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    return static_cast<int64_t>(magnitude);
}

}  // namespace

std::optional<LaunchSerialArgument> LaunchSerialArgument::parse(const QStringList& arguments)
{
    const qsizetype flag = arguments.indexOf(QStringLiteral("-s"));
    if (flag < 0 || flag + 1 >= arguments.size())
        return std::nullopt;
    const QStringList parts = arguments[flag + 1].split(u':');
    if (parts.size() != 3)
        return std::nullopt;
    LaunchSerialArgument result;
    result.serialNumber = parts[0].toStdString();
    result.locationId = leadingInteger(parts[1]);
    result.addressId = static_cast<uint16_t>(leadingInteger(parts[2]) & 0xFFFF);
    return result;
}

}  // namespace orv
