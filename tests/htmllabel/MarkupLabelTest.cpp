// The label widget on the offscreen platform: text assignment, automatic sizing, link clicks,
// hover colours and repainting, pictures.

#include "ui/htmllabel/MarkupLabel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace htmllabel;

namespace {

QFont PanelFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    return f;
}

// A point on the link with this href, found by asking the label along its middle lines.
QPoint PointOnLink(TMarkupLabel& label, const QString& href) {
    for (int y = 0; y < label.height(); y += 2)
        for (int x = 0; x < label.width(); ++x) {
            THtmlRect r;
            if (label.AnchorAt({x, y}, r) == href) return {x, y};
        }
    return {-1, -1};
}

void Press(QWidget& w, QPoint p) {
    QMouseEvent e(QEvent::MouseButtonPress, p, w.mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

void Move(QWidget& w, QPoint p) {
    QMouseEvent e(QEvent::MouseMove, p, w.mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

// An opaque white label in the panel font, w by h.
void OnWhite(TMarkupLabel& label, int w, int h) {
    label.setFont(PanelFont());
    label.resize(w, h);
    label.SetTransparent(false);
    label.SetColor(RGBColor(255, 255, 255));
}

int PixelsOf(const QImage& img, QRgb colour) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
    return n;
}

// Collects the regions the label is asked to paint.
class TPaintLog : public QObject {
public:
    QRegion Painted;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) Painted += static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};

} // namespace

TEST(MarkupLabel, LinesChangedInPlaceJoinWithABlankAndWholeAssignmentDropsLineBreaks) {
    TMarkupLabel label;
    EXPECT_EQ(label.width(), 120);
    EXPECT_EQ(TMarkupLabel::Version(), QStringLiteral("1.8.3.4"));
    label.AddLine(QStringLiteral("a"));
    label.AddLine(QStringLiteral("b"));
    EXPECT_EQ(label.Text(), QStringLiteral("a b"));
    label.SetHTMLText(QStringLiteral("a\r\nb"));
    EXPECT_EQ(label.HTMLText(), QStringList{QStringLiteral("ab")});
    EXPECT_EQ(label.Text(), QStringLiteral("ab"));
}

TEST(MarkupLabel, HighlightAndMarkWrapMatchesOfTheVisibleTextAndComeOffAgain) {
    TMarkupLabel label;
    const QString text = QStringLiteral("<b>Gęś</b> i gęśle");
    label.SetHTMLText(text);
    label.HilightText(QStringLiteral("GĘŚ"), false);
    EXPECT_EQ(label.JoinedText(), QStringLiteral("<b><hi>Gęś</hi></b> i <hi>gęś</hi>le"));
    label.UnHilightText();
    EXPECT_EQ(label.JoinedText(), text);
    label.MarkText(QStringLiteral("GĘŚ"), true);
    EXPECT_EQ(label.JoinedText(), text);
    label.MarkText(QStringLiteral("gęś"), true);
    EXPECT_EQ(label.JoinedText(), QStringLiteral("<b>Gęś</b> i <e>gęś</e>le"));
    label.UnMarkText();
    EXPECT_EQ(label.JoinedText(), text);
}

TEST(MarkupLabel, AutoSizingBothTakesTextSizePlusMargins) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("block.png"));
    QImage block(300, 30, QImage::Format_RGB32);
    block.setDotsPerMeterX(3780);
    block.setDotsPerMeterY(3780);
    block.fill(Qt::darkGreen);
    ASSERT_TRUE(block.save(file));

    TMarkupLabel label;
    label.setFont(PanelFont());
    label.SetAutoSizing(true);
    label.SetAutoSizeType(TAutoSizeType::asBoth);
    label.SetHTMLText(QStringLiteral("<img src=\"FILE://%1\">").arg(file));
    label.Doit();
    EXPECT_EQ(label.size(), QSize(308, 36));
    EXPECT_EQ(label.GetSizeWithMaxWidth(1000), QSize(302, 30));

    // Docked to the top, the width is the parent's business.
    label.resize(50, 10);
    label.SetAlign(TAlign::alTop);
    label.Doit();
    EXPECT_EQ(label.size(), QSize(50, 36));
}

TEST(MarkupLabel, ClickOpensOnlyAddressesWithSchemeOrMailto) {
    TMarkupLabel label;
    label.setFont(PanelFont());
    label.resize(400, 40);
    label.SetHTMLText(
        QStringLiteral("<a href=\"page\">strona</a> i <a href=\"mailto:biuro@example.com\">poczta</a>"));
    QStringList clicked, opened;
    label.OnAnchorClick = [&](TMarkupLabel*, const QString& href) { clicked << href; };
    label.OpenUrl = [&](const QString& href) { opened << href; };

    Press(label, PointOnLink(label, QStringLiteral("page")));
    EXPECT_EQ(clicked, QStringList{QStringLiteral("page")});
    EXPECT_TRUE(opened.isEmpty());

    Press(label, PointOnLink(label, QStringLiteral("mailto:biuro@example.com")));
    EXPECT_EQ(opened, QStringList{QStringLiteral("mailto:biuro@example.com")});
    EXPECT_EQ(clicked.size(), 2);
}

