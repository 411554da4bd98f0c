#include "ui/htmllabel/MiniHtml.h"

#include "ui/htmllabel/MiniHtmlInternal.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace htmllabel {

using internal::HtmlColorValue;
using internal::HtmlStrToInt;

namespace {

// Coordinates taken from the markup (offsets, indents, image sizes) are kept inside this range so
// that sums over lines and runs cannot overflow.
constexpr int kMaxCoordinate = 32767;

int ClampCoordinate(long long v) {
    return int(std::clamp<long long>(v, -kMaxCoordinate, kMaxCoordinate));
}

// Positions of lines are kept inside this range, so that adding a line's extent to one cannot
// overflow; a text reaching beyond it is measured, not drawn, there.
constexpr int kMaxPosition = 1 << 30;

constexpr TColor kErrorMarkColor = 0x0000FF; // red

int ClampPosition(long long v) {
    return int(std::clamp<long long>(v, -kMaxPosition, kMaxPosition));
}

// Upper case without changing the length, so that positions found in the upper-cased tag are
// valid in the original.
QString UpperSameLength(const QString& s) {
    QString r = s;
    for (QChar& c : r)
        c = c.toUpper();
    return r;
}

// The text between the two double quotation marks after `name`; empty when absent.
QString Attribute(const QString& upper, const QString& source, const QString& name) {
    const int i = upper.indexOf(name);
    if (i < 0) return {};
    const int q1 = upper.indexOf(QLatin1Char('"'), i + int(name.size()));
    if (q1 < 0) return {};
    const int q2 = upper.indexOf(QLatin1Char('"'), q1 + 1);
    if (q2 < 0) return {};
    return source.mid(q1 + 1, q2 - q1 - 1);
}

// Number keyed by a letter (IND and OF by "x", R by "a"). `s` starts with the tag, whose ">" is
// at `gt`; the character after the tag takes part in the search for the key.
QString KeyedValue(QStringView s, int gt, QChar key) {
    const int last = std::min(gt + 1, int(s.size()) - 1);
    int found = -1;
    for (int i = 2; i <= last; ++i) {
        if (s[i].toLower() == key) {
            found = i;
            break;
        }
    }
    const int from = found >= 0 ? found + 2 : 3;
    if (from >= s.size()) return {};
    const int q1 = s.indexOf(QLatin1Char('"'), from);
    if (q1 < 0) return {};
    const int q2 = s.indexOf(QLatin1Char('"'), q1 + 1);
    if (q2 < 0) return {};
    return s.mid(q1 + 1, q2 - q1 - 1).toString();
}

bool IsBlankOrControl(QChar c) {
    return c.unicode() <= 32;
}

// Where the text ends without its trailing blanks: they end every line's remaining text.
qsizetype EndWithoutTrailingBlanks(QStringView text) {
    qsizetype end = text.size();
    while (end > 0 && IsBlankOrControl(text[end - 1]))
        --end;
    return end;
}

void ReplaceEntities(QString& s) {
    static const struct {
        QString From;
        QString To;
    } table[] = {
        {QStringLiteral("&amp;"), QStringLiteral("&&")},
        {QStringLiteral("&quot;"), QStringLiteral("\"")},
        {QStringLiteral("&sect;"), QStringLiteral("\u00A7")},
        {QStringLiteral("&permil;"), QStringLiteral("\u2030")},
        {QStringLiteral("&reg;"), QStringLiteral("\u00AE")},
        {QStringLiteral("&copy;"), QStringLiteral("\u00A9")},
        {QStringLiteral("&para;"), QStringLiteral("\u00B6")},
        {QStringLiteral("&trade;"), QStringLiteral("\u2122")},
        {QStringLiteral("&euro;"), QStringLiteral("\u20AC")},
    };
    // Rounds over the table until one changes nothing: a replacement can form a new entity
    // ("&amp;quot;"). Every replacement is shorter than its entity, so this ends.
    bool changed = true;
    while (changed) {
        changed = false;
        for (const auto& e : table) {
            if (s.contains(e.From, Qt::CaseInsensitive)) {
                s.replace(e.From, e.To, Qt::CaseInsensitive);
                changed = true;
            }
        }
    }
}

QString RunEntities(QString run) {
    if (!run.contains(QLatin1Char('&'))) return run;
    run.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    run.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    run.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    return run;
}

// Entities replaced, the database field placeholder "<#name>" shown as "#name", CR as a line
// break, LF dropped.
QString PrepareText(const QString& source) {
    QString s = source;
    if (s.contains(QLatin1Char('&'))) ReplaceEntities(s);
    if (const int i = s.indexOf(QStringLiteral("<#")); i >= 0) {
        if (const int j = s.indexOf(QLatin1Char('>'), i); j >= 0) {
            s.remove(j, 1);
            s.remove(i, 1);
        }
    }
    s.replace(QLatin1Char('\r'), QStringLiteral("<BR>"));
    s.remove(QLatin1Char('\n'));
    return s;
}

struct TRenderState {
    THtmlFont Font;
    TColor Brush = clNone;
    bool LinkActive = false;
    QString LinkHref;
    int LinkNumber = 0;
    bool LinkSetUnderline = false;
    bool LinkSetBrush = false;
    TColor LinkSavedBrush = clNone;
    bool ErrorMark = false;
    bool Shadow = false;
    bool Superscript = false;
    bool Subscript = false;
    bool Hidden = false;
    bool ParagraphFill = false;
    TColor ParagraphFrom = clNone;
    TColor ParagraphTo = clNone;
    int ListLevel = 0;
    THtmlAlign Align = THtmlAlign::Left;
    int ParagraphIndent = 0;
    int FixedOffset = 0;
    int LinkCounter = 0;
    int ImageCounter = 0;
    // Background before each open FONT, innermost last.
    QList<TColor> FontSavedBrushes;
    bool HighlightActive = false;
    TColor HighlightSavedBrush = clNone;
    TColor HighlightSavedColor = 0;
    // Inside BLINK: its text changes colour with the blink phase.
    bool BlinkOpen = false;
};

// One pass of LayoutHtmlLine over one line.
struct TLinePass {
    bool Draw = false; // draw mode (second pass without hit-only)
    // The changes drawing makes to the render state (link styles, highlight and background
    // colours), also where nothing is drawn: a kept layout follows drawing's state.
    bool DrawState = false;
    bool FitChecks = true; // first pass: decides what fits on the line
    THtmlRect Line;
    int KnownHeight = 0; // second pass: line height from the first
    int KnownSub = 0;
    int KnownSup = 0;

    int X = 0;     // x offset from the line's left edge
    int DrawX = 0; // absolute drawing position
    int StartOffset = 0;
    int Height = 0;
    int Sup = 0;
    int Sub = 0;
    int Lift = 0;
    int TrailingBlank = 0;
    int Width = 0;
    bool Ended = false;
    bool Full = false;
    bool Placed = false;
    bool ListItemOnLine = false;
    int RunBottom = 0;

    int LinkStartX = 0;
    int FocusStartX = 0;

    // Hit candidates, checked against the final line geometry after the pass.
    struct TLinkHit {
        bool Hit = false;
        QString Href;
        int Link = -1;
        int StartX = 0; // where the link starts on this line
        int EndX = -1;  // -1 while the link is still open
    };
    TLinkHit TextHit;
    TLinkHit ImageHit;
    int ImageH = 0;
    // Images inside links, for the one under the mouse once the line has its final position.
    struct TLinkedImage {
        int Number;
        int X0, X1, H;
    };
    std::vector<TLinkedImage> LinkedImages;
};

} // namespace

