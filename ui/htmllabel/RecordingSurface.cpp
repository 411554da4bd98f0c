#include "ui/htmllabel/RecordingSurface.h"

#include "ui/htmllabel/MarkupPicture.h"

#include <algorithm>

namespace htmllabel {

TRecordingSurface::TRecordingSurface() = default;

QList<TSurfaceCall> TRecordingSurface::CallsOf(const QString& op) const {
    QList<TSurfaceCall> r;
    for (const auto& c : Calls)
        if (c.Op == op) r.append(c);
    return r;
}

QStringList TRecordingSurface::Texts() const {
    QStringList r;
    for (const auto& c : Calls)
        if (c.Op == QStringLiteral("text")) r.append(c.Text);
    return r;
}

int TRecordingSurface::PixelHeight(const THtmlFont& f) const {
    const long long px = f.Size > 0 ? (long long)f.Size * Dpi / 72 : -(long long)f.Size;
    return int(std::clamp<long long>(px, 1, 2000));
}

int TRecordingSurface::CharWidth(const THtmlFont& f) const {
    return std::max(1, PixelHeight(f) / 2 + (f.Bold ? 1 : 0));
}

QString TRecordingSurface::StripPrefix(const QString& s) {
    QString r;
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('&')) {
            if (i + 1 < s.size()) r += s[++i];
            continue;
        }
        r += s[i];
    }
    return r;
}

int TRecordingSurface::Width(const QString& s, const THtmlFont& f) const {
    long long chars = 0;
    for (QChar c : s)
        chars += c == QLatin1Char('\t') ? 8 : 1;
    return int(std::min<long long>(chars * CharWidth(f), 1 << 30));
}

int TRecordingSurface::TextHeight(const QString&) {
    return PixelHeight(FFont) + 3;
}

int TRecordingSurface::TextWidth(const QString& s) {
    return Width(s, FFont);
}

void TRecordingSurface::MeasureText(const QString& s, THtmlRect& r, const TTextFormat& format) {
    r.Right = r.Left + Width(format.Prefix ? StripPrefix(s) : s, FFont);
    r.Bottom = r.Top + TextHeight(s);
}

void TRecordingSurface::DrawText(const QString& s, const THtmlRect& r, const TTextFormat& format) {
    TSurfaceCall& c = Record(QStringLiteral("text"), r);
    c.Text = s;
    c.Prefix = format.Prefix;
}

int TRecordingSurface::FitCount(const QString& s, int width) {
    return std::clamp(width / CharWidth(FFont), 0, int(s.size()));
}

void TRecordingSurface::DrawPicture(const TMarkupPicture& picture, int x, int y) {
    Record(QStringLiteral("picture"), {x, y, x + picture.Width(), y + picture.Height()});
}

void TRecordingSurface::StretchDrawPicture(const TMarkupPicture&, const THtmlRect& r) {
    Record(QStringLiteral("stretch"), r);
}

void TRecordingSurface::DrawImageListItem(const THtmlImageList& list, int n, int x, int y) {
    Record(QStringLiteral("imagelist"), {x, y, x + list.Width(), y + list.Height()}).Index = n;
}

void TRecordingSurface::StretchDrawImageListItem(const THtmlImageList&, int n, const THtmlRect& r) {
    Record(QStringLiteral("stretchimagelist"), r).Index = n;
}

TSurfaceCall& TRecordingSurface::Record(const QString& op, const THtmlRect& r) {
    TSurfaceCall c;
    c.Op = op;
    c.R = r;
    c.Font = FFont;
    c.Brush = FBrush;
    c.Pen = FPen;
    c.PenWidth = FPenWidth;
    Calls.append(c);
    return Calls.last();
}

} // namespace htmllabel
