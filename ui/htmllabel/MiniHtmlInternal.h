#pragma once
// Attribute value readers of the mini-HTML engine, exposed for their tests.

#include "ui/htmllabel/HtmlColor.h"

#include <QString>

namespace htmllabel::internal {

// Colour attribute value: "#RRGGBB" or a colour name; unknown names give black.
TColor HtmlColorValue(const QString& value);

// Number rule of tag values: leading blanks, optional sign, decimal digits or hexadecimal after
// "$", "x", "X", "0x", "0X". An invalid or overflowing value gives the digits read before the
// first invalid character (0 and no sign when there are none); `valid` tells which case it was.
int HtmlStrToInt(const QString& s, bool* valid = nullptr);

} // namespace htmllabel::internal