struct TMiniHtmlLayout::TData {
    QString Text; // prepared: entities replaced, trailing blanks cut
    THtmlRect R;
    THtmlFont Base;
    TColor StartBrush = clNone;
    TTextFormat Fmt;
    struct TLine {
        qsizetype Pos = 0; // the line's text
        qsizetype End = 0;
        TRenderState State; // at the line's start
        int Top = 0;
        int Bottom = 0;
        int Left = 0; // after alignment and paragraph indent
        int Height = 0;
        int Sub = 0;
        int Sup = 0;
        int Lift = 0;
        int Ref = 0; // height of "gh" at the line's start
        bool Body = false;
    };
    std::vector<TLine> Lines;
    // Where each link lies on each of its lines: x offsets from the line's left edge.
    struct TSegment {
        int Link;
        int Line;
        int X0, X1;
    };
    std::vector<TSegment> Segments;
    // Runs of blinking text, link number unused.
    std::vector<TSegment> BlinkRuns;
    int Width = 0;
    int Height = 0;
    int LinkCount = 0;
    int LastBodyLine = -1;
    bool MouseDependent = false;
};

namespace {

class TMiniHtmlEngine {
public:
    TMiniHtmlEngine(IHtmlSurface& surface, const THtmlRect& rect, const TMiniHtmlOptions& options,
                    TMiniHtmlResult& result)
        : S(surface), R(rect), O(options), Out(result) {}

    bool Run(const QString& text);
    // Lays out every line of `text` as drawing would, keeping each line's start and state in d.
    void Build(const QString& text, TMiniHtmlLayout::TData& d);
    // The second pass over the kept lines that, moved down by dy, meet [from, to), plus the lines
    // that paint the whole area (BODY); draws them unless the options ask for a hit test only.
    bool Replay(const TMiniHtmlLayout::TData& d, int dy, long long from, long long to);

private:
    // Takes the surface's font and brush as the text's start and sets the formats `source` asks for.
    void Start(const QString& source);
    // The height of lines summed to `total` (one line of the base font when there are none); the
    // surface gets the base font and the starting brush back.
    int Finish(long long total);
    // Lays out (and unless measuring only, draws) the line starting at pos; the line's advance.
    long long LayOutLine(QStringView text, qsizetype& pos, int lineTop);
    // The line's left edge after alignment and paragraph indent.
    int AlignedLeft(const TLinePass& p1) const;
    void ApplyFont() { S.SetFont(St.Font); }
    void LayoutHtmlLine(QStringView text, qsizetype& pos, TLinePass& p);
    bool PlaceRun(const QString& run, TLinePass& p);
    // Handles the tag at the start of s, whose ">" is at gt; true when the line is full and the
    // tag starts the next one.
    bool HandleTag(QStringView s, int gt, TLinePass& p);

    struct TTag {
        QString Text;
        QString Up;         // upper-cased, same length
        QStringView Source; // from the tag to the end of the text
        int Gt = 0;
        QChar Second; // the character after the letter that names the tag
    };
    using TTagHandler = void (*)(TMiniHtmlEngine& e, const TTag& t, TLinePass& p);
    static constexpr char kAny = 0;
    struct TTagRule {
        char Letter;
        char Second; // kAny: any character
        TTagHandler Handle;
    };
    static const TTagRule kOpeningTags[];
    static const TTagRule kClosingTags[];

    // Tag handlers; the one-line ones stand in the tables themselves.
    template <void (TMiniHtmlEngine::*Member)(const TTag&, TLinePass&)>
    static void Call(TMiniHtmlEngine& e, const TTag& t, TLinePass& p) {
        (e.*Member)(t, p);
    }
    void OpenLink(const TTag& t, TLinePass& p);
    void OpenBody(const TTag& t, TLinePass& p);
    void OpenBlink(const TTag& t, TLinePass& p);
    void OpenFont(const TTag& t, TLinePass& p);
    void CloseFont(const TTag& t, TLinePass& p);
    void HorizontalRule(const TTag& t, TLinePass& p);
    void OpenHighlight(const TTag& t, TLinePass& p);
    void CloseHighlight(const TTag& t, TLinePass& p);
    void Indent(const TTag& t, TLinePass& p);
    void FixedOffset(const TTag& t, TLinePass& p);
    void OpenParagraph(const TTag& t, TLinePass& p);
    void CloseParagraph(const TTag& t, TLinePass& p);
    void OpenRotation(const TTag& t, TLinePass& p);
    void OpenSubOrSuperscript(const TTag& t, TLinePass& p);
    void OpenList(const TTag& t, TLinePass& p);
    void CloseList(const TTag& t, TLinePass& p);
    void HandleImage(const TTag& t, TLinePass& p);
    void HandleListItem(const TTag& t, TLinePass& p);
    void HandleBody(const QString& tag, const QString& up);
    void CloseLink(TLinePass& p);
    void FillParagraphBand(const TLinePass& p);
    void DrawErrorMark(int left, int right, int bottom);
    void DrawFocus(const TLinePass& p);
    void Commit(const TLinePass& p, int lineTop, int lineBottom, bool full);
    void FindImageUnderMouse(const TLinePass& p, int lineLeft, int lineBottom);
    // Drawing styles a link (underline, hover colours): every link, or with hover only the one
    // under the mouse.
    bool LinkStyled(int link) const { return !O.Hover || link == O.HoverLink; }
    void StyleLink();
    bool FocusLinkOpen() const {
        return St.LinkActive && O.FocusLink >= 0 && St.LinkNumber == O.FocusLink + 1;
    }

    struct TSource {
        const TMarkupPicture* Picture = nullptr;
        const THtmlImageList* List = nullptr;
        int Index = -1;
        int Width = 0;
        int Height = 0;
    };
    TSource ResolveSource(const QString& src);
    // Device size of an image from its WIDTH and HEIGHT; `stretch` when that is not its own size.
    QSize ImageSize(const QString& up, const TSource& source, bool& stretch) const;
    void DrawSource(const TSource& source, const THtmlRect& box, bool stretch);
    void TileBackground(const TSource& b);
    void DrawBodyPicture(const TSource& b, int x, int y);

