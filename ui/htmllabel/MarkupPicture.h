#pragma once
// Pictures for the rich-text label: TMarkupPicture keeps the raw bytes of a picture file and the
// decoded current frame; TMarkupPictureCache is the label's list of pictures loaded by address.
// Loading failures raise platform::Exception with the texts the label documents.

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>
#include <memory>
#include <vector>

namespace htmllabel {

class TMarkupPicture {
public:
    TMarkupPicture();
    ~TMarkupPicture();
    TMarkupPicture(const TMarkupPicture&) = delete;
    TMarkupPicture& operator=(const TMarkupPicture&) = delete;

    bool Empty() const { return FImage.isNull(); }
    // Size of the decoded frame (pixels at 96 dots per inch).
    int Width() const { return FImage.width(); }
    int Height() const { return FImage.height(); }
    // Largest frame of an animation; the frame size otherwise.
    int GetMaxWidth() const { return FMaxWidth; }
    int GetMaxHeight() const { return FMaxHeight; }
    const QImage& Image() const { return FImage; }
    // Position of the current frame inside the animation area.
    QPoint FrameOffset() const { return FFrameOffset; }

    bool Stretch() const { return FStretch; }
    void SetStretch(bool value) { FStretch = value; }
    int Frame() const { return FFrame; }
    void SetFrame(int frame);
    int FrameCount() const { return FFrameCount; }
    bool Animated() const { return FFrameCount > 1; }
    void FrameNext();
    void FramePrev();
    // Moves an animation to its next frame; false when there is nothing to animate.
    bool Step();

    QString Address() const { return FAddress; }
    const QByteArray& Data() const { return FData; }

    void Clear();
    // Any failure leaves an empty picture.
    // Only regular files of at most MaxFileSize bytes are read: a device or a pipe is a picture
    // that cannot be loaded, and opening one never waits.
    void LoadFromFile(const QString& fileName);
    void LoadFromStream(QIODevice& stream);
    void LoadFromData(const QByteArray& data);
    void SaveToStream(QIODevice& stream) const;
    // Registered resources first, then the Qt resource ":/" + name.
    void LoadFromResourceName(const QString& name);
    void LoadFromResourceID(int id);
    // "RES://name" loads a resource, "FILE://path" a file; any other address is only recorded.
    void LoadFromURL(const QString& url);

    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

    // Resource table of the program (names compared without regard to case).
    static void RegisterResource(const QString& name, const QByteArray& data);
    static void UnregisterResource(const QString& name);

private:
    friend class TMarkupPictureCache;
    struct TFrameReader;
    // Scans every frame once for the count and the largest size, and shows frame 1.
    void Decode();
    // Decodes frame n (counted from 1) into the shown image; false when it cannot be read.
    bool ShowFrame(int n);
    void LoadFromLocalFile(const QString& fileName);

    QByteArray FData;
    // Reader kept between the frames of an animation, so that stepping decodes one frame.
    std::unique_ptr<TFrameReader> FReader;
    QImage FImage;
    QPoint FFrameOffset;
    QString FAddress;
    int FFrame = 1; // counted from 1
    int FFrameCount = 0;
    int FMaxWidth = 0;
    int FMaxHeight = 0;
    bool FStretch = false;
};

// Named pictures (the picture container) as the engine sees them.
class IPictureLookup {
public:
    virtual ~IPictureLookup() = default;
    virtual TMarkupPicture* FindPicture(const QString& name) const = 0;
};

class TMarkupPictureCache {
public:
    // A new empty picture recorded under the address; the cache owns it.
    TMarkupPicture* AddPicture(const QString& address);
    // Exact, case-sensitive comparison of the address.
    TMarkupPicture* FindPicture(const QString& address) const;
    void ClearPictures() { FItems.clear(); }
    int Count() const { return int(FItems.size()); }
    // Advances every animated picture; true when any frame changed.
    bool Animate();

private:
    std::vector<std::unique_ptr<TMarkupPicture>> FItems;
};

} // namespace htmllabel
