// Exact layouts on the recording surface: 9-point fonts are 15 pixels high, characters 6 pixels
// wide (7 when bold).

#include "InfoText.h"
#include "ui/htmllabel/MarkupPicture.h"
#include "ui/htmllabel/MiniHtml.h"
#include "ui/htmllabel/PictureContainer.h"
#include "ui/htmllabel/RecordingSurface.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

using namespace htmllabel;

namespace {

constexpr THtmlRect kWide{0, 0, 65535, 65535};

struct Drawn {
    QString Text;
    int Left;
    int Top;
    int Bottom;
    bool operator==(const Drawn&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Drawn& d) {
    return os << '"' << d.Text.toStdString() << "\" " << d.Left << ',' << d.Top << '-' << d.Bottom;
}

std::vector<Drawn> TextCalls(const TRecordingSurface& s) {
    std::vector<Drawn> r;
    for (const auto& c : s.CallsOf(QStringLiteral("text")))
        r.push_back({c.Text, c.R.Left, c.R.Top, c.R.Bottom});
    return r;
}

// Expected runs of a word-wrapped line: each run ends after a blank.
void AddRuns(std::vector<Drawn>& out, const QString& text, int x, int top, int charWidth) {
    QString run;
    for (QChar c : text) {
        run += c;
        if (c == QLatin1Char(' ')) {
            out.push_back({run, x, top, top + 15});
            x += int(run.size()) * charWidth;
            run.clear();
        }
    }
    if (!run.isEmpty()) out.push_back({run, x, top, top + 15});
}

TRecordingSurface PanelSurface() {
    TRecordingSurface s;
    THtmlFont f;
    f.Name = QStringLiteral("Arial");
    f.Size = 9;
    s.SetFont(f);
    return s;
}

TMiniHtmlResult Layout(TRecordingSurface& s, const QString& text, const THtmlRect& r = kWide,
                       const TMiniHtmlOptions& o = {}) {
    TMiniHtmlResult res;
    res.Hit = DrawMiniHtml(s, text, r, o, res);
    return res;
}

} // namespace

TEST(MiniHtmlLayout, InformationTextWithAllSwitchesOn) {
    TRecordingSurface s = PanelSurface();
    const TMiniHtmlResult res = Layout(s, InfoText());

    std::vector<Drawn> expected;
    AddRuns(expected, kInfoHeadline, 0, 0, 7);
    AddRuns(expected, QStringLiteral("Baza Formy:"), 0, 30, 6);
    expected.push_back({kFormyPath, 120, 30, 45});
    AddRuns(expected, QStringLiteral("Baza Vorek MES:"), 0, 45, 6);
    expected.push_back({kVorekPath, 120, 45, 60});
    AddRuns(expected, QStringLiteral("Aktualizacja liczników o godznie 3:05"), 0, 60, 6);
    AddRuns(expected, QStringLiteral("Załączone raportowanie w histori zmian liczników programu lidorna"), 0,
            90, 6);
    AddRuns(expected, QStringLiteral("Załączony log operacji "), 0, 105, 6);
    EXPECT_EQ(TextCalls(s), expected);

    // Only the headline is bold; the font ends as it began.
    for (const auto& c : s.CallsOf(QStringLiteral("text")))
        EXPECT_EQ(c.Font.Bold, c.R.Top == 0) << c.Text.toStdString();
    EXPECT_FALSE(s.Font().Bold);

    EXPECT_EQ(res.Width, int(kInfoHeadline.size()) * 7 + 2);
    EXPECT_EQ(res.Height, 8 * 15);
    EXPECT_EQ(res.LinkCount, 0);
    EXPECT_EQ(res.MouseLink, -1);
    EXPECT_FALSE(res.Hit);

    // Measuring alone gives the same size and draws nothing.
    TRecordingSurface m = PanelSurface();
    TMiniHtmlOptions o;
    o.MeasureOnly = true;
    const TMiniHtmlResult measured = Layout(m, InfoText(), kWide, o);
    EXPECT_EQ(measured.Width, res.Width);
    EXPECT_EQ(measured.Height, res.Height);
    EXPECT_TRUE(m.Calls.isEmpty());
}

TEST(MiniHtmlLayout, EmptyAndLineBreaks) {
    TRecordingSurface s = PanelSurface();
    TMiniHtmlResult res = Layout(s, QString());
    EXPECT_EQ(res.Width, 0);
    EXPECT_EQ(res.Height, 15);
    EXPECT_TRUE(s.Calls.isEmpty());

    TRecordingSurface t = PanelSurface();
    res = Layout(t, QStringLiteral("a<br><br>b"));
    EXPECT_EQ(TextCalls(t), (std::vector<Drawn>{{"a", 0, 0, 15}, {"b", 0, 30, 45}}));
    EXPECT_EQ(res.Height, 45);
    EXPECT_EQ(res.Width, 8);

    // CR breaks a line, LF disappears, surrounding blanks of a line are dropped.
    TRecordingSurface u = PanelSurface();
    res = Layout(u, QStringLiteral("  a\r\n  b  "));
    EXPECT_EQ(TextCalls(u), (std::vector<Drawn>{{"a", 0, 0, 15}, {"b", 0, 15, 30}}));
    EXPECT_EQ(res.Height, 30);
}

TEST(MiniHtmlLayout, AmpersandsAndPrefixProcessing) {
    auto visible = [](const TRecordingSurface& s) {
        QString r;
        for (const auto& c : s.CallsOf(QStringLiteral("text")))
            r += c.Prefix ? TRecordingSurface::StripPrefix(c.Text) : c.Text;
        return r;
    };
    TRecordingSurface a = PanelSurface();
    TMiniHtmlResult res = Layout(a, QStringLiteral("Tom &amp; Jerry"));
    EXPECT_EQ(visible(a), QStringLiteral("Tom & Jerry"));
    EXPECT_EQ(res.Width, 11 * 6 + 2);

    TRecordingSurface b = PanelSurface();
    res = Layout(b, QStringLiteral("x & y &amp; z"));
    EXPECT_EQ(visible(b), QStringLiteral("x & y && z"));
    EXPECT_EQ(res.Width, 10 * 6 + 2);

    TRecordingSurface c = PanelSurface();
    res = Layout(c, QStringLiteral("&File"));
    EXPECT_EQ(visible(c), QStringLiteral("File"));
    EXPECT_EQ(res.Width, 4 * 6 + 2);

    // Other entities, nested ones, and those replaced per run.
    TRecordingSurface d = PanelSurface();
    Layout(d, QStringLiteral("&COPY;&euro;&amp;quot;a&nbsp;&lt;b&gt;"));
    // "&amp;quot;" becomes "&&quot;" and then "&\"": the ampersand prefixes the quotation mark.
    EXPECT_EQ(visible(d), QStringLiteral("\u00A9\u20AC\"a <b>"));
}

TEST(MiniHtmlLayout, FontStateCarriesAcrossLines) {
    TRecordingSurface s = PanelSurface();
    Layout(s, QStringLiteral("<b>bold<br>still<i>it</i></b>plain<br>x<u>u</u><s>s</s>"));
    const auto calls = s.CallsOf(QStringLiteral("text"));
    ASSERT_EQ(calls.size(), 7);
    EXPECT_TRUE(calls[0].Font.Bold);
    EXPECT_TRUE(calls[1].Font.Bold);
    EXPECT_EQ(calls[1].R.Top, 15);
    EXPECT_TRUE(calls[2].Font.Italic && calls[2].Font.Bold);
    EXPECT_EQ(calls[2].R.Left, 35);
    EXPECT_FALSE(calls[3].Font.Bold || calls[3].Font.Italic);
    EXPECT_EQ(calls[3].R.Left, 49);
    EXPECT_EQ(calls[4].R.Top, 30);
    EXPECT_TRUE(calls[5].Font.Underline);
    EXPECT_TRUE(calls[6].Font.StrikeOut && !calls[6].Font.Underline);

    // FONT: face, colour, named sizes and the closing tag back to the base font.
    TRecordingSurface f = PanelSurface();
    Layout(f, QStringLiteral(
                  "<font face=\"Courier New\" color=\"clRed\" size=\"4\">a</font>b<font size=\"20\">c"));
    const auto fc = f.CallsOf(QStringLiteral("text"));
    ASSERT_EQ(fc.size(), 3);
    EXPECT_EQ(fc[0].Font.Name, QStringLiteral("Courier New"));
    EXPECT_EQ(fc[0].Font.Size, 14);
    EXPECT_EQ(fc[0].Font.Color, 0x0000FFu);
    EXPECT_EQ(fc[1].Font.Name, QStringLiteral("Arial"));
    EXPECT_EQ(fc[1].Font.Size, 9);
    EXPECT_EQ(fc[1].Font.Color, 0u);
    EXPECT_EQ(fc[2].Font.Size, 20);
}

TEST(MiniHtmlLayout, IndentationAndFixedOffset) {
    // Text already past 50 pixels is not moved back.
    TRecordingSurface a = PanelSurface();
    Layout(a, QStringLiteral("abcdefghij<ind x=\"50\">k<br>ab<ind x=\"50\">k"));
    EXPECT_EQ(TextCalls(a),
              (std::vector<Drawn>{
                  {"abcdefghij", 0, 0, 15}, {"k", 60, 0, 15}, {"ab", 0, 15, 30}, {"k", 50, 15, 30}}));

    // A text right after the tag that begins with x is taken as the key: no indentation.
    TRecordingSurface b = PanelSurface();
    Layout(b, QStringLiteral("Baza:<ind=\"120\">X:\\dane\\formy_db.fdb<br>Baza:<ind=\"120\">x.fdb"));
    EXPECT_EQ(TextCalls(b), (std::vector<Drawn>{{"Baza:", 0, 0, 15},
                                                {"X:\\dane\\formy_db.fdb", 30, 0, 15},
                                                {"Baza:", 0, 15, 30},
                                                {"x.fdb", 30, 15, 30}}));

    // An invalid indentation value is ignored.
    TRecordingSurface c = PanelSurface();
    Layout(c, QStringLiteral("a<ind x=\"4o\">b"));
    EXPECT_EQ(TextCalls(c), (std::vector<Drawn>{{"a", 0, 0, 15}, {"b", 6, 0, 15}}));

    // OF moves this line and the following ones; /OF takes effect from the next line.
    TRecordingSurface d = PanelSurface();
    const TMiniHtmlResult res = Layout(d, QStringLiteral("<of x=\"30\">a<br>b</of>c<br>d"));
    EXPECT_EQ(TextCalls(d),
              (std::vector<Drawn>{{"a", 30, 0, 15}, {"b", 30, 15, 30}, {"c", 36, 15, 30}, {"d", 0, 30, 45}}));
    EXPECT_EQ(res.Width, 42 + 2);

    // OF inside a rectangle that does not start at 0 stays relative to it.
    TRecordingSurface e = PanelSurface();
    Layout(e, QStringLiteral("<of x=\"10\">a"), THtmlRect{100, 5, 400, 300});
    EXPECT_EQ(TextCalls(e), (std::vector<Drawn>{{"a", 110, 5, 20}}));
}

TEST(MiniHtmlLayout, WordWrapAndEllipsis) {
    // A word longer than the line stays on its line and overflows.
    TRecordingSurface a = PanelSurface();
    TMiniHtmlResult res = Layout(a, QStringLiteral("abcdefghijklmnop qr st"), THtmlRect{0, 0, 50, 500});
    EXPECT_EQ(TextCalls(a),
              (std::vector<Drawn>{{"abcdefghijklmnop ", 0, 0, 15}, {"qr ", 0, 15, 30}, {"st", 18, 15, 30}}));
    EXPECT_EQ(res.Width, 16 * 6 + 2);
    EXPECT_EQ(res.Height, 30);

    // Words move to the next line when they do not fit.
    TRecordingSurface b = PanelSurface();
    res = Layout(b, QStringLiteral("aaa bbb ccc"), THtmlRect{0, 0, 40, 500});
    EXPECT_EQ(TextCalls(b),
              (std::vector<Drawn>{{"aaa ", 0, 0, 15}, {"bbb ", 0, 15, 30}, {"ccc", 0, 30, 45}}));
    EXPECT_EQ(res.Width, 3 * 6 + 2); // the trailing blank does not count

    // Without word wrap the line is not broken and ends with an ellipsis.
    TRecordingSurface c = PanelSurface();
    TMiniHtmlOptions o;
    o.WordWrap = false;
    res = Layout(c, QStringLiteral("aaa bbb ccc"), THtmlRect{0, 0, 45, 500}, o);
    const auto calls = c.CallsOf(QStringLiteral("text"));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].Text, QStringLiteral("aaa bbb ccc"));
    EXPECT_EQ(calls[0].R.Right, 45);
    EXPECT_EQ(res.Height, 15);

    // Drawing stops at the bottom of the rectangle unless only measuring.
    TRecordingSurface d = PanelSurface();
    res = Layout(d, QStringLiteral("a<br>b<br>c<br>d"), THtmlRect{0, 0, 100, 40});
    EXPECT_EQ(d.Texts(), QStringList({"a", "b"}));
    EXPECT_EQ(res.Height, 30);
}