    IHtmlSurface& S;
    const THtmlRect R;
    const TMiniHtmlOptions& O;
    TMiniHtmlResult& Out;
    TRenderState St;
    THtmlFont Base;
    TColor StartBrush = clNone;
    TTextFormat Fmt;
    int RefHeight = 0;
    int ImageUnderMouse = -1;
    // While building a kept layout: where it goes, and what the current line holds.
    TMiniHtmlLayout::TData* Keep = nullptr;
    bool LineHasBody = false;
};

void TMiniHtmlEngine::Start(const QString& source) {
    Base = S.Font();
    StartBrush = S.BrushColor();
    S.SetBrushColor(clNone);
    Fmt.Prefix = !source.contains(QStringLiteral(" & "));
    Fmt.EndEllipsis = !O.WordWrap;
    Fmt.RightToLeft = O.RightToLeft;
    Out = TMiniHtmlResult();
    St = TRenderState();
    St.Font = Base;
}

int TMiniHtmlEngine::Finish(long long total) {
    S.SetFont(Base);
    const int height = total == 0 ? S.TextHeight(QStringLiteral("gh"))
                                  : int(std::clamp<long long>(total, std::numeric_limits<int>::min(),
                                                              std::numeric_limits<int>::max()));
    S.SetBrushColor(StartBrush);
    return height;
}

bool TMiniHtmlEngine::Run(const QString& source) {
    Start(source);
    S.SetTransparentTextBackground();
    const QString s = PrepareText(source);

    // Leading blanks are skipped per line.
    const qsizetype end = EndWithoutTrailingBlanks(s);
    const QStringView text = QStringView(s).left(end);
    qsizetype pos = 0;

    // Vertical positions and the total height are summed wide: a measured text may be far
    // taller than any coordinate (tens of thousands of lines of tall images).
    long long top = R.Top;
    long long total = 0;
    for (;;) {
        while (pos < end && IsBlankOrControl(text[pos]))
            ++pos;
        if (pos >= end) break;
        const long long advance = LayOutLine(text, pos, ClampPosition(top));
        top += advance;
        total += advance;
        if (!O.MeasureOnly && top + RefHeight > R.Bottom) break;
    }

    Out.Height = Finish(total);
    return Out.Hit;
}

void TMiniHtmlEngine::Build(const QString& source, TMiniHtmlLayout::TData& d) {
    Start(source);
    d.R = R;
    d.Base = Base;
    d.StartBrush = StartBrush;
    d.Fmt = Fmt;
    d.Text = PrepareText(source);
    const qsizetype end = EndWithoutTrailingBlanks(d.Text);
    d.Text.truncate(end);
    const QStringView text(d.Text);
    Keep = &d;

    // One pass per line, the first pass of drawing, following drawing's state and its stop at
    // the rectangle's bottom.
    qsizetype pos = 0;
    long long top = R.Top;
    long long total = 0;
    for (;;) {
        while (pos < end && IsBlankOrControl(text[pos]))
            ++pos;
        if (pos >= end) break;
        TMiniHtmlLayout::TData::TLine line;
        line.Pos = pos;
        line.State = St;
        ApplyFont();
        RefHeight = S.TextHeight(QStringLiteral("gh"));
        LineHasBody = false;
        const int lineTop = ClampPosition(top);
        TLinePass p1;
        p1.DrawState = true;
        p1.Line = {R.Left, lineTop, R.Right, R.Bottom};
        LayoutHtmlLine(text, pos, p1);
        const int height =
            ClampCoordinate((long long)(p1.Height > 0 ? p1.Height : RefHeight) + O.LineSpacing);
        const long long advance = (long long)height + p1.Sup + p1.Sub;
        line.End = pos;
        line.Top = lineTop;
        line.Bottom = ClampPosition(lineTop + advance);
        line.Left = AlignedLeft(p1);
        line.Height = height;
        line.Sub = p1.Sub;
        line.Sup = p1.Sup;
        line.Lift = p1.Lift;
        line.Ref = RefHeight;
        line.Body = LineHasBody;
        if (line.Body) d.LastBodyLine = int(d.Lines.size());
        d.Lines.push_back(std::move(line));
        top += advance;
        total += advance;
        if (top + RefHeight > R.Bottom) break;
    }
    Keep = nullptr;
    d.Width = Out.Width;
    d.LinkCount = Out.LinkCount;
    d.Height = Finish(total);
}

bool TMiniHtmlEngine::Replay(const TMiniHtmlLayout::TData& d, int dy, long long from, long long to) {
    const TColor brush = S.BrushColor();
    Base = d.Base;
    StartBrush = d.StartBrush;
    Fmt = d.Fmt;
    S.SetBrushColor(clNone);
    S.SetTransparentTextBackground();
    Out = TMiniHtmlResult();
    const QStringView text(d.Text);
    for (size_t i = 0; i < d.Lines.size(); ++i) {
        const auto& line = d.Lines[i];
        const long long top = (long long)line.Top + dy;
        const long long bottom = (long long)line.Bottom + dy;
        // Moved down, the text stops where drawing in the moved rectangle would stop.
        if (i > 0 && top + d.Lines[i - 1].Ref > R.Bottom) break;
        if (top >= to && int(i) > d.LastBodyLine) break;
        if (!line.Body && (bottom <= from || top >= to)) continue;
        St = line.State;
        // The kept state has no link styled by hover: style the one the mouse is over.
        if (St.LinkActive && O.Hover && St.LinkNumber == O.HoverLink && !O.HitOnlySecondPass) StyleLink();
        ApplyFont();
        RefHeight = line.Ref;
        TLinePass p2;
        p2.Draw = p2.DrawState = !O.HitOnlySecondPass;
        p2.FitChecks = false;
        p2.Line = {line.Left, ClampPosition(top), R.Right, ClampPosition(bottom)};
        p2.KnownHeight = line.Height;
        p2.KnownSub = line.Sub;
        p2.KnownSup = line.Sup;
        p2.Lift = line.Lift;
        qsizetype linePos = 0;
        LayoutHtmlLine(text.mid(line.Pos, line.End - line.Pos), linePos, p2);
        Commit(p2, p2.Line.Top, p2.Line.Bottom, true);
    }
    S.SetFont(Base);
    Out.Width = d.Width;
    Out.Height = d.Height;
    Out.LinkCount = d.LinkCount;
    S.SetBrushColor(brush);
    return Out.Hit;
}

long long TMiniHtmlEngine::LayOutLine(QStringView text, qsizetype& pos, int lineTop) {
    const qsizetype lineStart = pos;
    ApplyFont();
    RefHeight = S.TextHeight(QStringLiteral("gh"));
    const TRenderState before = St;
    const TMiniHtmlResult outBefore = Out;

    TLinePass p1;
    p1.Line = {R.Left, lineTop, R.Right, R.Bottom};
    LayoutHtmlLine(text, pos, p1);

    const int height = ClampCoordinate((long long)(p1.Height > 0 ? p1.Height : RefHeight) + O.LineSpacing);
    const long long advance = (long long)height + p1.Sup + p1.Sub;
    THtmlRect line = p1.Line;
    line.Left = AlignedLeft(p1);
    line.Bottom = ClampPosition(lineTop + advance);

    Commit(p1, lineTop, line.Bottom, O.MeasureOnly);
    FindImageUnderMouse(p1, line.Left, line.Bottom);
    if (O.MeasureOnly) return advance;

    // The second pass starts from the state the first pass started from; its hit-test replaces
    // that of the first, which did not know the line's final position.
    St = before;
    Out = outBefore;
    ApplyFont();
    TLinePass p2;
    p2.Draw = !O.HitOnlySecondPass;
    p2.DrawState = p2.Draw;
    p2.FitChecks = false;
    p2.Line = line;
    p2.KnownHeight = height;
    p2.KnownSub = p1.Sub;
    p2.KnownSup = p1.Sup;
    p2.Lift = p1.Lift;
    qsizetype linePos = 0;
    LayoutHtmlLine(text.mid(lineStart, pos - lineStart), linePos, p2);
    Commit(p2, lineTop, line.Bottom, true);
    return advance;
}

int TMiniHtmlEngine::AlignedLeft(const TLinePass& p1) const {
    int left = p1.Line.Left;
    THtmlAlign align = St.Align;
    if (O.RightToLeft && align != THtmlAlign::Center)
        align = align == THtmlAlign::Left ? THtmlAlign::Right : THtmlAlign::Left;
    if (align == THtmlAlign::Right && R.Right - p1.Width > left) left = R.Right - p1.Width;
    if (align == THtmlAlign::Center && (R.Right - R.Left - p1.Width) / 2 > 0)
        left += (R.Right - R.Left - p1.Width) / 2;
    return left + St.ParagraphIndent;
}

void TMiniHtmlEngine::Commit(const TLinePass& p, int lineTop, int lineBottom, bool full) {
    if (!full) return;
    const int baseline = lineBottom - p.Lift;
    const int imageBottom = lineBottom - p.Sub;
    const TLinePass::TLinkHit* hit = nullptr;
    if (p.ImageHit.Hit && O.HitY >= imageBottom - p.ImageH && O.HitY < imageBottom)
        hit = &p.ImageHit;
    else if (p.TextHit.Hit && O.HitY >= baseline - RefHeight && O.HitY < baseline)
        hit = &p.TextHit;
    if (!hit) return;
    // The link from its start on this line to its end (or the line's end), image or text.
    Out.Hit = true;
    Out.Anchor = hit->Href;
    Out.MouseLink = hit->Link;
    const int end = hit->EndX >= 0 ? hit->EndX : p.X;
    Out.HoverRect = {p.Line.Left + hit->StartX, lineTop, p.Line.Left + end, lineBottom};
}

void TMiniHtmlEngine::FindImageUnderMouse(const TLinePass& p, int lineLeft, int lineBottom) {
    const int hitX = O.HitX - lineLeft;
    const int bottom = lineBottom - p.Sub;
    for (const auto& image : p.LinkedImages) {
        if (hitX >= image.X0 && hitX < image.X1 && O.HitY >= bottom - image.H && O.HitY < bottom)
            ImageUnderMouse = image.Number;
    }
}

void TMiniHtmlEngine::LayoutHtmlLine(QStringView text, qsizetype& pos, TLinePass& p) {
    p.RunBottom = p.Line.Bottom - p.KnownSub;
    p.StartOffset = St.FixedOffset;
    p.X = St.FixedOffset;
    p.DrawX = p.Line.Left + St.FixedOffset;
    p.LinkStartX = 0;
    p.FocusStartX = p.DrawX;
    if (p.Draw && St.ParagraphFill) FillParagraphBand(p);

    const qsizetype end = text.size();
    while (pos < end && !p.Ended && !p.Full) {
        // The next run: up to the next "<", with word wrap up to and including the next blank.
        qsizetype runEnd = pos;
        while (runEnd < end && text[runEnd] != QLatin1Char('<')) {
            ++runEnd;
            if (O.WordWrap && text[runEnd - 1] == QLatin1Char(' ')) break;
        }
        if (runEnd > pos) {
            if (!PlaceRun(RunEntities(text.mid(pos, runEnd - pos).toString()), p)) {
                p.Ended = true;
                break;
            }
            pos = runEnd;
        }
        if (pos >= end || text[pos] != QLatin1Char('<')) continue;
        const QStringView s = text.mid(pos);
        const int gt = int(s.indexOf(QLatin1Char('>')));
        if (gt < 0) {
            pos = end; // an unterminated tag ends the text
            break;
        }
        if (gt + 1 >= 3 && HandleTag(s, gt, p)) break; // the line is full: the tag starts the next one
        pos += gt + 1;
    }

    if (Keep && p.FitChecks && St.LinkActive)
        Keep->Segments.push_back({St.LinkNumber, int(Keep->Lines.size()), p.LinkStartX, p.X});
    p.Width = p.X - p.TrailingBlank;
    Out.Width = std::max(Out.Width, p.Width + 2);
    if (p.Draw && FocusLinkOpen()) DrawFocus(p);
}

bool TMiniHtmlEngine::PlaceRun(const QString& run, TLinePass& p) {
    const int th = S.TextHeight(run);
    if (St.Hidden) {
        p.Height = std::max(p.Height, th);
        return true;
    }
    THtmlRect m{0, 0, 0, 0};
    S.MeasureText(run, m, Fmt);
    const int w = std::max(0, std::min(m.Width(), kMaxCoordinate));
    const int lineWidth = p.Line.Width();
    if (p.FitChecks && O.WordWrap) {
        const bool fits = p.X + w < lineWidth || w >= lineWidth - p.StartOffset;
        if (!fits && p.Placed) return false;
    }
    p.Height = std::max(p.Height, th);
    if (St.Subscript) p.Sub = std::max(p.Sub, th / 4);
    if (St.Superscript) p.Sup = std::max(p.Sup, th / 4);

    const int start = p.X;
    p.X = ClampCoordinate((long long)p.X + w);
    p.Placed = true;
    p.TrailingBlank = run.endsWith(QLatin1Char(' ')) ? S.TextWidth(QStringLiteral(" ")) : 0;

    if (Keep && p.FitChecks && St.BlinkOpen)
        Keep->BlinkRuns.push_back({0, int(Keep->Lines.size()), start, p.X});
    const int hitX = O.HitX - p.Line.Left;
    if (St.LinkActive && hitX >= start && hitX < p.X)
        p.TextHit = {true, St.LinkHref, St.LinkNumber, p.LinkStartX, -1};

    if (p.Draw) {
        int bottom = p.RunBottom - p.Lift;
        if (St.Subscript) bottom += p.KnownSub;
        if (St.Superscript) bottom -= p.KnownSup;
        const bool skip = !O.WordWrap && p.DrawX >= p.Line.Right - S.TextWidth(QStringLiteral("w"));
        if (!skip) {
            THtmlRect tr{p.DrawX, p.Line.Top, p.DrawX + w, bottom};
            if (!O.WordWrap) tr.Right = std::min(tr.Right, p.Line.Right);
            if (St.Brush != clNone) {
                S.SetBrushColor(St.Brush);
                S.FillRect({tr.Left, bottom - th, tr.Right, bottom});
                S.SetBrushColor(clNone);
            }
            if (St.Shadow) {
                THtmlFont shadowFont = St.Font;
                shadowFont.Color = O.ShadowColor;
                S.SetFont(shadowFont);
                const int d = O.ShadowOffset;
                S.DrawText(run, {tr.Left + d, tr.Top + d, tr.Right + d, tr.Bottom + d}, Fmt);
                ApplyFont();
            }
            S.DrawText(run, tr, Fmt);
            if (St.ErrorMark) DrawErrorMark(tr.Left, tr.Left + w, bottom);
        }
        p.DrawX += w;
    }
    return true;
}

void TMiniHtmlEngine::DrawErrorMark(int left, int right, int bottom) {
    const TColor pen = S.PenColor();
    const int penWidth = S.PenWidth();
    S.SetPen(kErrorMarkColor, 1);
    const int base = bottom - 1;
    int x = left & ~1;
    bool up = false;
    S.MoveTo(x, base);
    while (x < right) {
        x += 2;
        up = !up;
        S.LineTo(x, up ? base - 2 : base);
    }
    S.SetPen(pen, penWidth);
}

void TMiniHtmlEngine::DrawFocus(const TLinePass& p) {
    S.FocusRect({p.FocusStartX - 1, p.RunBottom - RefHeight, p.DrawX + 1, p.RunBottom});
}

void TMiniHtmlEngine::FillParagraphBand(const TLinePass& p) {
    const THtmlRect band{R.Left, p.Line.Top, R.Right, p.Line.Top + p.KnownHeight};
    if (St.ParagraphTo != clNone) {
        DrawGradientBands(S, St.ParagraphFrom, St.ParagraphTo,
                          {band.Left, band.Top, band.Right, band.Bottom + 2}, 64, true);
    } else {
        S.SetBrushColor(St.ParagraphFrom);
        S.FillRect(band);
        S.SetBrushColor(clNone);
    }
}

void TMiniHtmlEngine::CloseLink(TLinePass& p) {
    if (St.LinkSetUnderline) St.Font.Underline = false;
    if (St.LinkSetBrush) St.Brush = St.LinkSavedBrush;
    St.LinkSetUnderline = St.LinkSetBrush = false;
    if (!O.IgnoreColors) St.Font.Color = Base.Color;
    ApplyFont();
    if (!St.LinkActive) return;
    if (Keep && p.FitChecks)
        Keep->Segments.push_back({St.LinkNumber, int(Keep->Lines.size()), p.LinkStartX, p.X});
    for (TLinePass::TLinkHit* hit : {&p.TextHit, &p.ImageHit})
        if (hit->Hit && hit->EndX < 0 && hit->Link == St.LinkNumber) hit->EndX = p.X;
    if (p.Draw && FocusLinkOpen()) DrawFocus(p);
    St.LinkActive = false;
}

TMiniHtmlEngine::TSource TMiniHtmlEngine::ResolveSource(const QString& src) {
    TSource r;
    const QString upper = src.toUpper();
    if (upper.startsWith(QStringLiteral("IDX:"))) {
        const int n = HtmlStrToInt(src.mid(4));
        if (O.ImageList && n >= 0 && n < O.ImageList->Count()) {
            r.List = O.ImageList;
            r.Index = n;
            r.Width = O.ImageList->Width();
            r.Height = O.ImageList->Height();
        }
        return r;
    }
    // System icons of file types are a shell service this build does not have.
    if (upper.startsWith(QStringLiteral("SSYS:")) || upper.startsWith(QStringLiteral("LSYS:"))) return r;
    const TMarkupPicture* pic = nullptr;
    if (!src.contains(QLatin1Char(':'))) {
        if (O.PictureContainer) pic = O.PictureContainer->FindPicture(src);
    } else if (src.contains(QStringLiteral("://")) && O.PictureCache) {
        TMarkupPicture* cached = O.PictureCache->FindPicture(src);
        if (!cached) {
            cached = O.PictureCache->AddPicture(src);
            try {
                cached->LoadFromURL(src);
            } catch (...) {
                cached->Clear(); // a picture that cannot be loaded stays empty and is skipped
            }
        }
        pic = cached;
    }
    if (pic && !pic->Empty()) {
        r.Picture = pic;
        r.Width = pic->Animated() ? pic->GetMaxWidth() : pic->Width();
        r.Height = pic->Animated() ? pic->GetMaxHeight() : pic->Height();
    }
    return r;
}

void TMiniHtmlEngine::HandleImage(const TTag& t, TLinePass& p) {
    const QString& tag = t.Text;
    const QString& up = t.Up;
    const int number = ++St.ImageCounter;
    QString src = Attribute(up, tag, QStringLiteral("SRC"));
    if (Keep && St.LinkActive && !Attribute(up, tag, QStringLiteral("ALT")).isEmpty())
        Keep->MouseDependent = true;
    if (number == ImageUnderMouse) {
        const QString alt = Attribute(up, tag, QStringLiteral("ALT"));
        if (!alt.isEmpty()) src = alt;
    }
    const TSource source = ResolveSource(src);
    if (source.Width <= 0 || source.Height <= 0) return;
    bool stretch = false;
    const QSize size = ImageSize(up, source, stretch);
    const int dw = size.width(), dh = size.height();
    if (dw <= 0 || dh <= 0) return;

    const int lineWidth = p.Line.Width();
    if (p.FitChecks && p.Placed && p.X + dw > lineWidth && dw < lineWidth) {
        --St.ImageCounter; // handled again on the next line
        p.Full = true;
        return;
    }

    if (St.LinkActive) {
        const int hitX = O.HitX - p.Line.Left;
        p.LinkedImages.push_back({number, p.X, p.X + dw, dh});
        if (hitX >= p.X && hitX < p.X + dw) {
            p.ImageHit = {true, St.LinkHref, St.LinkNumber, p.LinkStartX, -1};
            p.ImageH = dh;
        }
    }

    if (p.Draw) {
        const int y = p.RunBottom - dh;
        DrawSource(source, {p.DrawX, y, p.DrawX + dw, y + dh}, stretch);
        p.DrawX += dw;
    }
    p.X = ClampCoordinate((long long)p.X + dw);
    p.Placed = true;
    p.TrailingBlank = 0;
    p.Height = std::max(p.Height, dh);

    if (p.FitChecks) {
        if (up.contains(QStringLiteral("\"TOP")))
            p.Lift = p.Height - RefHeight;
        else if (up.contains(QStringLiteral("\"MIDDLE")))
            p.Lift = (p.Height - RefHeight) / 2;
        if (up.contains(QStringLiteral("WRAP"))) {
            p.Height = RefHeight;
            p.Lift = 0;
        }
    }
}

QSize TMiniHtmlEngine::ImageSize(const QString& up, const TSource& source, bool& stretch) const {
    const QString ws = Attribute(up, up, QStringLiteral("WIDTH"));
    const QString hs = Attribute(up, up, QStringLiteral("HEIGHT"));
    long long w = source.Width, h = source.Height;
    if (!ws.isEmpty() && !hs.isEmpty()) {
        w = HtmlStrToInt(ws);
        h = HtmlStrToInt(hs);
    } else if (!ws.isEmpty()) {
        w = HtmlStrToInt(ws);
        h = (long long)std::nearbyint(double(w) * source.Height / source.Width);
    } else if (!hs.isEmpty()) {
        h = HtmlStrToInt(hs);
        w = (long long)std::nearbyint(double(h) * source.Width / source.Height);
    }
    const double scale = O.PrintScaling ? O.ScaleFactor : 1.0;
    const int dw = ClampCoordinate((long long)std::nearbyint(double(w) * S.DpiX() / 96.0 * scale));
    const int dh = ClampCoordinate((long long)std::nearbyint(double(h) * S.DpiY() / 96.0 * scale));
    stretch = !ws.isEmpty() || !hs.isEmpty() || dw != source.Width || dh != source.Height;
    return {dw, dh};
}

void TMiniHtmlEngine::DrawSource(const TSource& source, const THtmlRect& box, bool stretch) {
    if (source.List && stretch) {
        S.StretchDrawImageListItem(*source.List, source.Index, box);
    } else if (source.List) {
        S.DrawImageListItem(*source.List, source.Index, box.Left, box.Top);
    } else if (stretch) {
        S.StretchDrawPicture(*source.Picture, box);
    } else {
        const QPoint off = source.Picture->FrameOffset();
        S.DrawPicture(*source.Picture, box.Left + off.x(), box.Top + off.y());
    }
}

void TMiniHtmlEngine::HandleBody(const QString& tag, const QString& up) {
    const QString bg = Attribute(up, up, QStringLiteral("BGCOLOR"));
    if (!bg.isEmpty()) {
        const TColor from = HtmlColorValue(bg);
        const QString to = Attribute(up, up, QStringLiteral("BGCOLORTO"));
        const THtmlRect area{R.Left - 2, R.Top, R.Right, R.Bottom};
        if (!to.isEmpty()) {
            const QString dir = Attribute(up, up, QStringLiteral("DIR"));
            DrawGradientBands(S, from, HtmlColorValue(to), area, 64,
                              dir.isEmpty() || dir == QStringLiteral("H"));
        } else {
            S.SetBrushColor(from);
            S.FillRect(area);
            S.SetBrushColor(clNone);
        }
    }
    auto source = [&](const QString& name) {
        const QString src = Attribute(up, tag, name);
        return src.isEmpty() ? TSource() : ResolveSource(src);
    };
    if (const TSource b = source(QStringLiteral("BACKGROUND")); b.Width > 0 && b.Height > 0)
        TileBackground(b);
    if (const TSource b = source(QStringLiteral("BGTOPLEFT")); b.Width > 0 && b.Height > 0)
        DrawBodyPicture(b, R.Left, R.Top);
    if (const TSource b = source(QStringLiteral("BGTOPRIGHT")); b.Width > 0 && b.Height > 0)
        DrawBodyPicture(b, R.Right - b.Width, R.Top);
}

void TMiniHtmlEngine::TileBackground(const TSource& b) {
    // Only the tiles that can show: the label measures in a rectangle far larger than itself.
    // They stay on the grid that starts at the rectangle's corner.
    const THtmlRect clip = S.ClipBox();
    const long long left = std::max(R.Left, clip.Left), right = std::min(R.Right, clip.Right);
    const long long top = std::max(R.Top, clip.Top), bottom = std::min(R.Bottom, clip.Bottom);
    if (left >= right || top >= bottom) return;
    const long long x0 = R.Left + (left - R.Left) / b.Width * b.Width;
    const long long y0 = R.Top + (top - R.Top) / b.Height * b.Height;
    S.SetClip(R);
    for (long long y = y0; y < bottom; y += b.Height)
        for (long long x = x0; x < right; x += b.Width)
            DrawBodyPicture(b, int(x), int(y));
    S.RemoveClip();
}

void TMiniHtmlEngine::DrawBodyPicture(const TSource& b, int x, int y) {
    if (b.List)
        S.DrawImageListItem(*b.List, b.Index, x, y);
    else
        S.DrawPicture(*b.Picture, x, y);
}

void TMiniHtmlEngine::HandleListItem(const TTag& t, TLinePass& p) {
    if (p.ListItemOnLine && p.FitChecks) {
        p.Full = true; // every item starts a line
        return;
    }
    const QString& up = t.Up;
    p.ListItemOnLine = true;
    const int indent = ClampCoordinate(12LL * St.ListLevel);
    p.X = ClampCoordinate((long long)p.X + indent);
    p.Placed = true;
    if (!p.Draw) return;
    const int markerX = p.DrawX + indent - 12;
    p.DrawX += indent;
    if (St.Hidden) return;
    const QString type = Attribute(up, up, QStringLiteral("TYPE"));
    const QString colorText = Attribute(up, up, QStringLiteral("COLOR"));
    const TColor color = colorText.isEmpty() ? St.Font.Color : HtmlColorValue(colorText);
    if (type == QStringLiteral("SQUARE") || type == QStringLiteral("CIRCLE")) {
        const TColor pen = S.PenColor();
        const int penWidth = S.PenWidth();
        S.SetBrushColor(color);
        S.SetPen(color, 1);
        const THtmlRect box{markerX, p.Line.Top + 2, markerX + 8, p.Line.Top + 10};
        if (type == QStringLiteral("SQUARE"))
            S.Rectangle(box);
        else
            S.Ellipse(box);
        S.SetBrushColor(clNone);
        S.SetPen(pen, penWidth);
    } else if (type.isEmpty()) {
        THtmlFont symbol = St.Font;
        symbol.Name = QStringLiteral("Symbol");
        symbol.Color = color;
        S.SetFont(symbol);
        const QString mark = St.ListLevel % 2 ? QString(QChar(0xB7)) : QStringLiteral("o");
        S.DrawText(mark, {markerX, p.Line.Top, markerX + 12, p.RunBottom - p.Lift},
                   TTextFormat{false, false, false});
        ApplyFont();
    }
}

// Tags are told apart by their first letter and, where a rule names one, the character after it
// (both upper-cased); the rest of the name is not checked. The first matching rule applies.
const TMiniHtmlEngine::TTagRule TMiniHtmlEngine::kOpeningTags[] = {
    {'A', kAny, Call<&TMiniHtmlEngine::OpenLink>},
    {'B', '>', [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.Bold = true; }},
    {'B', 'R', [](TMiniHtmlEngine&, const TTag&, TLinePass& p) { p.Ended = true; }},
    {'B', 'O', Call<&TMiniHtmlEngine::OpenBody>},
    {'B', 'L', Call<&TMiniHtmlEngine::OpenBlink>},
    {'E', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.ErrorMark = true; }},
    {'F', kAny, Call<&TMiniHtmlEngine::OpenFont>},
    {'H', 'R', Call<&TMiniHtmlEngine::HorizontalRule>},
    {'H', 'I', Call<&TMiniHtmlEngine::OpenHighlight>},
    {'I', '>', [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.Italic = true; }},
    {'I', 'N', Call<&TMiniHtmlEngine::Indent>},
    {'I', 'M', Call<&TMiniHtmlEngine::HandleImage>},
    {'L', kAny, Call<&TMiniHtmlEngine::HandleListItem>},
    {'O', 'F', Call<&TMiniHtmlEngine::FixedOffset>},
    {'P', kAny, Call<&TMiniHtmlEngine::OpenParagraph>},
    {'R', kAny, Call<&TMiniHtmlEngine::OpenRotation>},
    {'S', '>', [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.StrikeOut = true; }},
    {'S', 'H', [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Shadow = true; }},
    {'S', kAny, Call<&TMiniHtmlEngine::OpenSubOrSuperscript>},
    {'U', '>', [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.Underline = true; }},
    {'U', kAny, Call<&TMiniHtmlEngine::OpenList>},
    {'Z', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Hidden = true; }},
};

