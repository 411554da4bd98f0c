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

// The platform's system colour numbers.
enum class TSystemColor : int {
    ScrollBar,
    Background,
    ActiveCaption,
    InactiveCaption,
    Menu,
    Window,
    WindowFrame,
    MenuText,
    WindowText,
    CaptionText,
    ActiveBorder,
    InactiveBorder,
    AppWorkSpace,
    Highlight,
    HighlightText,
    BtnFace,
    BtnShadow,
    GrayText,
    BtnText,
    InactiveCaptionText,
    BtnHighlight,
    DarkShadow3D,
    Light3D,
    InfoText,
    InfoBk,
    Count
};

constexpr TColor SystemColor(TSystemColor n) {
    return SystemColor(int(n));
}

constexpr TColor clScrollBar = SystemColor(TSystemColor::ScrollBar);
constexpr TColor clBackground = SystemColor(TSystemColor::Background);
constexpr TColor clActiveCaption = SystemColor(TSystemColor::ActiveCaption);
constexpr TColor clInactiveCaption = SystemColor(TSystemColor::InactiveCaption);
constexpr TColor clMenu = SystemColor(TSystemColor::Menu);
constexpr TColor clWindow = SystemColor(TSystemColor::Window);
constexpr TColor clWindowFrame = SystemColor(TSystemColor::WindowFrame);
constexpr TColor clMenuText = SystemColor(TSystemColor::MenuText);
constexpr TColor clWindowText = SystemColor(TSystemColor::WindowText);
constexpr TColor clCaptionText = SystemColor(TSystemColor::CaptionText);
constexpr TColor clActiveBorder = SystemColor(TSystemColor::ActiveBorder);
constexpr TColor clInactiveBorder = SystemColor(TSystemColor::InactiveBorder);
constexpr TColor clAppWorkSpace = SystemColor(TSystemColor::AppWorkSpace);
constexpr TColor clHighlight = SystemColor(TSystemColor::Highlight);
constexpr TColor clHighlightText = SystemColor(TSystemColor::HighlightText);
constexpr TColor clBtnFace = SystemColor(TSystemColor::BtnFace);
constexpr TColor clBtnShadow = SystemColor(TSystemColor::BtnShadow);
constexpr TColor clGrayText = SystemColor(TSystemColor::GrayText);
constexpr TColor clBtnText = SystemColor(TSystemColor::BtnText);
constexpr TColor clInactiveCaptionText = SystemColor(TSystemColor::InactiveCaptionText);
constexpr TColor clBtnHighlight = SystemColor(TSystemColor::BtnHighlight);
constexpr TColor cl3DDkShadow = SystemColor(TSystemColor::DarkShadow3D);
constexpr TColor cl3DLight = SystemColor(TSystemColor::Light3D);
constexpr TColor clInfoText = SystemColor(TSystemColor::InfoText);
constexpr TColor clInfoBk = SystemColor(TSystemColor::InfoBk);
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