TEST(MiniHtmlLayout, LinksHitTestingAndHoverRectangle) {
    TRecordingSurface s = PanelSurface();
    TMiniHtmlOptions o;
    o.HitX = 3;
    o.HitY = 7;
    TMiniHtmlResult res = Layout(s, QStringLiteral("<a href=\"x\">link</a>"), kWide, o);
    EXPECT_TRUE(res.Hit);
    EXPECT_EQ(res.Anchor, QStringLiteral("x"));
    EXPECT_EQ(res.LinkCount, 1);
    EXPECT_EQ(res.MouseLink, 1);
    EXPECT_EQ(res.HoverRect, (THtmlRect{0, 0, 24, 15}));
    const auto calls = s.CallsOf(QStringLiteral("text"));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].Font.Color, 0xFF0000u);
    EXPECT_TRUE(calls[0].Font.Underline);

    // Second of two links, on the second line, with the hit-only second pass.
    TRecordingSurface t = PanelSurface();
    o.HitOnlySecondPass = true;
    o.HitX = 30;
    o.HitY = 20;
    const QString two = QStringLiteral("<a href=\"one\">first</a><br>go <a href=\"Two\">there</a> now");
    res = Layout(t, two, kWide, o);
    EXPECT_TRUE(t.Calls.isEmpty());
    EXPECT_TRUE(res.Hit);
    EXPECT_EQ(res.Anchor, QStringLiteral("Two"));
    EXPECT_EQ(res.MouseLink, 2);
    EXPECT_EQ(res.LinkCount, 2);
    EXPECT_EQ(res.HoverRect, (THtmlRect{18, 15, 48, 30}));

    // Right of the link text, or above the line's text band: no hit.
    for (auto [x, y] : {std::pair{50, 20}, std::pair{30, 40}, std::pair{3, -1}}) {
        TRecordingSurface u = PanelSurface();
        o.HitX = x;
        o.HitY = y;
        res = Layout(u, two, kWide, o);
        EXPECT_FALSE(res.Hit) << x << ',' << y;
        EXPECT_TRUE(res.Anchor.isEmpty());
        EXPECT_EQ(res.MouseLink, -1);
        EXPECT_EQ(res.LinkCount, 2);
    }

    // A link going on over a line break: the rectangle of the hit line reaches from its left edge.
    TRecordingSurface v = PanelSurface();
    o.HitX = 3;
    o.HitY = 20;
    res = Layout(v, QStringLiteral("ab <a href=\"w\">cd<br>ef</a> gh"), kWide, o);
    EXPECT_TRUE(res.Hit);
    EXPECT_EQ(res.HoverRect, (THtmlRect{0, 15, 12, 30}));

    // Centred line: the hit test uses the line's final position.
    TRecordingSurface w = PanelSurface();
    o.HitOnlySecondPass = false;
    o.HitX = 50;
    o.HitY = 5;
    res =
        Layout(w, QStringLiteral("<p align=\"center\"><a href=\"c\">link</a>"), THtmlRect{0, 0, 124, 100}, o);
    EXPECT_TRUE(res.Hit);
    EXPECT_EQ(res.HoverRect, (THtmlRect{50, 0, 74, 15}));
    EXPECT_EQ(w.CallsOf(QStringLiteral("text"))[0].R.Left, 50);
}