// Closing tags: the letter after "</" and the character after that.
const TMiniHtmlEngine::TTagRule TMiniHtmlEngine::kClosingTags[] = {
    {'A', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass& p) { e.CloseLink(p); }},
    {'B', '>', [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.Bold = false; }},
    {'B', kAny,
     [](TMiniHtmlEngine& e, const TTag&, TLinePass&) {
         e.St.Font.Color = e.Base.Color;
         e.St.BlinkOpen = false;
     }},
    {'E', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.ErrorMark = false; }},
    {'F', kAny, Call<&TMiniHtmlEngine::CloseFont>},
    {'H', kAny, Call<&TMiniHtmlEngine::CloseHighlight>},
    {'I', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.Italic = false; }},
    {'L', kAny, [](TMiniHtmlEngine&, const TTag&, TLinePass& p) { p.Ended = true; }},
    // Lines after this one start at the left edge again.
    {'O', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.FixedOffset = 0; }},
    {'P', kAny, Call<&TMiniHtmlEngine::CloseParagraph>},
    {'R', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.Orientation = 0; }},
    {'S', 'U',
     [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Subscript = e.St.Superscript = false; }},
    {'S', 'H', [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Shadow = false; }},
    {'S', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.StrikeOut = false; }},
    {'U', '>', [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Font.Underline = false; }},
    {'U', kAny, Call<&TMiniHtmlEngine::CloseList>},
    {'Z', kAny, [](TMiniHtmlEngine& e, const TTag&, TLinePass&) { e.St.Hidden = false; }},
};

