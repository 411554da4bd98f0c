#pragma once
// Drawing helpers: colour gradients in fourteen styles, lighter and darker colours, grey scale,
// thumbnails in an image control, a random colour. Colours are 0x00BBGGRR values; 0xFF000000 + n
// is system colour n.

#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>

class QPainter;
class QLabel;

namespace quorvel {

using TColor = uint32_t;

enum class TGradientStyle {
    gsHorizontal1,
    gsHorizontal2,
    gsHorizontal3,
    gsVertical1,
    gsVertical2,
    gsVertical3,
    gsElliptic1,
    gsElliptic2,
    gsElliptic3,
    gsRectangle,
    gsDiamond1,
    gsDiamond2,
    gsTopLeft,
    gsTopRight
};

class TmyGraph {
public:
    static TColor randomcolor();
    static bool FileExistAndGraph(const QString& path);
    static TColor Lighter(TColor Color, int Percent);
    static TColor Darker(TColor Color, int Percent);
    // Converts to 24 bits per pixel, each pixel grey (77 R + 150 G + 29 B) / 256.
    static void GrayScale(QImage& Bitmap);
    // Fills the control with bg and draws the picture into it, shrunk to fit, never enlarged, centred.
    static void miniaturka(const QImage& Zjpg, QLabel* DoImage, TColor bg);
    static void miniaturkabmp(const QImage& Zbmp, QLabel* DoImage, TColor bg);
    // The picture as the control shows it, for a control of `size`.
    static QImage Thumbnail(const QImage& picture, QSize size, TColor bg);

    static void Gradient(QPainter& can, const QRect& r, TColor ColFrom, TColor ColTo, TGradientStyle Style);
    // The gradient bitmap of a w x h rectangle; a null image when there is nothing to paint.
    static QImage GradientImage(int w, int h, TColor ColFrom, TColor ColTo, TGradientStyle Style);
    // Gradient on (x1, y1) to (x2, y2), right and bottom exclusive; with aFrame a black frame on
    // its border. The brush is left white.
    static void GradientXY(QPainter& can, int x1, int y1, int x2, int y2, TColor ColFrom, TColor ColTo,
                           TGradientStyle Style, bool aFrame);

    static QColor ToQColor(TColor c); // system colours resolved
};

} // namespace quorvel
