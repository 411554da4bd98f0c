#include "ui/htmllabel/PainterSurface.h"

#include "ui/htmllabel/MarkupPicture.h"

#include <QPaintDevice>
#include <algorithm>

namespace htmllabel {

namespace {

struct TPrefixed {
    QString Text;
    int Mnemonic = -1; // index in Text of the underlined character
};

TPrefixed ProcessPrefix(const QString& s, bool prefix) {
    TPrefixed r;
    QString t = s;
    t.replace(QLatin1Char('\t'), QStringLiteral("        "));
    if (!prefix) {
        r.Text = t;
        return r;
    }
    for (int i = 0; i < t.size(); ++i) {
        if (t[i] == QLatin1Char('&')) {
            if (i + 1 >= t.size()) break;
            ++i;
            if (t[i] != QLatin1Char('&')) r.Mnemonic = int(r.Text.size());
        }
        r.Text += t[i];
    }
    return r;
}

QRect ToQRect(const THtmlRect& r) {
    return QRect(r.Left, r.Top, r.Width(), r.Height());
}

} // namespace

TPainterSurface::TPainterSurface(QPainter& painter) : FPainter(painter) {
    SetFont(FFont);
}

QFont TPainterSurface::ToQFont(const THtmlFont& f) const {
    QFont q(f.Name);
    const long long px = f.Size > 0 ? (long long)f.Size * DpiY() / 72 : -(long long)f.Size;
    q.setPixelSize(int(std::clamp<long long>(px, 1, 2000)));
    q.setBold(f.Bold);
    q.setItalic(f.Italic);
    q.setUnderline(f.Underline);
    q.setStrikeOut(f.StrikeOut);
    return q;
}

void TPainterSurface::SetFont(const THtmlFont& font) {
    FFont = font;
    const QString key = QStringLiteral("%1|%2|%3%4%5%6")
                            .arg(font.Name)
                            .arg(font.Size)
                            .arg(int(font.Bold))
                            .arg(int(font.Italic))
                            .arg(int(font.Underline))
                            .arg(int(font.StrikeOut));
    auto it = FFonts.constFind(key);
    if (it == FFonts.constEnd()) {
        const QFont q = ToQFont(font);
        it = FFonts.insert(key,
                           std::make_shared<TCachedFont>(TCachedFont{q, QFontMetrics(q, FPainter.device())}));
    }
    FCurrent_ = it.value();
}

int TPainterSurface::TextHeight(const QString&) {
    return Metrics().lineSpacing();
}

int TPainterSurface::TextWidth(const QString& s) {
    return Metrics().horizontalAdvance(s);
}

void TPainterSurface::MeasureText(const QString& s, THtmlRect& r, const TTextFormat& format) {
    const TPrefixed p = ProcessPrefix(s, format.Prefix);
    r.Right = r.Left + Metrics().horizontalAdvance(p.Text);
    r.Bottom = r.Top + Metrics().lineSpacing();
}

void TPainterSurface::DrawText(const QString& s, const THtmlRect& r, const TTextFormat& format) {
    TPrefixed p = ProcessPrefix(s, format.Prefix);
    const QFontMetrics& fm = Metrics();
    if (format.EndEllipsis && fm.horizontalAdvance(p.Text) > r.Width()) {
        p.Text = fm.elidedText(p.Text, Qt::ElideRight, std::max(0, r.Width()));
        p.Mnemonic = -1;
    }
    QString text = p.Text;
    QFont font = FCurrent_->Font;
    if (FFont.Name.compare(QStringLiteral("Symbol"), Qt::CaseInsensitive) == 0) {
        // The list bullet of the symbol font is a plain bullet here.
        text.replace(QChar(0xB7), QChar(0x2022));
        font.setFamily(QStringLiteral("DejaVu Sans"));
    }
    FPainter.save();
    FPainter.setFont(font);
    FPainter.setPen(ToQColor(FFont.Color));
    const int width = fm.horizontalAdvance(text);
    const int baseline = r.Bottom - fm.descent() - (fm.lineSpacing() - fm.height());
    const int x = format.RightToLeft ? r.Right - width : r.Left;
    if (FFont.Orientation != 0) {
        FPainter.translate(x, baseline);
        FPainter.rotate(-FFont.Orientation / 10.0);
        FPainter.drawText(QPoint(0, 0), text);
    } else {
        if (format.RightToLeft) FPainter.setLayoutDirection(Qt::RightToLeft);
        FPainter.drawText(QPoint(x, baseline), text);
        if (p.Mnemonic >= 0 && p.Mnemonic < text.size()) {
            const int x0 = x + fm.horizontalAdvance(text.left(p.Mnemonic));
            const int x1 = x0 + fm.horizontalAdvance(text.at(p.Mnemonic));
            const int y = baseline + fm.underlinePos();
            FPainter.drawLine(x0, y, x1 - 1, y);
        }
    }
    FPainter.restore();
}

int TPainterSurface::FitCount(const QString& s, int width) {
    const QFontMetrics& fm = Metrics();
    int n = 0;
    for (int i = 1; i <= s.size(); ++i) {
        if (fm.horizontalAdvance(s.left(i)) > width) break;
        n = i;
    }
    return n;
}

void TPainterSurface::UsePen() {
    if (FPen == clNone || FPenWidth <= 0)
        FPainter.setPen(Qt::NoPen);
    else
        FPainter.setPen(QPen(ToQColor(FPen), FPenWidth));
}

void TPainterSurface::UseBrush() {
    if (FBrush == clNone)
        FPainter.setBrush(Qt::NoBrush);
    else
        FPainter.setBrush(ToQColor(FBrush));
}

void TPainterSurface::Rectangle(const THtmlRect& r) {
    UsePen();
    UseBrush();
    FPainter.drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
}

void TPainterSurface::FillRect(const THtmlRect& r) {
    if (FBrush != clNone) FPainter.fillRect(ToQRect(r), ToQColor(FBrush));
}

void TPainterSurface::Ellipse(const THtmlRect& r) {
    UsePen();
    UseBrush();
    FPainter.drawEllipse(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
}

void TPainterSurface::LineTo(int x, int y) {
    UsePen();
    FPainter.drawLine(FCurrent, QPoint(x, y));
    FCurrent = QPoint(x, y);
}

void TPainterSurface::FocusRect(const THtmlRect& r) {
    FPainter.save();
    FPainter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    FPainter.setBrush(Qt::NoBrush);
    FPainter.drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
    FPainter.restore();
}

void TPainterSurface::DrawPicture(const TMarkupPicture& picture, int x, int y) {
    if (!picture.Empty()) FPainter.drawImage(QPoint(x, y), picture.Image());
}

void TPainterSurface::StretchDrawPicture(const TMarkupPicture& picture, const THtmlRect& r) {
    if (!picture.Empty()) FPainter.drawImage(ToQRect(r), picture.Image());
}

void TPainterSurface::SetClip(const THtmlRect& r) {
    FSavedClipping = FPainter.hasClipping();
    FSavedClip = FSavedClipping ? FPainter.clipRegion() : QRegion();
    FPainter.setClipRect(ToQRect(r), FSavedClipping ? Qt::IntersectClip : Qt::ReplaceClip);
}

void TPainterSurface::RemoveClip() {
    if (FSavedClipping)
        FPainter.setClipRegion(FSavedClip);
    else
        FPainter.setClipping(false);
    FSavedClipping = false;
    FSavedClip = QRegion();
}

THtmlRect TPainterSurface::ClipBox() const {
    QRect box;
    if (FPainter.hasClipping()) {
        box = FPainter.clipBoundingRect().toAlignedRect();
    } else if (const QPaintDevice* device = FPainter.device()) {
        const QRect whole(0, 0, device->width(), device->height());
        box = FPainter.deviceTransform().inverted().mapRect(QRectF(whole)).toAlignedRect();
    }
    return {box.left(), box.top(), box.left() + box.width(), box.top() + box.height()};
}

void TPainterSurface::DrawImageListItem(const THtmlImageList& list, int n, int x, int y) {
    const QImage image = list.Image(n);
    if (!image.isNull()) FPainter.drawImage(QPoint(x, y), image);
}

void TPainterSurface::StretchDrawImageListItem(const THtmlImageList& list, int n, const THtmlRect& r) {
    const QImage bitmap = list.Image(n);
    if (!bitmap.isNull()) FPainter.drawImage(ToQRect(r), bitmap);
}

int TPainterSurface::DpiX() const {
    return FPainter.device() ? FPainter.device()->logicalDpiX() : 96;
}

int TPainterSurface::DpiY() const {
    return FPainter.device() ? FPainter.device()->logicalDpiY() : 96;
}

} // namespace htmllabel