bool TMiniHtmlEngine::HandleTag(QStringView s, int gt, TLinePass& p) {
    TTag t;
    t.Source = s;
    t.Gt = gt;
    t.Text = s.left(gt + 1).toString();
    t.Up = UpperSameLength(t.Text);
    const bool closing = t.Up[1] == QLatin1Char('/');
    // A closing tag needs a character after its letter.
    if (closing && t.Up.size() < 4) return false;
    const QChar letter = t.Up[closing ? 2 : 1];
    t.Second = t.Up[closing ? 3 : 2];
    const std::span<const TTagRule> rules =
        closing ? std::span<const TTagRule>(kClosingTags) : std::span<const TTagRule>(kOpeningTags);
    const auto rule = std::ranges::find_if(rules, [&](const TTagRule& r) {
        return letter == QLatin1Char(r.Letter) && (r.Second == kAny || t.Second == QLatin1Char(r.Second));
    });
    if (rule != rules.end()) {
        rule->Handle(*this, t, p);
        if (p.Full) return true; // the tag starts the next line
    }
    ApplyFont();
    return false;
}

void TMiniHtmlEngine::OpenLink(const TTag& t, TLinePass& p) {
    St.LinkNumber = ++St.LinkCounter;
    Out.LinkCount = St.LinkCounter;
    St.LinkActive = true;
    St.LinkHref.clear();
    if (const int q1 = t.Text.indexOf(QLatin1Char('"')); q1 >= 0) {
        const int q2 = t.Text.indexOf(QLatin1Char('"'), q1 + 1);
        if (q2 >= 0) St.LinkHref = t.Text.mid(q1 + 1, q2 - q1 - 1);
    }
    St.LinkSetUnderline = St.LinkSetBrush = false;
    p.LinkStartX = p.X;
    p.FocusStartX = p.DrawX;
    const bool hovered = O.Hover && St.LinkNumber == O.HoverLink;
    if (p.DrawState && LinkStyled(St.LinkNumber)) StyleLink();
    if (!O.IgnoreColors && !(hovered && O.HoverFontColor != clNone)) St.Font.Color = O.LinkColor;
}

