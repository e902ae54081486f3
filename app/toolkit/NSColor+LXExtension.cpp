#include "app/toolkit/NSColor+LXExtension.h"

#include <algorithm>
#include <vector>

namespace orv {

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// A pair read as hex the way a scanner reads it: as many leading hex digits as
// there are; nothing when the first is not one.
int scanPair(QChar first, QChar second)
{
    const int high = hexDigit(first);
    if (high < 0)
        return -1;
    const int low = hexDigit(second);
    return low < 0 ? high : high * 16 + low;
}

}  // namespace

InvalidHexException::InvalidHexException()
    : std::invalid_argument("InvalidHexException: Hex color not three or six characters excluding hash")
{
}

QColor colorWithHex(const QString& hex)
{
    QString digits = hex;
    digits.remove(QLatin1Char('#'));
    if (digits.size() != 3 && digits.size() != 6)
        throw InvalidHexException();
    const bool doubled = digits.size() == 3;
    const qsizetype end = digits.indexOf(QChar(0));
    if (end >= 0)
        digits.truncate(end);
    QString spelled;
    for (QChar c : digits) {
        spelled += c;
        if (doubled)
            spelled += c;
    }
    std::vector<float> components;
    for (qsizetype i = 0; i + 1 < spelled.size(); i += 2) {
        const int value = scanPair(spelled[i], spelled[i + 1]);
        if (value >= 0)
            components.push_back(float(value) / 255.0f);
    }
    components.resize(3, 0.0f);
    return QColor::fromRgbF(components[0], components[1], components[2], 1.0f);
}

QString hexColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    auto byte = [](float component) { return std::clamp(int(component * 255.0f), 0, 255); };
    return QStringLiteral("#%1%2%3")
        .arg(byte(rgb.redF()), 2, 16, QLatin1Char('0'))
        .arg(byte(rgb.greenF()), 2, 16, QLatin1Char('0'))
        .arg(byte(rgb.blueF()), 2, 16, QLatin1Char('0'))
        .toUpper();
}

QColor darkenBy(const QColor& color, double amount)
{
    float hue = 0, saturation = 0, value = 0, alpha = 0;
    color.toHsv().getHsvF(&hue, &saturation, &value, &alpha);
    // Qt refuses components outside 0..1 (and -1 is its "no hue" for greys).
    const float darker = std::clamp(float(value - amount), 0.0f, 1.0f);
    return QColor::fromHsvF(std::max(hue, 0.0f), saturation, darker, alpha).toRgb();
}

QColor invert(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return QColor::fromRgbF(1.0f - rgb.redF(), 1.0f - rgb.greenF(), 1.0f - rgb.blueF(), rgb.alphaF());
}

bool colorIsDarkThan(const QColor& color, double brightness) { return brightness > color.toHsv().valueF(); }

}  // namespace orv
