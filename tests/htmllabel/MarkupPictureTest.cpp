// Picture loading rules, error texts, GIF frames, the cache and the container.

#include "platform/Exceptions.h"
#include "ui/htmllabel/MarkupPicture.h"
#include "ui/htmllabel/MarkupPictureInternal.h"
#include "ui/htmllabel/PictureContainer.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace htmllabel;

namespace {

QByteArray Png(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::green);
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return data;
}

// Two 1×1 frames in a 2×2 animation: index 0 at (0,0), index 1 at (1,1).
QByteArray TwoFrameGif() {
    const unsigned char bytes[] = {
        'G',  'I',  'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0,             // screen 2×2, 2-colour table
        0,    0,    0,   255, 0,   0,                                       // black, red
        0x21, 0xF9, 4,   0,   10,  0,   0, 0,                               // frame delay
        0x2C, 0,    0,   0,   0,   1,   0, 1, 0, 0, 2,    2, 0x44, 0x01, 0, // frame 1
        0x21, 0xF9, 4,   0,   10,  0,   0, 0,                               //
        0x2C, 1,    0,   1,   0,   1,   0, 1, 0, 0, 2,    2, 0x4C, 0x01, 0, // frame 2
        0x3B,
    };
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// n frames of 1×1 in a 2×2 animation, at (0,0), alternately black and red.
QByteArray GifFrames(int n) {
    QByteArray gif("GIF89a\x02\x00\x02\x00\x80\x00\x00\x00\x00\x00\xff\x00\x00", 19);
    for (int i = 0; i < n; ++i) {
        gif += QByteArray("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8);
        gif += QByteArray("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00", 15);
        if (i % 2) gif[gif.size() - 3] = char(0x4C);
    }
    return gif + QByteArray("\x3b", 1);
}

QString ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const platform::Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<none>");
}

} // namespace

TEST(MarkupPicture, LoadRulesAndErrorTexts) {
    TMarkupPicture p;
    EXPECT_TRUE(p.Empty());
    p.LoadFromData(Png(30, 12));
    EXPECT_FALSE(p.Empty());
    EXPECT_EQ(p.Width(), 30);
    EXPECT_EQ(p.Height(), 12);
    EXPECT_FALSE(p.Animated());

    EXPECT_EQ(ErrorOf([&] { p.LoadFromData(QByteArray()); }), QStringLiteral("Empty image stream created"));
    EXPECT_TRUE(p.Empty());
    EXPECT_EQ(ErrorOf([&] { p.LoadFromData("this is no picture"); }),
              QStringLiteral("Could not load image. Invalid format"));
    EXPECT_EQ(ErrorOf([&] { p.LoadFromResourceName(QStringLiteral("NoSuchPicture")); }),
              QStringLiteral("Could not create image stream"));

    // LoadFromFile turns any failure into an empty picture.
    QTemporaryDir dir;
    const QString bad = dir.filePath(QStringLiteral("bad.png"));
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("garbage");
    f.close();
    p.LoadFromData(Png(3, 3));
    EXPECT_EQ(ErrorOf([&] { p.LoadFromFile(bad); }), QStringLiteral("<none>"));
    EXPECT_TRUE(p.Empty());
    p.LoadFromFile(dir.filePath(QStringLiteral("missing.png")));
    EXPECT_TRUE(p.Empty());

    // Saving writes the raw bytes back.
    const QByteArray png = Png(5, 4);
    p.LoadFromData(png);
    QByteArray saved;
    QBuffer out(&saved);
    out.open(QIODevice::WriteOnly);
    p.SaveToStream(out);
    EXPECT_EQ(saved, png);
}

TEST(MarkupPicture, AddressesAndResources) {
    TMarkupPicture::RegisterResource(QStringLiteral("Logo"), Png(7, 9));
    TMarkupPicture p;
    p.LoadFromURL(QStringLiteral("res://LOGO"));
    EXPECT_EQ(p.Width(), 7);
    EXPECT_EQ(p.Address(), QStringLiteral("res://LOGO"));
    TMarkupPicture::UnregisterResource(QStringLiteral("logo"));
    EXPECT_EQ(ErrorOf([&] { p.LoadFromURL(QStringLiteral("RES://logo")); }),
              QStringLiteral("Could not create image stream"));

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.png"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Png(11, 2));
    f.close();
    p.LoadFromURL(QStringLiteral("file://") + file);
    EXPECT_EQ(p.Width(), 11);

    TMarkupPicture web;
    web.LoadFromURL(QStringLiteral("https://example.invalid/x.png"));
    EXPECT_TRUE(web.Empty());
    EXPECT_EQ(web.Address(), QStringLiteral("https://example.invalid/x.png"));
}

