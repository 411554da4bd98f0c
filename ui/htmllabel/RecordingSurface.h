#pragma once
// A deterministic drawing surface: fixed font metrics and a record of every drawing call, so that
// layouts can be checked to the pixel without a display.

#include "ui/htmllabel/HtmlSurface.h"

#include <QList>
#include <QString>

namespace htmllabel {

struct TSurfaceCall {
    // text, fill, rect, ellipse, moveto, lineto, focus, picture, stretch, clip, unclip, imagelist,
    // stretchimagelist
    QString Op;
    QString Text;
    THtmlRect R;
    THtmlFont Font;
    TColor Brush = clNone;
    TColor Pen = 0;
    int PenWidth = 1;
    int Index = -1;
    bool Prefix = true;
};

// Metrics: the pixel height of a font is its size × DPI / 72 (a negative size is a pixel height),
// kept within 1..2000; every text is that plus 3 high; every character is half the pixel height
// wide, one more when bold, a tab eight characters. Prefix processing removes single ampersands.
class TRecordingSurface : public IHtmlSurface {
public:
    TRecordingSurface();

    QList<TSurfaceCall> Calls;
    QList<TSurfaceCall> CallsOf(const QString& op) const;
    // The drawn texts in order (shadows included), for quick checks.
    QStringList Texts() const;
    bool Rotation = false;
    int Dpi = 96;
    // What ClipBox reports.
    THtmlRect Clip{-(1 << 30), -(1 << 30), 1 << 30, 1 << 30};

    int PixelHeight(const THtmlFont& f) const;
    int CharWidth(const THtmlFont& f) const;
    static QString StripPrefix(const QString& s);

    THtmlFont Font() const override { return FFont; }
    void SetFont(const THtmlFont& font) override { FFont = font; }
    bool SupportsRotation() const override { return Rotation; }
    int TextHeight(const QString& s) override;
    int TextWidth(const QString& s) override;
    void MeasureText(const QString& s, THtmlRect& r, const TTextFormat& format) override;
    void DrawText(const QString& s, const THtmlRect& r, const TTextFormat& format) override;
    int FitCount(const QString& s, int width) override;
    TColor BrushColor() const override { return FBrush; }
    void SetBrushColor(TColor c) override { FBrush = c; }
    TColor PenColor() const override { return FPen; }
    int PenWidth() const override { return FPenWidth; }
    void SetPen(TColor c, int width) override {
        FPen = c;
        FPenWidth = width;
    }
    void Rectangle(const THtmlRect& r) override { Record(QStringLiteral("rect"), r); }
    void FillRect(const THtmlRect& r) override { Record(QStringLiteral("fill"), r); }
    void Ellipse(const THtmlRect& r) override { Record(QStringLiteral("ellipse"), r); }
    void MoveTo(int x, int y) override { Record(QStringLiteral("moveto"), {x, y, x, y}); }
    void LineTo(int x, int y) override { Record(QStringLiteral("lineto"), {x, y, x, y}); }
    void FocusRect(const THtmlRect& r) override { Record(QStringLiteral("focus"), r); }
    void SetTransparentTextBackground() override {}
    void DrawPicture(const TMarkupPicture& picture, int x, int y) override;
    void StretchDrawPicture(const TMarkupPicture& picture, const THtmlRect& r) override;
    void SetClip(const THtmlRect& r) override { Record(QStringLiteral("clip"), r); }
    void RemoveClip() override { Record(QStringLiteral("unclip"), {}); }
    THtmlRect ClipBox() const override { return Clip; }
    void DrawImageListItem(const THtmlImageList& list, int n, int x, int y) override;
    void StretchDrawImageListItem(const THtmlImageList& list, int n, const THtmlRect& r) override;
    int DpiX() const override { return Dpi; }
    int DpiY() const override { return Dpi; }

private:
    TSurfaceCall& Record(const QString& op, const THtmlRect& r);
    int Width(const QString& s, const THtmlFont& f) const;

    THtmlFont FFont;
    TColor FBrush = 0xFFFFFF;
    TColor FPen = 0;
    int FPenWidth = 1;
};

} // namespace htmllabel