TEST(MiniHtmlLayout, LinkColoursHoverAndFocus) {
    TMiniHtmlOptions o;
    o.HoverColor = 0x00FFFF;
    o.HoverFontColor = 0x00FF00;
    o.LinkColor = 0x800000;
    // Hover off: every link gets the hover background; the link colour wins over the hover font colour.
    TRecordingSurface a = PanelSurface();
    Layout(a, QStringLiteral("<a href=\"1\">a</a><a href=\"2\">b</a>c"), kWide, o);
    auto fills = a.CallsOf(QStringLiteral("fill"));
    ASSERT_EQ(fills.size(), 2);
    EXPECT_EQ(fills[0].Brush, 0x00FFFFu);
    auto texts = a.CallsOf(QStringLiteral("text"));
    EXPECT_EQ(texts[0].Font.Color, 0x800000u);
    EXPECT_EQ(texts[2].Font.Color, 0u);
    EXPECT_FALSE(texts[2].Font.Underline);

    // Hover on: only the hovered link gets the hover colours.
    TRecordingSurface b = PanelSurface();
    o.Hover = true;
    o.HoverLink = 2;
    o.FocusLink = 0;
    Layout(b, QStringLiteral("<a href=\"1\">a</a><a href=\"2\">b</a>"), kWide, o);
    texts = b.CallsOf(QStringLiteral("text"));
    EXPECT_EQ(texts[0].Font.Color, 0x800000u);
    EXPECT_FALSE(texts[0].Font.Underline);
    EXPECT_EQ(texts[1].Font.Color, 0x00FF00u);
    EXPECT_TRUE(texts[1].Font.Underline);
    EXPECT_EQ(b.CallsOf(QStringLiteral("fill")).size(), 1);
    const auto focus = b.CallsOf(QStringLiteral("focus"));
    ASSERT_EQ(focus.size(), 1);
    EXPECT_EQ(focus[0].R, (THtmlRect{-1, 0, 7, 15}));

    // Ignored colours: no colour changes.
    TRecordingSurface c = PanelSurface();
    TMiniHtmlOptions ig;
    ig.IgnoreColors = true;
    Layout(c, QStringLiteral("<a href=\"1\">a</a><font color=\"#FF0000\">b</font>"), kWide, ig);
    for (const auto& t : c.CallsOf(QStringLiteral("text")))
        EXPECT_EQ(t.Font.Color, 0u);
}

