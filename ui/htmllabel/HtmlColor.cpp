#include "ui/htmllabel/HtmlColor.h"

#include <array>

namespace htmllabel {

namespace {
// Classic desktop palette, indexed by system colour number.
constexpr std::array<TColor, std::size_t(TSystemColor::Count)> kSystemColors = {
    RGBColor(0xC8, 0xC8, 0xC8), // 0 scroll bar
    RGBColor(0x00, 0x00, 0x00), // 1 background
    RGBColor(0x99, 0xB4, 0xD1), // 2 active caption
    RGBColor(0xBF, 0xCD, 0xDB), // 3 inactive caption
    RGBColor(0xF0, 0xF0, 0xF0), // 4 menu
    RGBColor(0xFF, 0xFF, 0xFF), // 5 window
    RGBColor(0x64, 0x64, 0x64), // 6 window frame
    RGBColor(0x00, 0x00, 0x00), // 7 menu text
    RGBColor(0x00, 0x00, 0x00), // 8 window text
    RGBColor(0x00, 0x00, 0x00), // 9 caption text
    RGBColor(0xB4, 0xB4, 0xB4), // 10 active border
    RGBColor(0xF4, 0xF7, 0xFC), // 11 inactive border
    RGBColor(0xAB, 0xAB, 0xAB), // 12 application workspace
    RGBColor(0x00, 0x78, 0xD7), // 13 highlight
    RGBColor(0xFF, 0xFF, 0xFF), // 14 highlight text
    RGBColor(0xF0, 0xF0, 0xF0), // 15 button face
    RGBColor(0xA0, 0xA0, 0xA0), // 16 button shadow
    RGBColor(0x6D, 0x6D, 0x6D), // 17 grey text
    RGBColor(0x00, 0x00, 0x00), // 18 button text
    RGBColor(0x00, 0x00, 0x00), // 19 inactive caption text
    RGBColor(0xFF, 0xFF, 0xFF), // 20 button highlight
    RGBColor(0x69, 0x69, 0x69), // 21 3-D dark shadow
    RGBColor(0xE3, 0xE3, 0xE3), // 22 3-D light
    RGBColor(0x00, 0x00, 0x00), // 23 info text
    RGBColor(0xFF, 0xFF, 0xE1), // 24 info background
};
} // namespace

TColor ColorToRGB(TColor c) {
    if (c == clNone) return c;
    if (IsSystemColor(c)) {
        const TColor n = c & 0x00FFFFFF;
        return n < kSystemColors.size() ? kSystemColors[n] : 0;
    }
    return c & 0x00FFFFFF;
}

QColor ToQColor(TColor c) {
    if (c == clNone) return QColor(Qt::transparent);
    const TColor rgb = ColorToRGB(c);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

} // namespace htmllabel
