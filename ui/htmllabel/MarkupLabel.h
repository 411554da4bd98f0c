#pragma once
// Label widget showing a mini-HTML text: optional frame and gradient background, automatic
// sizing to the text, clickable and hoverable links.

#include "ui/htmllabel/MarkupPicture.h"
#include "ui/htmllabel/MiniHtml.h"
#include "ui/htmllabel/PictureContainer.h"

#include <QPointer>
#include <QRegion>
#include <QStringList>
#include <QWidget>
#include <functional>

class QPainter;
class QTimer;

namespace htmllabel {

enum class TAutoSizeType { asVertical, asHorizontal, asBoth };
enum class TVAlignment { tvaTop, tvaCenter, tvaBottom };
enum class TGradientType { gtFullHorizontal, gtFullVertical, gtBottomLine, gtCenterLine, gtTopLine };
enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
// Docking of the control in its parent; automatic sizing leaves a docked dimension alone.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TMarkupLabel : public QWidget {
    Q_OBJECT
public:
    using TAnchorEvent = std::function<void(TMarkupLabel* sender, const QString& href)>;
    using TAnchorHintEvent = std::function<void(TMarkupLabel* sender, QString& href)>;
    using TNotifyEvent = std::function<void(TMarkupLabel* sender)>;

    static constexpr unsigned VersionNumber = 0x01080304;

    explicit TMarkupLabel(QWidget* parent = nullptr);
    ~TMarkupLabel() override;

    // The text as lines. Assigning it whole removes every CR and LF, so the assigned lines become
    // one line; the line operations keep lines as given, and layout joins them with a blank.
    QStringList HTMLText() const { return FLines; }
    void SetHTMLText(const QString& text);
    void AddLine(const QString& line);
    void SetLine(int index, const QString& line);
    void ClearLines();
    // The text the engine lays out: the lines joined with a blank.
    QString JoinedText() const { return FLines.join(QLatin1Char(' ')); }
    // The visible text without markup.
    QString Text() const;