TEST(MiniHtmlLayout, ColoursHexCaseAndRules) {
    for (const QString& c : {QStringLiteral("#ff8000"), QStringLiteral("#FF8000")}) {
        TRecordingSurface s = PanelSurface();
        Layout(s, QStringLiteral("<font color=\"%1\">a</font><hr color=\"%1\">b").arg(c));
        EXPECT_EQ(s.CallsOf(QStringLiteral("text"))[0].Font.Color, 0x0080FFu);
        const auto lines = s.CallsOf(QStringLiteral("lineto"));
        ASSERT_EQ(lines.size(), 1);
        EXPECT_EQ(lines[0].Pen, 0x0080FFu);
        const auto moves = s.CallsOf(QStringLiteral("moveto"));
        EXPECT_EQ(moves[0].R.Left, 0);
        EXPECT_EQ(moves[0].R.Top, 16);
        EXPECT_EQ(lines[0].R.Left, 65535);
        EXPECT_EQ(s.CallsOf(QStringLiteral("text"))[1].R.Top, 15); // HR ends the line
    }
    // Highlight and BLINK.
    TRecordingSurface h = PanelSurface();
    h.SetBrushColor(0x123456);
    Layout(h, QStringLiteral("<hi>x</hi>y<blink>z</blink>w"));
    const auto t = h.CallsOf(QStringLiteral("text"));
    EXPECT_EQ(t[0].Font.Color, SystemColor(14));
    EXPECT_EQ(h.CallsOf(QStringLiteral("fill"))[0].Brush, SystemColor(13));
    EXPECT_EQ(t[1].Font.Color, 0u);
    EXPECT_EQ(t[2].Font.Color, 0x123456u);
    EXPECT_EQ(t[3].Font.Color, 0u);
    EXPECT_EQ(h.BrushColor(), 0x123456u); // the surface's brush is given back
}

