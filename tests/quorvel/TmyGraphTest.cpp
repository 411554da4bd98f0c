#include "lib/quorvel/TmyGraph.h"

#include <QLabel>
#include <QPainter>
#include <gtest/gtest.h>

using quorvel::TGradientStyle;
using quorvel::TmyGraph;

// From black to red 200 on 100 x 100: every step is a whole number of red, so the pixels below
// follow from each style's geometry by hand (rounding halves to even where radii land on .5).
TEST(TmyGraph, GradientStylesPaintTheirGeometry) {
    struct Probe {
        TGradientStyle style;
        int x, y, red;
    };
    using S = TGradientStyle;
    const Probe probes[] = {
        {S::gsHorizontal1, 5, 10, 20}, {S::gsHorizontal1, 0, 99, 198}, {S::gsHorizontal2, 3, 50, 0},
        {S::gsHorizontal2, 3, 60, 40}, {S::gsHorizontal2, 3, 0, 200},  {S::gsHorizontal3, 3, 33, 0},
        {S::gsHorizontal3, 3, 43, 30}, {S::gsHorizontal3, 3, 0, 99},   {S::gsHorizontal3, 3, 99, 197},
        {S::gsVertical1, 10, 5, 20},   {S::gsVertical1, 99, 0, 198},   {S::gsVertical2, 60, 3, 40},
        {S::gsVertical2, 0, 3, 200},   {S::gsVertical3, 43, 3, 30},    {S::gsVertical3, 99, 3, 197},
        {S::gsElliptic1, 50, 50, 3},   {S::gsElliptic1, 50, 10, 158},  {S::gsElliptic1, 0, 0, 200},
        {S::gsElliptic2, 50, 50, 2},   {S::gsElliptic2, 0, 0, 200},    {S::gsElliptic3, 26, 26, 2},
        {S::gsElliptic3, 99, 99, 200}, {S::gsRectangle, 50, 50, 0},    {S::gsRectangle, 0, 0, 198},
        {S::gsRectangle, 99, 99, 195}, {S::gsRectangle, 50, 10, 158},  {S::gsDiamond1, 50, 50, 0},
        {S::gsDiamond1, 50, 40, 38},   {S::gsDiamond1, 0, 0, 200},     {S::gsDiamond2, 50, 50, 0},
        {S::gsDiamond2, 50, 40, 19},   {S::gsTopLeft, 0, 10, 10},      {S::gsTopLeft, 99, 91, 190},
        {S::gsTopRight, 99, 9, 10},    {S::gsTopRight, 0, 90, 190},
    };
    for (const Probe& p : probes) {
        QImage canvas(120, 120, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            TmyGraph::Gradient(painter, QRect(10, 10, 100, 100), 0x000000, 0x0000C8, p.style);
        }
        const QRgb px = canvas.pixel(p.x + 10, p.y + 10);
        EXPECT_EQ(qRed(px), p.red) << "style " << int(p.style) << " at " << p.x << "," << p.y;
        EXPECT_EQ(qGreen(px) + qBlue(px), 0);
        EXPECT_EQ(canvas.pixel(5, 5), qRgb(255, 255, 255)); // nothing outside the rectangle
    }
    const QImage same = TmyGraph::GradientImage(7, 3, 0x123456, 0x123456, S::gsDiamond1);
    EXPECT_EQ(same.pixel(6, 2), qRgb(0x56, 0x34, 0x12));
    EXPECT_TRUE(TmyGraph::GradientImage(10, 0, 0, 0xFF, S::gsHorizontal1).isNull());
}

TEST(TmyGraph, FramedGradientAndColourArithmetic) {
    QImage canvas(20, 20, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    TmyGraph::GradientXY(painter, 2, 2, 12, 12, 0x00FF00, 0x00FF00, TGradientStyle::gsTopLeft, true);
    EXPECT_EQ(painter.brush().color(), QColor(Qt::white));
    painter.end();
    EXPECT_EQ(canvas.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(11, 11), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(3, 3), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(12, 12), qRgb(255, 255, 255));

    EXPECT_EQ(TmyGraph::Lighter(0x000080, 50), 0x8080C0u); // 191.5 and 127.5 round to even
    EXPECT_EQ(TmyGraph::Darker(0x0300FF, 50), 0x020080u);
    QImage img(2, 1, QImage::Format_ARGB32);
    img.setPixel(0, 0, qRgb(255, 0, 0));
    img.setPixel(1, 0, qRgb(10, 20, 30));
    TmyGraph::GrayScale(img);
    EXPECT_EQ(img.format(), QImage::Format_RGB888);
    EXPECT_EQ(img.pixel(0, 0), qRgb(76, 76, 76));
    EXPECT_EQ(img.pixel(1, 0), qRgb(18, 18, 18));
}

TEST(TmyGraph, ThumbnailsShrinkToFitAndNeverEnlarge) {
    QLabel label;
    label.resize(100, 100);
    QImage wide(200, 100, QImage::Format_RGB32);
    wide.fill(Qt::red);
    TmyGraph::miniaturka(wide, &label, 0xFF0000); // blue background
    QImage shown = label.pixmap().toImage();
    EXPECT_EQ(shown.size(), QSize(100, 100));
    EXPECT_EQ(shown.pixel(50, 24), qRgb(0, 0, 255));
    EXPECT_EQ(shown.pixel(50, 25), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(50, 74), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(50, 75), qRgb(0, 0, 255));
    QImage small(20, 10, QImage::Format_RGB32);
    small.fill(Qt::red);
    TmyGraph::miniaturkabmp(small, &label, 0x000000);
    shown = label.pixmap().toImage();
    EXPECT_EQ(shown.pixel(39, 50), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(40, 45), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(59, 54), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(60, 54), qRgb(0, 0, 0));
}

// Lines far longer than 2^15 pixels: every pixel of the long thin bitmap is painted, in a colour of
// the gradient (the line stepping used to overflow and leave most of it unpainted).
TEST(TmyGraph, LongGradientLinesPaintEveryPixel) {
    const QImage img = TmyGraph::GradientImage(40000, 3, 0x000064, 0x0000C8, TGradientStyle::gsTopLeft);
    ASSERT_EQ(img.size(), QSize(40000, 3));
    int unpainted = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            if (qRed(px) < 100 || qRed(px) > 200 || qGreen(px) != 0 || qBlue(px) != 0) ++unpainted;
        }
    EXPECT_EQ(unpainted, 0);
}
