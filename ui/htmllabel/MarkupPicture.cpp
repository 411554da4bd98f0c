#include "ui/htmllabel/MarkupPicture.h"

#include "platform/Exceptions.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QMutex>

namespace htmllabel {

namespace {

QMutex& ResourceLock() {
    static QMutex lock;
    return lock;
}
QHash<QString, QByteArray>& Resources() {
    static QHash<QString, QByteArray> table;
    return table;
}

[[noreturn]] void Fail(const char* text) {
    throw platform::Exception(QString::fromLatin1(text));
}

} // namespace

void TMarkupPicture::RegisterResource(const QString& name, const QByteArray& data) {
    QMutexLocker locker(&ResourceLock());
    Resources().insert(name.toUpper(), data);
}

void TMarkupPicture::UnregisterResource(const QString& name) {
    QMutexLocker locker(&ResourceLock());
    Resources().remove(name.toUpper());
}

void TMarkupPicture::Clear() {
    FData.clear();
    FImage = QImage();
    FFrameOffset = QPoint();
    FFrame = 1;
    FFrameCount = 0;
    FMaxWidth = FMaxHeight = 0;
}

void TMarkupPicture::LoadFromFile(const QString& fileName) {
    try {
        QFile f(fileName);
        if (!f.open(QIODevice::ReadOnly)) Fail("Could not create image stream");
        LoadFromStream(f);
    } catch (const platform::Exception&) {
        Clear();
    }
}

void TMarkupPicture::LoadFromStream(QIODevice& stream) {
    LoadFromData(stream.readAll());
}

void TMarkupPicture::LoadFromData(const QByteArray& data) {
    Clear();
    if (data.isEmpty()) Fail("Empty image stream created");
    FData = data;
    try {
        Decode();
    } catch (...) {
        Clear();
        throw;
    }
}

void TMarkupPicture::SaveToStream(QIODevice& stream) const {
    if (!FData.isEmpty() && stream.write(FData) != FData.size()) Fail("Could not create image stream");
}

void TMarkupPicture::LoadFromResourceName(const QString& name) {
    QByteArray data;
    bool found = false;
    {
        QMutexLocker locker(&ResourceLock());
        const auto it = Resources().constFind(name.toUpper());
        if (it != Resources().constEnd()) {
            data = it.value();
            found = true;
        }
    }
    if (!found) {
        QFile f(QStringLiteral(":/") + name);
        if (!f.open(QIODevice::ReadOnly)) Fail("Could not create image stream");
        data = f.readAll();
    }
    LoadFromData(data);
}

void TMarkupPicture::LoadFromResourceID(int id) {
    LoadFromResourceName(QString::number(id));
}

void TMarkupPicture::LoadFromURL(const QString& url) {
    FAddress = url;
    if (url.startsWith(QStringLiteral("RES://"), Qt::CaseInsensitive)) {
        LoadFromResourceName(url.mid(6));
    } else if (url.startsWith(QStringLiteral("FILE://"), Qt::CaseInsensitive)) {
        QFile f(url.mid(7));
        if (!f.open(QIODevice::ReadOnly)) Fail("Could not create image stream");
        LoadFromStream(f);
    }
    // Other addresses are only recorded: nothing is downloaded.
}

void TMarkupPicture::Decode() {
    QBuffer buffer(&FData);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead()) Fail("Could not load image. Invalid format");
    FFrameCount = qMax(1, reader.imageCount());
    if (FFrame < 1 || FFrame > FFrameCount) FFrame = 1;
    // Frames are read in order (animated formats decode sequentially); the largest frame
    // gives the size of the animation area.
    QImage wanted;
    QPoint offset;
    int maxW = 0, maxH = 0;
    for (int i = 1; i <= FFrameCount; ++i) {
        QImage frame;
        if (!reader.read(&frame)) {
            if (i == 1) Fail("Could not load image");
            FFrameCount = i - 1;
            break;
        }
        const QRect area = reader.currentImageRect();
        maxW = qMax(maxW, frame.width());
        maxH = qMax(maxH, frame.height());
        if (i == FFrame) {
            wanted = frame;
            offset = area.isValid() ? area.topLeft() : QPoint();
        }
        if (FFrameCount == 1) break;
    }
    if (wanted.isNull()) {
        if (FFrame != 1) {
            FFrame = 1;
            return Decode();
        }
        Fail("Could not allocate memory for image");
    }
    FImage = wanted;
    FFrameOffset = offset;
    FMaxWidth = maxW;
    FMaxHeight = maxH;
}

void TMarkupPicture::SetFrame(int frame) {
    if (frame == FFrame || FData.isEmpty()) return;
    if (frame < 1 || frame > FFrameCount) return;
    FFrame = frame;
    try {
        Decode();
    } catch (const platform::Exception&) {
        Clear();
    }
}

void TMarkupPicture::FrameNext() {
    if (FFrameCount > 1) SetFrame(FFrame < FFrameCount ? FFrame + 1 : 1);
}

void TMarkupPicture::FramePrev() {
    if (FFrameCount > 1) SetFrame(FFrame > 1 ? FFrame - 1 : FFrameCount);
}

bool TMarkupPicture::Step() {
    if (!Animated()) return false;
    FrameNext();
    return true;
}

TMarkupPicture* TMarkupPictureCache::AddPicture(const QString& address) {
    auto p = std::make_unique<TMarkupPicture>();
    p->FAddress = address;
    FItems.push_back(std::move(p));
    return FItems.back().get();
}

TMarkupPicture* TMarkupPictureCache::FindPicture(const QString& address) const {
    for (const auto& p : FItems)
        if (p->FAddress == address) return p.get();
    return nullptr;
}

bool TMarkupPictureCache::Animate() {
    bool changed = false;
    for (const auto& p : FItems)
        changed = p->Step() || changed;
    return changed;
}

} // namespace htmllabel