TEST(MiniHtmlLayout, ParagraphsAlignmentAndBackgrounds) {
    TRecordingSurface s = PanelSurface();
    Layout(s, QStringLiteral("<p align=\"right\">ab</p><p align=\"center\" indent=\"4\">cd</p>ef"),
           THtmlRect{0, 0, 100, 200});
    EXPECT_EQ(TextCalls(s), (std::vector<Drawn>{{"ab", 88, 0, 15}, {"cd", 48, 15, 30}, {"ef", 48, 30, 45}}));

    TRecordingSurface b = PanelSurface();
    Layout(b, QStringLiteral("<p bgcolor=\"#0000FF\">a<br>b</p>c"), THtmlRect{0, 0, 100, 200});
    const auto fills = b.CallsOf(QStringLiteral("fill"));
    ASSERT_EQ(fills.size(), 2);
    EXPECT_EQ(fills[0].R, (THtmlRect{0, 0, 100, 15}));
    EXPECT_EQ(fills[1].R, (THtmlRect{0, 15, 100, 30}));
    EXPECT_EQ(fills[0].Brush, 0xFF0000u);

    // Gradient paragraph: 64 bands, 2 pixels taller.
    TRecordingSurface g = PanelSurface();
    Layout(g, QStringLiteral("<p bgcolor=\"#000000\" bgcolorto=\"#FFFFFF\">a"), THtmlRect{0, 0, 128, 200});
    const auto bands = g.CallsOf(QStringLiteral("fill"));
    ASSERT_EQ(bands.size(), 64);
    EXPECT_EQ(bands[0].R, (THtmlRect{0, 0, 3, 17}));
    EXPECT_EQ(bands[63].Brush, RGBColor(251, 251, 251));

    // BODY colour fills the whole rectangle, extended 2 pixels to the left.
    TRecordingSurface d = PanelSurface();
    Layout(d, QStringLiteral("<body bgcolor=\"clYellow\">x"), THtmlRect{10, 10, 60, 60});
    const auto body = d.CallsOf(QStringLiteral("fill"));
    ASSERT_EQ(body.size(), 1);
    EXPECT_EQ(body[0].R, (THtmlRect{8, 10, 60, 60}));
    EXPECT_EQ(body[0].Brush, 0x00FFFFu);
}

TEST(MiniHtmlLayout, ListsAndMarkers) {
    TRecordingSurface s = PanelSurface();
    Layout(s, QStringLiteral(
                  "<ul><li>one<li type=\"square\" color=\"clRed\">two<ul><li type=\"circle\">three</ul></ul>"
                  "after</ul>x"));
    EXPECT_EQ(TextCalls(s), (std::vector<Drawn>{{"\u00B7", 0, 15, 30},
                                                {"one", 12, 15, 30},
                                                {"two", 12, 30, 45},
                                                {"three", 24, 45, 60},
                                                {"after", 54, 45, 60},
                                                {"x", 84, 45, 60}}));
    EXPECT_EQ(s.CallsOf(QStringLiteral("text"))[0].Font.Name, QStringLiteral("Symbol"));
    const auto squares = s.CallsOf(QStringLiteral("rect"));
    ASSERT_EQ(squares.size(), 1);
    EXPECT_EQ(squares[0].R, (THtmlRect{0, 32, 8, 40}));
    EXPECT_EQ(squares[0].Brush, 0x0000FFu);
    const auto circles = s.CallsOf(QStringLiteral("ellipse"));
    ASSERT_EQ(circles.size(), 1);
    EXPECT_EQ(circles[0].R, (THtmlRect{12, 47, 20, 55}));

    // /UL at list level 0 turns underline off instead.
    TRecordingSurface u = PanelSurface();
    Layout(u, QStringLiteral("<u>a</ul>b<ul>c</ul>d"));
    const auto t = u.CallsOf(QStringLiteral("text"));
    ASSERT_EQ(t.size(), 4);
    EXPECT_TRUE(t[0].Font.Underline);
    EXPECT_FALSE(t[1].Font.Underline);
    EXPECT_EQ(t[2].R.Top, 15);
    EXPECT_EQ(t[3].R.Left, 6);
}

