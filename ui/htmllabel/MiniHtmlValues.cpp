// Attribute values of the markup: colours and numbers.

#include "ui/htmllabel/MiniHtmlInternal.h"

#include <cstdint>

namespace htmllabel::internal {

namespace {

struct TColorName {
    const char* Name;
    TColor Value;
};

constexpr TColorName kColorNames[] = {
    {"clred", 0x0000FF},  {"clblack", 0x000000},  {"clblue", 0xFF0000},    {"clgreen", 0x008000},
    {"claqua", 0xFFFF00}, {"clyellow", 0x00FFFF}, {"clfuchsia", 0xFF00FF}, {"clwhite", 0xFFFFFF},
    {"cllime", 0x00FF00}, {"clsilver", 0xC0C0C0}, {"clgray", 0x808080},    {"clolive", 0x008080},
    {"clnavy", 0x800000}, {"clpurple", 0x800080}, {"clteal", 0x808000},    {"clmaroon", 0x000080},
};

// Consulted only when the first table gave no colour or black.
constexpr TColorName kSystemColorNames[] = {
    {"clbackground", clBackground},
    {"clactivecaption", clActiveCaption},
    {"clinactivecaption", clInactiveCaption},
    {"clmenu", clMenu},
    {"clwindow", clWindow},
    {"clwindowframe", clWindowFrame},
    {"clmenutext", clMenuText},
    {"clwindowtext", clWindowText},
    {"clcaptiontext", clCaptionText},
    {"clactiveborder", clActiveBorder},
    {"clinactiveborder", clInactiveBorder},
    {"clappworkspace", clAppWorkSpace},
    {"clhighlight", clHighlight},
    {"clhighlighttext", clHighlightText},
    {"clbtnface", clBtnFace},
    {"clbtnshadow", clBtnShadow},
    {"clgraytext", clGrayText},
    {"clbtntext", clBtnText},
    {"clinactivecaptiontext", clInactiveCaptionText},
    {"clbtnhighlight", clBtnHighlight},
    {"cl3ddkshadow", cl3DDkShadow},
    {"cl3dlight", cl3DLight},
    {"clinfotext", clInfoText},
    {"clinfobk", clInfoBk},
};

// Two characters read as a hexadecimal pair, as the markup has always read them: letters count
// from "A" = 10 without further checks.
std::uint32_t HexPair(const QString& s) {
    if (s.size() < 2) return 0;
    auto digit = [](QChar c) -> std::uint32_t {
        const std::uint32_t u = c.unicode();
        return u >= 'A' ? u - 55 : u - 48;
    };
    return digit(s[0]) * 16 + digit(s[1]);
}

} // namespace

TColor HtmlColorValue(const QString& value) {
    if (value.startsWith(QLatin1Char('#'))) {
        const std::uint32_t r = HexPair(value.mid(1, 2));
        const std::uint32_t g = HexPair(value.mid(3, 2));
        const std::uint32_t b = HexPair(value.mid(5, 2));
        return r + g * 256u + b * 65536u;
    }
    const QString name = value.toLower();
    TColor result = 0;
    for (const auto& c : kColorNames) {
        if (name == QLatin1String(c.Name)) {
            result = c.Value;
            break;
        }
    }
    if (result == 0) {
        for (const auto& c : kSystemColorNames)
            if (name == QLatin1String(c.Name)) return c.Value;
    }
    return result;
}

int HtmlStrToInt(const QString& s, bool* valid) {
    const int n = int(s.size());
    int i = 0;
    while (i < n && s[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+'))) {
        negative = s[i] == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && (s[i] == QLatin1Char('$') || s[i] == QLatin1Char('x') || s[i] == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < n && s[i] == QLatin1Char('0') &&
               (s[i + 1] == QLatin1Char('x') || s[i + 1] == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    // Hexadecimal values cover the whole 32 bits and wrap; decimal ones stay in the signed range.
    const long long limit = hex ? 0xFFFFFFFFLL : (negative ? 2147483648LL : 2147483647LL);
    long long v = 0;
    int digits = 0;
    bool ok = true;
    for (; i < n; ++i) {
        const char16_t c = s[i].unicode();
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0) {
            ok = false;
            break;
        }
        const long long nv = v * (hex ? 16 : 10) + d;
        if (nv > limit) {
            ok = false;
            break;
        }
        v = nv;
        ++digits;
    }
    if (digits == 0) ok = false;
    if (valid) *valid = ok;
    if (digits == 0) return 0;
    if (hex) v = (long long)std::int32_t(std::uint32_t(v));
    return int(negative ? -v : v);
}

} // namespace htmllabel::internal