void TMiniHtmlEngine::StyleLink() {
    if (!St.Font.Underline) {
        St.Font.Underline = true;
        St.LinkSetUnderline = true;
    }
    if (O.HoverColor != clNone) {
        St.LinkSavedBrush = St.Brush;
        St.Brush = O.HoverColor;
        St.LinkSetBrush = true;
    }
    if (O.HoverFontColor != clNone) St.Font.Color = O.HoverFontColor;
}

void TMiniHtmlEngine::OpenBody(const TTag& t, TLinePass& p) {
    LineHasBody = true;
    if (p.Draw && !O.IgnoreColors) HandleBody(t.Text, t.Up);
}

void TMiniHtmlEngine::OpenBlink(const TTag&, TLinePass&) {
    St.BlinkOpen = true;
    if (!O.BlinkPhase) St.Font.Color = StartBrush;
}

void TMiniHtmlEngine::OpenFont(const TTag& t, TLinePass& p) {
    const QString face = Attribute(t.Up, t.Text, QStringLiteral("FACE"));
    if (!face.isEmpty()) St.Font.Name = face;
    // The blank keeps BGCOLOR from matching.
    const QString color = Attribute(t.Up, t.Up, QStringLiteral(" COLOR"));
    if (!color.isEmpty() && !O.IgnoreColors) St.Font.Color = HtmlColorValue(color);
    const QString bg = Attribute(t.Up, t.Up, QStringLiteral("BGCOLOR"));
    St.FontSavedBrushes.append(St.Brush);
    if (!bg.isEmpty() && p.DrawState && !O.IgnoreColors) St.Brush = HtmlColorValue(bg);
    const QString size = Attribute(t.Up, t.Up, QStringLiteral("SIZE"));
    if (!size.isEmpty()) {
        const int n = HtmlStrToInt(size);
        static constexpr int kSizes[] = {8, 10, 12, 14, 16};
        St.Font.Size = n >= 1 && n <= 5 ? kSizes[n - 1] : n;
    }
}

