#pragma once
// The 32-bit colour value of the rich-text label: 0x00BBGGRR for RGB, 0xFF000000 + n for system
// colour n, and one value meaning "no colour".

#include <QColor>
#include <cstdint>

namespace htmllabel {

using TColor = std::uint32_t;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clSystemBase = 0xFF000000;

constexpr TColor SystemColor(int n) {
    return clSystemBase + TColor(n);
}
constexpr bool IsSystemColor(TColor c) {
    return (c & 0xFF000000) == clSystemBase;
}
constexpr TColor RGBColor(int r, int g, int b) {
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
constexpr int RedOf(TColor c) {
    return int(c & 0xFF);
}
constexpr int GreenOf(TColor c) {
    return int((c >> 8) & 0xFF);
}
constexpr int BlueOf(TColor c) {
    return int((c >> 16) & 0xFF);
}

// System colour n as RGB (a fixed classic palette; unknown numbers give black). Plain RGB passes
// through; the no-colour value is returned unchanged.
TColor ColorToRGB(TColor c);
// RGB or system colour as a QColor; the no-colour value gives a transparent colour.
QColor ToQColor(TColor c);

} // namespace htmllabel