TEST(MarkupLabel, HoverColoursApplyToEveryLinkOnlyWithHoverOff) {
    TMarkupLabel label;
    OnWhite(label, 300, 40);
    label.SetHoverColor(RGBColor(255, 0, 0));
    label.SetHTMLText(QStringLiteral("<a href=\"a\">pierwszy</a> <a href=\"b\">drugi</a>"));

    const QImage off = label.grab().toImage();
    EXPECT_GT(PixelsOf(off, qRgb(255, 0, 0)), 0);
    label.SetHover(true);
    const QImage on = label.grab().toImage();
    EXPECT_EQ(PixelsOf(on, qRgb(255, 0, 0)), 0);

    // Printing uses no hover colours and draws links in the link colour.
    label.SetHover(false);
    label.SetURLColor(RGBColor(0, 0, 255));
    QImage printed(300, 40, QImage::Format_RGB32);
    printed.fill(Qt::white);
    {
        QPainter painter(&printed);
        label.HTMLPrint(painter, {0, 0, 300, 40});
    }
    EXPECT_EQ(PixelsOf(printed, qRgb(255, 0, 0)), 0);
    EXPECT_GT(PixelsOf(printed, qRgb(0, 0, 255)), 0);
}

TEST(MarkupLabel, PrintingWithoutAPrinterWritesAPdf) {
    if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "a printer is installed";
    QTemporaryDir dir;
    TMarkupLabel label;
    label.SetHTMLText(QStringLiteral("<b>Wydruk</b> próbny"));
    const QString pdf = dir.filePath(QStringLiteral("label.pdf"));
    EXPECT_EQ(label.PrintDocument(pdf), pdf);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("%PDF"));
}

TEST(MarkupLabel, ImageWithUnknownAddressShowsNothing) {
    TMarkupLabel label;
    label.resize(100, 40);
    label.SetTransparent(false);
    label.SetColor(RGBColor(255, 255, 255));
    label.SetHTMLText(QStringLiteral("<img src=\"http://example.invalid/a.png\">"));
    const QImage img = label.grab().toImage();
    EXPECT_EQ(PixelsOf(img, qRgb(255, 255, 255)), img.width() * img.height());
}

TEST(MarkupLabel, LeavingAHoveredLinkRepaintsOnlyItsArea) {
    QWidget parent;
    parent.resize(400, 100);
    auto* label = new TMarkupLabel(&parent);
    label->setFont(PanelFont());
    label->setGeometry(0, 0, 400, 60);
    label->SetHover(true);
    label->SetHTMLText(QStringLiteral("Tekst <a href=\"a\">link</a> i dalej"));
    parent.show();
    QApplication::processEvents();

    const QPoint on = PointOnLink(*label, QStringLiteral("a"));
    ASSERT_NE(on.x(), -1);
    THtmlRect link;
    label->AnchorAt(on, link);
    Move(*label, on);
    QApplication::processEvents();

    TPaintLog log;
    label->installEventFilter(&log);
    Move(*label, {399, 59});
    QApplication::processEvents();
    EXPECT_EQ(log.Painted, QRegion(link.Left, link.Top, link.Width(), link.Height()));
    EXPECT_EQ(label->HoverLink(), -1);
}

namespace {

bool LinkBlue(QRgb c) {
    return qBlue(c) - qRed(c) > 60 && qRed(c) == qGreen(c);
}

} // namespace

TEST(MarkupLabel, LinksAreClickableWhereverTheyArePainted) {
    const QString text = QStringLiteral("Na początek <a href=\"x\">odnośnik w tekście</a> i koniec");
    const std::pair<const char*, std::function<void(TMarkupLabel&)>> cases[] = {
        {"plain", [](TMarkupLabel&) {}},
        {"bevel", [](TMarkupLabel& l) { l.SetBevelOuter(TBevelCut::bvRaised), l.SetBevelWidth(6); }},
        {"two bevels",
         [](TMarkupLabel& l) {
             l.SetBevelOuter(TBevelCut::bvRaised), l.SetBevelInner(TBevelCut::bvLowered), l.SetBevelWidth(4);
         }},
        {"border", [](TMarkupLabel& l) { l.SetBorderStyle(TBorderStyle::bsSingle), l.SetBorderWidth(4); }},
        {"auto-sized, centred",
         [](TMarkupLabel& l) {
             l.SetAutoSizing(true), l.SetAutoSizeType(TAutoSizeType::asVertical);
             l.SetVAlignment(TVAlignment::tvaCenter);
         }},
    };
    for (const auto& [name, setUp] : cases) {
        TMarkupLabel label;
        OnWhite(label, 400, 60);
        label.SetURLColor(RGBColor(0, 0, 255));
        label.SetHTMLText(text);
        setUp(label);
        label.Doit();
        const QImage img = label.grab().toImage();
        int painted = 0, missed = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                if (!LinkBlue(img.pixel(x, y))) continue;
                ++painted;
                THtmlRect r;
                if (label.AnchorAt({x, y}, r) != QStringLiteral("x")) ++missed;
            }
        EXPECT_GT(painted, 50) << name;
        EXPECT_EQ(missed, 0) << name << ": " << missed << " of " << painted << " link pixels not clickable";
    }
}

