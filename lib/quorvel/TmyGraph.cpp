#include "TmyGraph.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace quorvel {

namespace {

int R(TColor c) {
    return int(c & 0xFF);
}
int G(TColor c) {
    return int((c >> 8) & 0xFF);
}
int B(TColor c) {
    return int((c >> 16) & 0xFF);
}
TColor RGB(int r, int g, int b) {
    return TColor(r & 0xFF) | TColor(g & 0xFF) << 8 | TColor(b & 0xFF) << 16;
}

// System colour n of the running desktop, by the roles the numbers have always named.
QColor SystemColor(int n) {
    const QPalette p = QGuiApplication::palette();
    switch (n) {
    case 1:  // desktop
    case 4:  // menu
    case 15: // button face
        return p.color(QPalette::Button);
    case 5: // window
        return p.color(QPalette::Base);
    case 7: // menu text
    case 8: // window text
        return p.color(QPalette::Text);
    case 13:
        return p.color(QPalette::Highlight);
    case 14:
        return p.color(QPalette::HighlightedText);
    case 16:
        return p.color(QPalette::Dark);
    case 18:
        return p.color(QPalette::ButtonText);
    case 20:
        return p.color(QPalette::Light);
    case 23: // info text
        return p.color(QPalette::ToolTipText);
    case 24: // info background
        return p.color(QPalette::ToolTipBase);
    default:
        return p.color(QPalette::Window);
    }
}

TColor Resolve(TColor c) {
    if ((c & 0xFF000000u) == 0xFF000000u) {
        const QColor q = SystemColor(int(c & 0xFF));
        return RGB(q.red(), q.green(), q.blue());
    }
    return c & 0x00FFFFFF;
}

// The bitmap being painted, with drawing by the pixel rules of the gradient: rectangles and lines
// leave out their right and bottom (last) points.
class Canvas {
public:
    Canvas(int w, int h) : img(w, h, QImage::Format_RGB32) {}

    void Fill(TColor c) { img.fill(ToRgb(c)); }

    void Rect(int x1, int y1, int x2, int y2, TColor c) {
        x1 = std::max(x1, 0);
        y1 = std::max(y1, 0);
        x2 = std::min(x2, img.width());
        y2 = std::min(y2, img.height());
        const QRgb v = ToRgb(c);
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x)
                img.setPixel(x, y, v);
    }

    // Integer line stepping along the longer axis, nearest pixel on the other; last point left out.
    // The longer axis moves one pixel a step, the other by round(d * i / steps), both monotonic:
    // the steps that land inside the bitmap are found first (a line may reach far outside it),
    // and the rounding is followed step by step with 64-bit numbers (lines beyond 2^15 pixels
    // overflow 32 bits).
    void Line(int x1, int y1, int x2, int y2, TColor c) {
        const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
        const int64_t steps = std::max(std::abs(dx), std::abs(dy));
        if (steps == 0) return;
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const int64_t m0 = xMajor ? x1 : y1, n0 = xMajor ? y1 : x1;
        const int64_t mLimit = xMajor ? img.width() : img.height();
        const int64_t nLimit = xMajor ? img.height() : img.width();
        const int64_t sm = (xMajor ? dx : dy) > 0 ? 1 : -1;
        const int64_t dn = xMajor ? dy : dx, sn = dn < 0 ? -1 : 1, an = std::abs(dn);
        // The other coordinate at step i: a / b rounded to the nearest, halves away from zero.
        const auto minor = [&](int64_t i) { return n0 + sn * ((2 * an * i + steps) / (2 * steps)); };
        // Steps whose longer-axis coordinate m0 + sm * i lies in [0, mLimit).
        int64_t lo = sm > 0 ? std::max<int64_t>(0, -m0) : std::max<int64_t>(0, m0 - (mLimit - 1));
        int64_t hi = sm > 0 ? std::min(steps, mLimit - m0) : std::min(steps, m0 + 1);
        // Then those whose other coordinate lies in [0, nLimit): the first step past each bound.
        const auto firstStep = [&](int64_t from, int64_t to, auto past) {
            while (from < to) {
                const int64_t mid = from + (to - from) / 2;
                if (past(minor(mid)))
                    to = mid;
                else
                    from = mid + 1;
            }
            return from;
        };
        if (sn > 0) {
            lo = firstStep(lo, hi, [](int64_t n) { return n >= 0; });
            hi = firstStep(lo, hi, [&](int64_t n) { return n >= nLimit; });
        } else {
            lo = firstStep(lo, hi, [&](int64_t n) { return n < nLimit; });
            hi = firstStep(lo, hi, [](int64_t n) { return n < 0; });
        }
        if (lo >= hi) return;
        const QRgb v = ToRgb(c);
        uchar* const bits = img.bits();
        const qsizetype bpl = img.bytesPerLine();
        // The rounding numerator 2 * an * i + steps as quotient and remainder of 2 * steps.
        int64_t num = 2 * an * lo + steps;
        int64_t q = num / (2 * steps), r = num % (2 * steps);
        for (int64_t i = lo; i < hi; ++i) {
            const int64_t m = m0 + sm * i, n = n0 + sn * q;
            const int64_t x = xMajor ? m : n, y = xMajor ? n : m;
            reinterpret_cast<QRgb*>(bits + y * bpl)[x] = v;
            r += 2 * an;
            if (r >= 2 * steps) {
                r -= 2 * steps;
                ++q;
            }
        }
    }

