// Arbitrary text through the mini-HTML engine on the recording surface: every mode must end
// without a fault, and the text utilities must keep their invariants.

#include "ui/htmllabel/MiniHtml.h"
#include "ui/htmllabel/RecordingSurface.h"

#include <cstdint>
#include <cstdlib>

using namespace htmllabel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 4096) return 0;
    // The first byte picks the options, the rest is the text.
    const std::uint8_t flags = data[0];
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    static THtmlImageList list = [] {
        THtmlImageList l(16, 16);
        l.Add(QImage(16, 16, QImage::Format_ARGB32));
        return l;
    }();
    TMarkupPictureCache cache;
    TMiniHtmlOptions o;
    o.ImageList = &list;
    o.PictureCache = &cache;
    o.WordWrap = !(flags & 1);
    o.MeasureOnly = flags & 2;
    o.HitOnlySecondPass = flags & 4;
    o.Hover = flags & 8;
    o.HoverLink = 1;
    o.FocusLink = (flags & 16) ? 0 : -1;
    o.IgnoreColors = flags & 32;
    o.RightToLeft = flags & 64;
    o.HoverColor = (flags & 128) ? 0x00FFFF : clNone;
    o.HitX = 7 + (flags & 0x3F);
    o.HitY = 5 + (flags >> 2);

    TRecordingSurface s;
    s.Rotation = flags & 1;
    s.Clip = {0, 0, 500, 400}; // the window the label shows in
    const THtmlFont base = s.Font();
    const THtmlRect rect{0, 0, 40 + (flags & 0x7F) * 3, (flags & 2) ? 65535 : 400};
    TMiniHtmlResult r;
    const bool hit = DrawMiniHtml(s, text, rect, o, r);
    if (hit != r.Hit || (hit && r.MouseLink < 1) || r.MouseLink > r.LinkCount || r.Height <= 0 || r.Width < 0)
        std::abort();
    if (!(s.Font() == base)) std::abort();
    // Animated pictures the text loaded step on, and back.
    for (int i = 0; i < 3; ++i)
        cache.Animate();

    const QString plain = StripTags(text);
    const QString wrapped = WrapMatchesInTag(text, QStringLiteral("a"), QStringLiteral("hi"), false);
    if (StripTags(wrapped) != plain) std::abort();
    (void)HtmlToPlainText(text);
    (void)RemoveTag(wrapped, QStringLiteral("hi"));
    return 0;
}
