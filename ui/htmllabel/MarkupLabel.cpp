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
#include <QTimer>
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

// A surface for measuring and hit-testing outside painting, at the widget's resolution.
class TMeasureSurface {
public:
    explicit TMeasureSurface(const QWidget& w) : FImage(1, 1, QImage::Format_ARGB32_Premultiplied) {
        FImage.setDotsPerMeterX(qRound(w.logicalDpiX() / 0.0254));
        FImage.setDotsPerMeterY(qRound(w.logicalDpiY() / 0.0254));
        FPainter.begin(&FImage);
    }
    IHtmlSurface& Surface() { return FSurface; }

private:
    QImage FImage;
    QPainter FPainter;
    TPainterSurface FSurface{FPainter};
};

QRect ToQRect(const THtmlRect& r) {
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

} // namespace

TMarkupLabel::TMarkupLabel(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    resize(120, height());
    FBlinkTimer = new QTimer(this);
    FBlinkTimer->setInterval(BlinkInterval);
    connect(FBlinkTimer, &QTimer::timeout, this, [this] { BlinkTick(); });
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
    ++FGeneration;
    update();
}

QString TMarkupLabel::Text() const {
    return HtmlToPlainText(JoinedText());
}

void TMarkupLabel::SetPictureContainer(TPictureContainer* v) {
    if (FPictureContainer == v) return;
    FPictureContainer = v;
    ++FGeneration;
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
    o.BlinkPhase = FBlinkPhase;
    return o;
}