    // Filled ellipse in the box, right and bottom exclusive: the pixels whose centres lie inside.
    void Ellipse(int x1, int y1, int x2, int y2, TColor c) {
        if (x2 <= x1 || y2 <= y1) return;
        const double ex = (x1 + x2) / 2.0, ey = (y1 + y2) / 2.0, a = (x2 - x1) / 2.0, b = (y2 - y1) / 2.0;
        const QRgb v = ToRgb(c);
        for (int y = std::max(y1, 0); y < std::min(y2, img.height()); ++y)
            for (int x = std::max(x1, 0); x < std::min(x2, img.width()); ++x) {
                const double dx = (x + 0.5 - ex) / a, dy = (y + 0.5 - ey) / b;
                if (dx * dx + dy * dy <= 1.0) img.setPixel(x, y, v);
            }
    }

    void Pixel(int x, int y, TColor c) {
        if (img.valid(x, y)) img.setPixel(x, y, ToRgb(c));
    }

    QImage img;

private:
    static QRgb ToRgb(TColor c) { return qRgb(R(c), G(c), B(c)); }
};

// Colours of the steps of one gradient with N steps.
struct Steps {
    int c0[3], d[3];
    float inc[3] = {0, 0, 0};

    Steps(TColor from, TColor to) {
        c0[0] = R(from), c0[1] = G(from), c0[2] = B(from);
        d[0] = R(to) - c0[0], d[1] = G(to) - c0[1], d[2] = B(to) - c0[2];
    }
    int Count() const { return std::max({std::abs(d[0]), std::abs(d[1]), std::abs(d[2]), 1}); }
    void SetN(int n) {
        for (int i = 0; i < 3; ++i)
            inc[i] = float(d[i]) / float(n);
    }
    // Step k (may be a half number), rounded to the nearest, halves to even.
    TColor At(double k) const {
        int c[3];
        for (int i = 0; i < 3; ++i)
            c[i] = c0[i] + int(std::nearbyint(k * double(inc[i])));
        return RGB(c[0], c[1], c[2]);
    }
    // The band styles truncate.
    TColor Band(int k) const {
        int c[3];
        for (int i = 0; i < 3; ++i)
            c[i] = int(std::trunc(double(k) * double(inc[i]) + c0[i]));
        return RGB(c[0], c[1], c[2]);
    }
};

void Bands(Canvas& cv, Steps& st, int length, bool horizontal) {
    const int w = cv.img.width(), h = cv.img.height();
    int n = std::min(st.Count(), length);
    if (n == 0) n = 1;
    const int b = length / n;
    n = length / b;
    if (n == 0) n = 1;
    st.SetN(n);
    for (int k = 0; k <= n; ++k) {
        if (horizontal)
            cv.Rect(0, k * b, w, k * b + b, st.Band(k));
        else
            cv.Rect(k * b, 0, k * b + b, h, st.Band(k));
    }
}

