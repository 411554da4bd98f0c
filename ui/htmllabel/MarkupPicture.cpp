#include "ui/htmllabel/MarkupPicture.h"

#include "platform/Exceptions.h"
#include "ui/htmllabel/MarkupPictureInternal.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::atomic<std::uint64_t> gDecodedFrames{0};

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor() {
        if (FFd >= 0) ::close(FFd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

// The bytes of a regular file of at most `limit` bytes. Opened without waiting (a FIFO would
// block a plain open until a writer comes) and checked on the open descriptor, so the file that
// is read is the file that was checked.
QByteArray ReadRegularFile(const QString& fileName, qint64 limit) {
    const QByteArray path = QFile::encodeName(fileName);
    if (path.isEmpty()) Fail("Could not create image stream");
    const TFileDescriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.Get() < 0) Fail("Could not create image stream");
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > limit)
        Fail("Could not create image stream");
    // The size may change while reading: read at most one byte over the limit to notice.
    QByteArray data;
    data.resize(qsizetype(std::min<qint64>(qint64(st.st_size) + 1, limit + 1)));
    qint64 used = 0;
    for (;;) {
        if (used == data.size()) {
            if (used > limit) Fail("Could not create image stream");
            data.resize(qsizetype(std::min<qint64>(used * 2 + 4096, limit + 1)));
        }
        const ssize_t n = ::read(fd.Get(), data.data() + used, std::size_t(data.size() - used));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("Could not create image stream");
        if (n == 0) break;
        used += n;
    }
    if (used > limit) Fail("Could not create image stream");
    data.truncate(qsizetype(used));
    return data;
}

} // namespace

namespace internal {
std::uint64_t DecodedFrameCount() {
    return gDecodedFrames.load();
}
} // namespace internal

// A reader over a picture's bytes that remembers which frame it gives next.
struct TMarkupPicture::TFrameReader {
    explicit TFrameReader(const QByteArray& data) : Data(data), Buffer(&Data) {
        Buffer.open(QIODevice::ReadOnly);
        Reader.setDevice(&Buffer);
        Reader.setDecideFormatFromContent(true);
    }
    bool Read(QImage& image, QPoint& offset) {
        ++gDecodedFrames;
        if (!Reader.read(&image)) return false;
        const QRect area = Reader.currentImageRect();
        offset = area.isValid() ? area.topLeft() : QPoint();
        ++Next;
        return true;
    }

    QByteArray Data;
    QBuffer Buffer;
    QImageReader Reader;
    int Next = 1; // the frame the next read gives, counted from 1
};

TMarkupPicture::TMarkupPicture() = default;
TMarkupPicture::~TMarkupPicture() = default;

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
    FReader.reset();
}

void TMarkupPicture::LoadFromFile(const QString& fileName) {
    try {
        LoadFromLocalFile(fileName);
    } catch (const platform::Exception&) {
        Clear();
    }
}

void TMarkupPicture::LoadFromLocalFile(const QString& fileName) {
    Clear();
    LoadFromData(ReadRegularFile(fileName, MaxFileSize));
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
        LoadFromLocalFile(url.mid(7));
    }
    // Other addresses are only recorded: nothing is downloaded.
}

void TMarkupPicture::Decode() {
    TFrameReader scan(FData);
    if (!scan.Reader.canRead()) Fail("Could not load image. Invalid format");
    int count = qMax(1, scan.Reader.imageCount());
    // Every frame is decoded once here for the size of the animation area; frame 1 is kept.
    QImage first;
    QPoint firstOffset;
    int maxW = 0, maxH = 0;
    for (int i = 1; i <= count; ++i) {
        QImage frame;
        QPoint offset;
        if (!scan.Read(frame, offset)) {
            if (i == 1) Fail("Could not load image");
            count = i - 1;
            break;
        }
        maxW = qMax(maxW, frame.width());
        maxH = qMax(maxH, frame.height());
        if (i == 1) {
            first = frame;
            firstOffset = offset;
        }
        if (count == 1) break;
    }
    if (first.isNull()) Fail("Could not allocate memory for image");
    FFrameCount = count;
    FMaxWidth = maxW;
    FMaxHeight = maxH;
    FFrame = 1;
    FImage = first;
    FFrameOffset = firstOffset;
    if (count > 1) {
        // Ready for frame 2: stepping through an animation decodes one frame per step.
        FReader = std::make_unique<TFrameReader>(FData);
        QImage skipped;
        QPoint offset;
        if (!FReader->Read(skipped, offset)) FReader.reset();
    }
}

bool TMarkupPicture::ShowFrame(int n) {
    // Animated formats decode in order: going back means starting again.
    if (!FReader || FReader->Next > n) {
        FReader = std::make_unique<TFrameReader>(FData);
        if (n > 1 && FReader->Reader.jumpToImage(n - 1)) FReader->Next = n;
    }
    QImage image;
    QPoint offset;
    while (FReader->Next <= n) {
        if (!FReader->Read(image, offset)) return false;
    }
    if (image.isNull()) return false;
    FImage = image;
    FFrameOffset = offset;
    return true;
}

void TMarkupPicture::SetFrame(int frame) {
    if (frame == FFrame || FData.isEmpty()) return;
    if (frame < 1 || frame > FFrameCount) return;
    FFrame = frame;
    if (!ShowFrame(frame)) Clear();
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