TEST(MiniHtmlLayout, SubSuperscriptShadowErrorHiddenRotation) {
    TRecordingSurface s = PanelSurface();
    TMiniHtmlResult res = Layout(s, QStringLiteral("a<sub>b</sub>c<br>d<sup>e</sup>"));
    EXPECT_EQ(TextCalls(s),
              (std::vector<Drawn>{
                  {"a", 0, 0, 15}, {"b", 6, 0, 18}, {"c", 12, 0, 15}, {"d", 0, 18, 36}, {"e", 6, 18, 33}}));
    EXPECT_EQ(res.Height, 36);

    TRecordingSurface h = PanelSurface();
    res = Layout(h, QStringLiteral("<z>secret</z>shown<shad>s</shad><e>ab</e>"));
    EXPECT_EQ(h.Texts(), QStringList({"shown", "s", "s", "ab"}));
    const auto texts = h.CallsOf(QStringLiteral("text"));
    EXPECT_EQ(texts[1].Font.Color, 0x808080u);
    EXPECT_EQ(texts[1].R, (THtmlRect{32, 2, 38, 17}));
    EXPECT_EQ(texts[2].R, (THtmlRect{30, 0, 36, 15}));
    EXPECT_EQ(res.Width, 48 + 2);
    // The zigzag: from the even x at or left of the run, 2-pixel steps up to its right.
    const auto zig = h.CallsOf(QStringLiteral("lineto"));
    ASSERT_EQ(zig.size(), 6);
    EXPECT_EQ(h.CallsOf(QStringLiteral("moveto"))[0].R, (THtmlRect{36, 14, 36, 14}));
    EXPECT_EQ(zig[0].R, (THtmlRect{38, 12, 38, 12}));
    EXPECT_EQ(zig[1].R, (THtmlRect{40, 14, 40, 14}));
    EXPECT_EQ(zig[5].R, (THtmlRect{48, 14, 48, 14}));
    EXPECT_EQ(zig[0].Pen, 0x0000FFu);

    TRecordingSurface r = PanelSurface();
    r.Rotation = true;
    Layout(r, QStringLiteral("<r a=\"45\">up</r>flat"));
    EXPECT_EQ(r.CallsOf(QStringLiteral("text"))[0].Font.Orientation, 450);
    EXPECT_EQ(r.CallsOf(QStringLiteral("text"))[1].Font.Orientation, 0);
    TRecordingSurface n = PanelSurface();
    Layout(n, QStringLiteral("<r a=\"45\">up"));
    EXPECT_EQ(n.CallsOf(QStringLiteral("text"))[0].Font.Orientation, 0);
}

TEST(MiniHtmlLayout, ImagesFromListContainerAndCache) {
    THtmlImageList list(16, 20);
    QImage img(16, 20, QImage::Format_ARGB32);
    img.fill(Qt::red);
    list.Add(img);
    TMiniHtmlOptions o;
    o.ImageList = &list;
    TRecordingSurface s = PanelSurface();
    TMiniHtmlResult res = Layout(s, QStringLiteral("a<img src=\"IDX:0\">b<img src=\"IDX:5\">"), kWide, o);
    const auto il = s.CallsOf(QStringLiteral("imagelist"));
    ASSERT_EQ(il.size(), 1);
    EXPECT_EQ(il[0].R, (THtmlRect{6, 0, 22, 20}));
    EXPECT_EQ(TextCalls(s), (std::vector<Drawn>{{"a", 0, 0, 20}, {"b", 22, 0, 20}}));
    EXPECT_EQ(res.Height, 20);

    // Container picture with only WIDTH: the height follows the aspect ratio; an image link is hit.
    TPictureContainer container;
    TPictureItem* item = container.Items().Add();
    item->SetName(QStringLiteral("Logo"));
    QImage pic(40, 20, QImage::Format_ARGB32);
    pic.fill(Qt::blue);
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    pic.save(&buf, "PNG");
    item->Picture().LoadFromData(png);
    o.PictureContainer = &container;
    o.HitX = 10;
    o.HitY = 5;
    TRecordingSurface c = PanelSurface();
    res = Layout(c, QStringLiteral("<a href=\"pic\"><img src=\"logo\" width=\"20\"></a>"), kWide, o);
    const auto st = c.CallsOf(QStringLiteral("stretch"));
    ASSERT_EQ(st.size(), 1);
    EXPECT_EQ(st[0].R, (THtmlRect{0, 0, 20, 10}));
    EXPECT_TRUE(res.Hit);
    EXPECT_EQ(res.Anchor, QStringLiteral("pic"));

    // An image that does not fit the rest of the line starts the next one.
    TRecordingSurface w = PanelSurface();
    Layout(w, QStringLiteral("abcdef <img src=\"logo\">"), THtmlRect{0, 0, 60, 200}, o);
    ASSERT_EQ(w.CallsOf(QStringLiteral("picture")).size(), 1);
    EXPECT_EQ(w.CallsOf(QStringLiteral("picture"))[0].R, (THtmlRect{0, 15, 40, 35}));

    // Cache: FILE:// loads once, other addresses stay empty and show nothing.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.png"));
    pic.save(file, "PNG");
    TMarkupPictureCache cache;
    o.PictureCache = &cache;
    TRecordingSurface f = PanelSurface();
    Layout(f, QStringLiteral("<img src=\"FILE://%1\"><img src=\"http://example.invalid/a.png\">").arg(file),
           kWide, o);
    EXPECT_EQ(f.CallsOf(QStringLiteral("picture")).size(), 1);
    EXPECT_EQ(cache.Count(), 2);
    ASSERT_NE(cache.FindPicture(QStringLiteral("FILE://") + file), nullptr);
    EXPECT_EQ(cache.FindPicture(QStringLiteral("FILE://") + file)->Width(), 40);
    EXPECT_TRUE(cache.FindPicture(QStringLiteral("http://example.invalid/a.png"))->Empty());

    // Device resolution scales the layout size.
    TRecordingSurface hi = PanelSurface();
    hi.Dpi = 192;
    Layout(hi, QStringLiteral("<img src=\"logo\">"), kWide, o);
    EXPECT_EQ(hi.CallsOf(QStringLiteral("stretch"))[0].R.Width(), 80);
}