void Lines(Canvas& cv, Steps& st, TColor from, int n, int c, bool bothSidesAlways, bool horizontal) {
    const int w = cv.img.width(), h = cv.img.height();
    const auto across = [&](int at, TColor col) {
        if (horizontal)
            cv.Line(0, at, w, at, col);
        else
            cv.Line(at, 0, at, h, col);
    };
    st.SetN(n);
    across(c, from);
    for (int k = 1; k <= n; ++k) {
        across(c + k, st.At(k));
        if (bothSidesAlways || c - k >= 0) across(c - k, st.At(k));
    }
}

} // namespace

TColor TmyGraph::randomcolor() {
    static const TColor colours[5] = {0x00FF00, 0x0000FF, 0xFF0000, 0x008000, 0x808000};
    return colours[QRandomGenerator::global()->bounded(5)];
}

bool TmyGraph::FileExistAndGraph(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.isFile()) return false;
    const QString ext = fi.suffix().toUpper();
    return ext == QLatin1String("JPG") || ext == QLatin1String("JPEG") || ext == QLatin1String("BMP");
}

TColor TmyGraph::Lighter(TColor Color, int Percent) {
    const auto f = [&](int c) { return int(std::nearbyint(c + (255 - c) * Percent / 100.0)); };
    return RGB(f(R(Color)), f(G(Color)), f(B(Color)));
}

TColor TmyGraph::Darker(TColor Color, int Percent) {
    const auto f = [&](int c) { return int(std::nearbyint(c - c * Percent / 100.0)); };
    return RGB(f(R(Color)), f(G(Color)), f(B(Color)));
}

void TmyGraph::GrayScale(QImage& Bitmap) {
    QImage img = Bitmap.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < img.height(); ++y) {
        uchar* line = img.scanLine(y);
        for (int x = 0; x < img.width(); ++x) {
            uchar* p = line + 3 * x;
            const uchar g = uchar((77 * p[0] + 150 * p[1] + 29 * p[2]) / 256);
            p[0] = p[1] = p[2] = g;
        }
    }
    Bitmap = img;
}

QImage TmyGraph::Thumbnail(const QImage& picture, QSize size, TColor bg) {
    QImage out(size, QImage::Format_RGB32);
    out.fill(ToQColor(bg));
    if (picture.isNull() || size.isEmpty()) return out;
    int pw = picture.width(), ph = picture.height();
    if (pw > size.width()) {
        ph = int(qint64(ph) * size.width() / pw);
        pw = size.width();
    }
    if (ph > size.height()) {
        pw = int(qint64(pw) * size.height() / ph);
        ph = size.height();
    }
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect((size.width() - pw) / 2, (size.height() - ph) / 2, pw, ph), picture);
    return out;
}

void TmyGraph::miniaturka(const QImage& Zjpg, QLabel* DoImage, TColor bg) {
    DoImage->setPixmap(QPixmap::fromImage(Thumbnail(Zjpg, DoImage->size(), bg)));
}

void TmyGraph::miniaturkabmp(const QImage& Zbmp, QLabel* DoImage, TColor bg) {
    miniaturka(Zbmp, DoImage, bg);
}

QColor TmyGraph::ToQColor(TColor c) {
    const TColor r = Resolve(c);
    return QColor(R(r), G(r), B(r));
}

