// Rendering through QPainter (offscreen). The PNGs are written beside the test binary:
// info_text.png and sampler.png.

#include "InfoText.h"
#include "ui/htmllabel/MiniHtml.h"
#include "ui/htmllabel/PainterSurface.h"
#include "ui/htmllabel/PictureContainer.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

using namespace htmllabel;

namespace {

void EnsureApp() {
    static int argc = 1;
    static char name[] = "test_htmllabel";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
}

QImage Canvas(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.setDotsPerMeterX(3780); // 96 dots per inch
    img.setDotsPerMeterY(3780);
    img.fill(Qt::white);
    return img;
}

THtmlFont PanelFont() {
    THtmlFont f;
    f.Name = QStringLiteral("Arial");
    f.Size = 9;
    return f;
}

bool InkIn(const QImage& img, const QRect& r) {
    const QRect c = r.intersected(img.rect());
    for (int y = c.top(); y <= c.bottom(); ++y)
        for (int x = c.left(); x <= c.right(); ++x)
            if (qGray(img.pixel(x, y)) < 160) return true;
    return false;
}

QString OutPath(const char* name) {
    return QStringLiteral(HTMLLABEL_OUTPUT_DIR "/") + QLatin1String(name);
}

} // namespace

TEST(PainterSurface, MetricsFollowTheDevice) {
    EnsureApp();
    QImage img = Canvas(50, 50);
    QPainter painter(&img);
    TPainterSurface s(painter);
    s.SetFont(PanelFont());
    EXPECT_EQ(s.DpiX(), 96);
    EXPECT_EQ(s.ToQFont(PanelFont()).pixelSize(), 12);
    const int h = s.TextHeight(QStringLiteral("gh"));
    EXPECT_GE(h, 12);
    EXPECT_LE(h, 18);
    EXPECT_GT(s.TextWidth(QStringLiteral("ww")), s.TextWidth(QStringLiteral("w")));
    THtmlRect r{5, 5, 0, 0};
    s.MeasureText(QStringLiteral("a&&b"), r, TTextFormat{});
    EXPECT_EQ(r.Width(), s.TextWidth(QStringLiteral("a&b")));
    EXPECT_EQ(r.Bottom, 5 + h);
    EXPECT_EQ(s.FitCount(QStringLiteral("wwwwwwww"), s.TextWidth(QStringLiteral("www"))), 3);
    THtmlFont bold = PanelFont();
    bold.Bold = true;
    s.SetFont(bold);
    EXPECT_TRUE(s.Font().Bold);
}

TEST(PainterSurface, RendersTheInformationText) {
    EnsureApp();
    QImage img = Canvas(760, 140);
    TMiniHtmlResult res;
    {
        QPainter painter(&img);
        TPainterSurface s(painter);
        s.SetFont(PanelFont());
        s.SetBrushColor(0xFFFFFF);
        DrawMiniHtml(s, InfoText(), THtmlRect{0, 0, 760, 140}, TMiniHtmlOptions{}, res);
    }
    ASSERT_TRUE(img.save(OutPath("info_text.png")));
    const int line = res.Height / 8;
    EXPECT_GT(res.Width, 400);
    EXPECT_LT(res.Width, 760);
    // The Formy path starts at 120: ink right there, none between the label and 120.
    QImage probe = Canvas(200, 20);
    int labelEnd;
    {
        QPainter painter(&probe);
        TPainterSurface s(painter);
        s.SetFont(PanelFont());
        labelEnd = s.TextWidth(QStringLiteral("Baza Vorek MES:"));
    }
    ASSERT_LT(labelEnd, 118);
    for (int row : {2, 3}) {
        EXPECT_FALSE(InkIn(img, QRect(labelEnd + 1, row * line, 118 - labelEnd, line))) << row;
        EXPECT_TRUE(InkIn(img, QRect(120, row * line, 8, line))) << row;
    }
    // The empty lines stay empty; the last line has ink.
    EXPECT_FALSE(InkIn(img, QRect(0, line + 2, 760, line - 4)));
    EXPECT_FALSE(InkIn(img, QRect(0, 5 * line + 2, 760, line - 4)));
    EXPECT_TRUE(InkIn(img, QRect(0, 7 * line, 200, line)));
    EXPECT_FALSE(InkIn(img, QRect(0, 8 * line + 1, 760, 140 - 8 * line - 1)));
}

