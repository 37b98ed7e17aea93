#pragma once

#include <QColor>

// Colours as the settings files keep them: red + 256 * green + 65536 * blue.
namespace Colour {

inline int toInt(const QColor& colour) {
    return colour.red() + 256 * colour.green() + 65536 * colour.blue();
}

inline QColor fromInt(int value) {
    return QColor(value & 0xff, (value >> 8) & 0xff, (value >> 16) & 0xff);
}

} // namespace Colour
