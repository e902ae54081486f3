#pragma once
// Colours written as hex strings ("5b5c62") and the colour arithmetic the
// drawing code derives its shades with. Every colour is taken as sRGB.

#include <QColor>
#include <QString>
#include <stdexcept>

namespace orv {

// A hex colour text whose length, without its "#" signs, is neither 3 nor 6.
class InvalidHexException : public std::invalid_argument {
public:
    InvalidHexException();
};

// "#5b5c62", "5b5c62" and "5bc" (each digit doubled). A pair that does not read
// as hex adds no component and the missing ones become 0. Throws
// InvalidHexException for a bad length.
QColor colorWithHex(const QString& hex);
// "#RRGGBB", upper case, each component × 255 truncated.
QString hexColor(const QColor& color);
// Brightness lowered by `amount` (raised for a negative one), kept within 0..1;
// hue, saturation and alpha kept.
QColor darkenBy(const QColor& color, double amount);
// Red, green and blue each replaced by 1 minus itself; alpha kept.
QColor invert(const QColor& color);
// True when `brightness` is greater than the colour's brightness.
bool colorIsDarkThan(const QColor& color, double brightness);

}  // namespace orv