void TMarkupLabel::paintEvent(QPaintEvent* e) {
    if (FUpdateCount > 0 || width() <= 0 || height() <= 0) return;
    const QRect exposed = e->rect() & rect();
    if (exposed.isEmpty()) return;
    if (FTransparent) {
        QPainter painter(this);
        Render(painter, exposed);
        return;
    }
    // The exposed part is painted off-screen first, then copied, so the control never shows half
    // a frame; a bitmap of the whole control could be hundreds of megabytes for a long text.
    QImage bitmap(exposed.size() * devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    bitmap.setDevicePixelRatio(devicePixelRatio());
    // Fonts given in points measure as in the kept layout, which is laid out at the widget's resolution.
    bitmap.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    bitmap.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    {
        QPainter painter(&bitmap);
        painter.translate(-exposed.topLeft());
        Render(painter, exposed);
    }
    QPainter(this).drawImage(exposed.topLeft(), bitmap);
}

void TMarkupLabel::Doit() {
    if (FUpdateCount > 0 || width() <= 0 || height() <= 0) return;
    // What painting does besides drawing: the layout and the automatic sizing.
    Arrange();
    update();
}

THtmlRect TMarkupLabel::TextArea(IHtmlSurface* s) {
    THtmlRect r{0, 0, width(), height()};
    const bool bevel = FBevelOuter != TBevelCut::bvNone || FBevelInner != TBevelCut::bvNone;
    if (FBevelOuter != TBevelCut::bvNone) {
        if (s) DrawBevel(*s, r, FBevelOuter, FBevelWidth);
        Shrink(r, FBevelWidth);
    }
    if (FBorderWidth > 0) {
        if (s) {
            s->SetBrushColor(FColor);
            s->FillRect({r.Left, r.Top, r.Right, r.Top + FBorderWidth});
            s->FillRect({r.Left, r.Bottom - FBorderWidth, r.Right, r.Bottom});
            s->FillRect({r.Left, r.Top, r.Left + FBorderWidth, r.Bottom});
            s->FillRect({r.Right - FBorderWidth, r.Top, r.Right, r.Bottom});
        }
        Shrink(r, FBorderWidth);
    }
    if (FBevelInner != TBevelCut::bvNone) {
        if (s) DrawBevel(*s, r, FBevelInner, FBevelWidth);
        Shrink(r, FBevelWidth);
    }
    const bool borderLine =
        FBorderStyle == TBorderStyle::bsSingle && FBorderWidth != 0 && FBorderColor != clNone;
    if (borderLine && s) {
        s->SetPen(FBorderColor, FBorderWidth);
        s->SetBrushColor(clNone);
        s->Rectangle(r);
    }
    if (bevel) Shrink(r, FBevelWidth);
    if (borderLine) Shrink(r, (FBorderWidth + 1) / 2);
    if (FAutoSizing) {
        if (FAutoSizeType != TAutoSizeType::asVertical && Dockable(FAlign, TAlign::alLeft, TAlign::alRight))
            r.Right += kAutoSizeReach;
        if (FAutoSizeType != TAutoSizeType::asHorizontal && Dockable(FAlign, TAlign::alTop, TAlign::alBottom))
            r.Bottom += kAutoSizeReach;
    }
    return r;
}

int TMarkupLabel::AlignmentOffset(int textHeight) const {
    int dy = 0;
    if (FAutoSizing && FVAlignment == TVAlignment::tvaCenter) dy += 3;
    if (FAutoSizing && FVAlignment == TVAlignment::tvaBottom) dy += 6;
    if (FVAlignment == TVAlignment::tvaCenter) dy += (height() - textHeight) / 2;
    if (FVAlignment == TVAlignment::tvaBottom) dy = height() - textHeight - FLayoutRect.Top;
    return dy;
}

const TMiniHtmlLayout& TMarkupLabel::Layout() {
    const THtmlRect r = TextArea(nullptr);
    const THtmlFont font = BaseFont();
    if (!FLayout.Built() || FLayoutGeneration != FGeneration || !(FLayoutRect == r) ||
        !(FLayoutFont == font)) {
        TMeasureSurface m(*this);
        m.Surface().SetFont(font);
        m.Surface().SetBrushColor(FColor);
        TMiniHtmlOptions o = Options({-1, -1});
        o.BlinkPhase = false;
        FLayout.Build(m.Surface(), JoinedText(), r, o);
        FLayoutBlinkShown.Clear();
        FLayoutGeneration = FGeneration;
        FLayoutRect = r;
        FLayoutFont = font;
        if (FLayout.HasBlink())
            FBlinkTimer->start();
        else
            FBlinkTimer->stop();
    }
    if (!FLayout.HasBlink() || !FBlinkPhase) return FLayout;
    if (!FLayoutBlinkShown.Built()) {
        TMeasureSurface m(*this);
        m.Surface().SetFont(font);
        m.Surface().SetBrushColor(FColor);
        FLayoutBlinkShown.Build(m.Surface(), JoinedText(), r, Options({-1, -1}));
    }
    return FLayoutBlinkShown;
}

void TMarkupLabel::Arrange() {
    const TMiniHtmlLayout& layout = Layout();
    FTextWidth = layout.Width();
    FTextHeight = layout.Height();
    if (!FAutoSizing) return;
    int w = FTextWidth, h = FTextHeight;
    if (FBorderStyle == TBorderStyle::bsSingle) {
        w += 2 * FBorderWidth;
        h += 2 * FBorderWidth;
    }
    const bool horizontal =
        FAutoSizeType != TAutoSizeType::asVertical && Dockable(FAlign, TAlign::alLeft, TAlign::alRight);
    const bool vertical =
        FAutoSizeType != TAutoSizeType::asHorizontal && Dockable(FAlign, TAlign::alTop, TAlign::alBottom);
    if (vertical && height() != h + 6) resize(width(), h + 6);
    if (horizontal && width() != w + 6) resize(w + 6, height());
}

void TMarkupLabel::Render(QPainter& painter, const QRect& exposed) {
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
    TextArea(&s);
    // Sized to the text first, so that the text is drawn where the hit test will find it.
    Arrange();
    const TMiniHtmlLayout& layout = Layout();
    s.SetBrushColor(FColor);
    TMiniHtmlOptions options = Options(mapFromGlobal(QCursor::pos()));
    const int dy = AlignmentOffset(layout.Height());
    TMiniHtmlResult drawn;
    if (layout.MouseDependent()) {
        THtmlRect r = FLayoutRect;
        r.Top += dy;
        DrawMiniHtml(s, JoinedText(), r, options, drawn);
    } else {
        layout.Draw(s, dy, {exposed.left(), exposed.top(), exposed.right() + 1, exposed.bottom() + 1},
                    options, drawn);
    }
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
    o.BlinkPhase = true; // blinking text shows on paper
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
    const TMiniHtmlLayout& layout = Layout();
    TMeasureSurface m(*this);
    m.Surface().SetFont(BaseFont());
    m.Surface().SetBrushColor(FColor);
    TMiniHtmlOptions options = Options(p);
    options.HitOnlySecondPass = true;
    options.HoverLink = -1;
    const int dy = AlignmentOffset(layout.Height());
    TMiniHtmlResult result;
    bool hit;
    if (layout.MouseDependent()) {
        THtmlRect r = FLayoutRect;
        r.Top += dy;
        hit = DrawMiniHtml(m.Surface(), JoinedText(), r, options, result);
    } else {
        hit = layout.HitTest(m.Surface(), dy, options, result);
    }
    if (hit && !result.Anchor.isEmpty()) {
        FHoverLink = result.MouseLink;
        rect = result.HoverRect;
        return result.Anchor;
    }
    FHoverLink = -1;
    return {};
}

QRegion TMarkupLabel::LinkArea(int link) {
    QRegion area;
    if (link <= 0) return area;
    const TMiniHtmlLayout& layout = Layout();
    if (layout.MouseDependent()) return rect();
    for (const THtmlRect& r : layout.LinkArea(link, AlignmentOffset(layout.Height())))
        area += ToQRect(r);
    return area;
}

void TMarkupLabel::RepaintLink(int link) {
    const QRegion area = LinkArea(link);
    if (!area.isEmpty()) update(area);
}

void TMarkupLabel::BlinkTick() {
    FBlinkPhase = !FBlinkPhase;
    const TMiniHtmlLayout& layout = Layout();
    const int dy = AlignmentOffset(layout.Height());
    for (const THtmlRect& r : layout.BlinkArea(dy))
        update(ToQRect(r));
}

void TMarkupLabel::mouseMoveEvent(QMouseEvent* e) {
    QWidget::mouseMoveEvent(e);
    THtmlRect rect;
    // The link drawn hovered until now; what hover changes is repainted, over all its lines.
    const int oldHover = FHoverLink;
    const QString href = AnchorAt(e->position().toPoint(), rect);
    if (!href.isEmpty()) {
        if (!FHandCursor || href != FAnchor || FHoverLink != FOldHoverLink) {
            if (FAnchorHint) QToolTip::hideText();
            setCursor(Qt::PointingHandCursor);
            FHandCursor = true;
            if (OnAnchorEnter) OnAnchorEnter(this, href);
        }
        if (FHover && FHoverLink != oldHover) {
            RepaintLink(oldHover);
            RepaintLink(FHoverLink);
        }
        FAnchor = href;
        FOldHoverLink = FHoverLink;
        FHoverRect = rect;
    } else if (FHandCursor) {
        unsetCursor();
        FHandCursor = false;
        if (OnAnchorExit) OnAnchorExit(this, FAnchor);
        if (FHover) RepaintLink(oldHover);
        FAnchor.clear();
        FOldHoverLink = -1;
        FHoverRect = rect;
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
    if (FHover && FHoverLink != -1) RepaintLink(FHoverLink);
    FHoverLink = -1;
    // Leaving straight from a link leaves the link too.
    if (FHandCursor) {
        unsetCursor();
        FHandCursor = false;
        if (OnAnchorExit) OnAnchorExit(this, FAnchor);
        FAnchor.clear();
        FOldHoverLink = -1;
        FHoverRect = {-1, -1, -1, -1};
    }
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