    // Appearance; setting a new value repaints.
    bool AutoSizing() const { return FAutoSizing; }
    void SetAutoSizing(bool v) { Set(FAutoSizing, v); }
    TAutoSizeType AutoSizeType() const { return FAutoSizeType; }
    void SetAutoSizeType(TAutoSizeType v) { Set(FAutoSizeType, v); }
    TVAlignment VAlignment() const { return FVAlignment; }
    void SetVAlignment(TVAlignment v) { Set(FVAlignment, v); }
    bool Ellipsis() const { return FEllipsis; }
    void SetEllipsis(bool v) { Set(FEllipsis, v); }
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v) { Set(FTransparent, v); }
    TColor Color() const { return FColor; }
    void SetColor(TColor v) { Set(FColor, v); }
    TColor ColorTo() const { return FColorTo; }
    void SetColorTo(TColor v) { Set(FColorTo, v); }
    TGradientType GradientType() const { return FGradientType; }
    void SetGradientType(TGradientType v) { Set(FGradientType, v); }
    int LineWidth() const { return FLineWidth; }
    void SetLineWidth(int v) { Set(FLineWidth, v); }
    int LineSpacing() const { return FLineSpacing; }
    void SetLineSpacing(int v) { Set(FLineSpacing, v); }
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut v) { Set(FBevelInner, v); }
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut v) { Set(FBevelOuter, v); }
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int v) { Set(FBevelWidth, v); }
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle v) { Set(FBorderStyle, v); }
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int v) { Set(FBorderWidth, v); }
    TColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(TColor v) { Set(FBorderColor, v); }
    TColor URLColor() const { return FURLColor; }
    void SetURLColor(TColor v) { Set(FURLColor, v); }
    bool Hover() const { return FHover; }
    void SetHover(bool v) { Set(FHover, v); }
    TColor HoverColor() const { return FHoverColor; }
    void SetHoverColor(TColor v) { Set(FHoverColor, v); }
    TColor HoverFontColor() const { return FHoverFontColor; }
    void SetHoverFontColor(TColor v) { Set(FHoverFontColor, v); }
    TColor ShadowColor() const { return FShadowColor; }
    void SetShadowColor(TColor v) { Set(FShadowColor, v); }
    int ShadowOffset() const { return FShadowOffset; }
    void SetShadowOffset(int v) { Set(FShadowOffset, v); }
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign v) { Set(FAlign, v); }
    const THtmlImageList* Images() const { return FImages; }
    void SetImages(const THtmlImageList* v) { Set(FImages, v); }
    TPictureContainer* PictureContainer() const { return FPictureContainer; }
    void SetPictureContainer(TPictureContainer* v);
    bool AnchorHint() const { return FAnchorHint; }
    void SetAnchorHint(bool v) { FAnchorHint = v; }
    bool HintShowFull() const { return FHintShowFull; }
    void SetHintShowFull(bool v) { FHintShowFull = v; }
    bool HTMLHint() const { return FHTMLHint; }
    void SetHTMLHint(bool v) { FHTMLHint = v; }
    // "1.8.3.4": one byte of the version number per part.
    static QString Version();

    TAnchorEvent OnAnchorClick, OnAnchorEnter, OnAnchorExit;
    TAnchorHintEvent OnAnchorHint;
    TNotifyEvent OnMouseEnter, OnMouseLeave;
    // Opens a clicked "://" or "mailto:" address; empty means the desktop's URL opener.
    std::function<void(const QString& href)> OpenUrl;

    // Painting is suppressed until the outermost EndUpdate, which repaints.
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    // Runs the painting algorithm at once (automatic sizing included), also while hidden.
    void Doit();
    // Width and height of the text laid out in AMaxWidth (height limit 4096), nothing drawn.
    QSize GetSizeWithMaxWidth(int AMaxWidth);
    // Draws the text on another painter in r, for printing: no hover, shadow offset 1.
    void HTMLPrint(QPainter& painter, const THtmlRect& r);
    // Prints the text on the default printer, or into the PDF file pdfFileName when there is no
    // printer. Returns the PDF's name, or an empty text when it went to a printer.
    QString PrintDocument(const QString& pdfFileName);

    void HilightText(const QString& HiText, bool DoCase);
    void MarkText(const QString& HiText, bool DoCase);
    void UnHilightText();
    void UnMarkText();

    // The href of the link at p (client coordinates) and its rectangle on the line at p; empty and
    // (-1,-1,-1,-1) when there is none. The text lies where painting puts it.
    QString AnchorAt(QPoint p, THtmlRect& rect);
    int HoverLink() const { return FHoverLink; }
    // Where link number `link` is painted, over all its lines (client coordinates).
    QRegion LinkArea(int link);
    // Blinking text (BLINK) shows and hides in turns of this many milliseconds.
    static constexpr int BlinkInterval = 500;
    bool BlinkPhase() const { return FBlinkPhase; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    bool event(QEvent* e) override;

private:
    template <class T> void Set(T& field, T value) {
        if (field == value) return;
        field = value;
        ++FGeneration;
        update();
    }
    void TextChanged();
    TMiniHtmlOptions Options(QPoint hit) const;
    THtmlFont BaseFont() const;
    // The painting algorithm on a painter covering the client area; only `exposed` needs to show.
    void Render(QPainter& painter, const QRect& exposed);
    // The rectangle the text is laid out in: the client area less the frames, drawn on s when
    // given, and widened for automatic sizing. Painting, hit tests, hover and hints share it.
    THtmlRect TextArea(IHtmlSurface* s);
    // How far vertical alignment moves the text down in the control's current height.
    int AlignmentOffset(int textHeight) const;
    // The kept layout of the text for the current text, size, font, appearance and blink phase;
    // laid out again only when one of them changed.
    const TMiniHtmlLayout& Layout();
    // Automatic sizing to the laid-out text.
    void Arrange();
    void RepaintLink(int link);
    void BlinkTick();

    QStringList FLines;
    bool FAutoSizing = false;
    TAutoSizeType FAutoSizeType = TAutoSizeType::asVertical;
    TVAlignment FVAlignment = TVAlignment::tvaTop;
    bool FEllipsis = false;
    bool FTransparent = true;
    TColor FColor = clBtnFace;
    TColor FColorTo = clNone;
    TGradientType FGradientType = TGradientType::gtFullHorizontal;
    int FLineWidth = 2;
    int FLineSpacing = 0;
    TBevelCut FBevelInner = TBevelCut::bvNone;
    TBevelCut FBevelOuter = TBevelCut::bvNone;
    int FBevelWidth = 1;
    TBorderStyle FBorderStyle = TBorderStyle::bsNone;
    int FBorderWidth = 0;
    TColor FBorderColor = 0;
    TColor FURLColor = 0xFF0000;
    bool FHover = false;
    TColor FHoverColor = clNone;
    TColor FHoverFontColor = clNone;
    TColor FShadowColor = 0x808080;
    int FShadowOffset = 2;
    TAlign FAlign = TAlign::alNone;
    const THtmlImageList* FImages = nullptr;
    QPointer<TPictureContainer> FPictureContainer;
    bool FAnchorHint = false;
    bool FHintShowFull = false;
    bool FHTMLHint = false;

    TMarkupPictureCache FCache;
    int FUpdateCount = 0;
    int FHoverLink = -1;
    int FOldHoverLink = -1;
    QString FAnchor;
    THtmlRect FHoverRect{-1, -1, -1, -1};
    bool FHandCursor = false;
    int FTextWidth = 0;
    int FTextHeight = 0;

    // The kept layouts (the second one for the shown phase of blinking text) and what they hold for.
    TMiniHtmlLayout FLayout;
    TMiniHtmlLayout FLayoutBlinkShown;
    unsigned FGeneration = 0;
    unsigned FLayoutGeneration = 0;
    THtmlRect FLayoutRect;
    THtmlFont FLayoutFont;
    bool FBlinkPhase = true;
    QTimer* FBlinkTimer = nullptr;
};

} // namespace htmllabel