TEST(MarkupPicture, AnimatedGifFrames) {
    TMarkupPicture p;
    p.LoadFromData(TwoFrameGif());
    ASSERT_FALSE(p.Empty());
    EXPECT_EQ(p.FrameCount(), 2);
    EXPECT_TRUE(p.Animated());
    EXPECT_EQ(p.Frame(), 1);
    EXPECT_EQ(p.GetMaxWidth(), 2);
    EXPECT_EQ(p.GetMaxHeight(), 2);
    const QRgb first = p.Image().pixel(0, 0);
    EXPECT_EQ(qRed(first), 0);
    p.FrameNext();
    EXPECT_EQ(p.Frame(), 2);
    const QPoint at = QPoint(1, 1) - p.FrameOffset();
    EXPECT_EQ(qRed(p.Image().pixel(at)), 255);
    EXPECT_TRUE(p.Step());
    EXPECT_EQ(p.Frame(), 1);
    p.FramePrev();
    EXPECT_EQ(p.Frame(), 2);
    p.SetFrame(7); // out of range: unchanged
    EXPECT_EQ(p.Frame(), 2);

    TMarkupPicture still;
    still.LoadFromData(Png(2, 2));
    EXPECT_FALSE(still.Step());
}

TEST(MarkupPicture, FileAddressesReadOnlyRegularFilesUpToTheCap) {
    QTemporaryDir dir;
    // A valid picture followed by more padding than the cap allows (sparse, so it costs no disk).
    const QString big = dir.filePath(QStringLiteral("big.png"));
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Png(4, 4));
    ASSERT_TRUE(f.resize(TMarkupPicture::MaxFileSize + 1));
    f.close();
    TMarkupPicture p;
    ASSERT_EQ(ErrorOf([&] { p.LoadFromURL(QStringLiteral("FILE://") + big); }),
              QStringLiteral("Could not create image stream"));
    EXPECT_TRUE(p.Empty());
    ASSERT_TRUE(QFile(big).resize(TMarkupPicture::MaxFileSize));
    p.LoadFromFile(big);
    EXPECT_EQ(p.Width(), 4);

    // A device that never ends, a pipe without a writer (a plain open would wait for one), a folder.
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {QStringLiteral("/dev/zero"), fifo, dir.path()}) {
        EXPECT_EQ(ErrorOf([&] { p.LoadFromURL(QStringLiteral("FILE://") + path); }),
                  QStringLiteral("Could not create image stream"))
            << path.toStdString();
        EXPECT_TRUE(p.Empty());
        p.LoadFromData(Png(2, 2));
        p.LoadFromFile(path);
        EXPECT_TRUE(p.Empty());
    }
}

TEST(MarkupPicture, StepsDecodeOnlyTheShownFrame) {
    TMarkupPicture p;
    p.LoadFromData(GifFrames(10));
    ASSERT_EQ(p.FrameCount(), 10);
    const std::uint64_t before = internal::DecodedFrameCount();
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(p.Step());
        const QPoint at = QPoint(0, 0) - p.FrameOffset();
        EXPECT_EQ(qRed(p.Image().pixel(at)), p.Frame() % 2 ? 0 : 255) << p.Frame();
    }
    EXPECT_EQ(p.Frame(), 3);
    EXPECT_EQ(internal::DecodedFrameCount() - before, 12u);
    p.FramePrev();
    EXPECT_EQ(p.Frame(), 2);
    EXPECT_EQ(qRed(p.Image().pixel(QPoint(0, 0) - p.FrameOffset())), 255);
}

TEST(MarkupPicture, CacheAndContainer) {
    TMarkupPictureCache cache;
    TMarkupPicture* a = cache.AddPicture(QStringLiteral("RES://A"));
    EXPECT_EQ(cache.FindPicture(QStringLiteral("RES://A")), a);
    EXPECT_EQ(cache.FindPicture(QStringLiteral("res://a")), nullptr);
    a->LoadFromData(TwoFrameGif());
    TMarkupPicture* b = cache.AddPicture(QStringLiteral("RES://B"));
    b->LoadFromData(Png(1, 1));
    EXPECT_TRUE(cache.Animate());
    EXPECT_EQ(a->Frame(), 2);
    cache.ClearPictures();
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_FALSE(cache.Animate());

    TPictureContainer container;
    container.SetName(QStringLiteral("Pictures"));
    TPictureItem* first = container.Items().Add();
    first->SetName(QStringLiteral("Arrow"));
    first->SetTag(3);
    TPictureItem* second = container.Items().Add();
    second->SetName(QStringLiteral("arrow"));
    EXPECT_EQ(container.FindPicture(QStringLiteral("ARROW")), &first->Picture());
    EXPECT_EQ(container.FindPicture(QStringLiteral("none")), nullptr);
    EXPECT_EQ(container.Version(), QStringLiteral("1.0.0.0"));
    container.Items().Delete(0);
    EXPECT_EQ(container.FindPicture(QStringLiteral("ARROW")), &second->Picture());
}