TEST(PainterSurface, RendersASamplerOfEveryTag) {
    EnsureApp();
    TPictureContainer container;
    QImage pic(24, 16, QImage::Format_ARGB32);
    pic.fill(QColor(0, 160, 0));
    QByteArray png;
    {
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        pic.save(&buf, "PNG");
    }
    TPictureItem* item = container.Items().Add();
    item->SetName(QStringLiteral("green"));
    item->Picture().LoadFromData(png);
    THtmlImageList list(16, 16);
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    list.Add(red);

    const QString sampler = QStringLiteral(
        "<body bgcolor=\"#F0F0FF\" bgcolorto=\"#FFFFFF\" dir=\"V\">"
        "<p align=\"center\"><b>Bold</b> <i>italic</i> <u>underline</u> <s>strike</s> "
        "<font face=\"DejaVu Serif\" size=\"4\" color=\"clNavy\" bgcolor=\"clYellow\">font</font></p><p "
        "align=\"left\">"
        "<a href=\"http://x\">a link</a> and <a href=\"mailto:y\">a focused link</a> "
        "H<sub>2</sub>O x<sup>2</sup> <shad>shadow</shad> <e>misspelt</e> <hi>highlight</hi>"
        "<z>hidden</z> <blink>blink</blink><br>"
        "<hr color=\"#808080\">"
        "<ul><li>first item<li type=\"square\" color=\"clRed\">square<ul><li type=\"circle\" "
        "color=\"clBlue\">circle<li>nested</ul></ul>"
        "<br><p bgcolor=\"#FFE0E0\" bgcolorto=\"#E0E0FF\">gradient paragraph</p>"
        "Name:<ind x=\"120\">indented &amp; entities &copy; &euro; &lt;tag&gt;<br>"
        "<of x=\"20\">offset line</of><br>"
        "image <img src=\"green\"> list <img src=\"IDX:0\" align=\"middle\"> <r a=\"20\">rotated</r><br>"
        "<p align=\"right\">right aligned &sect; &para; &trade;</p>");
    QImage img = Canvas(520, 330);
    TMiniHtmlResult res;
    {
        QPainter painter(&img);
        TPainterSurface s(painter);
        s.SetFont(PanelFont());
        s.SetBrushColor(0xFFFFFF);
        TMiniHtmlOptions o;
        o.ImageList = &list;
        o.PictureContainer = &container;
        o.FocusLink = 1;
        o.HoverColor = 0xFFF0E0;
        DrawMiniHtml(s, sampler, THtmlRect{4, 4, 516, 326}, o, res);
    }
    ASSERT_TRUE(img.save(OutPath("sampler.png")));
    EXPECT_EQ(res.LinkCount, 2);
    EXPECT_GT(res.Height, 150);
    EXPECT_LT(res.Height, 326);
    // The picture and the image-list image are drawn in their colours.
    bool green = false, redSeen = false;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            green = green || c == QColor(0, 160, 0);
            redSeen = redSeen || c == QColor(255, 0, 0);
        }
    EXPECT_TRUE(green);
    EXPECT_TRUE(redSeen);
}

TEST(PainterSurface, ClipBoxClipRestoreAndStretchedListImages) {
    EnsureApp();
    QImage img = Canvas(100, 100);
    QPainter painter(&img);
    TPainterSurface s(painter);
    EXPECT_EQ(s.ClipBox(), (THtmlRect{0, 0, 100, 100}));
    painter.setClipRect(QRect(10, 10, 50, 50));
    EXPECT_EQ(s.ClipBox(), (THtmlRect{10, 10, 60, 60}));
    s.SetClip({0, 0, 30, 30});
    EXPECT_EQ(s.ClipBox(), (THtmlRect{10, 10, 30, 30}));
    s.RemoveClip();
    EXPECT_TRUE(painter.hasClipping());
    EXPECT_EQ(s.ClipBox(), (THtmlRect{10, 10, 60, 60}));
    painter.setClipping(false);

    THtmlImageList list(16, 16);
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    list.Add(red);
    TMiniHtmlOptions o;
    o.ImageList = &list;
    TMiniHtmlResult res;
    s.SetFont(PanelFont());
    DrawMiniHtml(s, QStringLiteral("<img src=\"IDX:0\" width=\"32\" height=\"32\">"),
                 THtmlRect{0, 0, 100, 100}, o, res);
    painter.end();
    EXPECT_EQ(img.pixelColor(28, 28), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(40, 28), QColor(Qt::white));
}
