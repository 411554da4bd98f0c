#include "ui/htmllabel/MarkupLabel.h"

#include "ui/htmllabel/PainterSurface.h"
#include "ui/htmllabel/PictureContainer.h"

#include <QDesktopServices>
#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QToolTip>
#include <QUrl>

namespace htmllabel {

namespace {

constexpr int kAutoSizeReach = 65535;
constexpr int kMeasureHeight = 4096;

void Shrink(THtmlRect& r, int by) {
    r.Left += by;
    r.Top += by;
    r.Right -= by;
    r.Bottom -= by;
}

// A bevel of `width` pixels on r's edges: light on top and left, dark on bottom and right,
// the other way round when lowered.
void DrawBevel(IHtmlSurface& s, const THtmlRect& r, TBevelCut cut, int width) {
    const TColor light = SystemColor(TSystemColor::BtnHighlight);
    const TColor dark = SystemColor(TSystemColor::BtnShadow);
    const TColor topLeft = cut == TBevelCut::bvLowered ? dark : light;
    const TColor bottomRight = cut == TBevelCut::bvLowered ? light : dark;
    if (cut == TBevelCut::bvSpace) return;
    const TColor brush = s.BrushColor();
    for (int i = 0; i < width; ++i) {
        s.SetBrushColor(topLeft);
        s.FillRect({r.Left + i, r.Top + i, r.Right - i, r.Top + i + 1});
        s.FillRect({r.Left + i, r.Top + i, r.Left + i + 1, r.Bottom - i});
        s.SetBrushColor(bottomRight);
        s.FillRect({r.Left + i, r.Bottom - i - 1, r.Right - i, r.Bottom - i});
        s.FillRect({r.Right - i - 1, r.Top + i, r.Right - i, r.Bottom - i});
    }
    s.SetBrushColor(brush);
}

bool Dockable(TAlign a, TAlign x, TAlign y) {
    return a == TAlign::alNone || a == x || a == y;
}

} // namespace

TMarkupLabel::TMarkupLabel(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    resize(120, height());
}

TMarkupLabel::~TMarkupLabel() = default;

QString TMarkupLabel::Version() {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(VersionNumber >> 24)
        .arg((VersionNumber >> 16) & 0xFF)
        .arg((VersionNumber >> 8) & 0xFF)
        .arg(VersionNumber & 0xFF);
}

void TMarkupLabel::SetHTMLText(const QString& text) {
    QString line = text;
    line.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    FLines = line.isEmpty() ? QStringList() : QStringList{line};
    TextChanged();
}

void TMarkupLabel::AddLine(const QString& line) {
    FLines.append(line);
    TextChanged();
}

void TMarkupLabel::SetLine(int index, const QString& line) {
    FLines[index] = line;
    TextChanged();
}

void TMarkupLabel::ClearLines() {
    FLines.clear();
    TextChanged();
}

void TMarkupLabel::TextChanged() {
    FCache.ClearPictures();
    update();
}

QString TMarkupLabel::Text() const {
    return HtmlToPlainText(JoinedText());
}

void TMarkupLabel::SetPictureContainer(TPictureContainer* v) {
    if (FPictureContainer == v) return;
    FPictureContainer = v;
    update();
}

void TMarkupLabel::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0) update();
}

THtmlFont TMarkupLabel::BaseFont() const {
    const QFont& q = font();
    THtmlFont f;
    f.Name = q.family();
    f.Size = q.pixelSize() > 0 ? -q.pixelSize() : qRound(q.pointSizeF());
    const QColor c = palette().color(QPalette::WindowText);
    f.Color = RGBColor(c.red(), c.green(), c.blue());
    f.Bold = q.bold();
    f.Italic = q.italic();
    f.Underline = q.underline();
    f.StrikeOut = q.strikeOut();
    return f;
}

TMiniHtmlOptions TMarkupLabel::Options(QPoint hit) const {
    TMiniHtmlOptions o;
    o.ImageList = FImages;
    o.HitX = hit.x();
    o.HitY = hit.y();
    o.FocusLink = -1;
    o.HoverLink = FHoverLink;
    o.Hover = FHover;
    o.HoverColor = FHoverColor;
    o.HoverFontColor = FHoverFontColor;
    o.LinkColor = FURLColor;
    o.ShadowColor = FShadowColor;
    o.ShadowOffset = FShadowOffset;
    o.PictureCache = const_cast<TMarkupPictureCache*>(&FCache);
    o.PictureContainer = FPictureContainer.data();
    o.LineSpacing = FLineSpacing;
    o.WordWrap = !FEllipsis;
    return o;
}

