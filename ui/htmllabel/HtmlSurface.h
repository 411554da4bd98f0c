#pragma once
// The drawing surface the mini-HTML engine lays out and draws on, with the font, rectangle and
// image-list value types it exchanges with it. Implementations: a QPainter surface and a
// deterministic recording surface for layout tests.

#include "ui/htmllabel/HtmlColor.h"

#include <QImage>
#include <QList>
#include <QString>

namespace htmllabel {

class TMarkupPicture;

// Rectangle with exclusive right and bottom edges.
struct THtmlRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    bool operator==(const THtmlRect&) const = default;
};

struct THtmlFont {
    QString Name = QStringLiteral("Arial");
    int Size = 9; // points
    TColor Color = 0;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    int Orientation = 0; // tenths of a degree, counter-clockwise
    int Charset = 238;   // Central European; kept for completeness, text is Unicode throughout
    bool operator==(const THtmlFont&) const = default;
};

// Single-line text drawing options.
struct TTextFormat {
    bool Prefix = true;       // "&x" underlines x, "&&" shows one ampersand
    bool EndEllipsis = false; // text wider than its rectangle ends with "..."
    bool RightToLeft = false;
};

// Images of equal size addressed by number ("IDX:" sources).
class THtmlImageList {
public:
    THtmlImageList(int width, int height) : FWidth(width), FHeight(height) {}
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return int(FImages.size()); }
    void Add(const QImage& image) { FImages.append(image); }
    // A copy of image n; a null image when n is out of range.
    QImage Image(int n) const { return n >= 0 && n < Count() ? FImages[n] : QImage(); }

private:
    int FWidth;
    int FHeight;
    QList<QImage> FImages;
};

class IHtmlSurface {
public:
    virtual ~IHtmlSurface() = default;

    virtual THtmlFont Font() const = 0;
    virtual void SetFont(const THtmlFont& font) = 0;
    // Whether text drawn with a non-zero font orientation is rotated.
    virtual bool SupportsRotation() const = 0;

    virtual int TextHeight(const QString& s) = 0;
    virtual int TextWidth(const QString& s) = 0;
    // Sets r.Right and r.Bottom to the extent of the single-line text placed at r's top-left.
    virtual void MeasureText(const QString& s, THtmlRect& r, const TTextFormat& format) = 0;
    // Draws single-line text left- (or for right-to-left right-) and bottom-aligned in r, tabs
    // expanded.
    virtual void DrawText(const QString& s, const THtmlRect& r, const TTextFormat& format) = 0;
    // How many leading characters of s fit into width.
    virtual int FitCount(const QString& s, int width) = 0;

    virtual TColor BrushColor() const = 0;
    // The no-colour value makes the brush clear.
    virtual void SetBrushColor(TColor c) = 0;
    virtual TColor PenColor() const = 0;
    virtual int PenWidth() const = 0;
    virtual void SetPen(TColor c, int width) = 0;

    virtual void Rectangle(const THtmlRect& r) = 0;
    // Filled with the brush, no outline.
    virtual void FillRect(const THtmlRect& r) = 0;
    virtual void Ellipse(const THtmlRect& r) = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    virtual void FocusRect(const THtmlRect& r) = 0;
    virtual void SetTransparentTextBackground() = 0;

    virtual void DrawPicture(const TMarkupPicture& picture, int x, int y) = 0;
    virtual void StretchDrawPicture(const TMarkupPicture& picture, const THtmlRect& r) = 0;
    // Clips to r within the clip the surface had; RemoveClip gives that clip back.
    virtual void SetClip(const THtmlRect& r) = 0;
    virtual void RemoveClip() = 0;
    // Bounds of the area drawing can reach (the clip, or the whole device), in drawing coordinates.
    virtual THtmlRect ClipBox() const = 0;
    virtual void DrawImageListItem(const THtmlImageList& list, int n, int x, int y) = 0;
    // Copies image n into a bitmap and draws that stretched into r.
    virtual void StretchDrawImageListItem(const THtmlImageList& list, int n, const THtmlRect& r) = 0;

    virtual int DpiX() const = 0;
    virtual int DpiY() const = 0;
};

} // namespace htmllabel