TEST(MarkupLabel, LeavingRepaintsAllOfAHoveredLinkAndFiresTheExit) {
    QWidget parent;
    parent.resize(300, 100);
    auto* label = new TMarkupLabel(&parent);
    OnWhite(*label, 150, 90);
    label->SetBevelOuter(TBevelCut::bvRaised);
    label->SetBevelWidth(6);
    label->SetHover(true);
    label->SetHoverColor(RGBColor(255, 0, 0));
    label->SetHTMLText(QStringLiteral("Tekst <a href=\"a\">odnośnik na dwa wiersze tekstu</a> i dalej"));
    QStringList events;
    label->OnAnchorEnter = [&](TMarkupLabel*, const QString& href) { events << "enter " + href; };
    label->OnAnchorExit = [&](TMarkupLabel*, const QString& href) { events << "exit " + href; };
    parent.show();
    QApplication::processEvents();

    const QPoint on = PointOnLink(*label, QStringLiteral("a"));
    ASSERT_NE(on.x(), -1);
    Move(*label, on);
    QApplication::processEvents();
    const QImage hovered = label->grab().toImage();
    ASSERT_GT(PixelsOf(hovered, qRgb(255, 0, 0)), 0);

    TPaintLog log;
    label->installEventFilter(&log);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(label, &leave);
    QApplication::processEvents();
    int left = 0;
    for (int y = 0; y < hovered.height(); ++y)
        for (int x = 0; x < hovered.width(); ++x)
            if ((hovered.pixel(x, y) & 0xFFFFFF) == 0xFF0000 && !log.Painted.contains(QPoint(x, y))) ++left;
    EXPECT_EQ(left, 0) << "hover pixels not repainted";

    Move(*label, on);
    EXPECT_EQ(events, (QStringList{"enter a", "exit a", "enter a"}));
}

TEST(MarkupLabel, BlinkingTextShowsAndHidesInTurnsRepaintingOnlyItsLine) {
    QWidget parent;
    parent.resize(300, 100);
    auto* label = new TMarkupLabel(&parent);
    OnWhite(*label, 300, 100);
    label->SetHTMLText(QStringLiteral("<blink>Uwaga</blink><br><br><br>Stały tekst"));
    parent.show();
    QApplication::processEvents();
    TPaintLog log;
    label->installEventFilter(&log);

    int shown = 0, hidden = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3 * TMarkupLabel::BlinkInterval) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        const QImage img = label->grab(QRect(0, 0, 100, 16)).toImage();
        (PixelsOf(img, qRgb(255, 255, 255)) < img.width() * img.height() ? shown : hidden)++;
    }
    EXPECT_GT(shown, 0);
    EXPECT_GT(hidden, 0);
    EXPECT_FALSE(log.Painted.isEmpty());
    EXPECT_FALSE(log.Painted.contains(QPoint(10, 60))) << "the steady line was repainted";
    EXPECT_FALSE(log.Painted.contains(QPoint(200, 8))) << "more than the blinking word was repainted";
}

TEST(MarkupLabel, PaintingInStripsDrawsWhatPaintingWholeDoes) {
    TMarkupLabel label;
    OnWhite(label, 160, 20);
    label.SetAutoSizing(true);
    label.SetHover(true);
    label.SetHoverColor(RGBColor(255, 255, 0));
    label.SetHTMLText(QStringLiteral(
        "<p bgcolor=\"#E0E0FF\">Akapit z tłem na dwa wiersze tekstu</p><font bgcolor=\"#FFE0E0\">Tło "
        "czcionki "
        "przez kilka wierszy</font> <a href=\"a\">odnośnik przez dwa wiersze tekstu</a> <hi>wyróżnienie "
        "na dwa wiersze</hi> <shad>cień</shad> <ul><li>punkt<li>drugi</ul> x<sup>2</sup> i<sub>k</sub> <p "
        "align=\"center\">środek</p><p align=\"right\">prawo</p> <blink>miga</blink> koniec"));
    label.Doit();
    label.Doit();
    Move(label, PointOnLink(label, QStringLiteral("a")));
    ASSERT_EQ(label.HoverLink(), 1);
    const QImage whole = label.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage strips(whole.size(), QImage::Format_RGB32);
    strips.fill(Qt::black);
    for (int y = 0; y < strips.height(); y += 7)
        label.render(&strips, QPoint(0, y), QRegion(0, y, strips.width(), 7));
    EXPECT_EQ(strips, whole);
}
