#pragma once
// Mini-HTML engine: lays out, draws, measures and hit-tests a short marked-up text in a
// rectangle of a drawing surface in one call, keeping no state between calls. Also the text
// utilities the label uses.

#include "ui/htmllabel/HtmlSurface.h"
#include "ui/htmllabel/MarkupPicture.h"

#include <QString>

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