void TMiniHtmlEngine::CloseFont(const TTag&, TLinePass&) {
    const TColor saved = St.FontSavedBrushes.isEmpty() ? clNone : St.FontSavedBrushes.takeLast();
    St.Font.Name = Base.Name;
    St.Font.Size = Base.Size;
    if (!O.IgnoreColors) {
        St.Font.Color = Base.Color;
        St.Brush = saved;
    }
}

void TMiniHtmlEngine::HorizontalRule(const TTag& t, TLinePass& p) {
    p.Ended = true;
    if (!p.Draw) return;
    const QString colorText = Attribute(t.Up, t.Up, QStringLiteral("COLOR"));
    const TColor color = colorText.isEmpty() ? 0 : HtmlColorValue(colorText);
    const TColor pen = S.PenColor();
    const int penWidth = S.PenWidth();
    S.SetPen(color, penWidth);
    S.MoveTo(p.Line.Left, p.Line.Bottom + 1);
    S.LineTo(p.Line.Right, p.Line.Bottom + 1);
    S.SetPen(pen, penWidth);
}

void TMiniHtmlEngine::OpenHighlight(const TTag&, TLinePass& p) {
    if (!p.DrawState || O.IgnoreColors || St.HighlightActive) return;
    St.HighlightActive = true;
    St.HighlightSavedBrush = St.Brush;
    St.HighlightSavedColor = St.Font.Color;
    St.Brush = clHighlight;
    St.Font.Color = clHighlightText;
}

void TMiniHtmlEngine::CloseHighlight(const TTag&, TLinePass&) {
    if (!St.HighlightActive) return;
    St.Brush = St.HighlightSavedBrush;
    St.Font.Color = St.HighlightSavedColor;
    St.HighlightActive = false;
}

void TMiniHtmlEngine::Indent(const TTag& t, TLinePass& p) {
    bool valid = false;
    const int n = HtmlStrToInt(KeyedValue(t.Source, t.Gt, QLatin1Char('x')), &valid);
    if (valid && p.X < n && n <= kMaxCoordinate) {
        p.X = n;
        p.DrawX = p.Line.Left + n;
    }
}

void TMiniHtmlEngine::FixedOffset(const TTag& t, TLinePass& p) {
    const int n = ClampCoordinate(HtmlStrToInt(KeyedValue(t.Source, t.Gt, QLatin1Char('x'))));
    St.FixedOffset = n;
    p.X = n;
    p.DrawX = p.Line.Left + n;
}

void TMiniHtmlEngine::OpenParagraph(const TTag& t, TLinePass& p) {
    const QString align = Attribute(t.Up, t.Up, QStringLiteral("ALIGN"));
    if (align.contains(QStringLiteral("RIGHT")))
        St.Align = THtmlAlign::Right;
    else if (align.contains(QStringLiteral("LEFT")))
        St.Align = THtmlAlign::Left;
    else if (align.contains(QStringLiteral("CENTER")))
        St.Align = THtmlAlign::Center;
    const QString indent = Attribute(t.Up, t.Up, QStringLiteral("INDENT"));
    if (!indent.isEmpty()) St.ParagraphIndent = ClampCoordinate(HtmlStrToInt(indent));
    const QString bg = Attribute(t.Up, t.Up, QStringLiteral("BGCOLOR"));
    if (!bg.isEmpty() && p.DrawState && !O.IgnoreColors) {
        const QString to = Attribute(t.Up, t.Up, QStringLiteral("BGCOLORTO"));
        St.ParagraphFill = true;
        St.ParagraphFrom = HtmlColorValue(bg);
        St.ParagraphTo = to.isEmpty() ? clNone : HtmlColorValue(to);
        if (p.Draw) FillParagraphBand(p);
    }
}