QImage TmyGraph::GradientImage(int w, int h, TColor ColFrom, TColor ColTo, TGradientStyle Style) {
    if (w <= 0 || h <= 0) return QImage(); // nothing to paint, and no band size to divide by
    Canvas cv(w, h);
    const TColor from = Resolve(ColFrom), to = Resolve(ColTo);
    if (from == to) {
        cv.Fill(from);
        return cv.img;
    }
    Steps st(from, to);
    const int S = st.Count();
    const int cx = w / 2, cy = h / 2;
    using S_ = TGradientStyle;
    switch (Style) {
    case S_::gsHorizontal1:
        Bands(cv, st, h, true);
        break;
    case S_::gsVertical1:
        Bands(cv, st, w, false);
        break;
    case S_::gsHorizontal2:
    case S_::gsVertical2: {
        const bool hor = Style == S_::gsHorizontal2;
        int c = (hor ? h : w) / 2;
        if (c == 0) c = 1;
        Lines(cv, st, from, c, c, true, hor);
        break;
    }
    case S_::gsHorizontal3:
    case S_::gsVertical3: {
        const bool hor = Style == S_::gsHorizontal3;
        const int len = hor ? h : w;
        int n = int(std::nearbyint(len * 0.67));
        if (n == 0) n = 1;
        Lines(cv, st, from, n, len / 3, false, hor);
        break;
    }
    case S_::gsElliptic1:
    case S_::gsElliptic2:
    case S_::gsElliptic3: {
        double qx = double(w) / S / 2, qy = double(h) / S / 2;
        int ex = cx, ey = cy;
        if (Style == S_::gsElliptic2) qx = double(w) / S * 0.695, qy = double(h) / S * 0.695;
        if (Style == S_::gsElliptic3) {
            qx = double(w) / S * 0.82, qy = double(h) / S * 0.82;
            ex = cx - w / 4 + 1;
            ey = cy - h / 4 + 1;
        }
        st.SetN(S);
        cv.Fill(to);
        for (int k = S; k >= 1; --k) {
            const int rx = int(std::nearbyint(k * qx)), ry = int(std::nearbyint(k * qy));
            cv.Ellipse(ex - rx, ey - ry, ex + rx, ey + ry, st.At(k));
        }
        break;
    }
    case S_::gsRectangle: {
        const double qx = double(w) / S / 2, qy = double(h) / S / 2;
        st.SetN(S);
        for (int k = S; k >= 0; --k) {
            const int rx = int(std::nearbyint(k * qx)), ry = int(std::nearbyint(k * qy));
            cv.Rect(cx - rx, cy - ry, cx + rx + 1, cy + ry + 1, st.At(k));
        }
        break;
    }
    case S_::gsDiamond1:
    case S_::gsDiamond2: {
        const int M = std::max(w, h);
        const bool one = Style == S_::gsDiamond1;
        int n = std::max(one ? M / 2 : M, S);
        if (n == 0) n = 1;
        const double qx = one ? double(w) / n / 2 : double(w) / n;
        const double qy = one ? double(h) / n / 2 : double(h) / n;
        st.SetN(n);
        cv.Fill(to);
        for (int k = n; k >= 1; --k) {
            const int rx = int(std::nearbyint(k * qx)), ry = int(std::nearbyint(k * qy));
            const TColor c = st.At(k);
            cv.Line(cx, cy - ry, cx + rx, cy, c);
            cv.Line(cx + rx, cy, cx, cy + ry, c);
            cv.Line(cx, cy + ry, cx - rx, cy, c);
            cv.Line(cx - rx, cy, cx, cy - ry, c);
        }
        cv.Pixel(cx, cy, from);
        break;
    }
    case S_::gsTopLeft:
    case S_::gsTopRight: {
        int n = std::max(w, h);
        if (n == 0) n = 1;
        const double qx = double(w) / n, qy = double(h) / n;
        st.SetN(n);
        const bool left = Style == S_::gsTopLeft;
        for (int k = 0; k <= n; ++k) {
            const int rx = int(std::nearbyint(k * qx)), ry = int(std::nearbyint(k * qy));
            if (left) {
                cv.Line(0, ry, rx, -1, st.At(k / 2.0));
                cv.Line(w, h - ry, w - rx, h, st.At(n - k / 2.0));
            } else {
                cv.Line(w, ry, w - rx, -1, st.At(k / 2.0));
                cv.Line(0, h - ry, rx, h, st.At(n - k / 2.0));
            }
        }
        break;
    }
    }
    return cv.img;
}

void TmyGraph::Gradient(QPainter& can, const QRect& r, TColor ColFrom, TColor ColTo, TGradientStyle Style) {
    const QImage img = GradientImage(r.width(), r.height(), ColFrom, ColTo, Style);
    if (!img.isNull()) can.drawImage(r, img);
}

void TmyGraph::GradientXY(QPainter& can, int x1, int y1, int x2, int y2, TColor ColFrom, TColor ColTo,
                          TGradientStyle Style, bool aFrame) {
    const QRect r(x1, y1, x2 - x1, y2 - y1);
    Gradient(can, r, ColFrom, ColTo, Style);
    if (aFrame && r.width() > 0 && r.height() > 0) {
        can.save();
        can.setRenderHint(QPainter::Antialiasing, false);
        can.setPen(QPen(Qt::black, 0));
        can.setBrush(Qt::NoBrush);
        can.drawRect(r.adjusted(0, 0, -1, -1));
        can.restore();
    }
    can.setBrush(Qt::white);
}

} // namespace quorvel