TEST(MiniHtmlLayout, MalformedMarkupEnds) {
    struct Case {
        QString Text;
        QStringList Drawn;
    };
    const Case cases[] = {
        {QStringLiteral("ab<b"), {"ab"}},
        {QStringLiteral("a<>b"), {"a", "b"}},
        {QStringLiteral("<"), {}},
        {QStringLiteral("a</>b</x>c<q>d"), {"a", "b", "c", "d"}},
        {QStringLiteral("<#FIELD>x"), {"#FIELDx"}},
        {QStringLiteral("<li><li><li>"), {"o", "o", "o"}},
        {QStringLiteral("<img src=\"nothing\" width=\"99999999999\">"), {}},
        {QStringLiteral("<font size=\"2147483647\">x<ind x=\"-2147483648\">y"), {"x", "y"}},
    };
    for (const auto& c : cases) {
        TRecordingSurface s = PanelSurface();
        Layout(s, c.Text, THtmlRect{0, 0, 200, 200});
        EXPECT_EQ(s.Texts(), c.Drawn) << c.Text.toStdString();
    }
    // A fixed offset wider than the rectangle, with images that never fit: still ends.
    THtmlImageList list(16, 16);
    list.Add(QImage(16, 16, QImage::Format_ARGB32));
    TMiniHtmlOptions o;
    o.ImageList = &list;
    o.MeasureOnly = true;
    TRecordingSurface s = PanelSurface();
    const TMiniHtmlResult res =
        Layout(s, QStringLiteral("<of x=\"500\"><img src=\"IDX:0\"><img src=\"IDX:0\">"),
               THtmlRect{0, 0, 100, 100}, o);
    EXPECT_EQ(res.Height, 32);
}

TEST(MiniHtmlLayout, BodyBackgroundTilesOnlyInsideTheClip) {
    THtmlImageList list(16, 16);
    list.Add(QImage(16, 16, QImage::Format_ARGB32));
    TMiniHtmlOptions o;
    o.ImageList = &list;
    for (const auto& [clip, tiles, first] :
         {std::tuple{THtmlRect{0, 0, 100, 100}, 49, THtmlRect{0, 0, 16, 16}},
          std::tuple{THtmlRect{50, 50, 100, 100}, 16, THtmlRect{48, 48, 64, 64}},
          std::tuple{THtmlRect{2000, 0, 3000, 100}, 0, THtmlRect{}}}) {
        TRecordingSurface s = PanelSurface();
        s.Clip = clip;
        Layout(s, QStringLiteral("<body background=\"IDX:0\">x"), THtmlRect{0, 0, 1000, 1000}, o);
        const auto drawn = s.CallsOf(QStringLiteral("imagelist"));
        ASSERT_EQ(drawn.size(), tiles) << clip.Left;
        if (tiles > 0) {
            EXPECT_EQ(drawn[0].R, first);
        }
    }
}

TEST(MiniHtmlLayout, ListImagesStretchIntoTheirSize) {
    THtmlImageList list(16, 16);
    list.Add(QImage(16, 16, QImage::Format_ARGB32));
    TMiniHtmlOptions o;
    o.ImageList = &list;
    for (const int dpi : {96, 192}) {
        TRecordingSurface s = PanelSurface();
        s.Dpi = dpi;
        Layout(s, QStringLiteral("a<img src=\"IDX:0\" width=\"32\" height=\"32\">b"), kWide, o);
        EXPECT_TRUE(s.CallsOf(QStringLiteral("imagelist")).isEmpty());
        const auto drawn = s.CallsOf(QStringLiteral("stretchimagelist"));
        ASSERT_EQ(drawn.size(), 1);
        const int a = dpi / 16; // width of "a"
        EXPECT_EQ(drawn[0].R, (THtmlRect{a, 0, a + dpi / 3, dpi / 3})) << dpi;
    }
}

TEST(MiniHtmlLayout, NestedFontsRestoreTheirOwnBackground) {
    TRecordingSurface s = PanelSurface();
    Layout(s,
           QStringLiteral("<font bgcolor=\"clYellow\">Hello <font color=\"clRed\">world</font></font> after"
                          "<br>next"));
    const auto fills = s.CallsOf(QStringLiteral("fill"));
    ASSERT_EQ(fills.size(), 2); // "Hello " and "world"
    EXPECT_EQ(fills[1].R.Left, 36);
    for (const auto& f : fills)
        EXPECT_EQ(f.Brush, 0x00FFFFu);
}

TEST(MiniHtmlLayout, ImageLinksHoverFromLinkStartToEnd) {
    THtmlImageList list(16, 16);
    list.Add(QImage(16, 16, QImage::Format_ARGB32));
    TMiniHtmlOptions o;
    o.ImageList = &list;
    o.HitX = 30; // over the image
    o.HitY = 5;
    TRecordingSurface s = PanelSurface();
    const TMiniHtmlResult res =
        Layout(s, QStringLiteral("x <a href=\"i\">ab<img src=\"IDX:0\">cd</a> y"), kWide, o);
    EXPECT_TRUE(res.Hit);
    EXPECT_EQ(res.Anchor, QStringLiteral("i"));
    EXPECT_EQ(res.HoverRect, (THtmlRect{12, 0, 52, 16}));
}