void TMiniHtmlEngine::CloseParagraph(const TTag&, TLinePass& p) {
    p.Ended = true;
    St.ParagraphFill = false;
}

void TMiniHtmlEngine::OpenRotation(const TTag& t, TLinePass&) {
    if (!S.SupportsRotation()) return;
    const long long angle = HtmlStrToInt(KeyedValue(t.Source, t.Gt, QLatin1Char('a')));
    St.Font.Orientation = int((angle % 360) * 10);
}

void TMiniHtmlEngine::OpenSubOrSuperscript(const TTag& t, TLinePass&) {
    // Only the bare tags, without attributes.
    if (t.Up == QStringLiteral("<SUB>"))
        St.Subscript = true;
    else if (t.Up == QStringLiteral("<SUP>"))
        St.Superscript = true;
}

void TMiniHtmlEngine::OpenList(const TTag&, TLinePass& p) {
    p.Ended = true;
    ++St.ListLevel;
}

void TMiniHtmlEngine::CloseList(const TTag&, TLinePass&) {
    // At level 0 a closing tag that is not exactly "</U>" still ends underlining.
    if (St.ListLevel > 0)
        --St.ListLevel;
    else
        St.Font.Underline = false;
}

} // namespace

bool DrawMiniHtml(IHtmlSurface& surface, const QString& text, const THtmlRect& rect,
                  const TMiniHtmlOptions& options, TMiniHtmlResult& result) {
    TMiniHtmlEngine engine(surface, rect, options, result);
    return engine.Run(text);
}

TMiniHtmlLayout::TMiniHtmlLayout() = default;
TMiniHtmlLayout::~TMiniHtmlLayout() = default;
TMiniHtmlLayout::TMiniHtmlLayout(TMiniHtmlLayout&&) noexcept = default;
TMiniHtmlLayout& TMiniHtmlLayout::operator=(TMiniHtmlLayout&&) noexcept = default;

void TMiniHtmlLayout::Build(IHtmlSurface& surface, const QString& text, const THtmlRect& rect,
                            const TMiniHtmlOptions& options) {
    auto d = std::make_unique<TData>();
    TMiniHtmlOptions o = options;
    o.HitX = o.HitY = -1;
    o.HoverLink = -1;
    o.MeasureOnly = false;
    TMiniHtmlResult result;
    TMiniHtmlEngine engine(surface, rect, o, result);
    engine.Build(text, *d);
    D = std::move(d);
}

void TMiniHtmlLayout::Clear() {
    D.reset();
}

int TMiniHtmlLayout::Width() const {
    return D ? D->Width : 0;
}

int TMiniHtmlLayout::Height() const {
    return D ? D->Height : 0;
}

int TMiniHtmlLayout::LinkCount() const {
    return D ? D->LinkCount : 0;
}

bool TMiniHtmlLayout::MouseDependent() const {
    return D && D->MouseDependent;
}

bool TMiniHtmlLayout::HasBlink() const {
    return D && !D->BlinkRuns.empty();
}

bool TMiniHtmlLayout::Draw(IHtmlSurface& surface, int dy, const THtmlRect& exposed,
                           const TMiniHtmlOptions& options, TMiniHtmlResult& result) const {
    result = TMiniHtmlResult();
    if (!D) return false;
    // Shadows, rules under a line, focus frames and overhangs reach a little past a line's band.
    const long long margin =
        16LL + std::abs((long long)options.ShadowOffset) + std::abs((long long)options.LineSpacing);
    TMiniHtmlOptions o = options;
    o.HitOnlySecondPass = false;
    TMiniHtmlEngine engine(surface, D->R, o, result);
    return engine.Replay(*D, dy, exposed.Top - margin, exposed.Bottom + margin);
}

bool TMiniHtmlLayout::HitTest(IHtmlSurface& surface, int dy, const TMiniHtmlOptions& options,
                              TMiniHtmlResult& result) const {
    result = TMiniHtmlResult();
    if (!D) return false;
    // A hit needs the point within a line's text band or image, which lie within the line.
    const long long margin = 64LL + std::abs((long long)options.LineSpacing);
    TMiniHtmlOptions o = options;
    o.HitOnlySecondPass = true;
    TMiniHtmlEngine engine(surface, D->R, o, result);
    return engine.Replay(*D, dy, options.HitY - margin, (long long)options.HitY + margin);
}

QList<THtmlRect> TMiniHtmlLayout::LinkArea(int link, int dy) const {
    QList<THtmlRect> area;
    if (!D) return area;
    for (const auto& seg : D->Segments) {
        if (seg.Link != link) continue;
        const auto& line = D->Lines[size_t(seg.Line)];
        area.append({line.Left + seg.X0, ClampPosition((long long)line.Top + dy), line.Left + seg.X1,
                     ClampPosition((long long)line.Bottom + dy)});
    }
    return area;
}

QList<THtmlRect> TMiniHtmlLayout::BlinkArea(int dy) const {
    QList<THtmlRect> area;
    if (!D) return area;
    // Glyphs may reach a little past their run (italic, bold).
    constexpr int kOverhang = 2;
    for (const auto& run : D->BlinkRuns) {
        const auto& line = D->Lines[size_t(run.Line)];
        area.append({line.Left + run.X0 - kOverhang, ClampPosition((long long)line.Top + dy),
                     line.Left + run.X1 + kOverhang, ClampPosition((long long)line.Bottom + dy)});
    }
    return area;
}

void DrawGradientBands(IHtmlSurface& surface, TColor from, TColor to, const THtmlRect& r, int steps,
                       bool horizontal) {
    if (from == clNone || to == clNone) return;
    const int n = std::clamp(steps, 1, 65536);
    const TColor a = ColorToRGB(from), b = ColorToRGB(to);
    const int extent = horizontal ? r.Width() : r.Height();
    const double band = double(extent) / n;
    const TColor saved = surface.BrushColor();
    const int start = horizontal ? r.Left : r.Top;
    const int end = horizontal ? r.Right : r.Bottom;
    for (int i = 0; i < n; ++i) {
        auto mix = [&](int c0, int c1) { return c0 + int(std::nearbyint(double(i) * (c1 - c0) / n)); };
        const TColor c =
            RGBColor(mix(RedOf(a), RedOf(b)), mix(GreenOf(a), GreenOf(b)), mix(BlueOf(a), BlueOf(b)));
        const int s0 = start + int(std::nearbyint(i * band));
        const int s1 = std::min(end, s0 + int(band) + 1);
        if (s1 <= s0 || s0 >= end) continue;
        surface.SetBrushColor(c);
        surface.FillRect(horizontal ? THtmlRect{s0, r.Top, s1, r.Bottom}
                                    : THtmlRect{r.Left, s0, r.Right, s1});
    }
    surface.SetBrushColor(saved);
}

} // namespace htmllabel
