#pragma once
// Drawing surface on a QPainter: fonts and text extents through Qt, pictures through QImage,
// resolution from the paint device.

#include "ui/htmllabel/HtmlSurface.h"

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <memory>

namespace htmllabel {

class TPainterSurface : public IHtmlSurface {
public:
    // The painter must be active on a device for the surface's whole life.
    explicit TPainterSurface(QPainter& painter);

    THtmlFont Font() const override { return FFont; }
    void SetFont(const THtmlFont& font) override;
    bool SupportsRotation() const override { return true; }
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
    void Rectangle(const THtmlRect& r) override;
    void FillRect(const THtmlRect& r) override;
    void Ellipse(const THtmlRect& r) override;
    void MoveTo(int x, int y) override { FCurrent = QPoint(x, y); }
    void LineTo(int x, int y) override;
    void FocusRect(const THtmlRect& r) override;
    void SetTransparentTextBackground() override { FPainter.setBackgroundMode(Qt::TransparentMode); }
    void DrawPicture(const TMarkupPicture& picture, int x, int y) override;
    void StretchDrawPicture(const TMarkupPicture& picture, const THtmlRect& r) override;
    void SetClip(const THtmlRect& r) override;
    void RemoveClip() override;
    THtmlRect ClipBox() const override;
    void DrawImageListItem(const THtmlImageList& list, int n, int x, int y) override;
    void StretchDrawImageListItem(const THtmlImageList& list, int n, const THtmlRect& r) override;
    int DpiX() const override;
    int DpiY() const override;

    // Qt font for a font state on this device.
    QFont ToQFont(const THtmlFont& f) const;

private:
    struct TCachedFont {
        QFont Font;
        QFontMetrics Metrics;
    };
    const QFontMetrics& Metrics() { return FCurrent_->Metrics; }
    void UsePen();
    void UseBrush();

    QPainter& FPainter;
    THtmlFont FFont;
    // Qt fonts by their drawing attributes (colour and orientation do not matter here).
    QHash<QString, std::shared_ptr<TCachedFont>> FFonts;
    std::shared_ptr<TCachedFont> FCurrent_;
    TColor FBrush = clNone;
    TColor FPen = 0;
    int FPenWidth = 1;
    QPoint FCurrent;
    // The painter's clip before SetClip.
    bool FSavedClipping = false;
    QRegion FSavedClip;
};

} // namespace htmllabel
