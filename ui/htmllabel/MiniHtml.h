#pragma once
// Mini-HTML engine: lays out, draws, measures and hit-tests a short marked-up text in a
// rectangle of a drawing surface in one call, keeping no state between calls. Also the text
// utilities the label uses.

#include "ui/htmllabel/HtmlSurface.h"
#include "ui/htmllabel/MarkupPicture.h"

#include <QList>
#include <QString>
#include <memory>

namespace htmllabel {

enum class THtmlAlign { Left, Right, Center };

struct TMiniHtmlOptions {
    const THtmlImageList* ImageList = nullptr;
    int HitX = -1;
    int HitY = -1;
    int FocusLink = -1; // counted from 0
    int HoverLink = -1; // number of the hovered link, counted from 1
    int ShadowOffset = 2;
    TColor ShadowColor = 0x808080;
    bool HitOnlySecondPass = false;
    bool MeasureOnly = false;
    bool PrintScaling = false;
    double ScaleFactor = 1.0;
    bool IgnoreColors = false;
    bool BlinkPhase = false;
    bool Hover = false;
    bool WordWrap = true;
    TColor LinkColor = 0xFF0000;
    TColor HoverColor = clNone;
    TColor HoverFontColor = clNone;
    TMarkupPictureCache* PictureCache = nullptr;
    const IPictureLookup* PictureContainer = nullptr;
    int LineSpacing = 0;
    bool RightToLeft = false;
};

struct TMiniHtmlResult {
    bool Hit = false;
    QString Anchor;
    int Width = 0;
    int Height = 0;
    int LinkCount = 0;
    int MouseLink = -1;
    THtmlRect HoverRect;
};

// Draws (unless measuring only), measures and hit-tests `text` in `rect`. The surface's font is
// the base font and its brush colour the background; both are left as they were.
bool DrawMiniHtml(IHtmlSurface& surface, const QString& text, const THtmlRect& rect,
                  const TMiniHtmlOptions& options, TMiniHtmlResult& result);

// A text laid out once in a rectangle and kept, for texts too long to lay out at every paint and
// mouse move: parts of it are drawn and points hit-tested by going over only the lines concerned,
// each from the state kept at its start, with the same result as DrawMiniHtml in that rectangle
// moved down by dy. It holds for the text, rectangle, surface font and brush, and for the options
// it was built with except the hit point, hover link, focus link and hit-only flag, which may
// differ at each call.
class TMiniHtmlLayout {
public:
    TMiniHtmlLayout();
    ~TMiniHtmlLayout();
    TMiniHtmlLayout(TMiniHtmlLayout&&) noexcept;
    TMiniHtmlLayout& operator=(TMiniHtmlLayout&&) noexcept;

    void Build(IHtmlSurface& surface, const QString& text, const THtmlRect& rect,
               const TMiniHtmlOptions& options);
    void Clear();
    bool Built() const { return D != nullptr; }
    // As DrawMiniHtml reports them.
    int Width() const;
    int Height() const;
    int LinkCount() const;
    // An image inside a link shows its ALT picture under the mouse, which may change the layout:
    // such a text is to be drawn whole with DrawMiniHtml.
    bool MouseDependent() const;
    bool HasBlink() const;

    // Draws the lines that meet `exposed` (and those that paint the whole area); the result's hit
    // test is of those lines.
    bool Draw(IHtmlSurface& surface, int dy, const THtmlRect& exposed, const TMiniHtmlOptions& options,
              TMiniHtmlResult& result) const;
    // The hit test of DrawMiniHtml at options.HitX, HitY, over the lines near that point.
    bool HitTest(IHtmlSurface& surface, int dy, const TMiniHtmlOptions& options,
                 TMiniHtmlResult& result) const;
    // Where link number `link` is drawn: a rectangle per line it is on.
    QList<THtmlRect> LinkArea(int link, int dy) const;
    // Where blinking text is drawn: a rectangle per run.
    QList<THtmlRect> BlinkArea(int dy) const;

    struct TData; // the kept lines, defined by the engine

private:
    std::unique_ptr<TData> D;
};

// Fills r with `steps` bands going from `from` to `to` (0 steps are taken as 1).
void DrawGradientBands(IHtmlSurface& surface, TColor from, TColor to, const THtmlRect& r, int steps,
                       bool horizontal);

// The visible text: BR and HR become CR LF, hidden (Z) text and every tag go.
QString HtmlToPlainText(const QString& text);
// Every "<" ... ">" removed; an unterminated "<" keeps the rest as it is.
QString StripTags(const QString& text);
// Each match of `search` in the visible text wrapped in <tag> and </tag>.
QString WrapMatchesInTag(const QString& text, const QString& search, const QString& tag, bool matchCase);
// Every <tag> and </tag> removed, without regard to case.
QString RemoveTag(const QString& text, const QString& tag);

} // namespace htmllabel