void TMarkupLabel::paintEvent(QPaintEvent*) {
    if (FUpdateCount > 0 || width() <= 0 || height() <= 0) return;
    if (FTransparent) {
        QPainter painter(this);
        Render(painter);
        return;
    }
    // Painted off-screen first, then copied, so the control never shows half a frame.
    QImage bitmap(size() * devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    bitmap.setDevicePixelRatio(devicePixelRatio());
    {
        QPainter painter(&bitmap);
        Render(painter);
    }
    QPainter(this).drawImage(0, 0, bitmap);
}

void TMarkupLabel::Doit() {
    if (FUpdateCount > 0 || width() <= 0 || height() <= 0) return;
    QImage scratch(size(), QImage::Format_ARGB32_Premultiplied);
    scratch.fill(Qt::transparent);
    {
        QPainter painter(&scratch);
        Render(painter);
    }
    update();
}

void TMarkupLabel::Render(QPainter& painter) {
    TPainterSurface s(painter);
    const THtmlRect client{0, 0, width(), height()};
    const bool fullGradient =
        FGradientType == TGradientType::gtFullHorizontal || FGradientType == TGradientType::gtFullVertical;
    if (!FTransparent) {
        if (FColorTo != clNone && fullGradient) {
            DrawGradientBands(s, FColor, FColorTo, client, client.Width() / 4,
                              FGradientType == TGradientType::gtFullHorizontal);
        } else {
            s.SetBrushColor(FColor);
            s.FillRect(client);
        }
    }
    if (!fullGradient) {
        int top = 0;
        if (FGradientType == TGradientType::gtBottomLine) top = client.Bottom - FLineWidth;
        if (FGradientType == TGradientType::gtCenterLine) top = (client.Height() - FLineWidth) / 2;
        DrawGradientBands(s, FColor, FColorTo == clNone ? FColor : FColorTo,
                          {0, top, client.Right, top + FLineWidth}, client.Width() / 4, true);
    }

    s.SetFont(BaseFont());
    THtmlRect r = client;
    const bool bevel = FBevelOuter != TBevelCut::bvNone || FBevelInner != TBevelCut::bvNone;
    if (FBevelOuter != TBevelCut::bvNone) {
        DrawBevel(s, r, FBevelOuter, FBevelWidth);
        Shrink(r, FBevelWidth);
    }
    if (FBorderWidth > 0) {
        s.SetBrushColor(FColor);
        s.FillRect({r.Left, r.Top, r.Right, r.Top + FBorderWidth});
        s.FillRect({r.Left, r.Bottom - FBorderWidth, r.Right, r.Bottom});
        s.FillRect({r.Left, r.Top, r.Left + FBorderWidth, r.Bottom});
        s.FillRect({r.Right - FBorderWidth, r.Top, r.Right, r.Bottom});
        Shrink(r, FBorderWidth);
    }
    if (FBevelInner != TBevelCut::bvNone) {
        DrawBevel(s, r, FBevelInner, FBevelWidth);
        Shrink(r, FBevelWidth);
    }
    const bool borderLine =
        FBorderStyle == TBorderStyle::bsSingle && FBorderWidth != 0 && FBorderColor != clNone;
    if (borderLine) {
        s.SetPen(FBorderColor, FBorderWidth);
        s.SetBrushColor(clNone);
        s.Rectangle(r);
    }
    if (bevel) Shrink(r, FBevelWidth);
    if (borderLine) Shrink(r, (FBorderWidth + 1) / 2);

    const QString text = JoinedText();
    s.SetBrushColor(FColor);
    const bool horizontal =
        FAutoSizeType != TAutoSizeType::asVertical && Dockable(FAlign, TAlign::alLeft, TAlign::alRight);
    const bool vertical =
        FAutoSizeType != TAutoSizeType::asHorizontal && Dockable(FAlign, TAlign::alTop, TAlign::alBottom);
    if (FAutoSizing) {
        if (horizontal) r.Right += kAutoSizeReach;
        if (vertical) r.Bottom += kAutoSizeReach;
    }
    const QPoint hit = mapFromGlobal(QCursor::pos());
    TMiniHtmlOptions options = Options(hit);
    TMiniHtmlResult result;
    if (FAutoSizing || FVAlignment != TVAlignment::tvaTop) {
        options.HitOnlySecondPass = true;
        DrawMiniHtml(s, text, r, options, result);
        FTextWidth = result.Width;
        FTextHeight = result.Height;
    }
    if (FAutoSizing) {
        if (FVAlignment == TVAlignment::tvaCenter) r.Top += 3;
        if (FVAlignment == TVAlignment::tvaBottom) r.Top += 6;
        int w = FTextWidth, h = FTextHeight;
        if (FBorderStyle == TBorderStyle::bsSingle) {
            w += 2 * FBorderWidth;
            h += 2 * FBorderWidth;
        }
        if (vertical && height() != h + 6) resize(width(), h + 6);
        if (horizontal && width() != w + 6) resize(w + 6, height());
    }
    if (FVAlignment == TVAlignment::tvaCenter) r.Top += (height() - FTextHeight) / 2;
    if (FVAlignment == TVAlignment::tvaBottom) r.Top = height() - FTextHeight;
    options.HitOnlySecondPass = false;
    TMiniHtmlResult drawn;
    DrawMiniHtml(s, text, r, options, drawn);
}

QSize TMarkupLabel::GetSizeWithMaxWidth(int AMaxWidth) {
    QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    TPainterSurface s(painter);
    s.SetFont(BaseFont());
    TMiniHtmlOptions options = Options({-1, -1});
    options.HitOnlySecondPass = true;
    TMiniHtmlResult result;
    DrawMiniHtml(s, JoinedText(), {0, 0, AMaxWidth, kMeasureHeight}, options, result);
    return {result.Width, result.Height};
}

void TMarkupLabel::HTMLPrint(QPainter& painter, const THtmlRect& r) {
    TPainterSurface s(painter);
    s.SetFont(BaseFont());
    TMiniHtmlOptions o = Options({-1, -1});
    o.ShadowColor = 0x808080;
    o.HoverColor = clNone;
    o.HoverFontColor = clNone;
    o.HoverLink = -1;
    o.Hover = false;
    o.PrintScaling = true;
    o.ScaleFactor = 1.0;
    o.ShadowOffset = 1;
    TMiniHtmlResult result;
    DrawMiniHtml(s, JoinedText(), r, o, result);
}

QString TMarkupLabel::PrintDocument(const QString& pdfFileName) {
    // At screen resolution, so that the pixel sizes of the text keep their proportions on paper.
    const auto print = [this](QPagedPaintDevice& device) {
        QPainter painter(&device);
        const QRect page = device.pageLayout().paintRectPixels(device.logicalDpiX());
        HTMLPrint(painter, {0, 0, page.width(), page.height()});
    };
    if (!QPrinterInfo::defaultPrinter().isNull()) {
        QPrinter printer(QPrinter::ScreenResolution);
        print(printer);
        return {};
    }
    QPdfWriter pdf(pdfFileName);
    pdf.setResolution(96);
    print(pdf);
    return pdfFileName;
}

void TMarkupLabel::HilightText(const QString& HiText, bool DoCase) {
    SetHTMLText(WrapMatchesInTag(JoinedText(), HiText, QStringLiteral("hi"), DoCase));
}

void TMarkupLabel::MarkText(const QString& HiText, bool DoCase) {
    SetHTMLText(WrapMatchesInTag(JoinedText(), HiText, QStringLiteral("e"), DoCase));
}

void TMarkupLabel::UnHilightText() {
    SetHTMLText(RemoveTag(JoinedText(), QStringLiteral("hi")));
}

void TMarkupLabel::UnMarkText() {
    SetHTMLText(RemoveTag(JoinedText(), QStringLiteral("e")));
}

QString TMarkupLabel::AnchorAt(QPoint p, THtmlRect& rect) {
    rect = {-1, -1, -1, -1};
    THtmlRect r{0, 0, width(), height()};
    if (FBevelOuter != TBevelCut::bvNone || FBevelInner != TBevelCut::bvNone) Shrink(r, FBevelWidth);
    Shrink(r, FBorderWidth);
    QImage scratch(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    TPainterSurface s(painter);
    s.SetFont(BaseFont());
    TMiniHtmlOptions options = Options(p);
    options.HitOnlySecondPass = true;
    options.HoverLink = -1;
    const QString text = JoinedText();
    if (FVAlignment != TVAlignment::tvaTop) {
        TMiniHtmlOptions measure = Options({-1, -1});
        measure.HitOnlySecondPass = true;
        TMiniHtmlResult m;
        DrawMiniHtml(s, text, r, measure, m);
        if (FVAlignment == TVAlignment::tvaCenter) r.Top += (height() - m.Height) / 2;
        if (FVAlignment == TVAlignment::tvaBottom) r.Top = height() - m.Height;
    }
    TMiniHtmlResult result;
    if (DrawMiniHtml(s, text, r, options, result) && !result.Anchor.isEmpty()) {
        FHoverLink = result.MouseLink;
        rect = result.HoverRect;
        return result.Anchor;
    }
    FHoverLink = -1;
    return {};
}

void TMarkupLabel::RepaintRect(const THtmlRect& r, bool wholeWhenUnknown) {
    if (r.Left == -1) {
        if (wholeWhenUnknown) update();
        return;
    }
    update(QRect(r.Left, r.Top, r.Width(), r.Height()));
}

void TMarkupLabel::mouseMoveEvent(QMouseEvent* e) {
    QWidget::mouseMoveEvent(e);
    THtmlRect rect;
    const int oldHover = FHoverLink;
    const QString href = AnchorAt(e->position().toPoint(), rect);
    if (!href.isEmpty()) {
        const bool changed = href != FAnchor || !(rect == FHoverRect) || FHoverLink != oldHover;
        if (FHover && rect.Left != -1 && changed) RepaintRect(FHoverRect, false);
        if (!FHandCursor || href != FAnchor || FHoverLink != FOldHoverLink) {
            if (FAnchorHint) QToolTip::hideText();
            setCursor(Qt::PointingHandCursor);
            FHandCursor = true;
            if (OnAnchorEnter) OnAnchorEnter(this, href);
            if (FHover) RepaintRect(FHoverRect, true);
        }
        FAnchor = href;
        FOldHoverLink = FHoverLink;
        FHoverRect = rect;
        if (FHover) RepaintRect(FHoverRect, false);
    } else if (FHandCursor) {
        unsetCursor();
        FHandCursor = false;
        if (OnAnchorExit) OnAnchorExit(this, FAnchor);
        if (FHover) RepaintRect(FHoverRect, true);
        FAnchor.clear();
        FOldHoverLink = -1;
        FHoverRect = rect;
        if (FHover) RepaintRect(FHoverRect, false);
    }
}

void TMarkupLabel::mousePressEvent(QMouseEvent* e) {
    QWidget::mousePressEvent(e);
    THtmlRect rect;
    const QString href = AnchorAt(e->position().toPoint(), rect);
    if (e->button() != Qt::LeftButton || href.isEmpty()) return;
    if (OnAnchorClick) OnAnchorClick(this, href);
    if (!href.contains(QLatin1String("://")) && !href.contains(QLatin1String("mailto:"))) return;
    if (OpenUrl)
        OpenUrl(href);
    else
        QDesktopServices::openUrl(QUrl(href));
}

void TMarkupLabel::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    if (OnMouseEnter) OnMouseEnter(this);
}

void TMarkupLabel::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    if (FHover && FHoverLink != -1) RepaintRect(FHoverRect, true);
    FHoverLink = -1;
    if (OnMouseLeave) OnMouseLeave(this);
}

bool TMarkupLabel::event(QEvent* e) {
    if (e->type() != QEvent::ToolTip) return QWidget::event(e);
    auto* help = static_cast<QHelpEvent*>(e);
    THtmlRect rect;
    QString href = FAnchorHint ? AnchorAt(help->pos(), rect) : QString();
    if (!href.isEmpty()) {
        if (OnAnchorHint) OnAnchorHint(this, href);
        QToolTip::showText(help->globalPos() + QPoint(10, -10), href, this);
    } else if (FHintShowFull) {
        QToolTip::showText(help->globalPos(), FHTMLHint ? JoinedText() : Text(), this);
    } else {
        return QWidget::event(e);
    }
    return true;
}

} // namespace htmllabel