TEST(MiniHtmlLayout, AltPictureFollowsTheAlignedImage) {
    THtmlImageList list(16, 16);
    list.Add(QImage(16, 16, QImage::Format_ARGB32));
    list.Add(QImage(16, 16, QImage::Format_ARGB32));
    TMiniHtmlOptions o;
    o.ImageList = &list;
    o.HitY = 5;
    const QString text =
        QStringLiteral("<p align=\"right\"><a href=\"i\"><img src=\"IDX:0\" alt=\"IDX:1\"></a>");
    for (const auto& [x, shown] : {std::pair{190, 1}, std::pair{5, 0}}) {
        o.HitX = x;
        TRecordingSurface s = PanelSurface();
        Layout(s, text, THtmlRect{0, 0, 200, 100}, o);
        const auto drawn = s.CallsOf(QStringLiteral("imagelist"));
        ASSERT_EQ(drawn.size(), 1);
        EXPECT_EQ(drawn[0].R.Left, 184);
        EXPECT_EQ(drawn[0].Index, shown) << x;
    }
}

TEST(MiniHtmlLayout, MeasuredHeightSaturatesInsteadOfOverflowing) {
    THtmlImageList list(16, 16);
    list.Add(QImage(16, 16, QImage::Format_ARGB32));
    TMiniHtmlOptions o;
    o.ImageList = &list;
    o.MeasureOnly = true;
    TRecordingSurface s = PanelSurface();
    const TMiniHtmlResult res = Layout(
        s, QStringLiteral("<img src=\"IDX:0\" width=\"1\" height=\"32767\"><br>").repeated(70000), kWide, o);
    EXPECT_EQ(res.Height, std::numeric_limits<int>::max());
    EXPECT_EQ(res.Width, 3);
}

namespace {

QStringList CallList(const TRecordingSurface& s) {
    QStringList out;
    for (const auto& c : s.Calls)
        out << QStringLiteral("%1 %2 %3,%4,%5,%6 colour %7 underline %8 brush %9")
                   .arg(c.Op, c.Text)
                   .arg(c.R.Left)
                   .arg(c.R.Top)
                   .arg(c.R.Right)
                   .arg(c.R.Bottom)
                   .arg(c.Font.Color)
                   .arg(c.Font.Underline)
                   .arg(c.Brush);
    return out;
}

} // namespace

TEST(MiniHtmlLayout, AKeptLayoutDrawsAndHitTestsAsTheWholeCallDoes) {
    const QString text = QStringLiteral(
        "<p bgcolor=\"#E0E0FF\">Akapit z tłem na dwa wiersze</p><font bgcolor=\"#FFE0E0\">tło czcionki przez "
        "wiersze</font> <a href=\"a\">pierwszy</a> i <a href=\"b\">drugi odnośnik przez dwa wiersze</a> "
        "<hi>wyróżnienie na dwa wiersze</hi> <blink>miga przez dwa wiersze</blink> x<sup>2</sup> "
        "i<sub>k</sub><p align=\"center\">środek</p><ul><li>punkt<li>drugi</ul><hr>koniec");
    const THtmlRect rect{4, 6, 130, 2000};
    for (const int hover : {-1, 2})
        for (const bool blink : {false, true}) {
            TMiniHtmlOptions o;
            o.Hover = true;
            o.HoverLink = hover;
            o.HoverColor = RGBColor(255, 255, 0);
            o.HoverFontColor = RGBColor(255, 0, 255);
            o.BlinkPhase = blink;
            TRecordingSurface whole = PanelSurface();
            TMiniHtmlResult r1;
            DrawMiniHtml(whole, text, rect, o, r1);
            TRecordingSurface kept = PanelSurface();
            TMiniHtmlLayout layout;
            layout.Build(kept, text, rect, o);
            kept.Calls.clear();
            TMiniHtmlResult r2;
            layout.Draw(kept, 0, rect, o, r2);
            EXPECT_EQ(CallList(kept), CallList(whole)) << "hover " << hover << ", blink " << blink;
            EXPECT_EQ(std::tuple(r2.Width, r2.Height, r2.LinkCount),
                      std::tuple(r1.Width, r1.Height, r1.LinkCount));
        }

    TRecordingSurface s = PanelSurface();
    TMiniHtmlLayout layout;
    layout.Build(s, text, rect, {});
    int hits = 0;
    for (int y = 0; y < 300; y += 2)
        for (int x = 0; x < 140; x += 3) {
            TMiniHtmlOptions o;
            o.HitX = x;
            o.HitY = y;
            o.HitOnlySecondPass = true;
            TMiniHtmlResult whole, kept;
            DrawMiniHtml(s, text, rect, o, whole);
            layout.HitTest(s, 0, o, kept);
            ASSERT_EQ(std::tuple(kept.Hit, kept.Anchor, kept.MouseLink, kept.HoverRect),
                      std::tuple(whole.Hit, whole.Anchor, whole.MouseLink, whole.HoverRect))
                << x << "," << y;
            hits += whole.Hit;
        }
    EXPECT_GT(hits, 20);
}
